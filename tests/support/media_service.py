"""The development service with its own Janus inside a media sandbox
(scripts/media-sandbox.sh: a private network namespace whose veth tvmedia0
carries 127.0.0.2), for tests, benchmarks and demos of meetings. Media and
signalling then stay on 127.0.0.0/8 inside that namespace.

Use from Python (Debian's /usr/bin/python3):

    sys.path.insert(0, "<repo>/tests/support")
    from media_service import MediaService, enter_sandbox

    enter_sandbox()      # optional: this script again, inside a sandbox (77 where none can be made)
    with MediaService(DEVSERVICE, CERT_DIR) as service:
        session = service.login("zhangsan@example.com", "Zs-Meet-2024")
        status, answer = service.post("/sdk/v1/meetings/start", {"number": "0", "no_video": "0"}, session)
        participant = service.popen(["meeting-participant", "--service", service.url,
                                     "--ca", service.ca_file, ...])

The service listens on service.url inside the namespace; service.command(),
service.run() and service.popen() run programs there. When the calling
process already runs in a sandbox (it was started as
"scripts/media-sandbox.sh python3 test.py ..."), the service starts in that
same namespace and the programs need no wrapping, so the test can also
open sockets to the service and to Janus itself (janus_client.py).

From the shell:

    tests/support/media_service.py DEVSERVICE CERT_DIR [-- COMMAND [ARG]...]

starts the service in a new sandbox and runs COMMAND in the same namespace
with TALVORA_SERVICE_URL and TALVORA_CA_FILE set (without COMMAND it waits
for Ctrl-C), then stops the service, which stops its Janus."""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SANDBOX = os.path.join(REPO, "scripts", "media-sandbox.sh")
SKIP = 77


def inside_sandbox():
    return os.environ.get("TALVORA_MEDIA_SANDBOX") == "inside"


def enter_sandbox():
    """Runs this Python script again inside a new media sandbox, unless it
    already runs in one; exits 77 (skipped) where no sandbox can be made.
    Call it first thing in a test that talks to the service or Janus from
    Python."""
    if inside_sandbox():
        return
    reason = usable()
    if reason:
        print("skipped: " + reason)
        sys.exit(SKIP)
    sys.stdout.flush()
    os.execv(SANDBOX, [SANDBOX, sys.executable, os.path.abspath(sys.argv[0]), *sys.argv[1:]])


def stop_process(process, seconds=8, sig=signal.SIGTERM):
    """Asks a process to end, and kills it if it has not within `seconds`."""
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def usable():
    """Why meetings cannot run here, or None when they can."""
    if shutil.which("janus") is None:
        return "janus is not installed"
    if shutil.which("unshare") is None or shutil.which("nsenter") is None:
        return "unshare/nsenter are not installed"
    if not inside_sandbox() and subprocess.run([SANDBOX, "true"], capture_output=True).returncode != 0:
        return "cannot make a network namespace here"
    return None


