#!/usr/bin/env python3
"""Several meetings at once on the service's own Janus instances, measured.

  meeting_load.py DEVSERVICE PARTICIPANT CERT_DIR [--participants N] [--meetings M]
                  [--instances K] [--size WxH] [--fps F] [--audio-only] [--duration S]
                  [--port P] [--json FILE] [--check]

run.sh gives the first three. The script runs itself again inside a media
sandbox (tests/support/media_service.py), starts devservice there with
--janus-instances K, starts M instant meetings (the service places them on
its instances by room count) and brings N meeting-participants into them,
signed in with the demo accounts (each sign-in is a session of its own, so
one account joins as often as needed), N/M to a meeting.

The participants join in two waves. The first brings all but the last
participant of each meeting; once everyone in it sees (or, audio only,
hears) everyone else, the last participant of each meeting joins, one every
2 s, into meetings that are already running: their join times are the
"under load" figures. Then, over a steady window of --duration seconds:

  Janus CPU         utime + stime of each Janus (/proc/PID/stat), in % of
                    one core, divided by its media streams: publisher
                    streams in + subscriber streams out, that is for each
                    meeting of k people k x kinds + k x (k - 1) x kinds,
                    kinds = 2 (audio and video) or 1 (audio only: the video
                    m-lines are negotiated but carry nothing, and are not
                    counted). The TextRoom data channels are not counted.
  packets           all packets on the sandbox's loopback, which every
                    media packet crosses once (participant to Janus, or
                    Janus to participant): Janus CPU per 1000 packets/s
  idle              each Janus's CPU over 5 s with its rooms made, before
                    anyone joins
  admission         20 joins by one session over a kept HTTPS connection,
                    before the participants come: the service's own time
  UDP ports         the UDP sockets each Janus holds: one RTP port of its
                    range per peer connection
  engine CPU        each meeting-participant's utime + stime, % of one core
  fps               frames decoded per second of each remote, per receiver
                    (from the participants' own reports), and the share of
                    100 ms windows in which each remote's tone was heard

Join time is from the participant's launch (sign-in, admission, Janus
signalling, ICE, DTLS, the first key frame) to its first remote frame (audio
only: to the first report that hears a remote; reports every 250 ms), and to
the moment it has media from everyone in the meeting; "engine" is the same
from the engine's start, after the sign-in and the admission.

Every figure comes with the machine (nproc, CPU model) and its load
averages at the start and the end of the window: on a shared machine other
work takes CPU from Janus and the participants, which slows their threads
and lowers the frame rates, while the CPU seconds they do use stay theirs.
Everything runs in the sandbox and ends with it; participants also leave by
themselves after the whole run's budget.
"""
import argparse
import http.client
import json
import os
import shutil
import ssl
import statistics
import subprocess
import sys
import tempfile
import time
from urllib.parse import urlencode, urlparse

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
sys.path.insert(0, os.path.join(ROOT, "bench", "meeting"))
from measure import ACCOUNTS, cpu_seconds, machine, read_records, rss_mb  # noqa: E402
from media_service import MediaService, enter_sandbox  # noqa: E402

COLOURS = ["#4194ff", "#ff8800", "#20c020", "#c020c0", "#e01010", "#10c0c0", "#808000", "#8040ff"]
REPORT_MS = 250
LAST_JOIN_SPACING = 2.0
JOIN_TIMEOUT = 60
IDLE_WINDOW = 5


def options():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("devservice")
    parser.add_argument("participant")
    parser.add_argument("cert_dir")
    parser.add_argument("--participants", type=int, default=12)
    parser.add_argument("--meetings", type=int, default=4)
    parser.add_argument("--instances", type=int, default=2, help="Janus instances of the service (1 to 8)")
    parser.add_argument("--size", default="640x360")
    parser.add_argument("--fps", type=int, default=30)
    parser.add_argument("--audio-only", action="store_true",
                        help="join with the camera off: only the microphones' streams flow")
    parser.add_argument("--duration", type=float, default=20, help="seconds of the steady window")
    parser.add_argument("--stagger", type=float, default=1.0, help="seconds between the first wave's launches")
    parser.add_argument("--port", type=int, default=19580, help="the service's port inside the sandbox")
    parser.add_argument("--json", help="also write the figures to this file")
    parser.add_argument("--check", action="store_true",
                        help="fail (1) unless every participant got everyone's media and measured it")
    args = parser.parse_args()
    if args.meetings < 1 or args.participants < 2 * args.meetings:
        parser.error("every meeting needs at least two participants")
    if not 1 <= args.instances <= 8:
        parser.error("--instances wants 1 to 8")
    if not 5 <= args.duration <= 600:
        parser.error("--duration wants 5 to 600 seconds")
    return args


