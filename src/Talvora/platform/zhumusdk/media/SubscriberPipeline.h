#pragma once
// One remote publisher received on a webrtcbin of its own: its video decoded
// into QImages (latest only), its audio to the speaker, or decoded and
// dropped where there is none, and measured on the way (level over the last
// second, dominant frequency, picture size and mean colour).
//
// Threads: the owner's thread, except the members marked "streaming
// thread", which touch only what m_mutex guards.

#include "LatestFrame.h"
#include "MeetingEngine.h"
#include "SpeakerOutput.h"
#include "WebRtcPeer.h"

#include <QImage>

#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

namespace talvora::media {

class MediaDevices;

class SubscriberPipeline : public WebRtcPeer
{
    Q_OBJECT

public:
    // devices null or without a speaker: audio is decoded and dropped.
    SubscriberPipeline(qint64 feed, const IcePolicy& ice, int latencyMs, const MediaDevices* devices,
                       QObject* parent = nullptr);
    ~SubscriberPipeline() override;

    // Plays; Janus's offer comes through acceptOffer().
    bool start();
    ReceiveStats stats() const;
    // The audio's RMS level over the last `milliseconds`, in dBFS; cheap
    // enough to ask several times a second.
    double audioLevelDbfs(int milliseconds) const;
    // Plays the audio on `sink` (floating; null: decoded and dropped) from
    // now on, in the running pipeline: the audio branch's output is
    // blocked while the old sink is taken out. Not for audio that goes
    // into the mix (setSpeakerInput()): the mix's sink is replaced instead.
    void replaceSpeaker(GstElement* sink);
    // The audio goes into this mix (set before start()) rather than to a
    // speaker of its own.
    void setSpeakerInput(std::shared_ptr<SpeakerOutput::Input> input) { m_speakerInput = std::move(input); }

signals:
    void frame(const QImage& image);

private:
    void onIncomingPad(GstPad* pad) override;      // streaming thread
    void onVideo(QImage image);                    // streaming thread
    void onAudio(const float* samples, int count); // streaming thread

    qint64 m_feed;
    const MediaDevices* m_devices;
    std::shared_ptr<SpeakerOutput::Input> m_speakerInput;

    using Clock = std::chrono::steady_clock;
    struct AudioChunk
    {
        Clock::time_point at;
        double sumSquares;
        int count;
    };

    // Guards everything below: the streaming threads write, the owner reads.
    mutable std::mutex m_mutex;
    quint64 m_framesDecoded = 0;
    int m_width = 0;
    int m_height = 0;
    QColor m_meanColour;
    std::deque<AudioChunk> m_audio; // the last second or so
    std::vector<float> m_recent;    // the last samples, a ring
    size_t m_recentNext = 0;
    // Audio in 100 ms slots of wall time since the first sound: a slot
    // without a sound above -40 dBFS is a gap, however the samples came.
    Clock::time_point m_firstSound;
    qint64 m_slot = -1;
    bool m_slotHeard = false;
    int m_heardSlots = 0;
    int m_silentSlots = 0;
    int m_gapRun = 0;
    int m_longestGap = 0;
    int m_longGaps = 0; // runs of two or more windows without sound
    Clock::time_point m_lastLoud;
    qint64 m_onsetNs = -1;

    LatestFrame m_latest;
    GstElement* m_audioBranch = nullptr; // guarded by m_mutex; owned by the pipeline
    GstElement* m_speaker = nullptr;     // guarded by m_mutex; owned by the pipeline
};

// Dominant frequency of mono samples at `rate`, by Goertzel over a scan of
// candidates (coarse, then refined around the best); 0 for silence.
double dominantFrequency(const std::vector<float>& samples, int rate);

} // namespace talvora::media
