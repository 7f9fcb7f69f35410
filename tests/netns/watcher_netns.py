#!/usr/bin/env python3
"""The connectivity watcher against a real network: the client and the local
service run in a network namespace of their own with one veth pair. Removing
the interface's address shows the network error page; restoring it shows the
create page with the instant tab. Taking the link's carrier away does the
same, since an interface that is not running does not count.

Arguments: client executable, devservice executable, certificate directory,
service port."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "process"))
from xsession import SKIP, Failure, XSession, check, output, run  # noqa: E402

ADDRESS = "10.77.0.2/24"
WINDOW_SIZE = (1070, 690)
# The page stack's origin inside the main window: shadow band 5, menu 160;
# top band 3.
PAGE_ORIGIN = (165, 3)
PAGE_SIZE = (900, 680)
# wlan_blank.png, the network error page's 220 x 220 picture, is mostly this
# colour (28667 pixels); nothing else in the window uses it.
NET_ERROR_COLOUR = (0xF4, 0xF6, 0xF9)
NET_ERROR_MIN_PIXELS = 25000
# The underline of the current tab of the create page: 118 x 4 in #4194FF,
# within the page's top 120 rows.
TAB_COLOUR = (0x41, 0x94, 0xFF)
TAB_MIN_RUN = 100


def skip(reason):
    print("skipped: %s" % reason)
    sys.exit(SKIP)


class Namespace:
    """A network namespace held open by a sleeping process; it disappears
    with the last process inside it."""

    def __init__(self):
        if shutil.which("unshare") is None or shutil.which("nsenter") is None or shutil.which("ip") is None:
            skip("unshare, nsenter or ip is not installed")
        self.holder = subprocess.Popen(["unshare", "--net", "sleep", "600"], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.PIPE)
        own = os.readlink("/proc/self/ns/net")
        for _ in range(100):
            if self.holder.poll() is not None:
                skip("network namespaces are not permitted here (unshare: %s)"
                     % self.holder.stderr.read().decode(errors="replace").strip())
            try:
                if os.readlink("/proc/%d/ns/net" % self.holder.pid) != own:
                    break
            except OSError:
                pass
            time.sleep(0.05)
        else:
            self.close()
            skip("unshare did not enter a new network namespace")
        self.prefix = ["nsenter", "--net=/proc/%d/ns/net" % self.holder.pid, "--"]

    def run(self, *command):
        result = subprocess.run(self.prefix + list(command), capture_output=True, text=True, timeout=30)
        check(result.returncode == 0, "%s failed: %s" % (" ".join(command), result.stderr.strip()))
        return result.stdout

    def close(self):
        if self.holder.poll() is None:
            self.holder.kill()
        self.holder.wait()


def start_service(namespace, service, certs, port, scratch):
    log = open(os.path.join(scratch, "devservice.log"), "w")
    process = subprocess.Popen(
        namespace.prefix + [service, "--port", port, "--data", os.path.join(scratch, "devservice.db"),
                            "--certs", certs, "--no-demo-data"],
        stdout=log, stderr=subprocess.STDOUT)
    health = namespace.prefix + ["curl", "-sf", "--max-time", "2", "--cacert", os.path.join(certs, "ca.pem"),
                                 "https://127.0.0.1:%s/health" % port]
    for _ in range(100):
        if subprocess.run(health, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
            return process
        check(process.poll() is None, "devservice ended with %s" % process.returncode)
        time.sleep(0.1)
    process.kill()
    raise Failure("devservice did not answer /health")


def wait_for(predicate, timeout, what, client):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return
        check(client.poll() is None, "client ended with %s:\n%s" % (client.returncode, output(client)))
        time.sleep(0.1)
    raise Failure("%s not seen within %d s:\n%s" % (what, timeout, output(client)))


class MainWindow:
    def __init__(self, session, client):
        self.session = session
        self.client = client
        self.window = None

    def find(self):
        for window in self.session.xdotool("search", "--onlyvisible", "--pid", str(self.client.pid),
                                           "--name", "^Talvora$"):
            geometry = dict(line.split("=", 1) for line in
                            self.session.xdotool("getwindowgeometry", "--shell", window))
            if (int(geometry["WIDTH"]), int(geometry["HEIGHT"])) == WINDOW_SIZE:
                self.window = window
                self.position = (int(geometry["X"]), int(geometry["Y"]))
                return True
        return False

    def page_pixels(self, rows=PAGE_SIZE[1]):
        """The page stack's area as rows of (r, g, b) bytes."""
        x = self.position[0] + PAGE_ORIGIN[0]
        y = self.position[1] + PAGE_ORIGIN[1]
        shot = subprocess.run(["import", "-display", self.session.display, "-window", "root",
                               "-crop", "%dx%d+%d+%d" % (PAGE_SIZE[0], rows, x, y), "+repage",
                               "-depth", "8", "rgb:-"], capture_output=True, timeout=30)
        check(shot.returncode == 0, "screenshot failed: %s" % shot.stderr.decode(errors="replace"))
        width = PAGE_SIZE[0] * 3
        return [shot.stdout[i:i + width] for i in range(0, len(shot.stdout), width)]

    def shows_network_error(self):
        colour = bytes(NET_ERROR_COLOUR)
        count = 0
        for row in self.page_pixels():
            count += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] == colour)
        return count >= NET_ERROR_MIN_PIXELS

    def shows_instant_tab(self):
        colour = bytes(TAB_COLOUR)
        for row in self.page_pixels(rows=120):
            run_length = 0
            for i in range(0, len(row), 3):
                run_length = run_length + 1 if row[i:i + 3] == colour else 0
                if run_length >= TAB_MIN_RUN:
                    return True
        return False


