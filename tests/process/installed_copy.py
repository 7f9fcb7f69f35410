#!/usr/bin/env python3
"""The program as a user gets it: "cmake --install" into a scratch prefix puts
the executable, the desktop entry, the icons and the AppStream metadata in
place; the installed copy, started by an unprivileged user who cannot write
beside it, shows the sign-in dialog and keeps its log private under
~/.local/state/Talvora/Logs, and so does it started by root, who could
write there; and the Debian package lists the same files.

Argument: the build directory."""

import os
import pwd
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, check, kill, output, run  # noqa: E402

APP_ID = "org.talvora.Talvora"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256, 512)
INIT_LINE = re.compile(r"\[ I\d{4} \d\d:\d\d:\d\d\.\d{3}000 [ \d]{4}\d+ \S+:\d+\]=========Talvora init======$")


def cache_value(build, name):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    return ""


def installed_files():
    """Paths below the prefix that an installation must hold."""
    return (["bin/Talvora", "share/applications/%s.desktop" % APP_ID, "share/metainfo/%s.metainfo.xml" % APP_ID]
            + ["share/icons/hicolor/%dx%d/apps/%s.png" % (n, n, APP_ID) for n in ICON_SIZES])


def png_size(path):
    with open(path, "rb") as png:
        header = png.read(24)
    check(header[:8] == b"\x89PNG\r\n\x1a\n", "%s is no PNG" % path)
    return struct.unpack(">II", header[16:24])


def run_tool(*command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300)
    check(result.returncode == 0, "%s failed:\n%s%s" % (" ".join(command), result.stdout, result.stderr))
    return result.stdout


def check_installation(prefix, version):
    for relative in installed_files():
        check(os.path.isfile(os.path.join(prefix, relative)), "not installed: " + relative)
    for n in ICON_SIZES:
        size = png_size(os.path.join(prefix, "share/icons/hicolor/%dx%d/apps/%s.png" % (n, n, APP_ID)))
        check(size == (n, n), "the %d-pixel icon is %s" % (n, size))
    desktop = os.path.join(prefix, "share/applications/%s.desktop" % APP_ID)
    with open(desktop, encoding="utf-8") as entry:
        text = entry.read()
    for line in ("Name[zh_CN]=Talvora 会议", "Icon=" + APP_ID, "StartupWMClass=Talvora",
                 "Categories=Network;VideoConference;"):
        check(line in text.splitlines(), "%s lacks %s" % (desktop, line))
    metainfo = os.path.join(prefix, "share/metainfo/%s.metainfo.xml" % APP_ID)
    with open(metainfo, encoding="utf-8") as info:
        check('<release version="%s"' % version in info.read(), "no release %s in %s" % (version, metainfo))
    validators = [("desktop-file-validate", desktop), ("appstreamcli", "validate", "--no-net", metainfo)]
    for command in validators:
        if shutil.which(command[0]):
            run_tool(*command)
        else:
            print("not checked: %s is not installed" % command[0])


def unprivileged_user(home):
    """The user that runs the installed copy: this one unless it is root,
    then "nobody" with a home of its own."""
    if os.geteuid() != 0:
        return None
    try:
        user = pwd.getpwnam("nobody")
    except KeyError:
        return None
    for path in (home, os.path.dirname(home)):
        os.chown(path, user.pw_uid, user.pw_gid)
    return user


