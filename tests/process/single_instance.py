#!/usr/bin/env python3
"""One client per user: a second copy started while the first runs shows
"程序已启动" and exits with -1 without writing a log; once the first is
killed (no chance to clean up) a new copy starts normally."""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, check, kill, log_files, output, run  # noqa: E402

SIGN_IN_TITLE = "Talvora 登录"
INIT_LINE = re.compile(r"\[ I\d{4} \d\d:\d\d:\d\d\.\d{3}000 [ \d]{4}\d+ \S+:\d+\]=========Talvora init======$")


def started_normally(session, executable, client):
    session.wait_window(SIGN_IN_TITLE, client)
    files = log_files(executable, client.pid)
    check(len(files) == 1, "expected one log file of pid %d, found %s" % (client.pid, files))
    with open(files[0], encoding="utf-8") as log:
        first_line = log.readline().rstrip("\n")
    check(INIT_LINE.match(first_line), "unexpected first log line: %r" % first_line)
    check("error box" not in output(client), "unexpected box:\n" + output(client))


def test():
    with XSession("process_single_instance") as session:
        first_exe = session.install(sys.argv[1], "first")
        second_exe = session.install(sys.argv[1], "second")

        first = session.start(first_exe)
        started_normally(session, first_exe, first)

        second = session.start(second_exe)
        box = session.wait_window("出错提示", second)
        session.screenshot("single_instance_box")
        check("error box: 出错提示|程序已启动" in output(second), "wrong box:\n" + output(second))
        code = session.answer_box(box, second)
        check(code == 255, "second copy exited with %s, expected 255" % code)
        check(not os.path.exists(os.path.join(os.path.dirname(second_exe), "Logs")),
              "the refused copy created a log directory")
        check(first.poll() is None, "the first copy ended with %s" % first.returncode)
        check(len(log_files(first_exe)) == 1, "log files: %s" % log_files(first_exe))

        kill(first)
        third = session.start(first_exe)
        started_normally(session, first_exe, third)
        kill(third)


if __name__ == "__main__":
    run(test)
