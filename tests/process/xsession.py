"""A private X server for one process-level test, and helpers to run copies
of the client in it and drive its windows with xdotool."""

import glob
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

SKIP = 77


def require_tools():
    missing = [tool for tool in ("Xvfb", "xdotool") if shutil.which(tool) is None]
    if missing:
        print("skipped: %s not installed" % ", ".join(missing))
        sys.exit(SKIP)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class XSession:
    """Xvfb on a display derived from the test's name (with xcompmgr if asked
    for), a scratch directory inside the working directory (so that
    executables can be hard-linked into it), and every client started here
    killed on exit."""

    def __init__(self, name, compositor=False, screen="1440x960"):
        self.name = name
        self.screen = screen
        self.display = None
        self.server = None
        self.with_compositor = compositor
        self.compositor = None
        self.clients = []
        self.scratch = tempfile.mkdtemp(prefix=name + "-", dir=os.getcwd())
        self.runtime_dir = os.path.join(self.scratch, "runtime")
        os.mkdir(self.runtime_dir, 0o700)

    def __enter__(self):
        # -noreset: by default the server resets when its last client goes,
        # and a client started in that moment (the copy after a killed one)
        # cannot connect.
        # 1440 x 960 at -dpi 96 is a whole number of millimetres (381 x 254),
        # so the density the server reports is exactly 96.
        # Each test starts from its own display number, so parallel tests
        # never reuse a display that another one is still shutting down, and
        # Xvfb reports on a pipe only once it accepts connections, so no
        # client races its start-up.
        base = 300 + zlib.crc32(self.name.encode()) % 500
        for number in range(base, base + 40):
            if os.path.exists("/tmp/.X%d-lock" % number):
                continue
            server = self._start_server(number, self.screen)
            if server is not None:
                self.display, self.server = ":%d" % number, server
                # On a loaded machine a key's release can come late enough
                # for the server to repeat the key: typed text doubles its
                # letters, a shortcut fires twice.
                if shutil.which("xset") is not None:
                    subprocess.run(["xset", "r", "off"], env=self.env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, timeout=10)
                # Translucent windows show a black band without a compositor.
                if self.with_compositor and shutil.which("xcompmgr") is not None:
                    self.compositor = subprocess.Popen(["xcompmgr"], env=self.env(), stdout=subprocess.DEVNULL,
                                                       stderr=subprocess.DEVNULL)
                return self
        raise Failure("no free X display near :%d" % base)

    @staticmethod
    def _start_server(number, screen):
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0", screen + "x24",
             "-nolisten", "tcp", "-noreset", "-dpi", "96"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
        os.close(write_end)
        reported = b""
        try:
            deadline = time.time() + 20
            while not reported.endswith(b"\n") and time.time() < deadline:
                ready, _, _ = select.select([read_end], [], [], 0.2)
                if ready:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    reported += chunk
        finally:
            os.close(read_end)
        if server.poll() is None and reported.strip() == str(number).encode():
            return server
        if server.poll() is None:
            server.kill()
        server.wait()
        return None

    def __exit__(self, *exc):
        if self.compositor is not None:
            self.compositor.terminate()
            self.compositor.wait()
        for client in self.clients:
            if client.poll() is None:
                client.kill()
                client.wait()
        self.server.terminate()
        self.server.wait()
        if exc[0] is None:
            shutil.rmtree(self.scratch, ignore_errors=True)
        return False

    def env(self):
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime_dir,
                   QT_XCB_GL_INTEGRATION="none")
        return env

    def install(self, executable, folder):
        """The client's executable in a folder of its own: its Logs
        directory appears beside it."""
        target_dir = os.path.join(self.scratch, folder)
        os.mkdir(target_dir)
        target = os.path.join(target_dir, "Talvora")
        try:
            os.link(executable, target)
        except OSError:
            shutil.copy2(executable, target)
        return target

    def start(self, executable, user=None, **env):
        """Starts executable, as user (a pwd entry; needs root) when given,
        with env added to the session's environment (None removes a name)."""
        out = open(os.path.join(self.scratch, "%s.%d.out" % (os.path.basename(executable), len(self.clients))),
                   "w+b")
        identity = {}
        if user is not None:
            identity = dict(user=user.pw_uid, group=user.pw_gid, extra_groups=[])
        environment = {name: value for name, value in dict(self.env(), **env).items() if value is not None}
        client = subprocess.Popen([executable], env=environment, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=subprocess.STDOUT, **identity)
        client.output_file = out
        self.clients.append(client)
        return client

    def xdotool(self, *args, timeout=30):
        try:
            result = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True,
                                    text=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("xdotool %s: no answer within %d s" % (" ".join(args), timeout))
        return result.stdout.split()

    def wait_window(self, title, client, timeout=30):
        """The visible window of client whose title is title."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            windows = self.xdotool("search", "--all", "--onlyvisible", "--pid", str(client.pid), "--name",
                                   "^%s$" % title)
            if windows:
                return windows[0]
            check(client.poll() is None,
                  "client ended with %s before showing '%s':\n%s" % (client.returncode, title, output(client)))
            time.sleep(0.1)
        raise Failure("no window '%s' within %d s:\n%s" % (title, timeout, output(client)))

    def sign_in(self, client, account="demo", password="talvora123"):
        """Types the account and password into the cloud sign-in dialog."""
        dialog = self.wait_window("Talvora 登录", client)
        self.xdotool("windowfocus", "--sync", dialog)
        self.xdotool("type", "--delay", "20", account)
        self.xdotool("key", "Tab")
        self.xdotool("type", "--delay", "20", password)
        self.xdotool("key", "Return")

    def main_window(self, client):
        """The visible window titled exactly "Talvora": a title search alone
        also finds "Talvora 登录" while the sign-in dialog is still up."""
        for window in self.xdotool("search", "--onlyvisible", "--pid", str(client.pid), "--name", "Talvora"):
            if self.xdotool("getwindowname", window) == ["Talvora"]:
                return window
        raise Failure("no main window:\n" + output(client))

    def wait_sized_window(self, client, size, timeout=5):
        """The client's visible window of the given size ("470x229"), or
        None: the pop-ups have no title."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            for window in self.xdotool("search", "--onlyvisible", "--pid", str(client.pid), "--name", ".*"):
                if size in self.xdotool("getwindowgeometry", window):
                    return window
            time.sleep(0.1)
        return None

    def press_return(self, window):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "Return")

    def answer_box(self, window, client, attempts=3):
        """Presses Return on the box that ends client and returns its exit
        code. Without a window manager a key can reach the server before the
        focus has settled, so an unanswered box gets the key again."""
        for _ in range(attempts):
            self.press_return(window)
            try:
                return client.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        raise Failure("the box did not end the client:\n" + output(client))

    def sign_in_and_wait(self, executable, client, account="demo", password="talvora123"):
        """Signs in and waits until the main window is enabled with the
        user's name (张三 for demo); returns that window."""
        self.sign_in(client, account, password)
        wait_log_line(executable, client, LOGIN_LINE)
        wait_log_line(executable, client, NAME_LINE)
        return self.main_window(client)

    def screenshot(self, name):
        directory = os.environ.get("TALVORA_SCREENSHOT_DIR")
        if not directory or shutil.which("import") is None:
            return
        os.makedirs(directory, exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        os.path.join(directory, name + ".png")], check=False, timeout=30)


