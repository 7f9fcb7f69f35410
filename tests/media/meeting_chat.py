#!/usr/bin/env python3
"""Chat and the host's moderation between meeting-participants in a Janus room,
inside a media sandbox.

Alice and Bob each send a chat message that the other receives, markup and
all, with the sender's name and an HH:MM time; Carol, who joins later,
receives both from the room's history. The room's moderator then mutes
Bob's microphone (he learns it, and the others see him muted) and kicks
Carol (she learns it and ends). Run as: meeting_chat.py PARTICIPANT
JANUS_CONFIG_SH (inside scripts/media-sandbox.sh). Exits 77 where Janus is
not installed.
"""
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from meeting_media import PIN, PORT, ROOM, SECRET, Checks, participant, wait_port  # noqa: E402

import socket  # noqa: E402


class JanusModerator:
    """A VideoRoom handle over Janus's WebSocket API that knows the room's
    secret, as the service's moderation does."""

    def __init__(self):
        self.connection = socket.create_connection(("127.0.0.1", PORT), timeout=5)
        self.connection.sendall((f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\nUpgrade: websocket\r\n"
                                 "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                                 f"Sec-WebSocket-Key: {base64.b64encode(os.urandom(16)).decode()}\r\n"
                                 "Sec-WebSocket-Protocol: janus-protocol\r\n\r\n").encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            reply += self.connection.recv(4096)
        self.session = self.request({"janus": "create"})["data"]["id"]
        self.handle = self.request({"janus": "attach", "plugin": "janus.plugin.videoroom",
                                    "session_id": self.session})["data"]["id"]
        self.chat = self.request({"janus": "attach", "plugin": "janus.plugin.textroom",
                                  "session_id": self.session})["data"]["id"]

    def request(self, message):
        message = dict(message, transaction=base64.b16encode(os.urandom(6)).decode())
        data = json.dumps(message).encode()
        mask = os.urandom(4)
        self.connection.sendall(bytes([0x81, 0x80 | 126]) + len(data).to_bytes(2, "big") + mask +
                                bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
        while True:
            header = self.connection.recv(2)
            size = header[1] & 0x7f
            if size == 126:
                size = int.from_bytes(self.connection.recv(2), "big")
            body = b""
            while len(body) < size:
                body += self.connection.recv(size - len(body))
            answer = json.loads(body)
            if answer.get("transaction") == message["transaction"] and answer.get("janus") != "ack":
                return answer

    def room(self, body, handle=None):
        answer = self.request({"janus": "message", "session_id": self.session,
                               "handle_id": handle or self.handle,
                               "body": dict(body, room=ROOM, secret=SECRET)})
        return answer.get("plugindata", {}).get("data", {})

    def announce(self, note):
        """What the service's mute route adds: VideoRoom does not tell the
        moderated publisher itself."""
        return self.room({"request": "announcement", "text": json.dumps(note)}, self.chat)


def run(process, sink):
    out, err = process.communicate(timeout=40)
    sink.extend([json.loads(line) for line in out.splitlines() if line.startswith("{")])
    sink.append({"stderr": err[-2000:], "code": process.returncode})


def chats(records):
    return [r for r in records if r.get("event") == "chat"]


def main():
    binary, make_config = sys.argv[1], sys.argv[2]
    janus = shutil.which("janus")
    if not janus:
        print("janus is not installed: skipped")
        return 77
    work = tempfile.mkdtemp(prefix="talvora-chat-")
    subprocess.run([make_config, work, str(PORT), str(ROOM), PIN, SECRET], check=True)
    log = open(os.path.join(work, "janus.log"), "w")
    server = subprocess.Popen([janus, "-F", work, "-C", os.path.join(work, "janus.jcfg")],
                              stdout=log, stderr=subprocess.STDOUT)
    processes = [server]
    records = {"Alice": [], "Bob": [], "Carol": []}
    threads = []
    try:
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        alice_text = "<b>不是粗体</b> & 你好"
        bob_text = "line one\nline two"
        common = ["--no-video", "--leave-after", "14"]
        alice = participant(binary, "Alice", "#e01010", 440, *common, "--chat", alice_text, "--chat-after", "2")
        bob = participant(binary, "Bob", "#10c010", 660, *common, "--chat", bob_text, "--chat-after", "2.5")
        processes += [alice, bob]
        time.sleep(5)
        carol = participant(binary, "Carol", "#ffffff", 1000, *common)
        processes.append(carol)
        for name, process in (("Alice", alice), ("Bob", bob), ("Carol", carol)):
            thread = threading.Thread(target=run, args=(process, records[name]))
            thread.start()
            threads.append(thread)
        time.sleep(4)
        moderator = JanusModerator()
        people = moderator.room({"request": "listparticipants"}).get("participants", [])
        ids = {p.get("display"): p["id"] for p in people}
        muted = kicked = {}
        if "Bob" in ids and "Carol" in ids:
            for mid in ("audio0", "audio1", "0", "1"):  # the audio mids webrtcbin may have chosen
                muted = moderator.room({"request": "moderate", "id": ids["Bob"], "mid": mid, "mute": True})
                if muted.get("videoroom") == "success":
                    moderator.announce({"moderation": "muted", "id": ids["Bob"], "mid": mid})
                    break
            kicked = moderator.room({"request": "kick", "id": ids["Carol"]})
        for thread in threads:
            thread.join(timeout=45)
        a, b, c = records["Alice"], records["Bob"], records["Carol"]

        checks = Checks()
        checks.expect(any(m["text"] == bob_text and m["sender"] == "Bob" for m in chats(a)),
                      f"Alice receives Bob's message: {chats(a)}")
        checks.expect(any(m["text"] == alice_text and m["sender"] == "Alice" for m in chats(b)),
                      f"Bob receives Alice's message, markup as text: {chats(b)}")
        checks.expect(all(re.fullmatch(r"\d\d:\d\d", m["time"]) for m in chats(a) + chats(b)),
                      "each message has an HH:MM time")
        history = [m["text"] for m in chats(c)]
        checks.expect(len(history) >= 2 and history[:2] == [m["text"] for m in chats(a)][:2],
                      f"Carol, joining late, receives both from the history: {history}")
        checks.expect(muted.get("videoroom") == "success" and any(r.get("event") == "muted-by-host" for r in b),
                      f"Bob learns that the host muted him: {muted}")
        checks.expect(any(r.get("event") == "participant-changed" and r.get("display") == "Bob" and r["muted"]
                          for r in a), "Alice sees Bob muted")
        checks.expect(kicked.get("videoroom") == "success" and any(r.get("event") == "kicked" for r in c),
                      f"Carol learns that she was removed: {kicked} {c[-1]}")
        checks.expect(any(r.get("event") == "participant-left" and r["id"] == ids.get("Carol") for r in a),
                      "Carol leaves Alice's list")
        if checks.failures:
            for name, lines in records.items():
                print(name, json.dumps([r for r in lines if "remotes" not in r], ensure_ascii=False)[-3000:])
        return 1 if checks.failures else 0
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
        log.close()
        if os.environ.get("TALVORA_KEEP_JANUS_LOG"):
            shutil.copy(os.path.join(work, "janus.log"), "/tmp/talvora-chat-janus.log")
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