def ws_port_of(janus_pid):
    """The WebSocket port of a Janus that devservice started (-F FOLDER)."""
    with open("/proc/%d/cmdline" % janus_pid) as cmdline:
        argv = cmdline.read().split("\0")
    folder = argv[argv.index("-F") + 1]
    with open(os.path.join(folder, "janus.transport.websockets.jcfg")) as config:
        for line in config:
            key, _, value = line.strip().partition(" = ")
            if key == "ws_port":
                return int(value)
    return None


def loopback_counters():
    """(packets, bytes) received on lo: inside the sandbox, all its traffic."""
    with open("/proc/net/dev") as dev:
        for line in dev:
            name, _, rest = line.partition(":")
            if name.strip() == "lo":
                fields = rest.split()
                return int(fields[1]), int(fields[0])
    return 0, 0


def admission_times(service, session, numbers, count=20):
    """Milliseconds of `count` admissions (a join, whose token the service
    swaps on the meeting's Janus) over one kept HTTPS connection, spread
    over the meetings."""
    context = ssl.create_default_context(cafile=service.ca_file)
    address = urlparse(service.url)
    connection = http.client.HTTPSConnection(address.hostname, address.port, context=context, timeout=20)
    times = []
    try:
        for index in range(count):
            body = urlencode({"number": numbers[index % len(numbers)], "display_name": "admission"})
            started = time.perf_counter()
            connection.request("POST", "/sdk/v1/meetings/join", body,
                               {"Authorization": "Bearer " + session,
                                "Content-Type": "application/x-www-form-urlencoded"})
            answer = connection.getresponse()
            answer.read()
            if answer.status == 200:
                times.append((time.perf_counter() - started) * 1000)
    finally:
        connection.close()
    return times


def cpu_of(pids):
    """{pid: CPU seconds} of those of the processes that are still there."""
    seconds = {}
    for pid in pids:
        try:
            seconds[pid] = cpu_seconds(pid)
        except OSError:
            pass
    return seconds


def udp_sockets(pid):
    """UDP sockets the process holds: Janus takes one RTP port of its range
    for each peer connection (bundled, RTCP multiplexed)."""
    udp = set()
    with open("/proc/net/udp") as table:
        for line in list(table)[1:]:
            udp.add(line.split()[9])
    held = 0
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if target.startswith("socket:[") and target[8:-1] in udp:
            held += 1
    return held


