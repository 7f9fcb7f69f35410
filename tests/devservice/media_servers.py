"""Several media servers and TURN against the real service inside a media
sandbox: devservice with two Janus instances of its own and its own coturn.
Four meetings spread over both instances, two meeting-participants in each
with media flowing both ways; one instance is killed (SIGKILL, and again
whenever the service starts it anew), and within 10 s every meeting carries
media again, its participants under the same ids, those of the dead
instance moved to the other by their own re-admission. Then the survivor
stops (SIGSTOP) for 7 s, and then until its rooms have moved: no meeting
ends, and media comes back. The admission's
TURN credentials open allocations at coturn (enough for a full room),
forged ones do not, and none of it reaches a log.

    /usr/bin/python3 media_servers.py PARTICIPANT DEVSERVICE CERT_DIR   (enters a media sandbox itself)
"""

import hashlib
import hmac
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "media"))

from media_service import SKIP, MediaService, enter_sandbox  # noqa: E402
from meeting_reconnect import Participant, wait_until  # noqa: E402

FAILOVER_SECONDS = 10
# Janus stopped for 7 s: one missed health check, and the rooms stay; then
# until its rooms have moved (None): those who take their old sessions back
# there find the rooms left behind destroyed once it answers again.
STALLS = (7, None)
# Eight participants on two cores (and ASan builds in CI): small pictures at
# a low rate, reported twice a second for the timing. The last --size
# and --fps given win over the fixture's own.
SMALL_MEDIA = ("--size", "160x120", "--fps", "10", "--report-every", "500")
# Who sits in every meeting: name, account, password, colour, tone.
PEOPLE = (("Li", "lisi@talvora.dev", "LiSi-Password-16", "#10c010", 440),
          ("Wang", "wangwu@example.com", "Ww-Meet-2024", "#e01010", 660))
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, flush=True)


def stun_message(kind, transaction, attributes, key=None):
    """A STUN message; with `key`, signed with MESSAGE-INTEGRITY."""
    body = b""
    for attribute, value in attributes:
        body += struct.pack("!HH", attribute, len(value)) + value + b"\0" * (-len(value) % 4)
    if key is None:
        return struct.pack("!HHI", kind, len(body), 0x2112A442) + transaction + body
    header = struct.pack("!HHI", kind, len(body) + 24, 0x2112A442) + transaction
    integrity = hmac.new(key, header + body, hashlib.sha1).digest()
    return header + body + struct.pack("!HH", 0x0008, 20) + integrity


def stun_attributes(message):
    attributes, at = {}, 20
    while at + 4 <= len(message):
        attribute, length = struct.unpack("!HH", message[at:at + 4])
        attributes[attribute] = message[at + 4:at + 4 + length]
        at += 4 + length + (-length % 4)
    return attributes


def allocate(url, username, credential):
    """The STUN message type of coturn's answer to an authenticated UDP
    Allocate (0x0103 success, 0x0113 error), and the error code if any."""
    host, port = re.match(r"turn:([^:]+):(\d+)", url).groups()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.settimeout(2)
        transport = [(0x0019, bytes([17, 0, 0, 0]))]
        sock.sendto(stun_message(0x0003, os.urandom(12), transport), (host, int(port)))
        challenge = stun_attributes(sock.recv(2048))
        realm, nonce = challenge[0x0014], challenge[0x0015]
        key = hashlib.md5(b"%s:%s:%s" % (username.encode(), realm, credential.encode())).digest()
        attributes = [(0x0006, username.encode()), (0x0014, realm), (0x0015, nonce)] + transport
        sock.sendto(stun_message(0x0003, os.urandom(12), attributes, key), (host, int(port)))
        answer = sock.recv(2048)
        kind = struct.unpack("!H", answer[:2])[0]
        error = stun_attributes(answer).get(0x0009)
        return kind, (error[2] * 100 + error[3]) if error else None


def janus_instances(service):
    """{WebSocket URL: pid} of the service's own Janus instances."""
    found = {}
    pids = subprocess.run(["pgrep", "-P", str(service.service_pid()), "-x", "janus"], capture_output=True,
                          text=True).stdout.split()
    for pid in pids:
        with open("/proc/%s/cmdline" % pid, "rb") as cmdline:
            argv = cmdline.read().split(b"\0")
        folder = argv[argv.index(b"-F") + 1].decode()
        with open(os.path.join(folder, "janus.transport.websockets.jcfg")) as config:
            port = re.search(r"ws_port = (\d+)", config.read()).group(1)
        found["ws://127.0.0.1:" + port] = int(pid)
    return found


def heard_from(receiver, sender, tone, after):
    """When receiver's reports after `after` first show sender's frames
    growing and sender's tone, or None."""
    with receiver.lock:
        reports = [(at, r) for at, r in receiver.records if "remotes" in r and at >= after]
    previous = None
    for at, report in reports:
        remote = next((r for r in report["remotes"] if r["id"] == sender.self_id()), None)
        if remote and previous is not None and remote["frames"] > previous and remote["rms_dbfs"] > -35 \
                and abs(remote["freq_hz"] - tone) <= 8:
            return at
        previous = remote["frames"] if remote else None
    return None


