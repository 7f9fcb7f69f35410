"""A small client of Janus's WebSocket API for tests: sessions, handles and
plugin requests, each answered synchronously (acks are skipped). Needs
Debian's python3-websocket (run with /usr/bin/python3)."""

import itertools
import json
import time

import websocket

_transactions = itertools.count(1)


class JanusError(Exception):
    def __init__(self, answer):
        super().__init__(json.dumps(answer))
        self.answer = answer


class Janus:
    def __init__(self, url, token=None, timeout=5):
        self.token = token
        self.ws = websocket.create_connection(url, subprotocols=["janus-protocol"], timeout=timeout)
        self.session = None
        self.handle = None

    def close(self):
        self.ws.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def request(self, body):
        """The first answer to `body` that is not an ack; JanusError when it
        is an error of Janus's own."""
        body = dict(body, transaction="t%d" % next(_transactions))
        if self.token is not None:
            body["token"] = self.token
        if self.session is not None:
            body.setdefault("session_id", self.session)
        self.ws.send(json.dumps(body))
        while True:
            answer = json.loads(self.ws.recv())
            if answer.get("transaction") != body["transaction"] or answer.get("janus") == "ack":
                continue
            if answer.get("janus") == "error":
                raise JanusError(answer)
            return answer

    def attach(self, plugin="janus.plugin.videoroom"):
        self.session = self.request({"janus": "create"})["data"]["id"]
        self.handle = self.request({"janus": "attach", "plugin": plugin})["data"]["id"]
        return self

    def events(self, predicate, timeout=5):
        """The first message (its plugin data) that `predicate` accepts
        within `timeout` seconds, or None."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            self.ws.settimeout(max(0.1, deadline - time.time()))
            try:
                message = json.loads(self.ws.recv())
            except Exception:
                return None
            data = message.get("plugindata", {}).get("data", {})
            if predicate(data):
                return data
        return None

    def publish_offerless(self):
        """Publishes an audio (mid 0) and a video (mid 1) stream from an
        offer that never connects: enough for the VideoRoom to know the
        streams, with no media engine in the test."""
        lines = ["v=0", "o=- 1 1 IN IP4 127.0.0.1", "s=-", "t=0 0", "a=group:BUNDLE 0 1"]
        for mid, kind, payload, codec in (("0", "audio", 111, "opus/48000/2"), ("1", "video", 96, "VP8/90000")):
            lines += ["m=%s 9 UDP/TLS/RTP/SAVPF %d" % (kind, payload), "c=IN IP4 0.0.0.0", "a=ice-ufrag:test",
                      "a=ice-pwd:testtesttesttesttesttest", "a=fingerprint:sha-256 " + ":".join(["AB"] * 32),
                      "a=setup:actpass", "a=mid:" + mid, "a=sendonly", "a=rtcp-mux",
                      "a=rtpmap:%d %s" % (payload, codec), "a=ssrc:%d cname:test" % (1000 + int(mid))]
        answer = self.request({"janus": "message", "handle_id": self.handle, "body": {"request": "publish"},
                               "jsep": {"type": "offer", "sdp": "\r\n".join(lines) + "\r\n"}})
        return answer["plugindata"]["data"]

    def videoroom(self, request):
        """The plugin's data for a request on the attached handle."""
        answer = self.request({"janus": "message", "handle_id": self.handle, "body": request})
        return answer["plugindata"]["data"]
