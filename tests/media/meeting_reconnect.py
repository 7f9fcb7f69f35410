#!/usr/bin/env python3
"""Two meeting-participants admitted by the service (devservice and its own
Janus in a media sandbox) lose their network and get it back:

- the loopback is cut (a qdisc that drops every packet) for 8 s: both report
  the loss, and are back within 5 s of the network's return, receiving each
  other's pictures again under the same ids;
- only UDP is cut for 8 s (the media; the WebSocket stays): the same, on the
  same Janus session through an ICE restart, pictures and tones both ways
  (the time from the restore to each is printed);
- Janus is killed: the service starts it again, and both rejoin the
  meeting's new room by themselves, under the same ids.

    /usr/bin/python3 meeting_reconnect.py PARTICIPANT DEVSERVICE CERT_DIR PORT
Enters a sandbox itself; exits 77 where none can be made or Janus is missing.
"""
import json
import os
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from media_service import MediaService, enter_sandbox, stop_process  # noqa: E402

API = {"api_key": "5D2E8A41C07B93F6E1A04C8B7D3F2619", "api_secret": "9B47E0C3A5D1286F4E0B7A93C6D85F12"}
CUT_SECONDS = 8


def cut_udp(on):
    """Every UDP packet on the loopback into a class that passes 8 bit/s
    into a one-packet queue (this kernel has no drop action); TCP passes."""
    if not on:
        subprocess.run(["tc", "qdisc", "del", "dev", "lo", "root"], check=True)
        return
    for command in (["qdisc", "add", "dev", "lo", "root", "handle", "1:", "htb", "default", "10"],
                    ["class", "add", "dev", "lo", "parent", "1:", "classid", "1:10", "htb", "rate", "10gbit"],
                    ["class", "add", "dev", "lo", "parent", "1:", "classid", "1:20", "htb", "rate", "8bit",
                     "ceil", "8bit"],
                    ["qdisc", "add", "dev", "lo", "parent", "1:20", "pfifo", "limit", "1"],
                    ["filter", "add", "dev", "lo", "parent", "1:", "protocol", "ip", "prio", "1", "u32",
                     "match", "ip", "protocol", "17", "0xff", "classid", "1:20"]):
        subprocess.run(["tc", *command], check=True, capture_output=True)


class Participant:
    """A meeting-participant whose report lines are read as they come, each
    stamped with this clock."""

    def __init__(self, service, binary, account, password, number, name, colour, *extra):
        self.name = name
        self.records = []
        self.lock = threading.Lock()
        self.stderr = open(os.path.join(service.scratch, name + ".err"), "w")
        self.process = service.popen(
            [binary, "--service", service.url, "--ca", service.ca_file, "--account", account,
             "--password", password, "--number", number, "--display-name", name, "--colour", colour,
             "--size", "320x240", "--fps", "15", "--report-every", "250", *extra],
            stdout=subprocess.PIPE, stderr=self.stderr, text=True)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                with self.lock:
                    self.records.append((time.time(), json.loads(line)))

    def events(self, name, since=0):
        with self.lock:
            return [at for at, r in self.records if r.get("event") == name and at >= since]

    def frames(self, key="frames"):
        """{remote id: frames decoded (or another count)} of the latest report."""
        with self.lock:
            reports = [r for _, r in self.records if "remotes" in r]
        return {remote["id"]: remote[key] for remote in reports[-1]["remotes"]} if reports else {}

    def self_id(self):
        with self.lock:
            ids = [r["id"] for _, r in self.records if r.get("event") == "joined"]
        return ids[-1] if ids else None

    def log(self):
        self.stderr.flush()
        with open(self.stderr.name, errors="replace") as err:
            return err.read()

    def stop(self):
        stop_process(self.process)
        self.stderr.close()


