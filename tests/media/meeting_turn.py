#!/usr/bin/env python3
"""A meeting relayed through TURN, for a participant behind a NAT.

Inside a media sandbox (J): devservice, its Janus (127.0.0.2 on tvmedia0)
and its coturn (--turn-address 127.0.0.3, on tvmedia1), and the host, a
meeting-participant. A second namespace (N) holds the guest on 127.0.0.4,
whose one route leads to the TURN server's address over a veth to J, where
only packets from 127.0.0.3 are routed back to it (loopback-range addresses
travel between the two with route_localnet, and neither side keeps the
catch-all local route for 127.0.0.0/8). The guest's signalling reaches the
service and Janus through TCP forwarders on 127.0.0.1 in N, as a NAT would
let it out.

Both receive the other's pictures and tone; the guest's statistics show a
relay candidate on both of its paths; its allocations are given back when
it leaves; neither the TURN credentials nor coturn's shared secret appear in
the service's log, coturn's log or the participants' output. Prints the time
from both being in the meeting to the first relayed frame, both ways.

    /usr/bin/python3 meeting_turn.py PARTICIPANT DEVSERVICE CERT_DIR PORT
Enters a sandbox itself; exits 77 without janus, coturn or namespaces.
"""
import base64
import ctypes
import hashlib
import hmac
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from media_service import SKIP, MediaService, enter_sandbox, stop_process  # noqa: E402

TURN_ADDRESS, GUEST_ADDRESS = "127.0.0.3", "127.0.0.4"
HOST = ("zhangsan@example.com", "Zs-Meet-2024", "#e01010", "440")
GUEST = ("lisi@talvora.dev", "LiSi-Password-16", "#10c010", "660")
MEDIA_SECONDS = 2
CLONE_NEWNET = 0x40000000


def sh(*commands):
    for command in commands:
        subprocess.run(command.split(), check=True)


def local_loopback_only(prefix=()):
    """Keeps 127.0.0.1 local but lets the rest of 127.0.0.0/8 be routed."""
    sh(*[" ".join([*prefix, c]) for c in ("ip route del local 127.0.0.0/8 dev lo table local",
                                            "sysctl -qw net.ipv4.conf.all.route_localnet=1",
                                            "sysctl -qw net.ipv4.conf.all.rp_filter=0")])


def make_nat():
    """The guest's namespace, held by a sleeping process; returns it."""
    holder = subprocess.Popen(["unshare", "--net", "sleep", "120"])
    own = os.readlink("/proc/self/ns/net")
    while os.readlink("/proc/%d/ns/net" % holder.pid) == own:
        time.sleep(0.01)
    inside = ["nsenter", "--net=/proc/%d/ns/net" % holder.pid]
    # Janus sends everything out of tvmedia0 as if on its link, so the TURN
    # server sits at that link's far end, tvmedia1; packets from Janus's
    # own address arrive there (accept_local).
    sh("ip addr add %s/32 dev tvmedia1" % TURN_ADDRESS,
       "ip link add tvturn0 type veth peer name tvturn1",
       "ip link set tvturn1 netns %d" % holder.pid,
       *["sysctl -qw net.ipv4.conf.%s.route_localnet=1" % dev for dev in ("tvmedia0", "tvmedia1", "tvturn0")],
       "sysctl -qw net.ipv4.conf.tvmedia1.accept_local=1",
       "sysctl -qw net.ipv6.conf.tvturn0.disable_ipv6=1",
       "ip link set tvturn0 up",
       # Only the TURN server answers the guest.
       "ip rule add from %s table 77" % TURN_ADDRESS,
       "ip route add %s/32 dev tvturn0 table 77" % GUEST_ADDRESS)
    local_loopback_only()
    sh(*[" ".join(inside) + " " + c for c in (
        "ip link set lo up",
        "sysctl -qw net.ipv6.conf.tvturn1.disable_ipv6=1",
        "ip addr add %s/32 dev tvturn1" % GUEST_ADDRESS,
        "sysctl -qw net.ipv4.conf.tvturn1.route_localnet=1",
        "ip link set tvturn1 up",
        "ip route add %s/32 dev tvturn1" % TURN_ADDRESS)])
    local_loopback_only(inside)
    return holder


