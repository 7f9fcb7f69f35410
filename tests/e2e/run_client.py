#!/usr/bin/env python3
"""The client as a person runs it, against the development service: the cloud
sign-in typed into "Talvora 登录", the main window enabled once the
conferencing SDK has logged in, a screenshot of it, and logging out through
the menu and its confirmation ending the process with 0."""

import os
import subprocess
import sys
import time

sys.path.insert(0, sys.argv[2])
from xsession import XSession, check, log_out, log_text, output, run  # noqa: E402

SHOT = os.path.join(os.getcwd(), "e2e_main_window.png")


def test():
    with XSession("e2e_run_test", compositor=True) as session:
        executable = session.install(sys.argv[1], "client")
        client = session.start(executable)
        main_window = session.sign_in_and_wait(executable, client)
        # Give the X server a moment to paint what the handler changed.
        time.sleep(0.5)
        check("error box" not in output(client), "unexpected box:\n" + output(client))
        if os.path.exists(SHOT):
            os.remove(SHOT)
        subprocess.run(["import", "-display", session.display, "-window", "root", SHOT], check=True,
                       timeout=30)
        check(os.path.getsize(SHOT) > 0, "empty screenshot")

        # Escape must not end the client; only the confirmed logout does.
        session.xdotool("windowfocus", "--sync", main_window)
        session.xdotool("key", "Escape")
        time.sleep(0.5)
        check(client.poll() is None, "Escape ended the client:\n" + output(client))
        code = log_out(session, client, main_window)
        if code is None:
            subprocess.run(["import", "-display", session.display, "-window", "root",
                            os.path.join(os.getcwd(), "e2e_logout_failed.png")], check=False, timeout=30)
        check(code is not None, "the confirmed logout did not end the client:\n" + output(client))
        check(code == 0, "exited with %s after logout, expected 0:\n%s" % (code, output(client)))
        out = output(client)
        check("LOGINSTATUS::LOGIN_SUCCESS" in out, "no login success on standard output:\n" + out)
        log = log_text(executable, client)
        for secret in ("talvora123", "Zs-Meet-2024"):
            check(secret not in out and secret not in log, "a password reached the output or the log")


if __name__ == "__main__":
    run(test)