class Person:
    def __init__(self, service, args, meeting, index, scratch):
        account, password, _ = ACCOUNTS[index % len(ACCOUNTS)]
        self.name = "P%d" % index
        self.meeting = meeting
        self.first_in_meeting = not meeting["people"]
        argv = [args.participant, "--service", service.url, "--ca", service.ca_file, "--account", account,
                "--password", password, "--number", meeting["number"], "--display-name", self.name,
                "--colour", COLOURS[index % len(COLOURS)], "--tone", str(300 + 20 * index),
                "--report-every", str(REPORT_MS), "--leave-after", str(args.budget)]
        if args.audio_only:
            # Camera off; the idle test picture behind the closed valve is
            # made small and slow, since a real camera costs nothing here.
            argv += ["--no-video", "--size", "160x120", "--fps", "5"]
        else:
            argv += ["--size", args.size, "--fps", str(args.fps)]
        self.errors = open(os.path.join(scratch, self.name + ".err"), "w+")
        self.launched = time.time()
        self.process = read_records(service.popen(argv, stdout=subprocess.PIPE, stderr=self.errors, text=True))
        self.pid = self.process.pid

    @property
    def records(self):
        return self.process.records

    def others(self):
        """The others in the meeting that are still running."""
        return [person.name for person in self.meeting["people"]
                if person is not self and person.process.poll() is None]

    def media_since(self, audio_only):
        """When (wall clock) media of each remote first arrived: {name: at}."""
        seen = {}
        for record in list(self.records):
            for remote in record.get("remotes", []):
                got = remote["heard_windows"] > 0 if audio_only else remote["frames"] > 0
                if got and remote["display"] not in seen:
                    seen[remote["display"]] = record["at"]
            if not audio_only and record.get("event") == "first-frame":
                seen.setdefault("#%d" % record["id"], record["at"])
        return seen

    def sees_everyone(self, audio_only):
        return not self.missing(audio_only)

    def missing(self, audio_only):
        seen = self.media_since(audio_only)
        return [name for name in self.others() if name not in seen]

    def what_is_wrong(self, audio_only):
        """Why this one is not there yet: its exit, or whom it lacks and
        what its last report says of them."""
        failure = self.failure()
        if failure:
            return failure
        last = self.report_before(time.time()) or {}
        lacking = self.missing(audio_only)
        return "lacks %s; last report: %s" % (lacking, [remote for remote in last.get("remotes", [])
                                                         if remote["display"] in lacking or not remote["display"]])

    def join_times(self, audio_only):
        records = list(self.records)
        seen = self.media_since(audio_only)
        named = [seen[name] for name in self.others() if name in seen]
        first = min(seen.values()) if seen else None
        start = next((r for r in records if r.get("event") == "start"), None)
        result = {"first_remote_s": round(first - self.launched, 3) if first else None,
                  "everyone_s": round(max(named) - self.launched, 3)
                  if len(named) == len(self.others()) else None}
        if not audio_only and start:
            frame = next((r for r in records if r.get("event") == "first-frame"), None)
            result["engine_first_frame_s"] = round(frame["t"] - start["t"], 3) if frame else None
        return result

    def report_before(self, when):
        for record in reversed(list(self.records)):
            if "remotes" in record and record["at"] <= when:
                return record
        return None

    def failure(self):
        if self.process.poll() is None:
            return None
        self.errors.seek(0)
        lines = [line.strip() for line in self.errors if line.strip()]
        return "exited %s: %s" % (self.process.returncode, lines[-1] if lines else "")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(2)
        return self.process

    def reap(self):
        try:
            self.process.wait(8)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.errors.close()
        if os.environ.get("TALVORA_KEEP_SCRATCH"):
            with open(self.errors.name[:-4] + ".jsonl", "w") as kept:
                for record in self.records:
                    kept.write(json.dumps(record) + "\n")


