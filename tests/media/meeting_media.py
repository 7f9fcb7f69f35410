#!/usr/bin/env python3
"""Two meeting-participants in a Janus room, inside a media sandbox.

Each of two must receive the other's picture (growing frame count, right size and
colour) and tone; the others must learn of a mute, and the muted tone must
drop by at least 30 dB; a participant that leaves must leave the other's
list, and the last one must learn when the room is destroyed. A third
joins muted and without video: the others see that, and receive nothing.
Everyone's WebSocket is cut once: sessions are claimed back, media flow on.
A wrong pin is refused. Run as: meeting_media.py PARTICIPANT JANUS_CONFIG_SH (inside
scripts/media-sandbox.sh). Exits 77 where Janus is not installed.
"""
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

PORT = 8188
ROOM = 4242
PIN = "media-test-pin"
SECRET = "media-test-secret"


def wait_port(port, deadline):
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return True
        except OSError:
            time.sleep(0.1)
    return False


def destroy_room():
    """Destroys the room over Janus's WebSocket API, as the service does when
    the host ends the meeting."""
    connection = socket.create_connection(("127.0.0.1", PORT), timeout=5)
    connection.sendall((f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\nUpgrade: websocket\r\n"
                        "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                        f"Sec-WebSocket-Key: {base64.b64encode(os.urandom(16)).decode()}\r\n"
                        "Sec-WebSocket-Protocol: janus-protocol\r\n\r\n").encode())
    reply = b""
    while b"\r\n\r\n" not in reply:
        reply += connection.recv(4096)

    def request(message):
        data = json.dumps(message).encode()
        mask = os.urandom(4)
        connection.sendall(bytes([0x81, 0x80 | 126]) + len(data).to_bytes(2, "big") + mask +
                           bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
        header = connection.recv(2)
        size = header[1] & 0x7f
        if size == 126:
            size = int.from_bytes(connection.recv(2), "big")
        body = b""
        while len(body) < size:
            body += connection.recv(size - len(body))
        return json.loads(body)

    session = request({"janus": "create", "transaction": "1"})["data"]["id"]
    handle = request({"janus": "attach", "plugin": "janus.plugin.videoroom", "transaction": "2",
                      "session_id": session})["data"]["id"]
    answer = request({"janus": "message", "transaction": "3", "session_id": session, "handle_id": handle,
                      "body": {"request": "destroy", "room": ROOM, "secret": SECRET}})
    connection.close()
    return answer.get("plugindata", {}).get("data", {}).get("videoroom") == "destroyed"


def participant(binary, name, colour, tone, *extra, pin=PIN):
    command = [binary, "--janus", f"ws://127.0.0.1:{PORT}", "--room", str(ROOM), "--pin", pin,
               "--display-name", name, "--colour", colour, "--tone", str(tone),
               "--size", "320x240", "--fps", "15", *extra]
    return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def stop_all(processes):
    """Stops what a test started, the last started first."""
    for process in reversed(processes):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()


def lines(output):
    return [json.loads(line) for line in output.splitlines() if line.startswith("{")]


def reports_of(records, name):
    """(t, remote) for each report line that lists `name`."""
    return [(r["t"], remote) for r in records if "remotes" in r for remote in r["remotes"]
            if remote["display"] == name]


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            self.failures.append(message)


def check_reception(checks, who, records, sender, rgb, tone):
    seen = reports_of(records, sender)
    frames = [remote["frames"] for _, remote in seen]
    checks.expect(len(frames) >= 2 and frames[-1] > frames[0] and frames == sorted(frames),
                  f"{who} receives {sender}'s frames, growing: {frames}")
    video = [remote for _, remote in seen if remote["frames"] > 0]
    if video:
        last = video[-1]
        checks.expect((last["width"], last["height"]) == (320, 240),
                      f"{who} sees {sender} at 320x240: {last['width']}x{last['height']}")
        error = max(abs(a - b) for a, b in zip(last["rgb"], rgb))
        checks.expect(error <= 24, f"{who} sees {sender}'s colour {rgb}: {last['rgb']}")
    audible = [remote for _, remote in seen if remote["rms_dbfs"] > -35]
    checks.expect(bool(audible), f"{who} hears {sender}: {[r['rms_dbfs'] for _, r in seen]}")
    if audible:
        checks.expect(abs(audible[-1]["freq_hz"] - tone) <= 8,
                      f"{who} hears {sender}'s {tone} Hz tone: {audible[-1]['freq_hz']}")


def start_janus(make_config, prefix):
    """Janus with the test room (janus-config.sh) and the scratch folder it
    logs into; None where Janus is not installed."""
    janus = shutil.which("janus")
    if not janus:
        print("janus is not installed: skipped")
        return None
    work = tempfile.mkdtemp(prefix=prefix)
    subprocess.run([make_config, work, str(PORT), str(ROOM), PIN, SECRET], check=True)
    with open(os.path.join(work, "janus.log"), "w") as log:
        server = subprocess.Popen([janus, "-F", work, "-C", os.path.join(work, "janus.jcfg")],
                                  stdout=log, stderr=subprocess.STDOUT)
    return server, work


def main():
    binary, make_config = sys.argv[1], sys.argv[2]
    started = start_janus(make_config, "talvora-media-")
    if started is None:
        return 77
    server, work = started
    processes = [server]
    try:
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        mute_at, leave_at = 5.5, 11.0
        started = time.time()
        alice = participant(binary, "Alice", "#e01010", 440, "--leave-after", "18")
        processes.append(alice)
        bob = participant(binary, "Bob", "#10c010", 660, "--mute-after", str(mute_at),
                          "--leave-after", str(leave_at))
        processes.append(bob)
        carol = participant(binary, "Carol", "#ffffff", 1000, "--mute", "--no-video", "--leave-after", "4")
        processes.append(carol)
        intruder = participant(binary, "Mallory", "#000000", 300, pin="not-the-pin")
        processes.append(intruder)
        _, intruder_err = intruder.communicate(timeout=20)
        # Every participant's WebSocket is cut (the sandbox holds only ours):
        # each must claim its session again while the media keep flowing.
        # Once Bob has muted and Carol has left (what a participant misses
        # while its socket is down is not replayed), and well before Bob
        # leaves.
        time.sleep(max(0.0, started + mute_at + 1.0 - time.time()))
        cut = subprocess.run(["ss", "-K", "dst", "127.0.0.1", "dport", "=", str(PORT)],
                             capture_output=True, text=True)
        socket_cut = cut.returncode == 0 and str(PORT) in cut.stdout and "not supported" not in cut.stderr
        _, carol_err = carol.communicate(timeout=30)
        bob_out, bob_err = bob.communicate(timeout=30)
        time.sleep(1.5)  # Alice reports once more without Bob
        destroyed = destroy_room()
        alice_out, alice_err = alice.communicate(timeout=10)
        a, b = lines(alice_out), lines(bob_out)

        checks = Checks()
        checks.expect(destroyed and any(r.get("event") == "ended" for r in a),
                      "Alice learns that the room is gone")
        checks.expect(alice.returncode == 0 and bob.returncode == 0,
                      f"both leave cleanly: {alice.returncode} {bob.returncode}\n{alice_err[-2000:]}\n{bob_err[-2000:]}")
        check_reception(checks, "Alice", [r for r in a if r["t"] < mute_at], "Bob", (16, 192, 16), 660)
        check_reception(checks, "Bob", b, "Alice", (224, 16, 16), 440)

        # Alice's clock started a little before Bob's: her reports after
        # mute_at + 2 s of her own time are all of the muted second, even on a busy machine.
        heard = [remote["rms_dbfs"] for t, remote in reports_of(a, "Bob") if 2 < t < mute_at]
        muted = [remote["rms_dbfs"] for t, remote in reports_of(a, "Bob") if mute_at + 2.0 < t < leave_at]
        checks.expect(heard and muted and max(muted) <= max(heard) - 30,
                      f"Bob's mute drops his level by 30 dB or more: {heard} -> {muted}")
        carol_joined = [r for r in a if r.get("event") == "participant-joined" and r["display"] == "Carol"]
        checks.expect(intruder.returncode == 3 and "wrong pin" in intruder_err,
                      f"a wrong pin is refused: {intruder.returncode} {intruder_err[-500:]}")
        checks.expect(carol.returncode == 0, f"Carol publishes and leaves cleanly: {carol_err[-2000:]}")
        checks.expect(carol_joined and carol_joined[0]["muted"] and carol_joined[0]["video_off"],
                      f"Carol joins muted and without video: {carol_joined}")
        carol_seen = [remote for _, remote in reports_of(a, "Carol")]
        checks.expect(carol_seen and all(r["frames"] == 0 and r["rms_dbfs"] < -100 for r in carol_seen),
                      f"nothing comes from Carol: {carol_seen}")
        if socket_cut:
            events = [r.get("event") for r in a]
            checks.expect("connection-lost" in events and "connection-restored" in events,
                          "Alice gets her session back after the cut")
        else:
            print("skip the cut socket: this kernel cannot destroy sockets")
        bob_id = next((r["id"] for r in a if r.get("event") == "participant-joined" and r["display"] == "Bob"), None)
        checks.expect(any(r.get("event") == "participant-changed" and r["id"] == bob_id and r["muted"] for r in a),
                      "Alice learns that Bob is muted")
        checks.expect(any(r.get("event") == "participant-left" and r["id"] == bob_id for r in a),
                      "Bob leaves Alice's list")
        last = [r for r in a if "remotes" in r][-1]
        checks.expect(last["remotes"] == [], f"nobody left in Alice's last report: {last}")
        return 1 if checks.failures else 0
    finally:
        stop_all(processes)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