def test():
    client_executable, service, certs, port = sys.argv[1:5]
    if shutil.which("import") is None:
        skip("ImageMagick's import is not installed")
    namespace = Namespace()
    service_process = None
    try:
        namespace.run("ip", "link", "set", "lo", "up")
        try:
            namespace.run("ip", "link", "add", "tv0", "type", "veth", "peer", "name", "tv1")
        except Failure as failure:
            skip("no veth pair in the namespace (%s)" % failure)
        namespace.run("ip", "addr", "add", ADDRESS, "dev", "tv0")
        namespace.run("ip", "link", "set", "tv0", "up")
        namespace.run("ip", "link", "set", "tv1", "up")

        with XSession("netns_watcher") as session:
            scratch = tempfile.mkdtemp(prefix="service-", dir=session.scratch)
            service_process = start_service(namespace, service, certs, port, scratch)
            executable = session.install(client_executable, "client")

            out = open(executable + ".out", "w+b")
            # Inside the namespace the X server's abstract socket is out of
            # reach; Xlib falls back to the path socket /tmp/.X11-unix/X<n>.
            client = subprocess.Popen(namespace.prefix + [executable], env=session.env(),
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            client.output_file = out
            session.clients.append(client)

            session.sign_in(client)
            wait_for(lambda: "LOGINSTATUS::LOGIN_SUCCESS" in output(client), 30, "the SDK login", client)
            main = MainWindow(session, client)
            wait_for(main.find, 15, "the main window", client)
            time.sleep(1.5)
            check(not main.shows_network_error(), "network error page shown while the address is present")

            namespace.run("ip", "addr", "del", ADDRESS, "dev", "tv0")
            started = time.time()
            wait_for(main.shows_network_error, 10, "the network error page after removing the address", client)
            print("network error page %.1f s after the address was removed" % (time.time() - started))
            session.screenshot("netns_network_error")

            namespace.run("ip", "addr", "add", ADDRESS, "dev", "tv0")
            started = time.time()
            wait_for(main.shows_instant_tab, 10, "the create page after restoring the address", client)
            print("create page %.1f s after the address came back" % (time.time() - started))
            check(not main.shows_network_error(), "network error page still shown")
            session.screenshot("netns_create_page")

            # The address stays listed while the peer is down, but the link
            # has lost its carrier: not running, so no usable address.
            namespace.run("ip", "link", "set", "tv1", "down")
            wait_for(main.shows_network_error, 10, "the network error page without carrier", client)
            namespace.run("ip", "link", "set", "tv1", "up")
            wait_for(main.shows_instant_tab, 10, "the create page with carrier back", client)
            check(client.poll() is None, "client ended with %s" % client.returncode)
    finally:
        if service_process is not None and service_process.poll() is None:
            service_process.terminate()
            service_process.wait()
        namespace.close()


if __name__ == "__main__":
    run(test)