# Logged once the conferencing SDK has signed in, and once the window is
# enabled and shows the demo user's name.
LOGIN_LINE = "return in onLoginRet: 2"
NAME_LINE = "get username:张三"


def log_text(executable, client):
    text = ""
    for path in log_files(executable, client.pid):
        with open(path, encoding="utf-8", errors="replace") as log:
            text += log.read()
    return text


def wait_log_line(executable, client, line, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if line in log_text(executable, client):
            return
        check(client.poll() is None, "client ended with %s:\n%s" % (client.returncode, output(client)))
        time.sleep(0.2)
    raise Failure("no '%s' in the log within %d s:\n%s" % (line, timeout, output(client)))


def output(client):
    client.output_file.flush()
    client.output_file.seek(0)
    return client.output_file.read().decode("utf-8", "replace")


def wait_exit(client, timeout=30):
    try:
        return client.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure("client still running after %d s:\n%s" % (timeout, output(client)))


def log_files(executable, pid=None):
    pattern = "CPS_*.%s.txt" % (pid if pid is not None else "*")
    return sorted(glob.glob(os.path.join(os.path.dirname(executable), "Logs", pattern)))


def run(test):
    """Runs test(), printing a failure instead of a traceback."""
    require_tools()
    try:
        test()
    except Failure as failure:
        print("FAILED: %s" % failure)
        sys.exit(1)
    print("passed")


def kill(client):
    os.kill(client.pid, signal.SIGKILL)
    client.wait()


def log_out(session, client, main_window, attempts=3):
    """Clicks "退出" at the foot of the menu and "确定" in its confirmation
    (470 x 229, no title; "确定" is the right half of the button row) and
    returns the exit code, or None when the client did not end. Without a
    window manager a click can land before a window is mapped, so an
    unanswered logout is clicked through once more."""
    for _ in range(attempts):
        session.xdotool("mousemove", "--window", main_window, "80", "650", "click", "1")
        confirmation = session.wait_sized_window(client, "470x229")
        if confirmation is not None:
            session.xdotool("mousemove", "--window", confirmation, "347", "192", "click", "1")
        try:
            return client.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
    return None
