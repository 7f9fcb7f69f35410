#!/usr/bin/env python3
"""A meeting of three, driven through the client's own meeting window: the
client (test camera and microphone) under its own X server as host, and two
meeting-participants told what to do next on their standard input, all in
one media sandbox with the development service and its Janus.

  meeting_three_parties.py CLIENT DEVSERVICE PARTICIPANT CERT_DIR PROCESS_HELPERS PORT

Checked, in one meeting:
- "演讲者视图" shows large whoever sends the louder tone, and follows when
  the other one grows louder;
- a participant's screen (a second X server in one colour) appears large
  with the people small beside it; Alt+S then says someone is sharing
  instead of opening the chooser; the sharer's "停止共享" brings the
  speaker view back;
- a line typed in the chat (Alt+H) reaches both participants; one from a
  participant counts as unread on "聊天", shows in the panel, and is read
  once the panel is open;
- a participant's own request to mute or remove another is refused (403),
  and nothing changes;
- the host's "静音" (Alt+U) on 李四 silences him at 王五, who sees him
  muted; he unmutes himself and is heard again; "移出会议", confirmed,
  ends 王五's meeting as a removal;
- the host's end (Alt+Q, confirmed) ends the meeting for 李四.
Screenshots of the speaker view, the share, the chat panel and the
participants panel go to TALVORA_SCREENSHOT_DIR."""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
sys.path.insert(0, sys.argv[5])
from media_service import MediaService, enter_sandbox  # noqa: E402

enter_sandbox()

from keyboard_flows import Keyboard  # noqa: E402
from xsession import XSession, check, log_out, output, run  # noqa: E402
from meeting_parties import (CLIENT_COLOUR, GREEN, ORANGE, Participant, Shot, click, confirm, confirm_end,  # noqa: E402
                             hex_of, near, say, wait_for)

CLIENT, DEVSERVICE, PARTICIPANT, CERTS, _, PORT = sys.argv[1:7]
Participant.program = PARTICIPANT

# The shared screen's one colour, far from the people's and the window's.
SHARED = (0xf0, 0xe0, 0x20)
WHITE = (0xff, 0xff, 0xff)
LOUD, QUIET = -14, -34   # tone peaks, dBFS: 20 dB apart, both above the silence floor

# Places on the meeting window (1120 x 700): the header's view button, the
# toolbar's "聊天" button, and the open side panel (chat or participants).
VIEW_BUTTON = (962, 23)
CHOOSER = "720x480"
CHAT_BUTTON = (520, 640, 600, 690)      # left, top, right, bottom
PANEL_LEFT = 820
# The background of the participants panel's buttons ("静音", "移出会议",
# "全体静音").
BUTTON = (0x36, 0x3c, 0x45)


def large(shot, colour, other=None):
    """Whether colour fills the large tile (a third of the window; a tile of
    the gallery of three fills a seventh) and other is small (a tile in the
    strip fills a few hundredths)."""
    return shot.share(colour) > 0.22 and (other is None or shot.share(other) < 0.08)


