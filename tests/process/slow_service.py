#!/usr/bin/env python3
"""The client against a service that holds its answers back: cancelling the
sign-in while its token request hangs ends the client at once; a held account
query shows the sign-in progress window, whose "取消" ends the client at
once (-1, no box); a held list refresh shows the spinner over the pages; and
logging out while an SDK join hangs ends the client at once (0).

Arguments: client executable (built for the held service's port), devservice
executable, certificate directory, service port."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, check, output, run  # noqa: E402

CLIENT, DEVSERVICE, CERTS, PORT = sys.argv[1:5]
NEVER = "600000"
QUIT_WITHIN = 2.0
# Window coordinates of the main window's controls (shadow band included).
MY_MEETINGS = (85, 125)
JOIN_MENU = (85, 345)
KEYS = {"1": (415, 222), "2": (615, 222), "3": (815, 222), "4": (415, 302), "5": (615, 302),
        "6": (815, 302), "7": (415, 382), "8": (615, 382), "9": (815, 382), "0": (615, 462)}
JOIN_BUTTON = (615, 583)
LOGOUT = (80, 650)
CONFIRM_SURE = (347, 192)


class HeldService:
    """The development service on the client's port with a fresh store and
    the given holds."""

    def __init__(self, session, *holds):
        self.session = session
        self.args = [a for hold in holds for a in ("--hold", hold)]

    def __enter__(self):
        data = os.path.join(self.session.scratch, "service-%d.db" % time.monotonic_ns())
        self.log = open(data + ".log", "w+b")
        self.process = subprocess.Popen(
            [DEVSERVICE, "--port", PORT, "--data", data, "--certs", CERTS, "--media-interface", "lo", *self.args],
            stdout=self.log, stderr=subprocess.STDOUT, env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        deadline = time.time() + 20
        while time.time() < deadline:
            probe = subprocess.run(["curl", "-sf", "--max-time", "2", "--cacert", os.path.join(CERTS, "ca.pem"),
                                    "https://127.0.0.1:%s/health" % PORT], capture_output=True)
            if probe.returncode == 0:
                return self
            check(self.process.poll() is None, "devservice ended: %s" % self.text())
            time.sleep(0.1)
        raise AssertionError("devservice did not come up")

    def text(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read().decode("utf-8", "replace")

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.log.close()
        return False


def click(session, window, point):
    session.xdotool("mousemove", "--sync", "--window", window, str(point[0]), str(point[1]))
    session.xdotool("click", "1")


def click_to_quit(session, client, window, point):
    """Clicks and returns (exit code, seconds from the click to the exit),
    or (None, None) when the client is still running QUIT_WITHIN seconds
    after the click. Without a window manager a click now and then lands
    where the pointer was before the move, so one that ends nothing is
    clicked once more."""
    for _ in range(2):
        time.sleep(0.2)
        started = time.monotonic()
        click(session, window, point)
        code = ended_within(client, QUIT_WITHIN)
        if code is not None:
            return code, time.monotonic() - started
    return None, None


def ended_within(client, seconds):
    """The exit code if the client ends within `seconds`, else None."""
    try:
        return client.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        return None


def cancel_held_sign_in(session, executable):
    with HeldService(session, "/oauth/token=" + NEVER):
        client = session.start(executable)
        session.sign_in(client)
        time.sleep(0.5)
        dialog = session.wait_window("Talvora 登录", client)
        session.xdotool("windowfocus", "--sync", dialog)
        started = time.monotonic()
        session.xdotool("key", "Escape")
        code = ended_within(client, QUIT_WITHIN)
        check(code is not None, "still running %.1f s after cancelling:\n%s" % (QUIT_WITHIN, output(client)))
        print("cancelling the sign-in ended the client in %.2f s" % (time.monotonic() - started))
        check(code == 255, "exited with %s, expected 255:\n%s" % (code, output(client)))


def cancel_held_account_query(session, executable):
    with HeldService(session, "/api/route/vas/zhumu/userInfo/get=" + NEVER):
        client = session.start(executable)
        session.sign_in(client)
        progress = session.wait_window("正在登录", client)
        time.sleep(0.5)
        session.screenshot("slow_service_sign_in_progress")
        # "取消" is the window's one button and holds the focus: Space presses
        # it. (Clicks by position have been seen to land on the text above
        # it when the machine is busy.)
        session.xdotool("windowfocus", "--sync", progress)
        started = time.monotonic()
        session.xdotool("key", "space")
        code = ended_within(client, QUIT_WITHIN)
        seconds = time.monotonic() - started
        check(code is not None, "still running %.1f s after 取消:\n%s" % (QUIT_WITHIN, output(client)))
        print("取消 ended the client in %.2f s" % seconds)
        check(code == 255, "exited with %s after 取消, expected 255:\n%s" % (code, output(client)))
        check("error box" not in output(client), "a box after 取消:\n" + output(client))
        check("login cancelled" in output(client), "no 'login cancelled':\n" + output(client))


def spinner_on_held_refresh(session, executable):
    # The constructor's list query goes through; the refresh hangs.
    with HeldService(session, "/v3/meeting/list=%s+1" % NEVER):
        client = session.start(executable)
        window = session.sign_in_and_wait(executable, client)
        click(session, window, MY_MEETINGS)
        time.sleep(1.0)
        session.screenshot("slow_service_busy_indicator")
        check(client.poll() is None, "client ended during the held refresh:\n" + output(client))
        client.kill()
        client.wait()


def log_out_during_held_join(session, executable):
    with HeldService(session, "/sdk/v1/meetings/join=" + NEVER):
        client = session.start(executable)
        window = session.sign_in_and_wait(executable, client)
        click(session, window, JOIN_MENU)
        for digit in "123456789":
            click(session, window, KEYS[digit])
        click(session, window, JOIN_BUTTON)
        time.sleep(1.0)
        click(session, window, LOGOUT)
        confirmation = session.wait_sized_window(client, "470x229")
        check(confirmation is not None, "no logout confirmation:\n" + output(client))
        code, seconds = click_to_quit(session, client, confirmation, CONFIRM_SURE)
        check(code is not None, "still running %.1f s after the logout:\n%s" % (QUIT_WITHIN, output(client)))
        print("the logout ended the client in %.2f s" % seconds)
        check(code == 0, "exited with %s after the logout, expected 0:\n%s" % (code, output(client)))


def test():
    with XSession("process_slow_service", compositor=True) as session:
        executable = session.install(CLIENT, "client")
        cancel_held_sign_in(session, executable)
        cancel_held_account_query(session, executable)
        spinner_on_held_refresh(session, executable)
        log_out_during_held_join(session, executable)


if __name__ == "__main__":
    run(test)