def wait_until(condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return False


def receiver_figures(person, before, after):
    """fps and heard share of each remote over the window, from two reports."""
    if not before or not after or after["t"] <= before["t"]:
        return None
    span = after["t"] - before["t"]
    earlier = {remote["display"]: remote for remote in before["remotes"]}
    remotes = {}
    for remote in after["remotes"]:
        old = earlier.get(remote["display"], {})
        heard = remote["heard_windows"] - old.get("heard_windows", 0)
        silent = remote["silent_windows"] - old.get("silent_windows", 0)
        remotes[remote["display"]] = {
            "fps": round((remote["frames"] - old.get("frames", 0)) / span, 1),
            "size": "%dx%d" % (remote["width"], remote["height"]),
            "heard_pct": round(100.0 * heard / max(1, heard + silent), 1)}
    fps = [remote["fps"] for remote in remotes.values()]
    return {"remotes": remotes, "fps_min": min(fps) if fps else 0,
            "fps_mean": round(statistics.mean(fps), 1) if fps else 0,
            "sent": after.get("sent")}


def summary(values):
    values = [value for value in values if value is not None]
    if not values:
        return None
    return {"median": round(statistics.median(values), 3), "min": round(min(values), 3),
            "max": round(max(values), 3), "n": len(values)}


def measure(args, service, scratch):
    kinds = 1 if args.audio_only else 2
    janus = {}
    for pid in service.janus_pids():
        janus[ws_port_of(pid)] = pid
    host = service.login(*ACCOUNTS[2][:2])
    meetings = []
    for index in range(args.meetings):
        status, answer = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "0"}, host)
        if status != 200:
            raise RuntimeError("meeting %d not started: %s %s" % (index, status, answer))
        port = urlparse(answer["media"]["server"]).port
        meetings.append({"number": answer["number"], "janus": janus.get(port), "people": []})
    sizes = [args.participants // args.meetings + (1 if i < args.participants % args.meetings else 0)
             for i in range(args.meetings)]

    # What the instances cost with their rooms made and nobody in them.
    idle0, idle_start = {pid: cpu_seconds(pid) for pid in janus.values()}, time.time()
    time.sleep(IDLE_WINDOW)
    idle = {pid: round((cpu_seconds(pid) - idle0[pid]) / (time.time() - idle_start) * 100, 2)
            for pid in janus.values()}

    admissions = admission_times(service, host, [m["number"] for m in meetings])

    people = []
    try:
        # First wave: all but the last of each meeting.
        index = 0
        for meeting, size in zip(meetings, sizes):
            meeting["size"] = size
        for round_ in range(max(sizes) - 1):
            for meeting in meetings:
                if round_ < meeting["size"] - 1:
                    person = Person(service, args, meeting, index, scratch)
                    meeting["people"].append(person)
                    people.append(person)
                    index += 1
                    time.sleep(args.stagger)
        first_wave = list(people)
        # Whoever lacks someone's media by then is reported, not waited for:
        # on a machine past its capacity that is the finding.
        problems = {}
        if not wait_until(lambda: all(p.sees_everyone(args.audio_only) for p in first_wave), JOIN_TIMEOUT):
            problems["first_wave"] = {p.name: p.what_is_wrong(args.audio_only) for p in first_wave
                                      if not p.sees_everyone(args.audio_only)}
        time.sleep(2)
        load_at_joins = machine()["loadavg_1_5_15"]
        # The last of each meeting, into meetings that are running.
        last = []
        for meeting in meetings:
            person = Person(service, args, meeting, index, scratch)
            meeting["people"].append(person)
            people.append(person)
            last.append(person)
            index += 1
            time.sleep(LAST_JOIN_SPACING)
        if not wait_until(lambda: all(p.sees_everyone(args.audio_only) for p in people), JOIN_TIMEOUT):
            problems["all_joined"] = {p.name: p.what_is_wrong(args.audio_only) for p in people
                                      if not p.sees_everyone(args.audio_only)}
        time.sleep(3)

        # The steady window.
        before = machine()
        t0 = time.time()
        janus0 = cpu_of(janus.values())
        people0 = cpu_of(p.pid for p in people if p.process.poll() is None)
        net0 = loopback_counters()
        time.sleep(args.duration)
        t1 = time.time()
        janus1 = cpu_of(janus.values())
        ports = {pid: udp_sockets(pid) if pid in janus1 else 0 for pid in janus.values()}
        # Those who ended meanwhile send and receive nothing: the streams
        # are counted over those still there.
        present = [p for p in people if p.pid in people0 and p.process.poll() is None]
        people1 = cpu_of(p.pid for p in present)
        net1 = loopback_counters()
        after = machine()
        span = t1 - t0
        time.sleep(REPORT_MS / 1000.0 * 2)  # the reports that close the window
        rss = {p.name: round(rss_mb(p.pid), 1) for p in people if p.process.poll() is None}
        failed = {p.name: p.failure() for p in people if p.failure()}

        instances = []
        for port, pid in sorted(janus.items()):
            held = [m for m in meetings if m["janus"] == pid]
            here = [sum(p in present for p in m["people"]) for m in held]
            streams_in = sum(k * kinds for k in here)
            streams_out = sum(k * (k - 1) * kinds for k in here)
            cpu = (janus1[pid] - janus0[pid]) / span * 100 if pid in janus0 and pid in janus1 else 0
            instances.append({"ws_port": port, "meetings": here, "participants": sum(here),
                              "streams_in": streams_in, "streams_out": streams_out,
                              "udp_ports": ports[pid], "idle_cpu_percent": idle[pid], "cpu_percent": round(cpu, 2),
                              "cpu_percent_per_stream": round(cpu / (streams_in + streams_out), 3)
                              if streams_in + streams_out else None})
        janus_cpu = sum(i["cpu_percent"] for i in instances)
        streams = sum(i["streams_in"] + i["streams_out"] for i in instances)
        packets = (net1[0] - net0[0]) / span
        receivers = {}
        for p in people:
            figures = receiver_figures(p, p.report_before(t0), p.report_before(t1 + REPORT_MS / 1000.0))
            receivers[p.name] = dict(figures or {}, meeting_size=p.meeting["size"], present=p in present,
                                     cpu_percent=round((people1[p.pid] - people0[p.pid]) / span * 100, 1)
                                     if p.pid in people1 else None,
                                     rss_mb=rss.get(p.name))
        return {
            "machine_before": before, "machine_after": after, "loadavg_before_last_joins": load_at_joins,
            "setup": {"participants": args.participants, "meetings": sizes, "instances": args.instances,
                      "media": "audio only" if args.audio_only else "%s at %d fps" % (args.size, args.fps),
                      "window_s": round(span, 1)},
            "janus": {"instances": instances, "cpu_percent": round(janus_cpu, 2), "streams": streams,
                      "cpu_percent_per_stream": round(janus_cpu / streams, 3) if streams else None,
                      "cpu_percent_per_participant": round(janus_cpu / len(present), 2) if present else None,
                      "loopback_packets_per_s": round(packets),
                      "loopback_kbit_per_s": round((net1[1] - net0[1]) / span * 8 / 1000),
                      "cpu_percent_per_1000_packets_per_s": round(janus_cpu / (packets / 1000), 3)
                      if packets else None},
            "admission_ms": summary(admissions),
            "engine_cpu_percent": summary([r["cpu_percent"] for r in receivers.values() if r["present"]]),
            "engine_rss_mb": summary([r["rss_mb"] for r in receivers.values()]),
            "join_under_load": {p.name: p.join_times(args.audio_only) for p in last},
            # The first of each meeting waits for the second: left out.
            "join_first_wave": {p.name: p.join_times(args.audio_only) for p in first_wave
                                if not p.first_in_meeting},
            "receivers": receivers,
            "failed": failed,
            "missing_media_at_window_end": {p.name: p.missing(args.audio_only) for p in people
                                            if p.missing(args.audio_only)},
            "problems": problems,
        }
    finally:
        for p in people:
            p.stop()
        for p in people:
            p.reap()


