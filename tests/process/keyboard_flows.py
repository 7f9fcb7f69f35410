"""The signed-in client driven with keys alone, as a person without a mouse
would: xdotool sends keys to the focused window, Ctrl+1/2/3 choose the menu
entries, Tab follows the reading order of the page, Return presses the
focused control. The pop-ups are found by their size and given the X focus
(there is no window manager to do it)."""

import datetime
import os
import time

from xsession import Failure, check, output

PICKER = "750x409"
CONFIRMATION = "470x229"
RENAME = "410x250"


class ServiceLog:
    """The lines the development service logs from now on, one per request."""

    def __init__(self, path):
        self.path = path
        self.start = os.path.getsize(path)

    def lines(self):
        with open(self.path, encoding="utf-8", errors="replace") as log:
            log.seek(self.start)
            return log.read().splitlines()

    def wait(self, *parts, timeout=20):
        """The first new line that holds every part."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            for line in self.lines():
                if all(part in line for part in parts):
                    return line
            time.sleep(0.2)
        raise Failure("no request with %s reached the service; it saw:\n%s"
                      % (" ".join(parts), "\n".join(self.lines())))


class Keyboard:
    def __init__(self, session, client, main_window):
        self.session = session
        self.client = client
        self.main_window = main_window

    def keys(self, *keys):
        check(self.client.poll() is None, "client ended:\n" + output(self.client))
        self.session.xdotool("key", "--delay", "30", *keys)

    def type(self, text):
        self.session.xdotool("type", "--delay", "30", text)

    def focus_main(self):
        self.session.xdotool("windowfocus", "--sync", self.main_window)

    def popup(self, size, timeout=10):
        """The client's visible window of that size, focused."""
        window = self.session.wait_sized_window(self.client, size, timeout)
        check(window is not None, "no %s window appeared:\n%s" % (size, output(self.client)))
        self.session.xdotool("windowfocus", "--sync", window)
        return window

    def wait_closed(self, window, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if window not in self.session.xdotool("search", "--onlyvisible", "--pid", str(self.client.pid),
                                                  "--name", ".*"):
                return
            time.sleep(0.1)
        raise Failure("window %s stayed open:\n%s" % (window, output(self.client)))

    def pick(self, when):
        """In the open picker, with the focus on the year wheel: turns the
        wheels to `when` (whole five minutes, this year or later) and saves."""
        picker = self.popup(PICKER)
        # Down shows the larger value; a wheel stops at its ends, so running
        # it to its smallest value first makes the count of steps exact.
        this_year = datetime.date.today().year
        wheels = [(when.year - this_year, 0), (when.month - 1, 12), (when.day - 1, 31),
                  (when.hour, 24), (when.minute // 5, 12)]
        for index, (steps, reset) in enumerate(wheels):
            if index > 0:
                self.keys("Tab")
            if reset:
                self.keys(*["Up"] * reset)
            if steps:
                self.keys(*["Down"] * steps)
        self.keys("Return")
        self.wait_closed(picker)
        self.focus_main()

    def book(self, topic, start, end, service_log):
        """Books a voice meeting from the create page's booking pane and
        waits for its create and update requests; the focus ends on the
        confirmation's "编辑"."""
        self.focus_main()
        self.keys("ctrl+2")                 # "临时会议" tab focused
        self.keys("Tab", "Return")          # "预定会议" tab: the booking pane
        self.keys("Tab")                    # topic
        self.type(topic)
        self.keys("Tab", "Return")          # start time
        self.pick(start)
        self.keys("Tab", "Return")          # end time
        self.pick(end)
        self.keys("Tab", "Tab", "Return")   # video, voice: voice chosen
        self.keys("Tab", "Return")          # "预定会议"
        service_log.wait("/v3/meeting/create?", "topic=" + topic, "option_no_video_host=true")
        return service_log.wait("/v3/meeting/update?", "topic=" + topic)

    def join(self, code):
        """Types a code on the join page, presses the keypad's first key and
        takes its digit back with Backspace, and joins with Enter."""
        self.focus_main()
        self.keys("ctrl+3")                 # the code field focused
        self.type(code)
        self.keys("Tab", "space")           # keypad "1"; the focus goes back to the field
        self.keys("BackSpace", "Return")

    def start_instant_meeting(self, topic, timeout=30):
        """"发起会议", a topic, "视频会议" and "立即开始"; returns the meeting
        window ("会议 {number}") and its number."""
        self.focus_main()
        self.keys("ctrl+2", "Tab", "Tab")   # "临时会议", "预定会议", the topic
        self.type(topic)
        self.keys("Tab", "Return", "Tab", "Tab", "Return")
        deadline = time.time() + timeout
        while time.time() < deadline:
            for window in self.session.xdotool("search", "--all", "--onlyvisible", "--pid", str(self.client.pid),
                                               "--name", "^会议 "):
                title = self.session.xdotool("getwindowname", window)
                if len(title) == 2 and title[0] == "会议" and title[1].isdigit():
                    return window, title[1]
            check(self.client.poll() is None, "client ended:\n" + output(self.client))
            time.sleep(0.2)
        raise Failure("no meeting window within %d s:\n%s" % (timeout, output(self.client)))
