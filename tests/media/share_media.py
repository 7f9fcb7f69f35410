#!/usr/bin/env python3
"""A screen share between two meeting-participants in a Janus room, inside a
media sandbox, with an Xvfb of its own at 1600x900 whose root is one known
colour.

Alice shares her screen (--share-screen); Bob, who joins once she shares,
must receive the share as hers, at least 1280 wide, in the screen's colour, and must not list it as a
participant; when Alice stops, Bob must report the share gone while Alice
herself stays. Run as: share_media.py PARTICIPANT JANUS_CONFIG_SH (inside
scripts/media-sandbox.sh). Exits 77 where Janus or Xvfb is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from meeting_media import PIN, PORT, ROOM, SECRET, Checks, lines, participant, stop_all, wait_port  # noqa: E402

SCREEN = "1600x900"
ROOT_RGB = (40, 160, 90)
DISPLAY = ":%d" % (80 + os.getpid() % 100)


def start_xvfb():
    server = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", SCREEN + "x24", "-nolisten", "tcp", "-noreset"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 10
    while time.time() < deadline:
        if subprocess.run(["xsetroot", "-display", DISPLAY, "-solid", "#%02x%02x%02x" % ROOT_RGB],
                          capture_output=True).returncode == 0:
            return server
        time.sleep(0.1)
    server.kill()
    return None


def main():
    binary, make_config = sys.argv[1], sys.argv[2]
    missing = [tool for tool in ("janus", "Xvfb", "xsetroot") if shutil.which(tool) is None]
    if missing:
        print("not installed: %s: skipped" % ", ".join(missing))
        return 77
    work = tempfile.mkdtemp(prefix="talvora-share-")
    subprocess.run([make_config, work, str(PORT), str(ROOM), PIN, SECRET], check=True)
    log = open(os.path.join(work, "janus.log"), "w")
    processes = [subprocess.Popen(["janus", "-F", work, "-C", os.path.join(work, "janus.jcfg")],
                                  stdout=log, stderr=subprocess.STDOUT)]
    try:
        xvfb = start_xvfb()
        if xvfb is None:
            print("Xvfb did not start")
            return 1
        processes.append(xvfb)
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        os.environ["DISPLAY"] = DISPLAY
        alice = participant(binary, "Alice", "#e01010", 440, "--share-screen", "--stop-share-after", "10",
                            "--leave-after", "20")
        processes.append(alice)
        alice_lines, sharing = [], threading.Event()

        def read_alice():
            for line in alice.stdout:
                alice_lines.append(line)
                if '"sharing"' in line:
                    sharing.set()
        reader = threading.Thread(target=read_alice, daemon=True)
        reader.start()
        # Bob learns of the share from the room's list as he joins.
        sharing.wait(12)
        bob = participant(binary, "Bob", "#10c010", 660, "--leave-after", "14")
        processes.append(bob)
        bob_out, bob_err = bob.communicate(timeout=40)
        alice.wait(timeout=40)
        reader.join(5)
        alice_err = alice.stderr.read()
        a, b = lines("".join(alice_lines)), lines(bob_out)

        checks = Checks()
        checks.expect(alice.returncode == 0 and bob.returncode == 0,
                      f"both leave cleanly: {alice.returncode} {bob.returncode}\n{alice_err[-2000:]}\n{bob_err[-2000:]}")
        alice_id = next((r["id"] for r in a if r.get("event") == "joined"), None)
        events = [r.get("event") for r in a]
        checks.expect("sharing" in events and "not-sharing" in events,
                      f"Alice's share starts and stops: {[e for e in events if e and 'shar' in e]}")
        started = [r for r in b if r.get("event") == "share-started"]
        checks.expect(started and started[0]["id"] == alice_id, f"Bob learns that Alice shares: {started}")
        shares = [r["share"] for r in b if "share" in r and r["share"]["frames"] > 0]
        checks.expect(bool(shares), "Bob receives the share's frames")
        if shares:
            last = shares[-1]
            checks.expect(last["id"] == alice_id and last["display"] == "Alice",
                          f"the share is Alice's: {last}")
            checks.expect(last["width"] >= 1280 and (last["width"], last["height"]) == (1600, 900),
                          f"the share comes at the screen's size: {last['width']}x{last['height']}")
            error = max(abs(x - y) for x, y in zip(last["rgb"], ROOT_RGB))
            checks.expect(error <= 12, f"the share shows the screen's colour {ROOT_RGB}: {last['rgb']}")
        listed = {remote["display"] for r in b if "remotes" in r for remote in r["remotes"]}
        joined = [r["display"] for r in b if r.get("event") == "participant-joined"]
        checks.expect(listed == {"Alice"} and joined.count("Alice") == 1,
                      f"the share is no participant of its own: {listed} {joined}")
        stopped = [r for r in b if r.get("event") == "share-stopped"]
        checks.expect(stopped and stopped[0]["id"] == alice_id, f"Bob sees the share go: {stopped}")
        after = [r for r in b if "remotes" in r and stopped and r["t"] > stopped[0]["t"]]
        checks.expect(after and all("share" not in r for r in after) and
                      all(any(x["display"] == "Alice" and x["frames"] > 0 for x in r["remotes"]) for r in after),
                      "after the share Bob still has Alice, and no share")
        return 1 if checks.failures else 0
    finally:
        stop_all(processes)
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
