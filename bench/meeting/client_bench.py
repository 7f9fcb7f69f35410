#!/usr/bin/env python3
"""The client's own figures in a real meeting: Talvora (test camera and
microphone, 640x360 at 30 fps) under its own X server, signed in as demo,
starts an instant meeting on devservice and its Janus, all in one media
sandbox, and meeting-participants join it at 640x360, 30 fps.

  client_bench.py TALVORA DEVSERVICE PARTICIPANT CERT_DIR PORT

Run it from inside the build tree of an optimised build (run.sh does), so
that the client's log lands beside it. Reports, with targets:
  the client's CPU, 2 parties, 640x360 30 fps   (<= 30 % of one core)
  the client's resident size, 4 parties         (<= 150 MB)
"""
import json
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
sys.path.insert(0, os.path.join(ROOT, "tests", "process"))
sys.path.insert(0, os.path.join(ROOT, "bench", "meeting"))
from measure import ACCOUNTS, cpu_seconds, frames_of as frames_in, read_records, rss_mb  # noqa: E402
from media_service import MediaService, enter_sandbox  # noqa: E402

enter_sandbox()

from keyboard_flows import Keyboard  # noqa: E402
from xsession import XSession, check, run  # noqa: E402

TALVORA, DEVSERVICE, PARTICIPANT, CERTS, PORT = sys.argv[1:6]
PEOPLE = [ACCOUNTS[0][:2] + ("李四", "#2eb832", 660),
          ACCOUNTS[1][:2] + ("王五", "#ff9800", 550),
          ACCOUNTS[2][:2] + ("赵六", "#9c27b0", 770)]


def join(service, number, person):
    account, password, name, colour, tone = person
    process = service.popen([PARTICIPANT, "--service", service.url, "--ca", service.ca_file, "--account", account,
                             "--password", password, "--number", number, "--display-name", name,
                             "--colour", colour, "--tone", str(tone)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return read_records(process)


def frames_of(process, display):
    return frames_in(process.records, display)


def bench():
    results = {}
    with MediaService(DEVSERVICE, CERTS, port=int(PORT), linger=5) as service:
        with XSession("bench_client") as session:
            executable = session.install(TALVORA, "client")
            client = session.start(executable, TALVORA_TEST_MEDIA="1")
            main_window = session.sign_in_and_wait(executable, client)
            window, number = Keyboard(session, client, main_window).start_instant_meeting("bench")
            people = [join(service, number, PEOPLE[0])]
            try:
                deadline = time.time() + 30
                while frames_of(people[0], "张三") < 30 and time.time() < deadline:
                    time.sleep(0.2)
                check(frames_of(people[0], "张三") >= 30, "the participant saw nothing of the client")
                time.sleep(3)   # past the start-up of the pipelines
                cpu0, t0, frames0 = cpu_seconds(client.pid), time.time(), frames_of(people[0], "张三")
                time.sleep(10)
                results["client_cpu_2party_640x360_30fps_percent"] = round(
                    (cpu_seconds(client.pid) - cpu0) / (time.time() - t0) * 100, 1)
                results["client_rss_2party_mb"] = round(rss_mb(client.pid), 1)
                results["client_frames_per_s_at_participant"] = round(
                    (frames_of(people[0], "张三") - frames0) / (time.time() - t0), 1)
                people += [join(service, number, person) for person in PEOPLE[1:]]
                time.sleep(12)
                results["client_rss_4party_mb"] = round(rss_mb(client.pid), 1)
                results["client_frames_at_each_participant_4party"] = {
                    person.args[person.args.index("--display-name") + 1]: frames_of(person, "张三")
                    for person in people}
            finally:
                for person in people:
                    person.terminate()
                    person.wait()
    print(json.dumps(results, indent=2, ensure_ascii=False))
    print("client CPU, 2 parties at 640x360 30 fps: %.1f %% of one core (target <= 30)"
          % results["client_cpu_2party_640x360_30fps_percent"])
    print("client resident size, 4 parties: %.1f MB (target <= 150)" % results["client_rss_4party_mb"])


if __name__ == "__main__":
    run(bench)
