"""Admission to meetings against the real service and its own Janus, inside
a media sandbox: who may start, join, leave and end, and what Janus then
lets an admitted participant do (and nothing more); the host's roster, mute
and kick, and nobody else's. Also: the room goes
after the host's end or after it stood empty, a killed Janus is started
again and its rooms made again, no secret reaches a log, and Janus stops
with the service, even one that is killed.

    /usr/bin/python3 media_admission.py DEVSERVICE CERT_DIR   (enters a media sandbox itself)
"""

import json
import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from media_service import SKIP, MediaService, enter_sandbox  # noqa: E402

try:
    from janus_client import Janus, JanusError  # noqa: E402
except ImportError:
    print("skipped: python3-websocket is not installed (run with /usr/bin/python3)")
    sys.exit(SKIP)

API = {"api_key": "5D2E8A41C07B93F6E1A04C8B7D3F2619", "api_secret": "9B47E0C3A5D1286F4E0B7A93C6D85F12"}
LINGER = 2
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, flush=True)


def refused(janus_call):
    try:
        janus_call()
    except JanusError:
        return True
    return False


def janus_admin(service, request):
    """The answer of the service's own Janus to an admin request."""
    folder = os.path.join(service.scratch, "devservice.db.janus")
    with open(os.path.join(folder, "janus.jcfg")) as config:
        secret = re.search(r'admin_secret = "([^"]+)"', config.read()).group(1)
    with open(os.path.join(folder, "janus.transport.http.jcfg")) as config:
        port = re.search(r"admin_port = (\d+)", config.read()).group(1)
    body = json.dumps(dict(request, transaction="admin", admin_secret=secret))
    done = service.run(["curl", "-s", "--max-time", "5", "-d", body, "http://127.0.0.1:%s/admin" % port],
                       capture_output=True, text=True)
    return json.loads(done.stdout or "{}")


def room_exists(service_ws, token, room):
    with Janus(service_ws, token) as janus:
        return janus.attach().videoroom({"request": "exists", "room": room})["exists"]


