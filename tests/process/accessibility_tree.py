#!/usr/bin/python3
"""The signed-in client as a screen reader sees it over AT-SPI: on every page
of the main window, and in the time picker, each control that can take the
focus has a name; the names and values a user relies on are there; the
join page's error line is announced when it turns red.

    accessibility_tree.py CLIENT SERVICE_LOG

Runs on a private D-Bus session with its own accessibility bus: the script
starts itself again under dbus-run-session. Debian's pyatspi needs Debian's
interpreter, /usr/bin/python3."""

import datetime
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from keyboard_flows import PICKER, Keyboard, ServiceLog  # noqa: E402
from xsession import SKIP, Failure, XSession, check, run  # noqa: E402

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
PRIVATE_BUS = "TALVORA_PRIVATE_BUS"


def on_private_bus():
    """Starts this script again under its own session bus, once. The
    accessibility bus that the session starts on demand puts its socket in
    XDG_RUNTIME_DIR, or in one path shared by every session of the user
    without it: the test gives it a directory of its own."""
    if os.environ.get(PRIVATE_BUS) == "1":
        return
    missing = [tool for tool in ("dbus-run-session", BUS_LAUNCHER) if shutil.which(tool) is None]
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("python3-pyatspi")
    if missing:
        print("skipped: %s not installed" % ", ".join(missing))
        sys.exit(SKIP)
    runtime_dir = tempfile.mkdtemp(prefix="a11y-bus-", dir=os.getcwd())
    env = dict(os.environ, **{PRIVATE_BUS: "1", "XDG_RUNTIME_DIR": runtime_dir})
    code = subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env)
    shutil.rmtree(runtime_dir, ignore_errors=True)
    sys.exit(code)


def start_accessibility_bus(session):
    """The accessibility bus for the session's display, once it answers.
    The launcher also writes the bus address on the display's root window,
    where the client finds it as it starts; asked for over the session bus
    instead, Qt can set itself up before its connection is made and then
    never registers."""
    from gi.repository import Gio, GLib

    # In a process group of its own, which stop_accessibility_bus() ends with
    # the bus it started.
    launcher = subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"], env=session.env(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    session_bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    deadline = time.time() + 20
    while True:
        try:
            if session_bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                     "NameHasOwner", GLib.Variant("(s)", ("org.a11y.Bus",)),
                                     GLib.VariantType("(b)"), Gio.DBusCallFlags.NONE, 2000, None).unpack()[0]:
                return launcher
        except GLib.Error:
            pass
        if time.time() > deadline or launcher.poll() is not None:
            stop_accessibility_bus(launcher)
            raise Failure("the accessibility bus did not start")
        time.sleep(0.1)


