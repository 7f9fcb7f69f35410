#include <gst/gst.h>

#include "AudioProcessing.h"

namespace talvora::media {

GstElement* createVoiceProcessor(const AudioProcessing& processing, const char* probe)
{
    GstElement* dsp = gst_element_factory_make("webrtcdsp", nullptr);
    if (!dsp)
        return nullptr;
    // The speaker's pipeline runs on the microphone's clock and base time,
    // so the probe's timestamps say when the echo comes back: the delay is
    // known, not guessed (delay-agnostic guesses from the oldest audio the
    // probe holds, up to a second stale, and barely cancels). The extended
    // filter covers a long room.
    g_object_set(dsp, "probe", probe, "echo-cancel", gboolean(processing.echoCancellation), "delay-agnostic",
                 FALSE, "extended-filter", TRUE, "gain-control", gboolean(processing.autoGain),
                 "noise-suppression", gboolean(processing.noiseSuppression != NoiseSuppression::Off),
                 "high-pass-filter", TRUE, nullptr);
    // The strongest suppression of what is left of the echo: a meeting
    // cares more for no echo than for talking over each other.
    gst_util_set_object_arg(G_OBJECT(dsp), "echo-suppression-level", "high");
    const char* level = "moderate";
    switch (processing.noiseSuppression) {
    case NoiseSuppression::Low:
        level = "low";
        break;
    case NoiseSuppression::High:
        level = "very-high"; // "high" of the library barely touches steady noise
        break;
    default:
        break;
    }
    gst_util_set_object_arg(G_OBJECT(dsp), "noise-suppression-level", level);
    return dsp;
}

} // namespace talvora::media
