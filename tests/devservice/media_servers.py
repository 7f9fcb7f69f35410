"""Several media servers and TURN against the real service inside a media
sandbox: devservice with two Janus instances of its own and its own coturn.
Four meetings spread over both instances; one instance stops answering
(SIGSTOP), and within 10 s every meeting is admitted again on the other,
where Janus takes the new token and the pin. The admission's TURN
credentials open allocations at coturn (enough for a full room), forged ones
do not, and none of it reaches a log.

    /usr/bin/python3 media_servers.py DEVSERVICE CERT_DIR   (enters a media sandbox itself)
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
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from media_service import SKIP, MediaService, enter_sandbox  # noqa: E402

try:
    from janus_client import Janus  # noqa: E402
except ImportError:
    print("skipped: python3-websocket is not installed (run with /usr/bin/python3)")
    sys.exit(SKIP)

FAILOVER_SECONDS = 10
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


def main(devservice, certs):
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

        # One instance stops answering: every meeting comes back on the other.
        victim_url = placed[0]
        survivor_url = next(url for url in instances if url != victim_url)
        victim = instances[victim_url]
        os.kill(victim, signal.SIGSTOP)
        stopped = time.time()
        try:
            moved = {}
            while len(moved) < len(meetings) and time.time() < stopped + FAILOVER_SECONDS:
                for number in meetings:
                    if number in moved:
                        continue
                    status, answer = service.post("/sdk/v1/meetings/start", {"number": number, "no_video": "0"},
                                                  zhang)
                    if status == 200 and answer["media"]["server"] == survivor_url:
                        moved[number] = answer["media"]
                        secrets.append(answer["media"]["token"])
                time.sleep(0.2)
            elapsed = time.time() - stopped
            print("all meetings admitted on the survivor %.1f s after the other stopped" % elapsed, flush=True)
            check(len(moved) == len(meetings), "meetings back within %d s: %d of %d" %
                  (FAILOVER_SECONDS, len(moved), len(meetings)))
            for number, media in moved.items():
                check(media["pin"] == meetings[number]["pin"], "meeting %s keeps its pin" % number)
                with Janus(media["server"], media["token"]) as janus:
                    joined = janus.attach().videoroom({"request": "join", "ptype": "publisher", "room": media["room"],
                                                       "pin": media["pin"], "id": media["participant_id"]})
                    check(joined.get("videoroom") == "joined", "join on the survivor: %s" % joined)
        finally:
            os.kill(victim, signal.SIGCONT)
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
    sys.exit(main(sys.argv[1], sys.argv[2]))
