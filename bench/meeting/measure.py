"""What the meeting benchmarks read of processes and participants: CPU time
and resident size from /proc, the JSON lines a meeting-participant prints,
and the machine the figures come from (they mean little without it)."""
import json
import os
import threading
import time

TICKS = os.sysconf("SC_CLK_TCK")

# Demo accounts of a fresh service store (SDK login, password, name).
ACCOUNTS = [("lisi@talvora.dev", "LiSi-Password-16", "李四"),
            ("wangwu@talvora.dev", "Ww-Meet-2024", "王五"),
            ("zhangsan@example.com", "Zs-Meet-2024", "张三")]


def cpu_seconds(pid):
    """User and system time of the process, all its threads, in seconds."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_mb(pid):
    with open("/proc/%d/smaps_rollup" % pid) as rollup:
        for line in rollup:
            if line.startswith("Rss:"):
                return int(line.split()[1]) / 1024
    return 0


def read_records(process):
    """Collects the participant's JSON lines in process.records, each with
    "at", the wall-clock time it arrived (several processes on one clock)."""
    process.records = []

    def read():
        for line in process.stdout:
            if line.startswith("{"):
                try:
                    record = json.loads(line)
                except ValueError:
                    continue
                record["at"] = time.time()
                process.records.append(record)

    threading.Thread(target=read, daemon=True).start()
    return process


def frames_of(records, display):
    """Frames decoded so far of the remote shown as `display`, from the
    latest report that names it."""
    for record in reversed(records):
        for remote in record.get("remotes", []):
            if remote["display"] == display:
                return remote["frames"]
    return 0


def machine():
    """nproc, the CPU model and the load averages, as /proc tells them now."""
    model = ""
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/loadavg") as load:
        averages = [float(value) for value in load.read().split()[:3]]
    return {"nproc": os.cpu_count(), "cpu_model": model, "loadavg_1_5_15": averages,
            "utc": time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime())}
