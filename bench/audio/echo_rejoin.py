#!/usr/bin/env python3
"""Echo cancellation before and after a rejoin, on the sound server of the
echo test (tests/media/audio_processing.py: the engine's speaker is heard by
its microphone through a loopback).

"Far" sends a 660 Hz tone; "Near" (the sound server's devices, echo
cancellation on, gain control off) plays it and sends back what its
microphone hears. After 10 s the network is cut for 4 s (every packet on the
loopback dropped): both lose the meeting and come back by themselves, Near
with a new publisher on the speaker that kept playing. What Far receives
back from Near is measured before the cut, after the rejoin (from 5 s after
it, the canceller having had the same time to adapt as at the start), and
with cancellation switched off at the end; each against the last gives the
echo return loss enhancement.

    scripts/media-sandbox.sh python3 bench/audio/echo_rejoin.py PARTICIPANT tests/media/janus-config.sh
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "media"))
from audio_processing import SoundServer, levels, median, meeting  # noqa: E402
from meeting_media import PORT, reports_of, start_janus, stop_all, wait_port  # noqa: E402

CUT_AT, CUT_SECONDS, OFF_AT, SECONDS = 10, 4, 30, 34


def main():
    binary, make_config = sys.argv[1], sys.argv[2]
    for tool in ("pulseaudio", "pactl", "tc"):
        if not shutil.which(tool):
            print(f"{tool} is not installed: skipped")
            return 77
    started = start_janus(make_config, "talvora-echo-rejoin-")
    if started is None:
        return 77
    server, work = started
    sound = None
    try:
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        sound = SoundServer(work)

        def cut(near_started):
            time.sleep(max(0, near_started + CUT_AT - time.time()))
            subprocess.run(["tc", "qdisc", "add", "dev", "lo", "root", "pfifo", "limit", "0"], check=True)
            time.sleep(CUT_SECONDS)
            subprocess.run(["tc", "qdisc", "del", "dev", "lo", "root"], check=True)

        far, near, code = meeting(binary, sound, [], ["--aec", "on", "--agc", "off", "--processing-after",
                                                     f"{OFF_AT}:off,off,off"], SECONDS, cut)
        restored = [r["t"] for r in near if r.get("event") == "connection-restored"]
        print(f"Near's events: {[(r['t'], r.get('event')) for r in near if r.get('event')]}")
        if not restored:
            print("Near did not come back after the cut")
            return 1
        back = restored[0]
        before = median(levels(far, "Near", CUT_AT - 4, CUT_AT))
        after = median(levels(far, "Near", back + 5, min(back + 10, OFF_AT)))
        late = median(levels(far, "Near", min(back + 10, OFF_AT - 3), OFF_AT))
        without = median(levels(far, "Near", OFF_AT + 2, SECONDS))
        # What Near's microphone hears with nothing taken away: the speaker
        # playing into the room, or not.
        heard = median([r["mic_dbfs"] for r in near if "mic_dbfs" in r and r["t"] > OFF_AT + 1])
        print(f"Near's microphone without processing at the end: {heard} dBFS")
        if os.environ.get("ECHO_REJOIN_VERBOSE"):
            print("Near hears Far:", [(t, remote["rms_dbfs"]) for t, remote in reports_of(near, "Far")])
            print("Near's microphone:", [(r["t"], r["mic_dbfs"]) for r in near if "mic_dbfs" in r])
            print("Far hears Near:", [(t, remote["rms_dbfs"]) for t, remote in reports_of(far, "Near")])
        print(f"echo received back (dBFS, median): before the cut {before}, from 5 s after the rejoin "
              f"{after}, later {late}, without cancellation {without}")
        if None in (before, after, without):
            print(f"missing reports: {levels(far, 'Near', 0, SECONDS + 5)}")
            return 1
        print(f"echo return loss enhancement: {without - before:.1f} dB before the cut, "
              f"{without - after:.1f} dB after the rejoin" +
              (f", {without - late:.1f} dB later" if late is not None else ""))
        return 0 if code == 0 else 1
    finally:
        if sound:
            sound.stop()
        stop_all([server])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