def print_summary(result, audio_only):
    machine_ = result["machine_before"]
    janus = result["janus"]
    print("machine: %d x %s; load %s at the start of the window, %s at its end; %s UTC" % (
        machine_["nproc"], machine_["cpu_model"], machine_["loadavg_1_5_15"],
        result["machine_after"]["loadavg_1_5_15"], machine_["utc"]))
    setup = result["setup"]
    print("%d participants in meetings of %s on %d Janus, %s, %.0f s window" % (
        setup["participants"], setup["meetings"], setup["instances"], setup["media"], setup["window_s"]))
    for instance in janus["instances"]:
        print("  Janus :%d  meetings %s  streams %d in + %d out  CPU %.1f %% (idle %.1f %%)  per stream %s %%  "
              "UDP ports %d" % (instance["ws_port"], instance["meetings"], instance["streams_in"],
                                instance["streams_out"], instance["cpu_percent"], instance["idle_cpu_percent"],
                                instance["cpu_percent_per_stream"], instance["udp_ports"]))
    print("Janus in all: %.1f %% of one core for %d streams = %s %% per stream, %.2f %% per participant; "
          "%d packets/s (%d kbit/s) on the loopback = %s %% per 1000 packets/s" % (
              janus["cpu_percent"], janus["streams"], janus["cpu_percent_per_stream"],
              janus["cpu_percent_per_participant"], janus["loopback_packets_per_s"],
              janus["loopback_kbit_per_s"], janus["cpu_percent_per_1000_packets_per_s"]))
    print("admission (a join over a kept connection, before the participants), ms: %s" % result["admission_ms"])
    print("engine CPU per participant (%% of one core): %s" % result["engine_cpu_percent"])
    print("engine resident size (MB): %s" % result["engine_rss_mb"])
    joins = result["join_under_load"]
    print("join under load, launch to first remote %s: %s; to everyone's media: %s" % (
        "sound" if audio_only else "frame",
        summary([j["first_remote_s"] for j in joins.values()]), summary([j["everyone_s"] for j in joins.values()])))
    if not audio_only:
        print("  engine start to first frame: %s" % summary([j.get("engine_first_frame_s") for j in joins.values()]))
    print("join, first wave (meetings filling up), launch to first remote: %s" % summary(
        [j["first_remote_s"] for j in result["join_first_wave"].values()]))
    for name, receiver in result["receivers"].items():
        remotes = receiver.get("remotes", {})
        if not receiver["present"]:
            print("  %-4s ended before the window's end" % name)
            continue
        print("  %-4s meeting of %d  CPU %5.1f %%  fps %s  heard %s" % (
            name, receiver["meeting_size"], receiver["cpu_percent"],
            " ".join("%s:%s" % (remote, figures["fps"]) for remote, figures in sorted(remotes.items())),
            " ".join("%s" % figures["heard_pct"] for _, figures in sorted(remotes.items()))))
    if result["failed"]:
        print("participants that ended early: %s" % result["failed"])
    if result["missing_media_at_window_end"]:
        print("without media from (at the window's end): %s" % result["missing_media_at_window_end"])
    for stage, what in result["problems"].items():
        print("after %s s, %s: %s" % (JOIN_TIMEOUT, stage, what))


