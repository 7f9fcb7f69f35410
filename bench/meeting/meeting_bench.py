#!/usr/bin/env python3
"""Meetings of meeting-participants on loopback, measured.

Run inside a media sandbox (run.sh does that):
  meeting_bench.py PARTICIPANT JANUS_CONFIG_SH [--runs N]

Reports, with targets:
  join to first remote frame, median of N joins   (<= 1.0 s)
  one participant's CPU, 2 parties, 640x360 30 fps (<= 30 % of one core)
  one participant's resident size, 4 parties       (<= 150 MB)
  audio delay, round trip / 2 + jitter buffer      (<= 100 ms)
  chat message end to end, sender to receiver      (<= 200 ms)
"""
import argparse
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PORT = 8188
ROOM = 4343
PIN = "bench-pin"
TICKS = os.sysconf("SC_CLK_TCK")


class Participant:
    def __init__(self, binary, name, colour, tone, size="640x360", fps=30, extra=()):
        self.records = []
        self.first_frame = threading.Event()
        self.process = subprocess.Popen(
            [binary, "--janus", f"ws://127.0.0.1:{PORT}", "--room", str(ROOM), "--pin", PIN,
             "--display-name", name, "--colour", colour, "--tone", str(tone), "--size", size, "--fps", str(fps),
             *extra],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                record = json.loads(line)
                self.records.append(record)
                if record.get("event") == "first-frame":
                    self.first_frame.set()

    def cpu_seconds(self):
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICKS

    def rss_mb(self):
        with open(f"/proc/{self.process.pid}/smaps_rollup") as rollup:
            for line in rollup:
                if line.startswith("Rss:"):
                    return int(line.split()[1]) / 1024
        return 0

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=6)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def wait_port(port, deadline):
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return True
        except OSError:
            time.sleep(0.1)
    return False


def join_latency(binary, runs):
    host = Participant(binary, "Host", "#4194ff", 440)
    times = []
    try:
        time.sleep(2)
        for run in range(runs):
            guest = Participant(binary, f"Guest{run}", "#ff8800", 660)
            got = guest.first_frame.wait(10)
            guest.stop()
            # From the engine's start (the join) to the first remote picture.
            start = next((r["t"] for r in guest.records if r.get("event") == "start"), 0)
            frame = next((r["t"] for r in guest.records if r.get("event") == "first-frame"), None)
            times.append(round(frame - start, 3) if got and frame is not None else float("inf"))
            time.sleep(0.5)
    finally:
        host.stop()
    return times


def two_party(binary, seconds=12):
    a = Participant(binary, "A", "#4194ff", 440)
    b = Participant(binary, "B", "#ff8800", 660)
    try:
        time.sleep(4)
        cpu0, t0 = b.cpu_seconds(), time.time()
        time.sleep(seconds - 4)
        cpu = (b.cpu_seconds() - cpu0) / (time.time() - t0) * 100
        delays = [remote["rtt_ms"] / 2 + remote["jitter_buffer_ms"] for r in b.records if "remotes" in r
                  for remote in r["remotes"] if remote["rtt_ms"] >= 0]
        frames = [remote["frames"] for r in b.records if "remotes" in r for remote in r["remotes"]]
        return cpu, b.rss_mb(), delays, frames
    finally:
        b.stop()
        a.stop()


def four_party(binary, seconds=12):
    people = [Participant(binary, f"P{i}", colour, 300 + 100 * i)
              for i, colour in enumerate(["#4194ff", "#ff8800", "#20c020", "#c020c0"])]
    try:
        time.sleep(seconds)
        last = [r for r in people[0].records if "remotes" in r]
        received = [(remote["display"], remote["frames"]) for remote in last[-1]["remotes"]] if last else []
        return people[0].rss_mb(), received
    finally:
        for person in people:
            person.stop()


def chat_delays(binary, messages=20):
    """Wall-clock milliseconds from one participant's sendChat to the
    other's chatReceived, over the TextRoom data channels (one clock: both
    run on this machine)."""
    texts = [f"bench message {i}" for i in range(messages)]
    sender_args = ["--no-video", "--chat-after", "4", "--chat-every", "0.25"]
    for text in texts:
        sender_args += ["--chat", text]
    receiver = Participant(binary, "Receiver", "#ff8800", 660, size="320x240", fps=15, extra=["--no-video"])
    sender = Participant(binary, "Sender", "#4194ff", 440, size="320x240", fps=15, extra=sender_args)
    try:
        time.sleep(4 + messages * 0.25 + 2)
        sent = {r["text"]: r["wall_ms"] for r in sender.records if r.get("event") == "chat-sent"}
        received = {r["text"]: r["wall_ms"] for r in receiver.records
                    if r.get("event") == "chat" and r.get("sender") == "Sender"}
        return [received[t] - sent[t] for t in texts if t in sent and t in received], len(texts)
    finally:
        sender.stop()
        receiver.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("participant")
    parser.add_argument("janus_config")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    janus = shutil.which("janus")
    if not janus:
        print("janus is not installed")
        return 77
    work = tempfile.mkdtemp(prefix="talvora-bench-")
    subprocess.run([args.janus_config, work, str(PORT), str(ROOM), PIN], check=True)
    log = open(os.path.join(work, "janus.log"), "w")
    server = subprocess.Popen([janus, "-F", work, "-C", os.path.join(work, "janus.jcfg")],
                              stdout=log, stderr=subprocess.STDOUT)
    try:
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        joins = join_latency(args.participant, args.runs)
        cpu, rss2, delays, frames = two_party(args.participant)
        rss4, received4 = four_party(args.participant)
        chats, chats_sent = chat_delays(args.participant)
        result = {
            "join_to_first_frame_s": {"median": statistics.median(joins), "all": joins},
            "cpu_2party_640x360_30fps_percent": round(cpu, 1),
            "rss_2party_mb": round(rss2, 1),
            "rss_4party_mb": round(rss4, 1),
            "frames_received_4party": received4,
            "audio_delay_ms": {"median": statistics.median(delays) if delays else None},
            "frames_received_2party": frames[-1] if frames else 0,
            "chat_end_to_end_ms": {"median": statistics.median(chats) if chats else None,
                                   "max": max(chats) if chats else None,
                                   "received": len(chats), "sent": chats_sent},
        }
        print(json.dumps(result, indent=2))
        print(f"join to first remote frame, median of {args.runs}: {result['join_to_first_frame_s']['median']:.3f} s"
              " (target <= 1.0)")
        print(f"CPU, 2 parties at 640x360 30 fps: {cpu:.1f} % of one core (target <= 30)")
        print(f"resident size, 4 parties: {rss4:.1f} MB (target <= 150)")
        if delays:
            print(f"audio delay, rtt/2 + jitter buffer: {statistics.median(delays):.1f} ms (target <= 100)")
        if chats:
            print(f"chat end to end, median of {len(chats)}: {statistics.median(chats):.1f} ms, "
                  f"max {max(chats):.1f} ms (target <= 200)")
        return 0
    finally:
        server.terminate()
        server.wait()
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