def forward(holder, port):
    """Listens on 127.0.0.1:port in the guest's namespace and passes each
    connection on to 127.0.0.1:port here."""
    libc = ctypes.CDLL(None, use_errno=True)
    own = os.open("/proc/self/ns/net", os.O_RDONLY)
    theirs = os.open("/proc/%d/ns/net" % holder.pid, os.O_RDONLY)
    try:
        if libc.setns(theirs, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns")
        listener = socket.create_server(("127.0.0.1", port))
    finally:
        libc.setns(own, CLONE_NEWNET)
        os.close(own)
        os.close(theirs)

    def pump(source, sink):
        try:
            while data := source.recv(65536):
                sink.sendall(data)
        except OSError:
            pass
        for end in (source, sink):
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def serve():
        while True:
            client, _ = listener.accept()
            upstream = socket.create_connection(("127.0.0.1", port))
            threading.Thread(target=pump, args=(client, upstream), daemon=True).start()
            threading.Thread(target=pump, args=(upstream, client), daemon=True).start()

    threading.Thread(target=serve, daemon=True).start()


class Participant:
    """A meeting-participant; its report lines stamped with this clock."""

    def __init__(self, argv, scratch, name):
        self.records = []
        self.err_path = os.path.join(scratch, name + ".err")
        self.out = []
        self.err = None
        with open(self.err_path, "w") as err:
            self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=err, text=True)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.process.stdout:
            self.out.append(line)
            if line.startswith("{"):
                self.records.append((time.time(), json.loads(line)))

    def first(self, event, **fields):
        return next(((at, r) for at, r in self.records if r.get("event") == event and
                     all(r.get(k) == v for k, v in fields.items())), (None, None))

    def stop(self):
        stop_process(self.process, 10)
        if self.err is None:
            with open(self.err_path, errors="replace") as err:
                self.err = err.read()

    def output(self):
        return "".join(self.out) + (self.err or "")


def ways(host, guest):
    """(receiver, sender's id, sender's tone) both ways, once both joined."""
    host_id, guest_id = (p.first("joined")[1] for p in (host, guest))
    if not host_id or not guest_id:
        return ((host, None, 0), (guest, None, 0))
    return ((guest, host_id["id"], int(HOST[3])), (host, guest_id["id"], int(GUEST[3])))


def heard(receiver, sender, tone):
    """The most frames of sender the receiver reported, the tones (rounded to
    the sender's within 15 Hz) and the selected candidate pairs."""
    frames, tones, pairs = 0, set(), set()
    for _, report in receiver.records:
        for remote in report.get("remotes", []):
            if remote["id"] == sender and remote["frames"] > 0:
                frames = max(frames, remote["frames"])
                tones.add(tone if abs(remote["freq_hz"] - tone) < 15 else remote["freq_hz"])
                if remote["pair"][0]:
                    pairs.add(tuple(remote["pair"]))
    return frames, tones, pairs


def allocations(log, participant):
    """{coturn session: given back} of the participant's TURN allocations."""
    sessions = {}
    for line in log.splitlines():
        opened = re.search(r"session (\d+): new, realm=<[^>]*>, username=<\d+:%d>" % participant, line)
        if opened:
            sessions[opened.group(1)] = False
        closed = re.search(r"session (\d+): refreshed, .*lifetime=0", line)
        if closed and closed.group(1) in sessions:
            sessions[closed.group(1)] = True
    return sessions


def credentials(secret, participant_id, expiries):
    """Every credential (raw and URL-encoded) the service could have made
    for the participant with an expiry in the range."""
    found = []
    for expiry in expiries:
        mac = hmac.new(secret.encode(), ("%d:%d" % (expiry, participant_id)).encode(), hashlib.sha1).digest()
        text = base64.b64encode(mac).decode()
        found += [text, urllib.parse.quote(text, safe="")]
    return found