def check_started_copy(session, prefix, scratch):
    home = os.path.join(scratch, "home", "user")
    runtime = os.path.join(scratch, "home", "runtime")
    os.makedirs(home)
    os.mkdir(runtime, 0o700)
    user = unprivileged_user(home)
    if os.geteuid() == 0 and user is None:
        print("skipped the start: no unprivileged user 'nobody' to run the installed copy as")
        return
    if user is not None:
        os.chown(runtime, user.pw_uid, user.pw_gid)
    bin_dir = os.path.join(prefix, "bin")
    # Nobody may write beside the installed program, as under /usr/bin.
    os.chmod(bin_dir, 0o555)

    executable = os.path.join(bin_dir, "Talvora")
    client = session.start(executable, user=user, HOME=home, XDG_RUNTIME_DIR=runtime, XDG_STATE_HOME=None)
    session.wait_window("Talvora 登录", client)
    session.screenshot("installed_copy_sign_in")

    logs = os.path.join(home, ".local", "state", "Talvora", "Logs")
    files = [name for name in os.listdir(logs) if name.endswith(".%d.txt" % client.pid)] \
        if os.path.isdir(logs) else []
    check(len(files) == 1, "expected this run's log in %s, found %s:\n%s" % (logs, files, output(client)))
    check(stat.S_IMODE(os.lstat(logs).st_mode) == 0o700, "log directory mode %o" % os.lstat(logs).st_mode)
    log_file = os.path.join(logs, files[0])
    check(stat.S_IMODE(os.lstat(log_file).st_mode) == 0o600, "log file mode %o" % os.lstat(log_file).st_mode)
    with open(log_file, encoding="utf-8") as log:
        first_line = log.readline().rstrip("\n")
    check(INIT_LINE.match(first_line), "unexpected first log line: %r" % first_line)
    check(not os.path.exists(os.path.join(bin_dir, "Logs")), "a log directory appeared beside the program")
    kill(client)

    # Root may write beside the program, as under /usr/bin, and still must not.
    if os.geteuid() == 0:
        os.chmod(bin_dir, 0o755)
        root_home = os.path.join(scratch, "home", "root")
        os.makedirs(root_home)
        client = session.start(executable, HOME=root_home, XDG_RUNTIME_DIR=runtime, XDG_STATE_HOME=None)
        session.wait_window("Talvora 登录", client)
        root_logs = os.path.join(root_home, ".local", "state", "Talvora", "Logs")
        logged = os.path.isdir(root_logs) and any(name.endswith(".%d.txt" % client.pid)
                                                   for name in os.listdir(root_logs))
        check(logged, "root's run logged elsewhere than %s:\n%s" % (root_logs, output(client)))
        check(not os.path.exists(os.path.join(bin_dir, "Logs")), "root's run wrote its log beside the program")
        kill(client)


def check_package(build, scratch, version):
    missing = [tool for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps") if shutil.which(tool) is None]
    if missing:
        print("skipped the package: %s not installed" % ", ".join(missing))
        return
    out = os.path.join(scratch, "deb")
    run_tool("cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", out,
             "-D", "CPACK_PACKAGING_INSTALL_PREFIX=/usr", "-D", "CPACK_DEBIAN_COMPRESSION_TYPE=gzip")
    deb = os.path.join(out, "talvora_%s_amd64.deb" % version)
    check(os.path.isfile(deb), "no %s among %s" % (deb, os.listdir(out)))
    listed = set(line.split()[-1] for line in run_tool("dpkg-deb", "--contents", deb).splitlines())
    for relative in installed_files():
        check("./usr/" + relative in listed, "the package lacks /usr/" + relative)
    fields = run_tool("dpkg-deb", "--field", deb, "Section", "Depends")
    check("Section: net" in fields, "wrong section:\n" + fields)
    for package in ("fonts-noto-cjk", "qttranslations5-l10n", "libqt5widgets5", "libcurl4 (>= 7.85)"):
        check(package in fields, "Depends lacks %s:\n%s" % (package, fields))


def test():
    build = os.path.abspath(sys.argv[1])
    # The test build trusts the CA in its build tree, which an installation
    # refuses unless asked for.
    os.environ["TALVORA_INSTALL_BUILD_TREE_CA"] = "1"
    version = cache_value(build, "CMAKE_PROJECT_VERSION")
    check(version, "no project version in %s/CMakeCache.txt" % build)
    with XSession("process_installed_copy") as session:
        # Outside the build tree, whose directories another user may not enter.
        scratch = tempfile.mkdtemp(prefix="talvora-installed-")
        try:
            os.chmod(scratch, 0o755)
            prefix = os.path.join(scratch, "prefix")
            run_tool("cmake", "--install", build, "--prefix", prefix)
            check_installation(prefix, version)
            check_started_copy(session, prefix, scratch)
            check_package(build, scratch, version)
        finally:
            subprocess.run(["chmod", "-R", "u+w", scratch], check=False)
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    run(test)