def stop_accessibility_bus(launcher):
    try:
        os.killpg(launcher.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    launcher.wait()


class Reader:
    """The client's accessible tree, read as a screen reader reads it."""

    def __init__(self, pyatspi, client):
        self.atspi = pyatspi
        self.client = client
        self.events = []
        self.atspi.Registry.registerEventListener(self.events.append, "object:state-changed:showing")

    def application(self, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            desktop = self.atspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                app = desktop.getChildAtIndex(index)
                if app is not None and app.get_process_id() == self.client.pid:
                    return app
            time.sleep(0.2)
        raise Failure("the client is not on the accessibility bus")

    def showing(self, node):
        return node.getState().contains(self.atspi.STATE_SHOWING)

    def nodes(self, root):
        """Every node under root that is on screen."""
        found = []
        for index in range(root.childCount):
            child = root.getChildAtIndex(index)
            if child is not None and self.showing(child):
                found.append(child)
                found.extend(self.nodes(child))
        return found

    def window(self, name="Talvora", timeout=10):
        """The client's window of that name, once it shows."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            app = self.application()
            for index in range(app.childCount):
                window = app.getChildAtIndex(index)
                if window is not None and window.name == name and self.showing(window):
                    return window
            time.sleep(0.2)
        raise Failure("no window '%s' in the accessible tree" % name)

    def check_names(self, window, page, at_least):
        """Fails on a focusable control without a name; returns what the
        controls are called, by role."""
        controls = [node for node in self.nodes(window)
                    if node.getState().contains(self.atspi.STATE_FOCUSABLE)]
        check(len(controls) >= at_least,
              "%s: %d focusable controls, expected at least %d" % (page, len(controls), at_least))
        nameless = ["%s under %s" % (node.getRoleName(), node.parent.getRoleName())
                    for node in controls if not node.name]
        check(not nameless, "%s: controls without a name: %s" % (page, ", ".join(nameless)))
        return {(node.getRoleName(), node.name) for node in self.nodes(window)}

    def pump(self, seconds):
        """Lets queued events arrive."""
        from gi.repository import GLib
        deadline = time.time() + seconds
        context = GLib.MainContext.default()
        while time.time() < deadline:
            while context.iteration(False):
                pass
            time.sleep(0.05)


def expect(names, role, name, page):
    check((role, name) in names, "%s: no %s named '%s'" % (page, role, name))


def walk(session, pyatspi, service, day):
    """Every page, then the join page's error line."""
    executable = session.install(sys.argv[1], "client")
    client = session.start(executable, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    reader = Reader(pyatspi, client)
    keyboard = Keyboard(session, client, session.sign_in_and_wait(executable, client))
    main = reader.window()

    # A booking of our own, so that the list has cards and dots.
    keyboard.book("a11y%d" % os.getpid(), datetime.datetime.combine(day, datetime.time(9, 0)),
                  datetime.datetime.combine(day, datetime.time(9, 30)), service)
    reader.check_names(main, "booking confirmation", 9)

    keyboard.keys("ctrl+1")
    names = reader.check_names(main, "meeting list", 10)
    expect(names, "page tab", "第 1 页", "meeting list")
    check(("label", "语音会议") in names or ("label", "视频会议") in names,
          "meeting list: no card says whether it is a video or a voice meeting")
    for entry in ("我的会议", "发起会议", "加入会议", "设置", "隐藏", "退出", "修改用户名"):
        expect(names, "push button", entry, "menu")

    keyboard.keys("Return")                       # the first card's "编辑"
    reader.check_names(main, "edit page", 15)

    keyboard.keys("ctrl+2")
    reader.check_names(main, "instant meeting", 12)
    keyboard.keys("Tab", "Return")                # the booking pane
    names = reader.check_names(main, "booking form", 14)
    expect(names, "push button", "开始时间", "booking form")
    expect(names, "push button", "结束时间", "booking form")

    keyboard.keys("Tab", "Tab", "Return")         # topic, start time: the picker
    keyboard.popup(PICKER)
    picker = reader.window("请选择会议开始时间")
    names = reader.check_names(picker, "time picker", 7)
    wheels = {node.name: node for node in reader.nodes(picker) if node.getRoleName() == "spin button"}
    check(sorted(wheels) == sorted(["年", "月", "日", "时", "分"]),
          "time picker: wheels named %s" % sorted(wheels))
    month = wheels["月"].queryValue().currentValue
    check(1 <= month <= 12, "time picker: the month wheel's value is %s" % month)
    keyboard.keys("Escape")
    keyboard.focus_main()

    keyboard.keys("ctrl+3")
    names = reader.check_names(main, "join page", 16)
    for key in ("1", "5", "0", "点", "删除"):
        expect(names, "push button", key, "join page")
    expect(names, "text", "会议码", "join page")
    wrong = "会议码不存在,请重试"
    check(("alert", wrong) not in names, "join page: the error line is read out before any error")

    del reader.events[:]
    keyboard.type("123")
    keyboard.keys("Return")
    service.wait("/sdk/v1/meetings/join?", "number=123")
    deadline = time.time() + 10
    announced = []
    while time.time() < deadline and not announced:
        reader.pump(0.2)
        announced = [event for event in reader.events
                     if event.source is not None and event.source.name == wrong
                     and event.source.getRoleName() == "alert" and event.detail1 == 1]
    check(announced, "the error line turned red without an announcement: %s"
          % ["%s %s" % (event.type, event.source.name) for event in reader.events])
    expect(reader.check_names(main, "join page", 16), "alert", wrong, "join page")


def test():
    import pyatspi

    service = ServiceLog(sys.argv[2])
    day = datetime.date(datetime.date.today().year + 1, 3, 7)
    with XSession("process_accessibility_tree") as session:
        launcher = start_accessibility_bus(session)
        try:
            walk(session, pyatspi, service, day)
        finally:
            stop_accessibility_bus(launcher)


if __name__ == "__main__":
    on_private_bus()
    run(test)
