"""What the client's meeting tests share: meeting-participants in service
mode with their reports, screenshots of the client's windows sampled for
colours, and the ways a person drives the meeting window. Imported after
tests/process is on the path (xsession)."""

import json
import os
import signal
import subprocess
import threading
import time

from xsession import Failure, check, output

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
    the time it arrived. The script sets program to the executable. With
    commands, command() tells it what to do next; display is the X server
    whose screen it shares."""

    program = None

    def __init__(self, service, account, password, number, name, colour, tone, *extra, commands=False,
                 display=None):
        self.name = name
        self.records = []
        self.lock = threading.Lock()
        self.errors = open(os.path.join(os.getcwd(), "participant-%s.err" % account.split("@")[0]), "w+")
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        if display:
            env["DISPLAY"] = display
        self.process = service.popen(
            [self.program, "--service", service.url, "--ca", service.ca_file, "--account", account,
             "--password", password, "--number", number, "--display-name", name, "--colour", hex_of(colour),
             "--tone", str(tone), "--size", "320x240", "--fps", "15", "--report-every", "200", *extra,
             *(["--commands"] if commands else [])],
            stdin=subprocess.PIPE if commands else None, stdout=subprocess.PIPE, stderr=self.errors, text=True,
            env=env)
        threading.Thread(target=self._read, daemon=True).start()

    def command(self, line):
        """One command (started with commands=True); the moment it was given."""
        check(self.process.poll() is None, "%s ended with %s before '%s':\n%s"
              % (self.name, self.process.returncode, line, self.error_text()))
        given = time.time()
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return given

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

    def event(self, name, moment=0, **fields):
        """The first event called name since moment whose fields have those values."""
        return next((r for r in self.since(moment) if r.get("event") == name
                     and all(r.get(key) == value for key, value in fields.items())), None)

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

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.pixels[offset:offset + 3])

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

    def grid(self, columns, rows):
        """The mean colour of each of columns x rows equal cells, row by row."""
        sums = [[0, 0, 0, 0] for _ in range(columns * rows)]
        for (x, y), pixel in self.samples():
            cell = sums[y * rows // self.height * columns + x * columns // self.width]
            for channel in range(3):
                cell[channel] += pixel[channel]
            cell[3] += 1
        return [[total // max(cell[3], 1) for total in cell[:3]] for cell in sums]

    def centre(self, colour, rows=None, tolerance=12):
        """The middle of the sampled pixels near colour, or None."""
        found = [place for place, pixel in self.samples(rows) if near(pixel, colour, tolerance)]
        if not found:
            return None
        return (sum(x for x, _ in found) // len(found), sum(y for _, y in found) // len(found))

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
    """"结束会议" in the confirmation, from the keyboard."""
    confirm(session, client, "the end", attempts)


def confirm(session, client, what, attempts=3):
    """The confirming button of the meeting window's question ("结束会议",
    "移出会议"), from the keyboard: the focus starts on "取消", Shift+Tab
    moves it to the other button. Without a window manager a key can arrive
    before the box has the focus, so a box still there is answered again."""
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
    raise Failure("the confirmation of %s stayed open" % what)
