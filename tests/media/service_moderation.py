"""The chat and the host's controls through the real service and its Janus,
inside a media sandbox: the host and a guest (meeting-participants in
service mode, joining with the service's participant ids) exchange chat
messages; the host's mute through the service reaches the guest, who is told
(the service's announcement in the chat room) and shown muted to the host;
the guest unmutes, which lifts the host's mute through the service, and the
host hears the guest's tone again and shows the guest unmuted; the host's kick ends the guest's meeting.

    /usr/bin/python3 service_moderation.py PARTICIPANT DEVSERVICE CERT_DIR   (enters a sandbox itself)
"""
import json
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from media_service import MediaService, enter_sandbox  # noqa: E402

HOST = ("zhangsan@example.com", "Zs-Meet-2024")
GUEST = ("lisi@talvora.dev", "LiSi-Password-16")


def main(participant, devservice, certs):
    enter_sandbox()
    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        if not condition:
            failures.append(message)

    with MediaService(devservice, certs, port=int(os.environ.get("TALVORA_TEST_PORT", "8443")) + 3) as service:
        host_session = service.login(*HOST)
        status, answer = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "1"}, host_session)
        number = answer["number"]
        common = [participant, "--service", service.url, "--ca", service.ca_file, "--number", number,
                  "--no-video", "--size", "320x240", "--fps", "15", "--leave-after", "19"]
        people = {
            "host": service.popen([*common, "--account", HOST[0], "--password", HOST[1], "--start",
                                   "--chat", "<b>主持人</b>", "--chat-after", "3"], stdout=-1, stderr=-1, text=True),
            "guest": service.popen([*common, "--account", GUEST[0], "--password", GUEST[1],
                                    "--display-name", "李四", "--chat", "收到", "--chat-after", "3.5",
                                    "--unmute-after", "11"],
                                   stdout=-1, stderr=-1, text=True),
        }
        lines = {}

        def read(name):
            out, err = people[name].communicate(timeout=40)
            lines[name] = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
            lines[name + " stderr"] = err[-1500:]

        readers = [threading.Thread(target=read, args=(name,)) for name in people]
        for reader in readers:
            reader.start()
        time.sleep(7)
        status, roster = service.get("/sdk/v1/meetings/roster?number=" + number, host_session)
        guest_id = next((p["id"] for p in roster if not p["host"]), None) if status == 200 else None
        target = {"number": number, "participant": str(guest_id)}
        check(service.post("/sdk/v1/meetings/mute", target, host_session)[0] == 200, "the host mutes 李四")
        time.sleep(8)
        check(service.post("/sdk/v1/meetings/kick", target, host_session)[0] == 200, "the host removes 李四")
        for reader in readers:
            reader.join(45)

    host, guest = lines.get("host", []), lines.get("guest", [])
    chats = lambda records: [(r["sender"], r["text"]) for r in records if r.get("event") == "chat"]  # noqa: E731
    check(("李四", "收到") in chats(host), "the host receives the guest's message: %s" % chats(host))
    check(("张三", "<b>主持人</b>") in chats(guest), "the guest receives the host's: %s" % chats(guest))
    joined = next((r["id"] for r in guest if r.get("event") == "joined"), None)
    check(joined == guest_id, "the guest joins with the service's participant id: %s %s" % (joined, guest_id))
    check(any(r.get("event") == "muted-by-host" for r in guest), "the guest learns of the mute")
    check(any(r.get("event") == "participant-changed" and r["id"] == guest_id and r["muted"] for r in host),
          "the host sees the guest muted")
    # The host's reports of the guest, by the guest's own times (the two
    # clocks start within a fraction of a second of each other).
    muted_at = next((r["t"] for r in guest if r.get("event") == "muted-by-host"), None)
    unmuted_at = next((r["t"] for r in guest if r.get("event") == "unmuted"), None)
    lifted = next((r.get("status") for r in guest if r.get("event") == "unmute-lifted"), None)
    check(lifted == 200, "the guest lifts the host's mute through the service: %s" % lifted)
    levels = [(r["t"], remote["rms_dbfs"]) for r in host if "remotes" in r
              for remote in r["remotes"] if remote["id"] == guest_id]
    silent = [level for t, level in levels if muted_at and unmuted_at and muted_at + 1.5 < t < unmuted_at]
    again = [level for t, level in levels if unmuted_at and unmuted_at + 2 < t < unmuted_at + 4]
    check(silent and again and max(again) >= max(silent) + 30,
          "the host hears the guest again after the unmute: %s -> %s" % (silent, again))
    shown = [(r["t"], r["muted"]) for r in host if r.get("event") == "participant-changed" and r["id"] == guest_id]
    check(unmuted_at and any(not muted and t > unmuted_at - 1 for t, muted in shown) and not shown[-1][1],
          "the host shows the guest unmuted after the guest's own unmute: %s (unmuted at %s)" % (shown, unmuted_at))
    check(any(r.get("event") == "kicked" for r in guest), "the guest learns of the removal: %s"
          % lines.get("guest stderr"))
    check(any(r.get("event") == "participant-left" and r["id"] == guest_id for r in host),
          "the guest leaves the host's list")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
