#!/usr/bin/env python3
"""A meeting over a bad network, measured: one sender (640x360 at 30 fps,
a 440 Hz tone) and one receiver in a Janus room, under

  clean     no loss
  loss5     5 % of packets lost on each participant's link
  loss20    20 % lost on each link
  cap       every packet through a token bucket on the loopback (--cap,
            200 kbit/s), which each packet crosses twice (up to Janus, down
            to the receiver). The test picture (a ball on a plain ground)
            needs only ~140 kbit/s a hop at full size, and the audio 50, far
            below the 650 kbit/s a camera would take: a 300 kbit/s cap would
            not bind (it drops nothing), so the cap is scaled to bind as
            300 kbit/s binds a camera's stream (about half of what the
            stream wants)
  lifted    the cap removed again

Every condition has a round trip of 100 ms between each participant and
Janus (--delay, one way). The kernel may lack netem (it does on the
machine this was written on): then the loss and the delay are the
participant's own --simulate-loss and --simulate-delay, which drop that
share of the packets each peer connection sends and receives, after SRTP,
where the network would, and hold every packet back that long each way.
tbf (cap) is the kernel's own.

For each condition, over a 10 s window after the link settled: received
audio in 100 ms windows (share with sound, gaps over 100 ms, the longest
gap), decoded frames per second and the picture size; for the lifted cap,
the seconds until the receiver sees the full size again.

Run inside a media sandbox (loss.sh does that):
  meeting_loss.py PARTICIPANT JANUS_CONFIG_SH [--window S]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

PORT = 8188
ROOM = 4343
PIN = "bench-pin"


class Participant:
    def __init__(self, binary, name, *extra):
        self.records = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(
            [binary, "--janus", f"ws://127.0.0.1:{PORT}", "--room", str(ROOM), "--pin", PIN,
             "--display-name", name, "--size", "640x360", "--fps", "30", *extra],
            stdout=subprocess.PIPE, stderr=self._log(name), text=True)
        threading.Thread(target=self._read, daemon=True).start()

    @staticmethod
    def _log(name):
        # TALVORA_BENCH_LOGS=DIR keeps each participant's log there.
        folder = os.environ.get("TALVORA_BENCH_LOGS")
        if not folder:
            return subprocess.DEVNULL
        return open(os.path.join(folder, "%s-%d.log" % (name, time.time())), "w")

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                with self.lock:
                    self.records.append((time.time(), json.loads(line)))

    def remote(self, name):
        """The latest report of remote `name` and of what this one sends."""
        with self.lock:
            for _, record in reversed(self.records):
                for remote in record.get("remotes", []):
                    if remote["display"] == name:
                        return remote
        return None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(8)
            except subprocess.TimeoutExpired:
                self.process.kill()


def wait_for(condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    return None


def tc(*args):
    done = subprocess.run(["tc", "qdisc", *args], check=False, capture_output=True, text=True)
    if done.returncode != 0 and args[0] != "del":
        print("tc qdisc %s: %s" % (" ".join(args), done.stderr.strip()), flush=True)


def netem_available():
    done = subprocess.run(["tc", "qdisc", "add", "dev", "tvmedia1", "root", "netem", "loss", "1%"],
                          capture_output=True)
    tc("del", "dev", "tvmedia1", "root")
    return done.returncode == 0


def window(receiver, seconds):
    """What the receiver got from the sender over the next `seconds`."""
    before = wait_for(lambda: receiver.remote("Sender"), 10) or {}
    start = time.time()
    sizes = set()
    while time.time() - start < seconds:
        time.sleep(1)
        now = receiver.remote("Sender") or {}
        if now.get("width"):
            sizes.add("%dx%d" % (now["width"], now["height"]))
    after = receiver.remote("Sender") or {}
    elapsed = time.time() - start
    heard = after.get("heard_windows", 0) - before.get("heard_windows", 0)
    silent = after.get("silent_windows", 0) - before.get("silent_windows", 0)
    return {
        "fps": round((after.get("frames", 0) - before.get("frames", 0)) / elapsed, 1),
        "size": "%dx%d" % (after.get("width", 0), after.get("height", 0)),
        "sizes": sorted(sizes),
        "tone_windows_pct": round(100.0 * heard / max(1, heard + silent), 1),
        "gaps_over_100ms": after.get("long_gaps", 0) - before.get("long_gaps", 0),
        "longest_gap_ms_so_far": after.get("longest_gap_ms", 0),
    }


def session(binary, loss, delay, settle, seconds, cap=None):
    # The loss starts once the media flow: a call set up over a bad link is
    # another measurement.
    lossy = ["--simulate-loss", str(loss), "--simulate-loss-after", "6"]
    if delay:
        lossy += ["--simulate-delay", str(delay)]
    sender = Participant(binary, "Sender", "--colour", "#e01010", "--tone", "440", *lossy)
    time.sleep(1)
    receiver = Participant(binary, "Receiver", "--mute", "--no-video", *lossy)
    try:
        if not wait_for(lambda: (receiver.remote("Sender") or {}).get("frames", 0) > 0, 20):
            return {"error": "no media"}
        if cap:
            tc("add", "dev", "lo", "root", "tbf", "rate", cap, "burst", "16kb", "latency", "100ms")
        time.sleep(settle)
        result = window(receiver, seconds)
        if cap:
            shown = subprocess.run(["tc", "-s", "qdisc", "show", "dev", "lo"], capture_output=True, text=True)
            result["qdisc"] = " ".join(shown.stdout.split())
            tc("del", "dev", "lo", "root")
            lifted = time.time()
            back = wait_for(lambda: (receiver.remote("Sender") or {}).get("width") == 640, 40)
            result["full_size_again_s"] = round(time.time() - lifted, 1) if back else None
            time.sleep(2)
            result["lifted"] = window(receiver, 5)
        return result
    finally:
        receiver.stop()
        sender.stop()
        tc("del", "dev", "lo", "root")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("participant")
    parser.add_argument("janus_config")
    parser.add_argument("--window", type=float, default=10)
    parser.add_argument("--only", help="one condition: clean, loss5, loss20 or cap")
    parser.add_argument("--cap", default="200kbit", help="the token bucket's rate (tc syntax)")
    parser.add_argument("--delay", type=int, default=50, help="ms each way between a participant and Janus")
    args = parser.parse_args()
    janus = shutil.which("janus")
    if not janus:
        print("janus is not installed")
        return 77
    work = tempfile.mkdtemp(prefix="talvora-loss-")
    subprocess.run([args.janus_config, work, str(PORT), str(ROOM), PIN, "bench-secret"], check=True)
    log = open(os.path.join(work, "janus.log"), "w")
    server = subprocess.Popen([janus, "-F", work, "-C", os.path.join(work, "janus.jcfg")],
                              stdout=log, stderr=subprocess.STDOUT)
    try:
        time.sleep(2)
        print("netem available: %s (the loss and delay below are simulated in the peer connections either way)"
              % netem_available())
        results = {}
        for name, loss, cap in (("clean", 0, None), ("loss5", 5, None), ("loss20", 20, None),
                                ("cap", 0, args.cap)):
            if args.only and name != args.only:
                continue
            results[name] = session(args.participant, loss, args.delay, 6, args.window, cap)
            print(name, json.dumps(results[name]), flush=True)
        print(json.dumps(results, indent=1))
        return 0
    finally:
        server.terminate()
        server.wait(10)
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
