#!/usr/bin/env python3
"""Every flow of the signed-in client with keys alone, checked at the
development service that gets the requests: booking a meeting, editing it,
booking and deleting another, joining by code, renaming (to the same name, so
the shared account stays as the other tests expect it) and logging out.

    keyboard_only.py CLIENT SERVICE_LOG"""

import datetime
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from keyboard_flows import CONFIRMATION, RENAME, Keyboard, ServiceLog  # noqa: E402
from xsession import XSession, check, output, run, wait_exit  # noqa: E402


def test():
    service = ServiceLog(sys.argv[2])
    tag = "kb%d" % os.getpid()
    # Next year, so that the pickers accept it whatever the time of day.
    day = datetime.date(datetime.date.today().year + 1, 3, 7)
    start = datetime.datetime.combine(day, datetime.time(10, 0))
    end = datetime.datetime.combine(day, datetime.time(11, 30))
    start_text = "start_time=%d-03-07 10:00:00" % day.year

    with XSession("process_keyboard_only", compositor=True) as session:
        executable = session.install(sys.argv[1], "client")
        client = session.start(executable)
        keyboard = Keyboard(session, client, session.sign_in_and_wait(executable, client))

        # Booking, then editing from the confirmation: the type becomes video.
        keyboard.book(tag + "-edit", start, end, service)
        service.wait(start_text, "duration=90", "topic=" + tag + "-edit")
        keyboard.keys("Return")                            # "编辑": the edit page, topic focused
        keyboard.keys("Tab", "Tab", "Tab", "Return")       # start, end, video: chosen
        keyboard.keys("Tab", "Tab", "Tab", "Tab", "Return")  # voice, 删除会议, 取消, 保存
        service.wait("/v3/meeting/update?", "topic=" + tag + "-edit", "option_no_video_host=false")

        # Booking another and deleting it from its edit page.
        keyboard.book(tag + "-delete", start, end, service)
        keyboard.keys("Return")                            # "编辑"
        keyboard.keys(*["Tab"] * 5, "Return")              # ... 删除会议
        keyboard.popup(CONFIRMATION)
        keyboard.keys("Return")                            # "确定"
        service.wait("/v3/meeting/delete?")

        keyboard.join("987654321")
        service.wait("/sdk/v1/meetings/join?", "number=987654321")

        # From the join page's code field back through the menu to the
        # user name at its top, and rename without changing the name.
        keyboard.focus_main()
        keyboard.keys("ctrl+3", *["shift+Tab"] * 7, "Return")
        keyboard.popup(RENAME)
        keyboard.keys("Return")                            # "确定", the name as it is
        service.wait("/v3/user/update?", "username=张三")

        keyboard.focus_main()
        keyboard.keys(*["Tab"] * 6, "Return")              # down the menu to "退出"
        keyboard.popup(CONFIRMATION)
        session.screenshot("keyboard_logout_confirmation")
        keyboard.keys("Return")
        code = wait_exit(client)
        check(code == 0, "exited with %s after logout, expected 0:\n%s" % (code, output(client)))


if __name__ == "__main__":
    run(test)
