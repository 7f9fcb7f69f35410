#!/usr/bin/env python3
"""Meetings of meeting-participants on loopback, measured.

Run inside a media sandbox (run.sh does that):
  meeting_bench.py PARTICIPANT JANUS_CONFIG_SH [--runs N]

Reports, with targets:
  join to first remote frame, median of N joins   (<= 1.0 s)
  one participant's CPU, 2 parties, 640x360 30 fps (<= 30 % of one core)
  one participant's resident size, 4 parties       (<= 150 MB)
  audio delay, round trip / 2 + jitter buffer      (<= 100 ms)
  screen share of a 1920x1080 Xvfb at 10 fps (--share; needs Xvfb):
    the sharer's CPU, moving and still screen      (<= 60 % of one core)
    request to the share's first frame at a viewer (<= 1.5 s)
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

from measure import cpu_seconds, rss_mb

PORT = 8188
ROOM = 4343
PIN = "bench-pin"


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
                record["at"] = time.time()  # the two ends' events on one clock
                self.records.append(record)
                if record.get("event") == "first-frame":
                    self.first_frame.set()

    def cpu_seconds(self):
        return cpu_seconds(self.process.pid)

    def rss_mb(self):
        return rss_mb(self.process.pid)

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


def share(binary, moving, runs=3, seconds=10):
    """Xvfb at 1920x1080 (its own display); with `moving`, a full-screen
    picture changes every frame, else the screen stands still. The sharer
    joins without camera and microphone, shares 3 s later; the viewer
    reports the share's first frame."""
    display = ":%d" % (150 + os.getpid() % 50)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display)
    painter = None
    try:
        time.sleep(1)
        subprocess.run(["xsetroot", "-solid", "#3a6ea5"], env=env, check=False)
        if moving:
            painter = subprocess.Popen(
                ["gst-launch-1.0", "-q", "videotestsrc", "pattern=ball", "is-live=true", "!",
                 "video/x-raw,width=1920,height=1080,framerate=10/1", "!", "ximagesink"],
                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = display
        latencies, cpus, sizes = [], [], []
        for _ in range(runs):
            viewer = Participant(binary, "Viewer", "#ff8800", 660, "320x240", 15, ("--no-video", "--mute"))
            sharer = Participant(binary, "Sharer", "#4194ff", 440, "320x240", 15,
                                 ("--no-video", "--mute", "--share-after", "3"))
            try:
                time.sleep(6)
                cpu0, t0 = sharer.cpu_seconds(), time.time()
                time.sleep(seconds - 6)
                cpus.append((sharer.cpu_seconds() - cpu0) / (time.time() - t0) * 100)
                asked = next((r["at"] for r in sharer.records if r.get("event") == "share-requested"), None)
                first = next((r for r in viewer.records if r.get("event") == "first-share-frame"), None)
                latencies.append(round(first["at"] - asked, 3) if first and asked else float("inf"))
                if first:
                    sizes.append((first["width"], first["height"]))
            finally:
                sharer.stop()
                viewer.stop()
            time.sleep(0.5)
        return latencies, cpus, sizes
    finally:
        os.environ.pop("DISPLAY", None)
        for process in (painter, xvfb):
            if process:
                process.terminate()
                process.wait()


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
    parser.add_argument("--share", action="store_true", help="the screen share figures only")
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
        if args.share:
            for moving in (True, False):
                latencies, cpus, sizes = share(args.participant, moving, args.runs)
                what = "moving" if moving else "still"
                print(json.dumps({"screen": what, "first_share_frame_s": latencies,
                                  "sharer_cpu_percent": [round(c, 1) for c in cpus], "sizes": sizes}))
                print(f"share, {what} screen 1920x1080 at 10 fps: sharer CPU median "
                      f"{statistics.median(cpus):.1f} % of one core (target <= 60); request to first frame "
                      f"at the viewer median {statistics.median(latencies):.3f} s (target <= 1.5)")
            return 0
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