def wait_until(condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


def receiving(receiver, sender_id, seconds, key="frames"):
    """Whether receiver decodes new frames (or hears new 100 ms windows of
    tone, key "heard_windows") of sender within seconds."""
    start = receiver.frames(key).get(sender_id, 0)
    return wait_until(lambda: receiver.frames(key).get(sender_id, 0) > start + 5, seconds)


def main(binary, devservice, certs, port):
    enter_sandbox()
    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        if not condition:
            failures.append(message)

    with MediaService(devservice, certs, port=int(port)) as service:
        status, booked = service.post("/v3/meeting/create", dict(
            API, zcode="ZC10001", topic="周会", type="2", start_time="2030-03-07 9:05:00", duration="45",
            option_no_video_host="false", option_no_video_participants="false"))
        assert status == 200, booked
        number = str(booked["id"])
        host = Participant(service, binary, "zhangsan@example.com", "Zs-Meet-2024", number, "Zhang", "#e01010",
                           "--start")
        guest = Participant(service, binary, "lisi@talvora.dev", "LiSi-Password-16", number, "Li", "#10c010")
        people = (host, guest)
        try:
            ok = wait_until(lambda: host.self_id() and guest.self_id(), 30)
            check(ok, "both joined")
            if not ok:
                return 1
            ids = {p.name: p.self_id() for p in people}
            pairs = ((host, guest), (guest, host))
            for receiver, sender in pairs:
                check(receiving(receiver, ids[sender.name], 20), "%s receives %s" % (receiver.name, sender.name))

            # The network goes for 8 s and comes back.
            cut = time.time()
            subprocess.run(["tc", "qdisc", "add", "dev", "lo", "root", "pfifo", "limit", "0"], check=True)
            time.sleep(CUT_SECONDS)
            subprocess.run(["tc", "qdisc", "del", "dev", "lo", "root"], check=True)
            back = time.time()
            for p in people:
                check(bool(p.events("connection-lost", cut)), "%s reports the loss" % p.name)
            for p in people:
                wait_until(lambda: p.events("connection-restored", cut), 15)
                restored = p.events("connection-restored", cut)
                check(bool(restored) and restored[0] - back <= 5,
                      "%s is back within 5 s of the network: %s" % (
                          p.name, "%.1f s" % (restored[0] - back) if restored else "never"))
            for receiver, sender in pairs:
                check(receiving(receiver, ids[sender.name], 5),
                      "%s receives %s again, as %s" % (receiver.name, sender.name, ids[sender.name]))
            check({p.name: p.self_id() for p in people} == ids, "same ids after the cut")

            # Only the media's UDP goes; the WebSocket stays.
            logged = {p.name: len(p.log()) for p in people}
            cut = time.time()
            cut_udp(True)
            time.sleep(CUT_SECONDS)
            cut_udp(False)
            back = time.time()
            for p in people:
                wait_until(lambda: p.events("connection-restored", cut), 15)
                restored = p.events("connection-restored", cut)
                check(bool(p.events("connection-lost", cut)) and bool(restored) and restored[0] - back <= 5,
                      "%s is back within 5 s of UDP: %s" % (
                          p.name, "%.1f s" % (restored[0] - back) if restored else "never"))
                check("ICE restarted: media flows again on the same session" in p.log()[logged[p.name]:],
                      "%s came back through an ICE restart" % p.name)
            # Each way's pictures and tone, timed from the restore together.
            flows = {(r, s, key): r.frames(key).get(ids[s.name], 0)
                     for r, s in pairs for key in ("frames", "heard_windows")}
            seen = {}

            def arrived():
                for (receiver, sender, key), start in flows.items():
                    if (receiver, sender, key) not in seen and \
                            receiver.frames(key).get(ids[sender.name], 0) > start + 5:
                        seen[(receiver, sender, key)] = time.time()
                return len(seen) == len(flows)
            wait_until(arrived, 15)
            for (receiver, sender, key) in flows:
                at = seen.get((receiver, sender, key))
                check(at is not None, "%s has %s's %s again after UDP: %s" % (
                    receiver.name, sender.name, "pictures" if key == "frames" else "tone",
                    "%.1f s after the restore" % (at - back) if at else "never"))
            check({p.name: p.self_id() for p in people} == ids, "same ids after the UDP cut")

            # Janus dies; the service starts another and makes the room again.
            killed = time.time()
            os.kill(service.janus_pid(), signal.SIGKILL)
            for p in people:
                wait_until(lambda: p.events("connection-restored", killed), 40)
                restored = p.events("connection-restored", killed)
                check(bool(p.events("connection-lost", killed)) and bool(restored),
                      "%s rejoins after Janus was killed: %s" % (
                          p.name, "%.1f s" % (restored[0] - killed) if restored else "never"))
            for receiver, sender in pairs:
                check(receiving(receiver, ids[sender.name], 15),
                      "%s receives %s in the new room" % (receiver.name, sender.name))
            check({p.name: p.self_id() for p in people} == ids, "same ids in the new room")
            for p in people:
                check(p.process.poll() is None, "%s still in the meeting" % p.name)
        finally:
            for p in people:
                p.stop()
            if failures:
                for p in people:
                    with open(os.path.join(service.scratch, p.name + ".err"), errors="replace") as err:
                        print("--- %s stderr\n%s" % (p.name, err.read()[-3000:]))
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
