#pragma once
// What the microphone's voice processing does (WebRTC's audio processing
// through GStreamer's webrtcdsp): echo cancellation against everything the
// speaker plays, noise suppression and automatic gain. Plain values: the
// settings keep them, the engine applies them during a meeting.

typedef struct _GstElement GstElement;

namespace talvora::media {

enum class NoiseSuppression
{
    Off,
    Low,
    Moderate,
    High,
};

struct AudioProcessing
{
    bool echoCancellation = true;
    NoiseSuppression noiseSuppression = NoiseSuppression::Moderate;
    bool autoGain = true;

    bool operator==(const AudioProcessing& other) const
    {
        return echoCancellation == other.echoCancellation && noiseSuppression == other.noiseSuppression &&
               autoGain == other.autoGain;
    }
    bool operator!=(const AudioProcessing& other) const { return !(*this == other); }
};

// A new floating webrtcdsp set up as `processing` says, cancelling the echo
// of the webrtcechoprobe named `probe` (which must exist before the element
// pauses when echo cancellation is on); null without the plugin.
GstElement* createVoiceProcessor(const AudioProcessing& processing, const char* probe);

} // namespace talvora::media
