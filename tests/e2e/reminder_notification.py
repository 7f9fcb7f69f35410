#!/usr/bin/env python3
"""The reminder before a meeting, end to end: on a private session bus with a
fake notification service, the client signed in as demo3 (whose only meeting
starts 5 minutes and a few seconds ahead) sends one notification with the
meeting's texts; a second list refresh sends none; invoking the notification's
action makes the conferencing SDK's start request for that meeting reach the
development service.

    reminder_notification.py CLIENT PROCESS_TEST_DIR SERVICE_LOG CA_FILE PORT

Re-runs itself under dbus-run-session with Debian's python3 (python3-dbus,
python3-gi); skips (77) when those are missing."""

import datetime
import json
import math
import os
import shutil
import ssl
import subprocess
import sys
import time
import urllib.parse
import urllib.request

INNER = "TALVORA_PRIVATE_SESSION_BUS"
SYSTEM_PYTHON = "/usr/bin/python3"


def enter_private_bus():
    if shutil.which("dbus-run-session") is None:
        print("skipped: dbus-run-session is not installed (package dbus)")
        sys.exit(77)
    probe = subprocess.run([SYSTEM_PYTHON, "-c", "import dbus, dbus.mainloop.glib, gi.repository.GLib"],
                           capture_output=True)
    if probe.returncode != 0:
        print("skipped: %s lacks python3-dbus or python3-gi" % SYSTEM_PYTHON)
        sys.exit(77)
    env = dict(os.environ, **{INNER: "1"})
    os.execvpe("dbus-run-session", ["dbus-run-session", "--", SYSTEM_PYTHON, os.path.abspath(__file__),
                                    *sys.argv[1:]], env)


if os.environ.get(INNER) != "1":
    enter_private_bus()

CLIENT, PROCESS_DIR, SERVICE_LOG, CA_FILE, PORT = sys.argv[1:6]
sys.path.insert(0, PROCESS_DIR)
from xsession import Failure, XSession, check, output, run  # noqa: E402

import dbus  # noqa: E402

API = "https://127.0.0.1:%s" % PORT
CREDENTIALS = {"api_key": "5D2E8A41C07B93F6E1A04C8B7D3F2619", "api_secret": "9B47E0C3A5D1286F4E0B7A93C6D85F12"}
ZCODE = "ZC10003"
TOPIC = "产品评审会"
# How far ahead the meeting starts when the client signs in: its reminder is
# then due a few seconds after the first list answer.
LEAD = 5 * 60 + 15
BEIJING = datetime.timezone(datetime.timedelta(hours=8))


def rest(path, **fields):
    query = urllib.parse.urlencode(dict(CREDENTIALS, zcode=ZCODE, **fields))
    request = urllib.request.Request("%s%s?%s" % (API, path, query), data=b"", method="POST")
    context = ssl.create_default_context(cafile=CA_FILE)
    with urllib.request.urlopen(request, context=context, timeout=20) as answer:
        return json.loads(answer.read().decode("utf-8"))


def book_meeting():
    """Clears demo3's meetings and books one that starts LEAD seconds from
    now, give or take the minute the service rounds to. Returns its id and
    start (UTC seconds)."""
    for meeting in rest("/v3/meeting/list", page_size="50", page_number="1")["meetings"]:
        rest("/v3/meeting/delete", meeting_id=meeting["id"])
    start = math.ceil((time.time() + LEAD) / 60) * 60
    # Sleep off the rest of the minute, so the start is LEAD seconds away.
    time.sleep(max(0, start - LEAD - time.time()))
    wall = datetime.datetime.fromtimestamp(start, BEIJING)
    booked = rest("/v3/meeting/create", topic=TOPIC, type="2", duration="30",
                  start_time="%s %d:%02d:00" % (wall.strftime("%Y-%m-%d"), wall.hour, wall.minute),
                  option_no_video_host="false", option_no_video_participants="false")
    return booked["id"], start, wall


def notifications(record):
    if not os.path.exists(record):
        return []
    with open(record, encoding="utf-8") as lines:
        return [json.loads(line) for line in lines if line.strip()]


def wait_for(condition, timeout, what, client):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        check(client.poll() is None, "client ended with %s:\n%s" % (client.returncode, output(client)))
        time.sleep(0.2)
    raise Failure("%s within %d s:\n%s" % (what, timeout, output(client)))


def service_lines(*needles):
    with open(SERVICE_LOG, encoding="utf-8", errors="replace") as log:
        return [line for line in log if all(needle in line for needle in needles)]


def list_requests():
    return len(service_lines("/v3/meeting/list?", "zcode=" + ZCODE))


def start_fake_service(record):
    fake = subprocess.Popen([SYSTEM_PYTHON, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "fake_notifications.py"), record],
                            stdout=subprocess.PIPE, text=True)
    if fake.stdout.readline().strip() != "ready":
        fake.kill()
        raise Failure("the fake notification service did not start")
    return fake


def test():
    with XSession("e2e_reminder_test") as session:
        record = os.path.join(session.scratch, "notifications.jsonl")
        fake = start_fake_service(record)
        try:
            meeting_id, start, wall = book_meeting()
            lists_before = list_requests()
            client = session.start(session.install(CLIENT, "client"))
            session.sign_in(client, "demo3")

            shown = wait_for(lambda: notifications(record), 90, "no notification", client)
            check(len(shown) == 1, "%d notifications: %s" % (len(shown), shown))
            note = shown[0]
            check(note["time"] >= start - 5 * 60 - 1, "reminded %.1f s before the start" % (start - note["time"]))
            check(note["app_name"] == "Talvora", note)
            check(note["summary"] == "会议即将开始", note)
            expected_body = "%s\n%d:%02d 开始 · 会议码 %s" % (TOPIC, wall.hour, wall.minute, meeting_id)
            check(note["body"] == expected_body, "body %r, expected %r" % (note["body"], expected_body))
            check(len(note["actions"]) == 2 and note["actions"][1] == "开始会议", note)

            # A second list answer for the same meeting: "我的会议" in the menu.
            window = session.main_window(client)
            lists_seen = list_requests()
            for _ in range(3):
                session.xdotool("mousemove", "--window", window, "80", "110", "click", "1")
                try:
                    wait_for(lambda: list_requests() > lists_seen, 5, "no refresh", client)
                    break
                except Failure:
                    pass
            check(list_requests() > lists_seen, "the menu click did not refresh the list")
            check(lists_seen > lists_before, "the sign-in listed no meetings")
            time.sleep(2)
            check(len(notifications(record)) == 1, "a second notification: %s" % notifications(record))

            bus = dbus.SessionBus()
            control = dbus.Interface(bus.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications"),
                                     "org.talvora.FakeNotifications")
            control.Invoke(dbus.UInt32(note["id"]), note["actions"][0])
            wait_for(lambda: service_lines("/sdk/v1/meetings/start?", "number=%s" % meeting_id), 30,
                     "no start request for meeting %s" % meeting_id, client)
            session.screenshot("e2e_reminder_started")
        finally:
            fake.terminate()
            fake.wait()


if __name__ == "__main__":
    run(test)