def main():
    args = options()
    enter_sandbox()
    # Each participant leaves by itself once the whole run's time is up.
    args.budget = int(args.participants * args.stagger + args.meetings * LAST_JOIN_SPACING
                      + 2 * JOIN_TIMEOUT + args.duration + 30)
    scratch = tempfile.mkdtemp(prefix="talvora-load-")
    try:
        # RTP ports enough for every instance: the default range, shared
        # out, would be the limit measured.
        with MediaService(args.devservice, args.cert_dir, port=args.port, linger=5,
                          args=["--janus-instances", str(args.instances), "--rtp-ports", "20000-39999"]) as service:
            result = measure(args, service, scratch)
    finally:
        if os.environ.get("TALVORA_KEEP_SCRATCH"):
            print("participants' stderr kept in " + scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)
    text = json.dumps(result, indent=1, ensure_ascii=False)
    if args.json:
        with open(args.json, "w") as out:
            out.write(text + "\n")
    else:
        print(text)
    print_summary(result, args.audio_only)
    return 1 if args.check and not complete(result, args) else 0


def complete(result, args):
    """Whether the run measured what it set up: everyone stayed, got
    everyone's media and reported it, and Janus carried it."""
    faults = []
    if result["failed"] or result["missing_media_at_window_end"] or result["problems"]:
        faults.append("participants ended early or lacked someone's media")
    for name, receiver in result["receivers"].items():
        remotes = receiver.get("remotes", {})
        if len(remotes) != receiver["meeting_size"] - 1:
            faults.append("%s reported %d remotes" % (name, len(remotes)))
        elif any((figures["heard_pct"] if args.audio_only else figures["fps"]) <= 0 for figures in remotes.values()):
            faults.append("%s measured nothing of a remote: %s" % (name, remotes))
    expected = sum(k * k for k in result["setup"]["meetings"]) * (1 if args.audio_only else 2)
    if result["janus"]["streams"] != expected or result["janus"]["cpu_percent"] <= 0:
        faults.append("Janus: %s" % result["janus"])
    for fault in faults:
        print("check: " + fault)
    return not faults


if __name__ == "__main__":
    sys.exit(main())