def media_back(pair, since, seconds, rejoined=False):
    """When both of a meeting's participants see and hear each other after
    `since` (and, with `rejoined`, after each has lost its connection and
    got it back), or None if not within `seconds`."""

    def after(receiver):
        if not rejoined:
            return since
        lost = receiver.events("connection-lost", since)
        restored = receiver.events("connection-restored", lost[0]) if lost else []
        return restored[0] if restored else None

    def both():
        times = []
        for receiver, sender in (pair, pair[::-1]):
            start = after(receiver)
            times.append(start and heard_from(receiver, sender, sender.tone, start))
        return None if None in times else max(times)

    wait_until(both, seconds)
    return both()


def cpu_share(processes, seconds):
    """Percent of one core that each of the processes used over `seconds`, on average."""
    def ticks():
        total = 0
        for process in processes:
            with open("/proc/%d/stat" % process.process.pid) as stat:
                fields = stat.read().rpartition(")")[2].split()
            total += int(fields[11]) + int(fields[12])
        return total
    before, started = ticks(), time.time()
    time.sleep(seconds)
    used = (ticks() - before) / os.sysconf("SC_CLK_TCK")
    return 100.0 * used / (time.time() - started) / len(processes)


class KeepDead:
    """Kills the Janus instance at `url` each time the service starts it
    again, until stopped: an instance that is gone for good."""

    def __init__(self, service, url):
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, args=(service, url), daemon=True)
        self.thread.start()

    def run(self, service, url):
        while not self.stopping.wait(0.05):
            try:
                pid = janus_instances(service).get(url)
                if pid:
                    os.kill(pid, signal.SIGKILL)
            except (OSError, ValueError):
                pass  # a process that went between the listing and the look

    def stop(self):
        self.stopping.set()
        self.thread.join()


def failover(service, zhang, meetings, people, instances, victim_url):
    """Media flowing both ways in all four meetings; then the instance at
    `victim_url` is killed and kept dead, and every meeting must carry media
    again within FAILOVER_SECONDS, with the same participants."""
    everyone = [p for pair in people.values() for p in pair]
    joined = wait_until(lambda: all(p.self_id() for p in everyone), 30)
    check(joined, "everyone joined: %s missing" % [p.name for p in everyone if not p.self_id()])
    if not joined:
        return
    ids = {p.name: p.self_id() for p in everyone}
    flowing = time.time()
    for number, pair in people.items():
        check(media_back(pair, flowing, 30) is not None,
              "meeting %s carries media both ways before the kill" % number)
    if failures:
        return
    print("participants: %.1f %% of one core each" % cpu_share(everyone, 3), flush=True)

    killed = time.time()
    os.kill(instances[victim_url], signal.SIGKILL)
    keeper = KeepDead(service, victim_url)
    try:
        times = {number: media_back(pair, killed, FAILOVER_SECONDS + 5,
                                    rejoined=meetings[number]["server"] == victim_url)
                 for number, pair in people.items()}
    finally:
        keeper.stop()
    for p in everyone:
        steps = sorted((at - killed, name) for name in ("connection-lost", "readmission", "connection-restored")
                       for at in p.events(name, killed))
        if steps:
            print("%s: %s" % (p.name, ", ".join("%s %.1f s" % (name, at) for at, name in steps)), flush=True)
    for number, back in times.items():
        on_victim = meetings[number]["server"] == victim_url
        seconds = "%.1f s" % (back - killed) if back else "never"
        print("meeting %s (%s): media back %s after the kill" %
              (number, "moved" if on_victim else "stayed", seconds), flush=True)
        check(back is not None and back - killed <= FAILOVER_SECONDS,
              "meeting %s carries media again within %d s: %s" % (number, FAILOVER_SECONDS, seconds))
        if on_victim:
            check("meeting %s: moved from %s" % (number, victim_url) in service.log(),
                  "meeting %s moved off the dead instance" % number)
    check({p.name: p.self_id() for p in everyone} == ids, "same participant ids after the failover")
    for number, pair in people.items():
        status, roster = service.get("/sdk/v1/meetings/roster?number=" + number, zhang)
        listed = {entry["id"] for entry in roster} if status == 200 else set()
        check({ids[p.name] for p in pair} <= listed,
              "meeting %s still lists its participants: %s" % (number, roster))
    for p in everyone:
        check(p.process.poll() is None, "%s still in the meeting" % p.name)


