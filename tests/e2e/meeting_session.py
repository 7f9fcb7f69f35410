#!/usr/bin/env python3
"""A real meeting between the client and meeting-participants, in one media
sandbox: the development service with its Janus, the client (test camera and
microphone) under its own X server, signed in as demo and starting an instant
meeting with the keyboard, and participants joining it through the service.

  meeting_session.py CLIENT DEVSERVICE PARTICIPANT CERT_DIR PROCESS_HELPERS PORT

Checked: each side receives the other's picture in the right colour, with
frames growing, and the tone; 4 parties fill the gallery; "静音" silences the
client at the participant; "停止视频" turns its video off there; a leaving
participant's tile goes; the host's "结束会议" ends the meeting for the
participant. Then Janus is killed (again on every restart) in a second
meeting: the window shows "网络连接已断开", closes after 60 s with status 7,
and the main window still logs out cleanly. Screenshots of the 2- and 4-party
meetings go to TALVORA_SCREENSHOT_DIR."""

import json
import os
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
sys.path.insert(0, sys.argv[5])
from media_service import MediaService, enter_sandbox  # noqa: E402

enter_sandbox()

from keyboard_flows import Keyboard  # noqa: E402
from xsession import Failure, XSession, check, log_out, output, run  # noqa: E402

CLIENT, DEVSERVICE, PARTICIPANT, CERTS, _, PORT = sys.argv[1:7]

# The client's test pattern, and the participants' colours (none of them near
# the red of the window's banner and end button).
CLIENT_COLOUR = (0x41, 0x94, 0xff)
GREEN, ORANGE, PURPLE = (0x2e, 0xb8, 0x32), (0xff, 0x98, 0x00), (0x9c, 0x27, 0xb0)
BANNER = (0xd5, 0x44, 0x49)   # rgba(229,72,77,0.92) over the window's dark background

# Places on the meeting window (1120 x 700, the toolbar at its foot).
MUTE, VIDEO, END = (62, 665), (165, 665), (1049, 665)


def say(step):
    print("%s %s" % (time.strftime("%H:%M:%S"), step), flush=True)


def hex_of(rgb):
    return "#%02x%02x%02x" % rgb