def main(binary, devservice, certs, port):
    if shutil.which("turnserver") is None:
        print("skipped: coturn is not installed")
        return SKIP
    enter_sandbox()
    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        if not condition:
            failures.append(message)

    holder = make_nat()
    people = []
    try:
        with MediaService(devservice, certs, port=int(port),
                          args=["--turn", "--turn-address", TURN_ADDRESS]) as service:
            session = service.login(*HOST[:2])
            asked = time.time()
            status, answer = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "0"}, session)
            assert status == 200, answer
            number, media = answer["number"], answer["media"]
            ice = media["ice_servers"]
            check(len(ice) == 1 and ice[0]["urls"] == ["turn:%s:%s" % (TURN_ADDRESS, ice[0]["urls"][0].split(":")[2])],
                  "the admission names the TURN server: %s" % [s["urls"] for s in ice])
            valid_for = int(ice[0]["username"].split(":")[0]) - int(asked)
            forward(holder, int(port))
            forward(holder, int(re.search(r":(\d+)", media["server"].split("//")[1]).group(1)))

            def argv(who, *extra):
                return [binary, "--service", service.url, "--ca", service.ca_file, "--account", who[0],
                        "--password", who[1], "--number", number, "--colour", who[2], "--tone", who[3],
                        "--size", "320x240", "--fps", "15", "--report-every", "500", *extra]
            host = Participant(argv(HOST, "--start"), service.scratch, "host")
            joining = time.time()
            guest = Participant(["nsenter", "--net=/proc/%d/ns/net" % holder.pid, *argv(GUEST)],
                                service.scratch, "guest")
            people = [host, guest]

            deadline = time.time() + 60
            while time.time() < deadline and all(p.process.poll() is None for p in people) and not all(
                    heard(*way)[0] >= MEDIA_SECONDS * 15 for way in ways(host, guest)):
                time.sleep(0.2)
            ended = time.time()
            for p in people:
                p.process.send_signal(signal.SIGTERM)
            for p in people:
                p.stop()
            with open(os.path.join(service.scratch, "devservice.db.turn", "turnserver.conf")) as config:
                secret = re.search(r"static-auth-secret=(\S+)", config.read()).group(1)
            turn_log = os.path.join(service.scratch, "devservice.db.turn", "turnserver.log")
            guest_id = (guest.first("joined")[1] or {}).get("id", 0)
            for _ in range(30):  # the last allocations are given back as the guest leaves
                with open(turn_log, errors="replace") as log:
                    logs = {"the service's log": service.log(), "coturn's log": log.read()}
                if all(allocations(logs["coturn's log"], guest_id).values()):
                    break
                time.sleep(0.1)

        host_joined, (guest_at, guest_joined) = host.first("joined")[1], guest.first("joined")
        check(bool(host_joined and guest_joined), "both joined: %s" % [p.output()[-1500:] for p in people
                                                                      if not p.first("joined")[1]])
        if not (host_joined and guest_joined):
            return 1
        for (receiver, sender, tone), who in zip(ways(host, guest), ("the guest", "the host")):
            frames, tones, pairs = heard(receiver, sender, tone)
            check(frames >= MEDIA_SECONDS * 15, "%s sees the other's pictures: %d frames" % (who, frames))
            check(tone in tones, "%s hears the other's %d Hz tone: %s" % (who, tone, sorted(tones)))
        host_id, guest_id = host_joined["id"], guest_joined["id"]
        received = heard(guest, host_id, 0)[2]
        sent = {tuple(r["sent_pair"]) for _, r in guest.records if r.get("sent_pair", [""])[0]}
        check(received and all(pair[0] == "relay" for pair in received), "the guest receives through TURN: %s"
              % received)
        check(sent and all(pair[0] == "relay" for pair in sent), "the guest sends through TURN: %s" % sent)
        print("selected pairs (local, remote): guest receiving %s, guest sending %s, host receiving %s" % (
            received, sent, heard(host, guest_id, 0)[2]))
        # The last peer connection may end as the process does, before its
        # agent has sent the release.
        given_back = allocations(logs["coturn's log"], guest_id)
        check(len(given_back) >= 2 and list(given_back.values()).count(False) <= 1,
              "the guest's TURN allocations are given back as it leaves: %d of %d" % (
                  sum(given_back.values()), len(given_back)))
        # From the moment both are in the meeting (wall clock, as read here).
        both_in = max(host.first("joined")[0], guest_at)
        relayed_in = guest.first("first-frame", id=host_id)[0]
        relayed_out = host.first("first-frame", id=guest_id)[0]
        if relayed_in and relayed_out:
            print("first relayed frame %.2f s (to the guest) and %.2f s (from it) after both joined" % (
                relayed_in - both_in, relayed_out - both_in))

        expiry, _, participant = ice[0]["username"].partition(":")
        check(ice[0]["credential"] in credentials(secret, int(participant), [int(expiry)]),
              "the test makes the service's credentials")
        secrets = [secret, ice[0]["credential"]]
        expiries = range(int(joining) + valid_for - 2, int(ended) + valid_for + 2)
        secrets += credentials(secret, guest_id, expiries) + credentials(secret, host_id, expiries)
        logs.update({"%s's output" % name: p.output() for name, p in zip(("the host", "the guest"), people)})
        for name, text in logs.items():
            check(not any(s in text for s in secrets), "no TURN secret in %s" % name)
    finally:
        for p in people:
            p.stop()
        holder.kill()
        holder.wait()
    if failures:
        for name, p in zip(("host", "guest"), people):
            print("--- %s\n%s" % (name, p.output()[-3000:]))
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
