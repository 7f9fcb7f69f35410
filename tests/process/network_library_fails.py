#!/usr/bin/env python3
"""A network library that cannot start: the box says so, the process exits
with -1, and its log file holds nothing but the init line."""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, check, log_files, output, run  # noqa: E402

INIT_LINE = re.compile(r"\[ I\d{4} \d\d:\d\d:\d\d\.\d{3}000 [ \d]{4}\d+ \S+:\d+\]=========Talvora init======\n$")


def test():
    with XSession("process_network_library_fails") as session:
        executable = session.install(sys.argv[1], "client")
        client = session.start(executable)
        box = session.wait_window("出错提示", client)
        session.screenshot("network_library_fails_box")
        check("error box: 出错提示|网络异常,初始化KelpNetUtils库失败" in output(client),
              "wrong box:\n" + output(client))
        code = session.answer_box(box, client)
        check(code == 255, "exited with %s, expected 255" % code)

        files = log_files(executable)
        check(len(files) == 1, "log files: %s" % files)
        check(files[0].endswith(".%d.txt" % client.pid), "log file of another process: %s" % files[0])
        with open(files[0], encoding="utf-8") as log:
            content = log.read()
        check(INIT_LINE.match(content), "log holds more than the init line: %r" % content)


if __name__ == "__main__":
    run(test)