class Participant:
    """meeting-participant in service mode; its JSON lines, each stamped with
    the time it arrived."""

    def __init__(self, service, account, password, number, name, colour, tone, *extra):
        self.name = name
        self.records = []
        self.lock = threading.Lock()
        self.errors = open(os.path.join(os.getcwd(), "participant-%s.err" % account.split("@")[0]), "w+")
        self.process = service.popen(
            [PARTICIPANT, "--service", service.url, "--ca", service.ca_file, "--account", account,
             "--password", password, "--number", number, "--display-name", name, "--colour", hex_of(colour),
             "--tone", str(tone), "--size", "320x240", "--fps", "15", "--report-every", "200", *extra],
            stdout=subprocess.PIPE, stderr=self.errors, text=True,
            env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                record = json.loads(line)
                record["at"] = time.time()
                with self.lock:
                    self.records.append(record)

    def since(self, moment=0):
        with self.lock:
            return [record for record in self.records if record["at"] >= moment]

    def event(self, name, moment=0):
        return next((r for r in self.since(moment) if r.get("event") == name), None)

    def remote(self, display, moment=0):
        """The latest report on the remote publisher named display."""
        for record in reversed(self.since(moment)):
            for remote in record.get("remotes", []):
                if remote["display"] == display:
                    return remote
        return None

    def wait(self, what, condition, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = condition()
            if found:
                return found
            check(self.process.poll() is None, "%s ended with %s before %s:\n%s"
                  % (self.name, self.process.returncode, what, self.error_text()))
            time.sleep(0.1)
        raise Failure("%s: no %s within %d s; last lines: %s"
                              % (self.name, what, timeout, self.since()[-3:]))

    def error_text(self):
        self.errors.flush()
        self.errors.seek(0)
        return self.errors.read()[-3000:]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(8)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def near(colour, expected, tolerance=30):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class Shot:
    """A screenshot of one window, sampled every fourth pixel."""

    STEP = 4

    def __init__(self, session, window, keep_as=None):
        data = subprocess.run(["import", "-display", session.display, "-window", window, "-depth", "8", "ppm:-"],
                              capture_output=True, timeout=30, check=True).stdout
        # "P6\nW H\n255\n", then the pixels (which may begin with bytes that look like spaces).
        header = data.split(b"\n", 3)
        check(len(header) == 4 and header[0] == b"P6" and header[2] == b"255", "import gave no 8-bit PPM")
        self.width, self.height = (int(n) for n in header[1].split())
        self.pixels = header[3]
        if keep_as and os.environ.get("TALVORA_SCREENSHOT_DIR"):
            os.makedirs(os.environ["TALVORA_SCREENSHOT_DIR"], exist_ok=True)
            subprocess.run(["/usr/bin/convert", "ppm:-", os.path.join(os.environ["TALVORA_SCREENSHOT_DIR"],
                                                                      keep_as + ".png")],
                           input=data, check=False, timeout=30)

    def samples(self, rows=None):
        top, bottom = rows or (0, self.height)
        for y in range(top, min(bottom, self.height), self.STEP):
            base = y * self.width * 3
            for x in range(0, self.width, self.STEP):
                offset = base + x * 3
                yield (x, y), tuple(self.pixels[offset:offset + 3])

    def share(self, colour, rows=None, tolerance=30):
        """The share of the sampled pixels near colour."""
        total = hits = 0
        for _, pixel in self.samples(rows):
            total += 1
            hits += near(pixel, colour, tolerance)
        return hits / max(total, 1)

    def changed_near(self, other, colour):
        """How many sampled pixels near colour in either shot differ between them."""
        return sum(1 for (_, a), (_, b) in zip(self.samples(), other.samples())
                   if a != b and (near(a, colour, 60) or near(b, colour, 60)))


def wait_for(what, condition, client, timeout=15):
    """The moment just before the first look that found condition true."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        looked = time.time()
        if condition():
            return looked
        check(client.poll() is None, "client ended with %s:\n%s" % (client.returncode, output(client)))
        time.sleep(0.2)
    raise Failure("no %s within %d s" % (what, timeout))


def click(session, window, place):
    session.xdotool("mousemove", "--window", window, str(place[0]), str(place[1]), "click", "1")


def confirm_end(session, client, attempts=3):
    """"结束会议" in the confirmation, from the keyboard: the focus starts on
    "取消", Shift+Tab moves it to "结束会议". Without a window manager a key
    can arrive before the box has the focus, so a box still there is
    answered again."""
    confirmation = session.wait_window("提示", client)
    for _ in range(attempts):
        session.xdotool("windowfocus", "--sync", confirmation)
        session.xdotool("key", "--delay", "50", "shift+Tab", "space")
        deadline = time.time() + 2
        while time.time() < deadline:
            if not session.xdotool("search", "--all", "--onlyvisible", "--pid", str(client.pid), "--name", "^提示$"):
                return
            time.sleep(0.1)
    session.screenshot("e2e_meeting_confirmation")
    raise Failure("the confirmation of the end stayed open")


def meeting_with_participants(session, service, client, keyboard):
    window, number = keyboard.start_instant_meeting("e2e")
    lisi = Participant(service, "lisi@talvora.dev", "LiSi-Password-16", number, "李四", GREEN, 660)
    people = [lisi]
    try:
        # The client at the participant: its colour, its frames growing, its tone.
        say("the client at the participant")
        first = lisi.wait("the client's picture", lambda: (lambda r: r if r and r["frames"] > 0 else None)(
            lisi.remote("张三")), timeout=30)
        now = lisi.wait("more of the client's frames", lambda: (
            lambda r: r if r["frames"] >= first["frames"] + 15 else None)(lisi.remote("张三")), timeout=10)
        check(near(now["rgb"], CLIENT_COLOUR, 25), "the client's picture has the wrong colour: %s" % now)
        check(abs(now["freq_hz"] - 440) <= 10 and now["rms_dbfs"] > -30, "the client's tone is wrong: %s" % now)

        # The participant in the client's gallery, moving.
        say("the participant in the client")
        wait_for("李四's picture in the client", lambda: Shot(session, window).share(GREEN) > 0.05, client)
        before = Shot(session, window)
        time.sleep(0.5)
        after = Shot(session, window, keep_as="meeting_2party")
        check(before.changed_near(after, GREEN) > 0, "李四's picture does not move in the client")

        # Four parties; 王五 leaves after a while and his tile goes.
        say("four parties")
        wangwu = Participant(service, "wangwu@talvora.dev", "Ww-Meet-2024", number, "王五", ORANGE, 550,
                             "--leave-after", "14")
        zhaoliu = Participant(service, "zhangsan@example.com", "Zs-Meet-2024", number, "赵六", PURPLE, 770)
        people += [wangwu, zhaoliu]
        wait_for("4 parties in the client", lambda: all(
            Shot(session, window).share(colour) > 0.02 for colour in (GREEN, ORANGE, PURPLE)), client, 30)
        time.sleep(1)
        Shot(session, window, keep_as="meeting_4party")
        left = wangwu.wait("its leave", lambda: wangwu.event("left"), timeout=25)
        gone = wait_for("王五's tile to go", lambda: Shot(session, window).share(ORANGE) < 0.002, client, 6)
        check(gone - left["at"] <= 3, "王五's tile stayed %.1f s after he left" % (gone - left["at"]))
        zhaoliu.stop()

        # "静音": the client's level at the participant falls by 30 dB within 1.5 s.
        say("静音")
        level = lisi.remote("张三")["rms_dbfs"]
        check(level > -30, "the client's tone was not heard before 静音: %.1f dBFS" % level)
        clicked = time.time()
        click(session, window, MUTE)
        quiet = lisi.wait("the client's silence", lambda: next(
            (r for r in lisi.since(clicked) for remote in r.get("remotes", [])
             if remote["display"] == "张三" and remote["rms_dbfs"] <= level - 30), None), timeout=5)
        # The level is over the second before the report: 30 dB down means
        # that second was silent, so the silence began a second before.
        check(quiet["at"] - 1.0 - clicked <= 1.5, "the client fell silent only %.2f s after 静音 (from %.1f dBFS)"
              % (quiet["at"] - 1.0 - clicked, level))

        # "停止视频": the participant hears that the client's video is off, and no frames come.
        say("停止视频")
        clicked = time.time()
        click(session, window, VIDEO)
        lisi.wait("the client's video off", lambda: next(
            (r for r in lisi.since(clicked) if r.get("event") == "participant-changed"
             and r["display"] == "张三" and r["video_off"]), None), timeout=5)
        time.sleep(1)
        still = lisi.remote("张三")["frames"]
        time.sleep(1.5)
        check(lisi.remote("张三")["frames"] == still, "frames from the client kept coming with its video off")

        # The host ends the meeting: the participant hears it and goes.
        say("结束会议")
        click(session, window, END)
        confirm_end(session, client)
        lisi.wait("the end of the meeting", lambda: lisi.event("ended"), timeout=10)
        check(lisi.process.wait(10) == 0, "the participant ended with %s" % lisi.process.returncode)
        wait_for("the meeting window to close",
                 lambda: not session.xdotool("search", "--onlyvisible", "--name", "^会议 " + number), client)
        wait_for("status 7", lambda: output(client).count("ZhumuSDK::MEETING_STATUS_ENDED") == 1, client)
    finally:
        for person in people:
            person.stop()


def janus_lost(session, service, client, keyboard):
    window, number = keyboard.start_instant_meeting("e2e")
    wait_for("the join", lambda: output(client).count("ZhumuSDK::MEETING_STATUS_INMEETING") == 2, client)
    # Killed on every restart too, so that the meeting cannot come back.
    stop = threading.Event()

    def keep_killing():
        while not stop.is_set():
            pid = service.janus_pid()
            if pid:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.05)

    killer = threading.Thread(target=keep_killing, daemon=True)
    killed = time.time()
    killer.start()
    say("Janus killed")
    try:
        wait_for("网络连接已断开 in the meeting window",
                 lambda: Shot(session, window).share(BANNER, rows=(36, 72), tolerance=25) > 0.5, client, 10)
        wait_for("the lost meeting to close", lambda: not session.xdotool(
            "search", "--onlyvisible", "--name", "^会议 " + number), client, 80)
        closed = time.time()
        check(closed - killed >= 59, "the lost meeting closed after only %.1f s" % (closed - killed))
        wait_for("status 7", lambda: output(client).count("ZhumuSDK::MEETING_STATUS_ENDED") == 2, client, 5)
        check(output(client).count("ZhumuSDK::MEETING_STATUS_FAILED") == 0,
              "a lost meeting reported a failure:\n" + output(client))
    finally:
        stop.set()
        killer.join()


def test():
    with MediaService(DEVSERVICE, CERTS, port=int(PORT), linger=5) as service:
        with XSession("e2e_meeting_test") as session:
            executable = session.install(CLIENT, "client")
            client = session.start(executable, TALVORA_TEST_MEDIA="1")
            main_window = session.sign_in_and_wait(executable, client)
            keyboard = Keyboard(session, client, main_window)
            meeting_with_participants(session, service, client, keyboard)
            janus_lost(session, service, client, keyboard)
            check(client.poll() is None, "client ended:\n" + output(client))
            check("AddressSanitizer" not in output(client), output(client))
            code = log_out(session, client, main_window)
            check(code == 0, "logging out after the meetings gave %s:\n%s" % (code, output(client)))


if __name__ == "__main__":
    run(test)
