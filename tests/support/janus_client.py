"""A small client of Janus's WebSocket API for tests: sessions, handles and
plugin requests, each answered synchronously (acks are skipped). Needs
Debian's python3-websocket (run with /usr/bin/python3)."""

import itertools
import json

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

    def videoroom(self, request):
        """The plugin's data for a request on the attached handle."""
        answer = self.request({"janus": "message", "handle_id": self.handle, "body": request})
        return answer["plugindata"]["data"]