def stall(service, people, url, seconds):
    """The instance at `url` stopped for `seconds`: whether or not its rooms
    move meanwhile, no meeting may end, and every one carries media again,
    under the same participant ids."""
    everyone = [p for pair in people.values() for p in pair]
    ids = {p.name: p.self_id() for p in everyone}
    pid = janus_instances(service)[url]
    moved_before = service.log().count("moved from " + url)
    stopped = time.time()
    os.kill(pid, signal.SIGSTOP)
    try:
        if seconds:
            time.sleep(seconds)
        else:
            wait_until(lambda: service.log().count("moved from " + url) - moved_before >= len(people), 20)
    finally:
        os.kill(pid, signal.SIGCONT)
    resumed = time.time()
    # The leftovers of a move are destroyed at the health check after the
    # instance answers again: media must flow after that too.
    settled = time.time() + 6
    times = {number: media_back(pair, settled, 25) for number, pair in people.items()}
    moved = service.log().count("moved from " + url) - moved_before
    print("stall of %.1f s: %d meeting(s) moved off the stopped instance" % (resumed - stopped, moved),
          flush=True)
    for p in everyone:
        steps = sorted((at - stopped, name) for name in ("connection-lost", "readmission", "connection-restored")
                       for at in p.events(name, stopped))
        if steps:
            print("%s: %s" % (p.name, ", ".join("%s %.1f s" % (name, at) for at, name in steps)), flush=True)
    if not seconds:
        check(moved == len(people), "every meeting moved off the hung instance")
    for number, back in times.items():
        check(back is not None, "meeting %s carries media again after the stall" % number)
    for p in everyone:
        check(not p.events("ended", stopped), "%s: the meeting did not end over the stall" % p.name)
        check(p.process.poll() is None, "%s still in the meeting after the stall" % p.name)
    check({p.name: p.self_id() for p in everyone} == ids, "same participant ids after the stall")


def main(binary, devservice, certs):
    enter_sandbox()
    if shutil.which("turnserver") is None:
        print("skipped: coturn is not installed")
        return SKIP
    secrets = []
    with MediaService(devservice, certs, args=["--janus-instances", "2", "--turn"]) as service:
        zhang = service.login("zhangsan@example.com", "Zs-Meet-2024")
        instances = janus_instances(service)
        check(len(instances) == 2, "two Janus instances: %s" % instances)
        meetings = {}
        for _ in range(4):
            status, answer = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "0"}, zhang)
            assert status == 200, answer
            meetings[answer["number"]] = answer["media"]
            secrets += [answer["media"]["pin"], answer["media"]["token"]]
        placed = [media["server"] for media in meetings.values()]
        check(sorted(placed.count(url) for url in instances) == [2, 2], "meetings spread: %s" % placed)

        # TURN: the admission's credentials open an allocation; forged ones do not.
        media = next(iter(meetings.values()))
        ice = media["ice_servers"]
        check(len(ice) == 1 and ice[0]["urls"][0].startswith("turn:127.0.0.1:"), "ice_servers %s" % ice)
        expiry, _, participant = ice[0]["username"].partition(":")
        check(participant == str(media["participant_id"]) and int(expiry) > time.time() + 3600,
              "TURN username %s" % ice[0]["username"])
        secrets.append(ice[0]["credential"])
        check(allocate(ice[0]["urls"][0], ice[0]["username"], ice[0]["credential"])[0] == 0x0103,
              "an allocation with the admission's credentials")
        check(allocate(ice[0]["urls"][0], ice[0]["username"], "Zm9yZ2VkIGNyZWRlbnRpYWw=") == (0x0113, 401),
              "an allocation with forged credentials")
        # A peer connection per publisher of a full room, per local address.
        held = [allocate(ice[0]["urls"][0], ice[0]["username"], ice[0]["credential"]) for _ in range(36)]
        check(all(answer[0] == 0x0103 for answer in held), "one admission's credentials hold 36 allocations: %s"
              % [answer[1] for answer in held if answer[0] != 0x0103][:3])

        # Two participants in each meeting; one instance killed. A meeting's
        # pair starts once the one before has joined: eight start-ups at once
        # on a busy machine can take longer over signing in than the service
        # waits for a request.
        people = {}
        try:
            for index, number in enumerate(meetings):
                people[number] = []
                for name, account, password, colour, tone in PEOPLE:
                    person = Participant(service, binary, account, password, number, "%s%d" % (name, index),
                                         colour, "--tone", str(tone), *SMALL_MEDIA)
                    person.tone = tone
                    people[number].append(person)
                wait_until(lambda: all(p.self_id() or p.process.poll() is not None for p in people[number]), 30)
            failover(service, zhang, meetings, people, instances, victim_url=placed[0])
            survivor = next(url for url in instances if url != placed[0])
            for seconds in STALLS:
                if not failures:
                    stall(service, people, survivor, seconds)
        finally:
            for pair in people.values():
                for person in pair:
                    person.stop()
            if failures:
                for pair in people.values():
                    for person in pair:
                        with open(os.path.join(service.scratch, person.name + ".err"), errors="replace") as err:
                            print("--- %s stderr\n%s" % (person.name, err.read()[-2000:]))
        log = service.log()
        with open(os.path.join(service.scratch, "devservice.db.turn", "turnserver.conf")) as config:
            secrets += re.findall(r"static-auth-secret=(\S+)", config.read())
        with open(os.path.join(service.scratch, "devservice.db.turn", "turnserver.log"), errors="replace") as turn:
            log += turn.read()
    for secret in secrets:
        check(secret not in log, "a secret in the log")
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