class MediaService:
    """devservice --media-interface tvmedia0 with a fresh database (without
    the demo meetings) in a scratch directory, on `port` inside the
    namespace. `linger` shortens how long an empty room is kept."""

    def __init__(self, devservice, cert_dir, port=8443, linger=60, args=()):
        self.devservice = devservice
        self.ca_file = os.path.join(cert_dir, "ca.pem")
        self.cert_dir = cert_dir
        self.port = port
        self.url = "https://127.0.0.1:%d" % port
        self.args = ["--room-linger", str(linger), *args]
        self.scratch = None
        self.process = None
        self.log_file = None

    # Programs in the service's namespace.
    def command(self, argv):
        if inside_sandbox():
            return list(argv)
        prefix = ["nsenter", "--target", str(self.process.pid), "--net"]
        if os.getuid() != 0:
            prefix += ["--user", "--preserve-credentials"]
        return prefix + ["--"] + list(argv)

    def run(self, argv, **kwargs):
        return subprocess.run(self.command(argv), **kwargs)

    def popen(self, argv, **kwargs):
        return subprocess.Popen(self.command(argv), **kwargs)

    def service_pid(self):
        if inside_sandbox():
            return self.process.pid
        children = subprocess.run(["pgrep", "-P", str(self.process.pid)], capture_output=True, text=True).stdout
        return int(children.split()[0]) if children.split() else None

    def janus_pid(self):
        """The Janus that the service runs now, or None."""
        pids = self.janus_pids()
        return pids[0] if pids else None

    def janus_pids(self):
        """Every Janus that the service runs now (--janus-instances)."""
        pid = self.service_pid()
        if pid is None:
            return []
        found = subprocess.run(["pgrep", "-P", str(pid), "-x", "janus"], capture_output=True, text=True).stdout
        return [int(child) for child in found.split()]

    def log(self):
        with open(os.path.join(self.scratch, "devservice.log"), errors="replace") as log:
            return log.read()

    def janus_log(self):
        with open(os.path.join(self.scratch, "devservice.db.janus", "janus.log"), errors="replace") as log:
            return log.read()

    def post(self, path, form, session=None):
        """(status, answer as JSON or text) of a form POST to the service."""
        argv = []
        for key, value in form.items():
            argv += ["--data-urlencode", "%s=%s" % (key, value)]
        if not form:
            argv += ["-X", "POST"]
        return self._request(argv, path, session)

    def get(self, path, session=None):
        """(status, answer as JSON or text) of a GET from the service."""
        return self._request([], path, session)

    def _request(self, extra, path, session):
        argv = ["curl", "-s", "--max-time", "20", "--cacert", self.ca_file, "-w", "\n%{http_code}"]
        if session:
            argv += ["-H", "Authorization: Bearer " + session]
        done = self.run(argv + extra + [self.url + path], capture_output=True, text=True)
        body, _, status = done.stdout.rpartition("\n")
        try:
            return int(status), json.loads(body)
        except ValueError:
            return int(status or 0), body

    def login(self, account, password):
        status, answer = self.post("/sdk/v1/login", {"account": account, "password": password})
        if status != 200:
            raise RuntimeError("login of %s: %s %s" % (account, status, answer))
        return answer["session"]

    def __enter__(self):
        self.scratch = tempfile.mkdtemp(prefix="talvora-media-")
        argv = [self.devservice, "--port", str(self.port), "--data", os.path.join(self.scratch, "devservice.db"),
                "--certs", self.cert_dir, "--no-demo-data", "--media-interface", "tvmedia0", *self.args]
        if not inside_sandbox():
            argv = [SANDBOX] + argv
        self.log_file = open(os.path.join(self.scratch, "devservice.log"), "wb")
        self.process = subprocess.Popen(argv, stdout=self.log_file, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                        env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        deadline = time.time() + 30
        while time.time() < deadline:
            if self.process.poll() is not None:
                break
            probe = self.run(["curl", "-sf", "--max-time", "2", "--cacert", self.ca_file, self.url + "/health"],
                             capture_output=True)
            if probe.returncode == 0:
                return self
            time.sleep(0.1)
        log = self.log()
        self.__exit__(None, None, None)
        raise RuntimeError("the media service did not start:\n" + log)

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            pid = self.service_pid()
            if pid:
                os.kill(pid, signal.SIGTERM)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.log_file:
            self.log_file.close()
        if self.scratch and not os.environ.get("TALVORA_KEEP_SCRATCH"):
            shutil.rmtree(self.scratch, ignore_errors=True)
        return False


def main(argv):
    if len(argv) < 3 or (len(argv) > 3 and argv[3] != "--"):
        print(__doc__.split("From the shell:")[1].strip().splitlines()[0].strip(), file=sys.stderr)
        return 2
    reason = usable()
    if reason:
        print("skipped: " + reason)
        return SKIP
    with MediaService(argv[1], argv[2]) as service:
        print("media service on %s inside the sandbox (devservice pid %s)" % (service.url, service.service_pid()),
              flush=True)
        command = argv[4:]
        if not command:
            try:
                while service.process.poll() is None:
                    time.sleep(1)
            except KeyboardInterrupt:
                pass
            return 0
        env = dict(os.environ, TALVORA_SERVICE_URL=service.url, TALVORA_CA_FILE=service.ca_file)
        return service.run(command, env=env).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
