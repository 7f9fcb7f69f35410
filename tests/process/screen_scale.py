#!/usr/bin/env python3
"""The scale the main window is drawn at, on an X server whose reported size
is not a whole number of dots per inch (1400 x 900 at -dpi 96 reports 370 x
238 mm, 96.1 dpi): without Xft.dpi exactly 1x (1070 x 690), and with
"Xft.dpi: 120" loaded through xrdb, as a desktop set to 125 % does, 1.25.

    screen_scale.py CLIENT"""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, check, kill, run  # noqa: E402


def main_window_size(name, resources):
    with XSession(name, screen="1400x900") as session:
        if resources:
            subprocess.run(["xrdb", "-nocpp", "-merge"], input=resources, text=True, env=session.env(),
                           check=True, timeout=30)
        executable = session.install(sys.argv[1], "client")
        client = session.start(executable)
        window = session.sign_in_and_wait(executable, client)
        geometry = session.xdotool("getwindowgeometry", window)
        session.screenshot(name)
        kill(client)
        return geometry[geometry.index("Geometry:") + 1]


def test():
    if shutil.which("xrdb") is None:
        print("skipped: xrdb is not installed (package x11-xserver-utils)")
        sys.exit(77)
    size = main_window_size("process_screen_scale_1x", None)
    check(size == "1070x690", "without Xft.dpi the main window is %s, not 1070x690" % size)
    size = main_window_size("process_screen_scale_125", "Xft.dpi: 120\n")
    check(size == "1338x863", "with Xft.dpi 120 the main window is %s, not 1338x863 (1.25x)" % size)


if __name__ == "__main__":
    run(test)