def main(devservice, certs):
    enter_sandbox()
    secrets = []
    with MediaService(devservice, certs, linger=LINGER) as service:
        zhang = service.login("zhangsan@example.com", "Zs-Meet-2024")
        li = service.login("lisi@talvora.dev", "LiSi-Password-16")
        wang = service.login("wangwu@example.com", "Ww-Meet-2024")
        status, booked = service.post("/v3/meeting/create", dict(
            API, zcode="ZC10001", topic="周会", type="2", start_time="2030-03-07 9:05:00", duration="45",
            option_no_video_host="false", option_no_video_participants="false"))
        assert status == 200, booked
        number = booked["id"]

        # Who may do what.
        for path, form in (("/sdk/v1/meetings/start", {"number": number, "no_video": "0"}),
                           ("/sdk/v1/meetings/join", {"number": number, "display_name": "x"}),
                           ("/sdk/v1/meetings/leave", {"number": number}),
                           ("/sdk/v1/meetings/end", {"number": number})):
            check(service.post(path, form)[0] == 401, path + " without a session")
        check(service.post("/sdk/v1/meetings/start", {"number": number, "no_video": "0"}, li)[0] == 403,
              "another account starts the booked meeting")
        check(service.post("/sdk/v1/meetings/join", {"number": "12345", "display_name": "x"}, li)[0] == 404,
              "join of an unknown meeting")

        status, host = service.post("/sdk/v1/meetings/start", {"number": number, "no_video": "0"}, zhang)
        assert status == 200, host
        status, guest = service.post("/sdk/v1/meetings/join", {"number": number, "display_name": "李四"}, li)
        assert status == 200, guest
        host, guest = host["media"], guest["media"]
        secrets += [host["pin"], host["token"], guest["token"]]
        check(host["host"] is True and guest["host"] is False, "host flags %s %s" % (host["host"], guest["host"]))
        check(host["display_name"] == "张三" and guest["display_name"] == "李四", "display names")
        check(host["room"] == guest["room"] and host["pin"] == guest["pin"], "one room, one pin")
        check(host["server"].startswith("ws://127.0.0.1:") and host["ice_servers"] == [], "server " + host["server"])
        ws = host["server"]

        # What Janus lets through.
        check(refused(lambda: Janus(ws).attach().close()), "Janus without a token")
        check(refused(lambda: Janus(ws, "0" * 32).attach().close()), "Janus with a made-up token")
        with Janus(ws, guest["token"]) as janus:
            janus.attach()
            check(janus.videoroom({"request": "list"}).get("list") == [], "a participant lists rooms")
            created = janus.videoroom({"request": "create", "room": 4242, "publishers": 3})
            check("error_code" in created, "a participant creates a room: %s" % created)
            check(janus.videoroom({"request": "exists", "room": host["room"]}).get("exists") is True, "room exists")
            for pin in ("wrong", None):
                join = {"request": "join", "ptype": "publisher", "room": host["room"], "display": "x"}
                if pin:
                    join["pin"] = pin
                check("error_code" in janus.videoroom(join), "join with pin %s" % pin)
            joined = janus.videoroom({"request": "join", "ptype": "publisher", "room": host["room"],
                                      "pin": guest["pin"], "display": "李四", "id": guest["participant_id"]})
            check(joined.get("videoroom") == "joined", "join with the pin: %s" % joined)
            check(janus.publish_offerless().get("configured") == "ok", "publish")

            # Who is in the meeting, for those in it; moderation for the host only.
            status, roster = service.get("/sdk/v1/meetings/roster?number=" + number, li)
            check(status == 200 and sorted((p["id"], p["host"]) for p in roster) ==
                  sorted([(host["participant_id"], True), (guest["participant_id"], False)]), "roster %s" % roster)
            check(service.get("/sdk/v1/meetings/roster?number=" + number, wang)[0] == 403, "roster for a stranger")
            check(service.get("/sdk/v1/meetings/roster?number=" + number)[0] == 401, "roster without a session")
            target = {"number": number, "participant": str(guest["participant_id"])}
            for path in ("/sdk/v1/meetings/mute", "/sdk/v1/meetings/kick"):
                for session, form, expected in ((None, target, 401), (li, target, 403), (wang, target, 403),
                                                (zhang, dict(target, participant="12345"), 404),
                                                (zhang, dict(target, number="12345"), 404),
                                                (zhang, dict(target, participant="x"), 400)):
                    status = service.post(path, form, session)[0]
                    check(status == expected, "%s %s: %s, not %s" % (path, form, status, expected))
            check(service.post("/sdk/v1/meetings/mute", target, zhang)[0] == 200, "the host mutes")
            muted = janus.events(lambda data: data.get("moderation") == "muted")
            check(muted is not None and muted.get("id") == guest["participant_id"] and muted.get("mid") == "0",
                  "the moderation event: %s" % muted)
            check(service.post("/sdk/v1/meetings/mute", dict(target, participant="all"), zhang)[0] == 200,
                  "the host mutes all")
            check(service.post("/sdk/v1/meetings/kick", dict(target, participant=str(host["participant_id"])),
                               zhang)[0] == 400, "the host removes themselves")
            check(service.post("/sdk/v1/meetings/kick", target, zhang)[0] == 200, "the host removes 李四")
            kicked = janus.events(lambda data: data.get("leaving") == "ok")
            check(kicked is not None and kicked.get("reason") == "kicked", "the kick event: %s" % kicked)
            sessions = janus_admin(service, {"janus": "list_sessions"}).get("sessions")
            check(sessions is not None and janus.session not in sessions,
                  "the removed participant's Janus session (and with it their subscriptions) outlived the kick")
        check(refused(lambda: Janus(ws, guest["token"]).attach().close()), "Janus with a removed participant's token")
        status, again = service.post("/sdk/v1/meetings/join", {"number": number, "display_name": "李四"}, li)
        check(status == 403, "a removed participant comes back: %s %s" % (status, again))
        with Janus(ws, host["token"]) as janus:
            janus.attach()
            destroyed = janus.videoroom({"request": "destroy", "room": host["room"]})
            check("error_code" in destroyed, "a participant destroys the room: %s" % destroyed)
        with Janus(ws, host["token"]) as janus:  # the meeting's chat: same id, pin kept
            janus.attach("janus.plugin.textroom")
            listed = janus.videoroom({"request": "listparticipants", "room": host["room"]})
            check(listed.get("participants") == [], "the meeting has its chat room: %s" % listed)
            chat_rooms = janus.videoroom({"request": "list"}).get("list")
            check(chat_rooms == [], "the chat room is private: %s" % chat_rooms)
            destroyed = janus.videoroom({"request": "destroy", "room": host["room"]})
            check("error_code" in destroyed, "a participant destroys the chat room: %s" % destroyed)

        # Leaving takes the token back; only the host ends, and that ends the room.
        check(service.post("/sdk/v1/meetings/leave", {"number": number}, li)[0] == 200, "leave")
        check(refused(lambda: Janus(ws, guest["token"]).attach().close()), "Janus with the token of one who left")
        check(service.post("/sdk/v1/meetings/end", {"number": number}, li)[0] == 403, "a participant ends")
        check(service.post("/sdk/v1/meetings/end", {"number": number}, zhang)[0] == 200, "the host ends")
        check(refused(lambda: Janus(ws, host["token"]).attach().close()), "Janus with the ended host's token")
        status, other = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "1"}, wang)
        assert status == 200, other
        other_number, other = other["number"], other["media"]
        secrets += [other["pin"], other["token"]]
        check(not room_exists(ws, other["token"], host["room"]), "the ended meeting's room")

        # An empty room lingers, then goes.
        status, lonely = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "0"}, li)
        assert status == 200, lonely
        lonely_number, lonely = lonely["number"], lonely["media"]
        secrets += [lonely["pin"], lonely["token"]]
        service.post("/sdk/v1/meetings/leave", {"number": lonely_number}, li)
        check(room_exists(ws, other["token"], lonely["room"]), "the room right after the last one left")
        time.sleep(LINGER + 2)
        check(not room_exists(ws, other["token"], lonely["room"]), "the room %d s after the last one left" % LINGER)

        # A killed Janus comes back, and the room with it on the next admission.
        first = service.janus_pid()
        os.kill(first, signal.SIGKILL)
        deadline = time.time() + 20
        again = None
        while time.time() < deadline:
            status, again = service.post("/sdk/v1/meetings/join", {"number": other_number, "display_name": "张三"},
                                         zhang)
            if status == 200:
                break
            time.sleep(0.5)
        check(status == 200, "admission after Janus was killed: %s %s" % (status, again))
        if status == 200:
            again = again["media"]
            secrets.append(again["token"])
            check(service.janus_pid() not in (None, first), "a new Janus")
            check(again["room"] == other["room"] and again["pin"] == other["pin"], "the same room again")
            check(room_exists(again["server"], other["token"], other["room"]),
                  "the room and the token of one still in it, back after the restart")

        janus = service.janus_pid()
        log = service.log() + service.janus_log()
        with open(os.path.join(service.scratch, "devservice.db.janus", "janus.jcfg")) as config:
            secrets += [line.split('"')[1] for line in config if "admin_secret" in line]
    for secret in secrets:
        check(secret not in log, "a secret in the log")
    check(janus is not None and not os.path.exists("/proc/%d" % janus), "Janus outlived the service")

    # Not even a service killed outright leaves its Janus behind.
    with MediaService(devservice, certs) as service:
        janus = service.janus_pid()
        os.kill(service.service_pid(), signal.SIGKILL)
        deadline = time.time() + 5
        while janus and os.path.exists("/proc/%d" % janus) and time.time() < deadline:
            time.sleep(0.1)
        check(janus is not None and not os.path.exists("/proc/%d" % janus), "Janus outlived a killed service")
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
