#!/usr/bin/env python3
"""The delay the microphone's voice processing adds from sender to receiver,
measured in one run through Janus.

Three senders with the test tone cut into bursts on the system clock (sound
in the first 200 ms of each second of CLOCK_MONOTONIC, --tone-bursts): "Dsp"
through webrtcdsp as the client sets it by default (echo cancellation,
moderate noise suppression, gain control), "Aec" through webrtcdsp with echo
cancellation only, "Raw" without it (--no-voice-processing). A muted
listener on the same machine notes when each burst starts in the audio it
decodes (onset_ns, the same clock); that time within its second is the delay
from microphone to receiver: capture, processing, encoding, Janus and
decoding (the jitter buffer passes packets in order at once; its playout
delay, from the stats, is the same for all). The difference of each
processed sender's delay and Raw's, burst by burst, is what the processing
adds (median and worst). On a loaded machine the scheduling of four
processes still shows in it; bench_audio_processing's BM_AddedDelayAtOnsets
measures the processor alone, sample-exact.

    scripts/media-sandbox.sh python3 bench/audio/voice_delay.py PARTICIPANT tests/media/janus-config.sh [SECONDS]
"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "media"))
from meeting_media import PORT, lines, participant, start_janus, stop_all, wait_port  # noqa: E402

NAMES = ("Dsp", "Aec", "Raw")
SETTLE = 5  # seconds before the bursts count: ICE, DTLS, the jitter buffer filling


def onsets(records, name, since):
    """{second of the burst: delay (ms)} of the bursts that `name` was
    heard to start."""
    seen = {}
    for record in records:
        if "remotes" not in record or record["t"] < since:
            continue
        for remote in record["remotes"]:
            onset = remote.get("onset_ns", -1)
            # A sound that starts past its burst's 200 ms and a lull after
            # it was not heard at its start (lost or late packets).
            if remote["display"] == name and onset > 0 and onset % 1e9 < 300e6:
                seen[int(onset // 1e9)] = (onset % 1e9) / 1e6
    return seen


def summary(delays):
    return {"median": statistics.median(delays), "worst": max(delays), "bursts": len(delays)} if delays else None


def main():
    binary, make_config = sys.argv[1], sys.argv[2]
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 25
    started = start_janus(make_config, "talvora-voice-delay-")
    if started is None:
        return 77
    server, work = started
    processes = [server]
    try:
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        common = ["--no-video", "--tone-bursts", "--leave-after", str(seconds + 1)]
        processes.append(participant(binary, "Dsp", "#e01010", 660, *common,
                                     "--aec", "on", "--noise", "moderate", "--agc", "on"))
        processes.append(participant(binary, "Aec", "#e0e010", 550, *common, "--aec", "on"))
        processes.append(participant(binary, "Raw", "#10c010", 440, *common, "--no-voice-processing"))
        ear = participant(binary, "Ear", "#1010e0", 880, "--mute", "--no-video", "--report-every", "200",
                          "--leave-after", str(seconds))
        processes.append(ear)
        out, err = ear.communicate(timeout=seconds + 30)
        records = lines(out)
        heard = {name: onsets(records, name, SETTLE) for name in NAMES}
        figures = {name: summary(list(heard[name].values())) for name in NAMES}
        stats = [remote for r in records if "remotes" in r and r["t"] >= SETTLE for remote in r["remotes"]]
        for name in NAMES:
            mine = [s for s in stats if s["display"] == name and s["jitter_buffer_ms"] >= 0]
            buffer = statistics.median([s["jitter_buffer_ms"] for s in mine]) if mine else None
            delays = " ".join("%.0f" % d for d in heard[name].values())
            print(f"{name}: microphone to receiver {figures[name]}, jitter buffer (stats) {buffer} ms; ms: {delays}")
        if not all(figures.values()):
            print("not every sender's bursts were heard\n" + err[-2000:])
            return 1
        # The same burst from each sender crossed the same network, Janus
        # and receiver at the same moment: their difference leaves out
        # what the machine's load did to both.
        for name in ("Dsp", "Aec"):
            paired = sorted(heard[name][k] - heard["Raw"][k] for k in heard[name] if k in heard["Raw"])
            if not paired:
                print(f"no burst heard from both {name} and Raw")
                return 1
            print(f"added by webrtcdsp ({name}), burst by burst against Raw: {statistics.median(paired):.1f} ms "
                  f"at the median, {paired[-1]:.1f} ms at the worst, over {len(paired)} bursts (target <= 20)")
        return 0
    finally:
        stop_all(processes)


if __name__ == "__main__":
    sys.exit(main())
