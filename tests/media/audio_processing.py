#!/usr/bin/env python3
"""The microphone's voice processing on a sound server of its own.

A user-level PulseAudio, started here with a private configuration, stands in
for a room: the engine under test plays into the null sink `talvora_speaker`,
a loopback carries that sink's monitor into the sink `room`, and the source
`talvora_mic` (a remap of room's monitor) is the engine's microphone, so the
room hears the speaker. The engine under test is a meeting-participant with
--device (the client's own engine, on the sound server's devices); a second
participant ("Far") sends a 660 Hz tone and measures what comes back.

  echo:   what Far receives back is >= 25 dB lower with echo cancellation on
          than off (the same meeting; the setting switches while it runs).
  noise:  with pink noise played into the room, what Far receives drops by
          >= 10 dB when noise suppression goes from off to high, and a
          1 kHz tone burst over the noise still arrives.
  mute:   a muted engine still measures its microphone and sends nothing.
  loss:   unloading the microphone's source mid-meeting reports
          "microphone-lost", the meeting goes on, and a new source brings
          the microphone back; unloading the speaker reports it lost (the
          room's sink takes over).

Prints the measured figures. Run as: audio_processing.py PARTICIPANT
JANUS_CONFIG_SH (inside scripts/media-sandbox.sh). Exits 77 where Janus or
PulseAudio is not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from meeting_media import (PIN, PORT, ROOM, SECRET, Checks, lines, participant, reports_of,  # noqa: E402
                           stop_all, wait_port)

ROOM_CONFIG = """\
load-module module-native-protocol-unix
load-module module-null-sink sink_name=talvora_speaker rate=48000 channels=1 sink_properties=device.description=Speaker
load-module module-null-sink sink_name=room rate=48000 channels=1 sink_properties=device.description=Room
load-module module-loopback source=talvora_speaker.monitor sink=room latency_msec=20 source_dont_move=true sink_dont_move=true
load-module module-remap-source master=room.monitor source_name=talvora_mic source_properties=device.description=Microphone
set-default-sink talvora_speaker
set-default-source talvora_mic
"""


class SoundServer:
    def __init__(self, work):
        # HOME stays: GStreamer keeps its plugin registry under it.
        self.env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "run"),
                        PULSE_RUNTIME_PATH=os.path.join(work, "run", "pulse"),
                        PULSE_STATE_PATH=os.path.join(work, "pulse-state"),
                        PULSE_COOKIE=os.path.join(work, "pulse-cookie"))
        self.env.pop("PULSE_SERVER", None)  # ours, not a session's
        for key in ("XDG_RUNTIME_DIR", "PULSE_STATE_PATH"):
            os.makedirs(self.env[key], mode=0o700, exist_ok=True)
        config = os.path.join(work, "room.pa")
        with open(config, "w") as handle:
            handle.write(ROOM_CONFIG)
        subprocess.run(["pulseaudio", "-n", "-F", config, "--daemonize=yes", "--exit-idle-time=-1",
                        "--system=false", "--log-target=file:" + os.path.join(work, "pulse.log")],
                       env=self.env, check=True, timeout=20)
        deadline = time.time() + 10
        while subprocess.run(["pactl", "info"], env=self.env, capture_output=True).returncode != 0:
            if time.time() > deadline:
                raise RuntimeError("PulseAudio did not start")
            time.sleep(0.1)

    def pactl(self, *args):
        return subprocess.run(["pactl", *args], env=self.env, capture_output=True, text=True, timeout=10).stdout

    def play(self, description, seconds):
        """Plays a GStreamer source description into the room for `seconds`."""
        buffers = int(seconds * 100)
        return subprocess.Popen(["gst-launch-1.0", "-q", *description.split(), "num-buffers=" + str(buffers),
                                 "samplesperbuffer=480", "!", "audioconvert", "!", "pulsesink", "device=room"],
                                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run(["pactl", "exit"], env=self.env, capture_output=True, timeout=10)


def levels(records, name, start, end):
    return [remote["rms_dbfs"] for t, remote in reports_of(records, name) if start <= t < end]


def median(values):
    values = sorted(values)
    return values[len(values) // 2] if values else None


def meeting(binary, sound, far_args, near_args, seconds, during=None):
    """Far (test tone) and Near (the sound server's devices) in the room for
    `seconds`; during(near_start) runs while they are in it. Returns both
    outputs' records."""
    far = participant(binary, "Far", "#e01010", 660, "--leave-after", str(seconds + 1), *far_args)
    time.sleep(0.3)
    near = subprocess.Popen([binary, "--janus", f"ws://127.0.0.1:{PORT}", "--room", str(ROOM), "--pin", PIN,
                             "--display-name", "Near", "--size", "320x240", "--fps", "15", "--device",
                             "--leave-after", str(seconds), *near_args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=sound.env)
    started = time.time()
    try:
        if during:
            during(started)
        near_out, near_err = near.communicate(timeout=seconds + 20)
        far_out, far_err = far.communicate(timeout=20)
    finally:
        for process in (near, far):
            if process.poll() is None:
                process.kill()
                process.wait()
    if near.returncode or far.returncode:
        print(f"exit codes near {near.returncode} far {far.returncode}\n{near_err[-2000:]}\n{far_err[-2000:]}")
    return lines(far_out), lines(near_out), near.returncode


def main():
    binary, make_config = sys.argv[1], sys.argv[2]
    for tool in ("janus", "pulseaudio", "pactl"):
        if not shutil.which(tool):
            print(f"{tool} is not installed: skipped")
            return 77
    work = tempfile.mkdtemp(prefix="talvora-audio-")
    subprocess.run([make_config, work, str(PORT), str(ROOM), PIN, SECRET], check=True)
    log = open(os.path.join(work, "janus.log"), "w")
    server = subprocess.Popen(["janus", "-F", work, "-C", os.path.join(work, "janus.jcfg")],
                              stdout=log, stderr=subprocess.STDOUT)
    sound = None
    checks = Checks()
    try:
        if not wait_port(PORT, time.time() + 10):
            print("Janus did not start")
            return 1
        sound = SoundServer(work)

        # Echo: cancellation on for 12 s (it adapts in the first seconds),
        # then off. Gain control off, so that it cannot raise what is left.
        far, near, code = meeting(binary, sound, [], ["--aec", "on", "--agc", "off",
                                                     "--processing-after", "12:off,off,off"], 17)
        with_aec = median(levels(far, "Near", 7, 12))
        without = median(levels(far, "Near", 14, 17))
        checks.expect(code == 0 and with_aec is not None and without is not None,
                      f"the echo meeting runs: {levels(far, 'Near', 0, 20)}")
        if with_aec is not None and without is not None:
            print(f"echo received back: {without} dBFS without cancellation, {with_aec} dBFS with: "
                  f"echo return loss enhancement {without - with_aec:.1f} dB")
            checks.expect(without - with_aec >= 25, "echo cancellation takes away 25 dB or more")

        # Noise: Far is muted (no echo, so no echo cancellation either);
        # pink noise into the room all along, suppression off, then high
        # from 5 s; a 1 kHz burst at 9-11 s.
        def noise(started):
            sound.play("audiotestsrc wave=pink-noise volume=0.05", 14)
            time.sleep(max(0, started + 9 - time.time()))
            sound.play("audiotestsrc wave=sine freq=1000 volume=0.3", 2)

        far, near, code = meeting(binary, sound, ["--mute"], ["--aec", "off", "--agc", "off",
                                                              "--processing-after", "5:off,high,off"], 13, noise)
        off = median(levels(far, "Near", 3, 5))
        high = median(levels(far, "Near", 7, 9))
        burst = [remote for t, remote in reports_of(far, "Near") if 10 <= t < 11.5]
        if off is not None and high is not None:
            print(f"steady noise received: {off} dBFS unsuppressed, {high} dBFS at high: "
                  f"{off - high:.1f} dB less")
        checks.expect(off is not None and high is not None and off - high >= 10,
                      f"noise suppression high takes away 10 dB or more: {off} -> {high}")
        checks.expect(any(abs(r["freq_hz"] - 1000) <= 10 and r["rms_dbfs"] > high + 6 for r in burst),
                      f"the tone burst comes through the suppression: {burst}")

        # Muted and losing the microphone: a tone plays into the room; Near
        # joins muted, measures it but sends nothing; its source goes away at
        # 5 s and a new one comes at 8 s; its speaker goes at 10 s.
        def loss(started):
            sound.play("audiotestsrc wave=sine freq=500 volume=0.3", 12)
            time.sleep(max(0, started + 5 - time.time()))
            module = next((line.split()[0] for line in sound.pactl("list", "short", "modules").splitlines()
                           if "module-remap-source" in line), None)
            sound.pactl("unload-module", module)
            time.sleep(3)
            sound.pactl("load-module", "module-remap-source", "master=room.monitor", "source_name=talvora_mic2",
                        "source_properties=device.description=Microphone2")
            time.sleep(2)
            speaker = next((line.split()[0] for line in sound.pactl("list", "short", "modules").splitlines()
                            if "sink_name=talvora_speaker" in line), None)
            sound.pactl("unload-module", speaker)

        far, near, code = meeting(binary, sound, ["--mute"], ["--mute"], 12, loss)
        measured = [r["mic_dbfs"] for r in near if "mic_dbfs" in r and r["t"] < 5]
        sent = levels(far, "Near", 2, 12)
        checks.expect(measured and max(measured) > -40,
                      f"a muted microphone is still measured: {measured}")
        checks.expect(sent and max(sent) < -100, f"a muted participant sends nothing: {sent}")
        events = [r.get("event") for r in near]
        checks.expect("microphone-lost" in events, f"the lost microphone is reported: {events}")
        checks.expect("microphone-restored" in events, f"a new microphone is taken: {events}")
        # The room's sink is left: the meeting is heard there instead.
        checks.expect("speaker-lost" in events or
                      any(r.get("event") == "device-lost" and r.get("kind") == "speaker" for r in near),
                      f"the lost speaker is reported: {events}")
        frames = [remote["frames"] for t, remote in reports_of(near, "Far") if t > 6]
        checks.expect(code == 0 and len(frames) >= 2 and frames[-1] > frames[0],
                      f"the meeting goes on without the microphone: {frames}")
        return 1 if checks.failures else 0
    finally:
        if sound:
            sound.stop()
        stop_all([server])
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