def host_actions(shot):
    """The rows of buttons in the open participants panel, top down, each a
    list of the buttons' centres from left to right: the others' rows with
    "静音" and "移出会议" in the order they joined, then "全体静音". A
    button's text cuts its background in two bands; its lines above the
    text give the buttons of the row."""
    rows = []   # [top, bottom, runs of the top line]
    for y in range(60, shot.height - 80, 2):
        runs, start = [], None
        for x in range(PANEL_LEFT, shot.width + 2, 2):
            inside = x < shot.width and all(abs(a - b) <= 6 for a, b in zip(shot.pixel(x, y), BUTTON))
            if inside and start is None:
                start = x
            elif not inside and start is not None:
                if x - start >= 24:
                    runs.append((start, x))
                start = None
        if not runs:
            continue
        if rows and y - rows[-1][1] <= 16:
            rows[-1][1] = y
        else:
            rows.append([y, y, runs])
    return [[((left + right) // 2, (top + bottom) // 2) for left, right in runs] for top, bottom, runs in rows]


def light_pixels(shot, box, step=1):
    """How many pixels in box (left, top, right, bottom), every step-th
    across and down, are near white: text."""
    left, top, right, bottom = box
    return sum(1 for y in range(top, bottom, step) for x in range(left, right, step)
               if near(shot.pixel(x, y), WHITE, 40))


def speaker_view(session, client, window, lisi, wangwu):
    """李四 spoke alone first; 王五 came in louder."""
    say("speaker view")
    click(session, window, VIEW_BUTTON)
    wait_for("王五 (louder) large", lambda: large(Shot(session, window), ORANGE, GREEN), client, 25)
    # 李四 grows louder than 王五 by the same margin.
    lisi.command("tone-level %d" % LOUD)
    wangwu.command("tone-level %d" % QUIET)
    wait_for("李四 (now louder) large", lambda: large(Shot(session, window), GREEN, ORANGE), client, 25)
    Shot(session, window, keep_as="three_parties_speaker_view")


def share(session, client, window, keyboard, lisi):
    say("a participant's share")
    lisi.command("share")
    asked = time.time()
    lisi.wait("its share", lambda: lisi.event("sharing"), timeout=45)
    say("sharing after %.1f s" % (time.time() - asked))
    # The people in the strip beside it: all there, all small.
    wait_for("the share large", lambda: (lambda shot: shot.share(SHARED) > 0.3 and all(
        0.005 < shot.share(colour) < 0.08 for colour in (GREEN, ORANGE, CLIENT_COLOUR)))(
        Shot(session, window)), client, 30)
    say("shown after %.1f s" % (time.time() - asked))
    Shot(session, window, keep_as="three_parties_share")
    # One share at a time: Alt+S says who shares ("李四 正在共享，请稍后再试")
    # instead of opening the chooser.
    session.xdotool("windowfocus", "--sync", window)
    keyboard.keys("alt+s")
    notice = session.wait_window("提示", client, timeout=10)
    check(session.wait_sized_window(client, CHOOSER, timeout=1) is None, "the chooser opened during a share")
    session.press_return(notice)
    keyboard.wait_closed(notice)
    lisi.command("stop-share")
    wait_for("the speaker back after 停止共享", lambda: (lambda shot: shot.share(SHARED) < 0.005
                                                   and large(shot, GREEN, ORANGE))(Shot(session, window)), client, 25)


def chat(session, client, window, keyboard, lisi, wangwu):
    say("chat")
    session.xdotool("windowfocus", "--sync", window)
    keyboard.keys("alt+h")
    time.sleep(0.5)
    line = "hello from the host"
    typed = time.time()
    keyboard.type(line)
    keyboard.keys("Return")
    for person in (lisi, wangwu):
        person.wait("the host's line", lambda: person.event("chat", typed, text=line, sender="张三"), timeout=20)
    panel = (PANEL_LEFT, 40, 1120, 600)
    shown = Shot(session, window)
    before_text = light_pixels(shown, panel, 2)
    keyboard.keys("alt+h")            # closed: what comes now is unread
    time.sleep(0.5)
    closed = Shot(session, window)
    sent = lisi.command("chat a line from lisi to everyone in the meeting")
    lisi.wait("its line sent", lambda: lisi.event("chat-sent", sent), timeout=20)
    wait_for("聊天 (1) on the button", lambda: light_pixels(Shot(session, window), CHAT_BUTTON)
             > light_pixels(closed, CHAT_BUTTON) + 8, client, 20)
    keyboard.keys("alt+h")
    wait_for("李四's line in the panel", lambda: light_pixels(Shot(session, window), panel, 2) > before_text + 80,
             client, 20)
    read = Shot(session, window, keep_as="three_parties_chat")
    check(abs(light_pixels(read, CHAT_BUTTON) - light_pixels(shown, CHAT_BUTTON)) <= 4,
          "聊天 still counts unread lines with the panel open")
    keyboard.keys("alt+h")


def refused(lisi, wangwu):
    """王五, no host, asks the service to mute and to remove 李四."""
    say("a participant's moderation refused")
    asked = time.time()
    for action in ("mute", "kick"):
        wangwu.command("%s 李四" % action)
        answer = wangwu.wait("the answer to its %s" % action, lambda: wangwu.event("moderation", asked,
                                                                                action=action), timeout=20)
        check(answer["status"] == 403, "王五's %s of 李四 was answered %s, not 403" % (action, answer["status"]))
    time.sleep(2)
    check(lisi.event("muted-by-host", asked) is None and lisi.event("kicked", asked) is None,
          "a refused request still reached 李四: %s" % lisi.since(asked)[-3:])
    heard = wangwu.remote("李四")
    check(heard is not None and heard["rms_dbfs"] > -40, "李四 is no longer heard at 王五: %s" % heard)


def host_mute(session, client, window, keyboard, lisi, wangwu):
    say("静音 on 李四")
    session.xdotool("windowfocus", "--sync", window)
    keyboard.keys("alt+u")
    time.sleep(1)
    rows = host_actions(Shot(session, window, keep_as="three_parties_participants"))
    check(len(rows) == 3 and [len(row) for row in rows] == [2, 2, 1],
          "the host's list shows no 静音 and 移出会议 for each of the others: %s" % rows)
    level = wangwu.remote("李四")["rms_dbfs"]
    clicked = time.time()
    click(session, window, rows[0][0])      # 李四's "静音"
    lisi.wait("the host's mute", lambda: lisi.event("muted-by-host", clicked), timeout=20)
    say("muted after %.1f s" % (time.time() - clicked))
    wangwu.wait("李四's silence", lambda: next(
        (r for r in wangwu.since(clicked) for remote in r.get("remotes", [])
         if remote["display"] == "李四" and remote["rms_dbfs"] <= level - 30), None), timeout=20)
    wangwu.wait("李四 shown muted", lambda: wangwu.event("participant-changed", clicked, display="李四",
                                                       muted=True), timeout=20)
    # The host's own list too: his "静音" greyed out, nothing left to mute.
    mute_button = (rows[0][0][0] - 16, rows[0][0][1] - 8, rows[0][0][0] + 16, rows[0][0][1] + 8)
    wait_for("李四's 静音 greyed", lambda: light_pixels(Shot(session, window), mute_button) == 0, client, 20)
    # He may unmute himself: heard again, and shown unmuted.
    unmuted = lisi.command("unmute")
    wangwu.wait("李四 shown unmuted", lambda: wangwu.event("participant-changed", unmuted, display="李四",
                                                         muted=False), timeout=20)
    wangwu.wait("李四 heard again", lambda: next(
        (r for r in wangwu.since(unmuted) for remote in r.get("remotes", [])
         if remote["display"] == "李四" and remote["rms_dbfs"] >= level - 6), None), timeout=20)
    wait_for("李四's 静音 back", lambda: light_pixels(Shot(session, window), mute_button) > 10, client, 20)
    # "全体静音": both of them.
    clicked = time.time()
    click(session, window, rows[2][0])
    for person in (lisi, wangwu):
        person.wait("the host's mute of all", lambda: person.event("muted-by-host", clicked), timeout=20)


def remove(session, client, window, lisi, wangwu):
    say("移出会议 on 王五")
    rows = host_actions(Shot(session, window))
    clicked = time.time()
    click(session, window, rows[1][1])      # 王五's "移出会议"
    confirm(session, client, "the removal")
    wangwu.wait("its removal", lambda: wangwu.event("kicked", clicked), timeout=20)
    say("kicked after %.1f s" % (time.time() - clicked))
    check(wangwu.process.wait(10) == 0, "王五 ended with %s" % wangwu.process.returncode)
    lisi.wait("王五 gone", lambda: lisi.event("participant-left", clicked), timeout=20)
    say("left after %.1f s" % (time.time() - clicked))
    wait_for("王五's tile to go", lambda: Shot(session, window).share(ORANGE) < 0.002, client, 20)
    Shot(session, window, keep_as="three_parties_removed")


def meeting(session, service, client, window, number, keyboard, shared, people):
    lisi = Participant(service, "lisi@talvora.dev", "LiSi-Password-16", number, "李四", GREEN, 660,
                       "--tone-level", str(QUIET), commands=True, display=shared.display)
    people.append(lisi)
    wait_for("李四 in the client", lambda: Shot(session, window).share(GREEN) > 0.02, client, 45)
    wangwu = Participant(service, "wangwu@talvora.dev", "Ww-Meet-2024", number, "王五", ORANGE, 550,
                         "--tone-level", str(LOUD), commands=True)
    people.append(wangwu)
    wait_for("王五 in the client", lambda: Shot(session, window).share(ORANGE) > 0.02, client, 45)

    speaker_view(session, client, window, lisi, wangwu)
    share(session, client, window, keyboard, lisi)
    chat(session, client, window, keyboard, lisi, wangwu)
    refused(lisi, wangwu)
    host_mute(session, client, window, keyboard, lisi, wangwu)
    remove(session, client, window, lisi, wangwu)

    say("结束会议")
    session.xdotool("windowfocus", "--sync", window)
    keyboard.keys("alt+q")
    confirm_end(session, client)
    lisi.wait("the end of the meeting", lambda: lisi.event("ended"), timeout=20)
    wait_for("status 7", lambda: output(client).count("ZhumuSDK::MEETING_STATUS_ENDED") == 1, client)


def test():
    started = time.time()
    with MediaService(DEVSERVICE, CERTS, port=int(PORT), linger=5) as service, \
            XSession("e2e_meeting_three_parties") as session, \
            XSession("e2e_meeting_shared_screen", screen="320x240") as shared:
        subprocess.run(["xsetroot", "-solid", hex_of(SHARED)], env=shared.env(), check=True, timeout=10)
        executable = session.install(CLIENT, "client")
        # The client sends what the participants send: 320 x 240 at 15 fps.
        client = session.start(executable, TALVORA_TEST_MEDIA="1", TALVORA_TEST_MEDIA_FORMAT="320x240@15")
        main_window = session.sign_in_and_wait(executable, client)
        keyboard = Keyboard(session, client, main_window)
        window, number = keyboard.start_instant_meeting("three")
        people = []
        try:
            meeting(session, service, client, window, number, keyboard, shared, people)
        except Exception:
            # What the window showed when it went wrong.
            Shot(session, window, keep_as="three_parties_failure")
            raise
        finally:
            for person in people:
                person.stop()
        check("AddressSanitizer" not in output(client), output(client))
        code = log_out(session, client, main_window)
        check(code == 0, "logging out after the meeting gave %s:\n%s" % (code, output(client)))
    say("done in %.1f s" % (time.time() - started))


if __name__ == "__main__":
    run(test)
