#pragma once
// This participant's camera and microphone, or the test media, encoded and
// offered to Janus on one webrtcbin: VP8 with real-time settings, Opus at
// 48 kHz with in-band FEC and the audio-level header extension (which Janus
// reads for its talking events), NACK and PLI on video.
//
// Threads: the owner's thread; the preview's appsink calls in on its
// streaming thread and touches only m_preview and m_videoSending.

#include "BitrateAdapter.h"
#include "AudioProcessing.h"
#include "CongestionEstimator.h"
#include "LatestFrame.h"
#include "MeetingEngine.h"
#include "WebRtcPeer.h"

#include <QElapsedTimer>
#include <QImage>

#include <atomic>
#include <mutex>

namespace talvora::media {

class MediaDevices;

class PublisherPipeline : public WebRtcPeer
{
    Q_OBJECT

public:
    PublisherPipeline(const MediaOptions& options, const MediaDevices& devices, const IcePolicy& ice,
                      QObject* parent = nullptr);
    ~PublisherPipeline() override;

    // Builds the branches that have a source, plays and creates the offer.
    // False (failed() emitted) when nothing can be sent or GStreamer fails.
    bool start();
    bool sendsAudio() const { return m_audioValve != nullptr; }
    bool sendsVideo() const { return m_videoValve != nullptr; }

    // Stops or resumes sending without renegotiating: the encoders idle
    // behind a closed valve and the track stays negotiated.
    void setAudioSending(bool sending);
    void setVideoSending(bool sending);
    // A key frame now: decoders that lost the thread (after an ICE restart)
    // start again at once instead of at the next periodic one.
    void forceKeyFrame();

    // Puts a new source (floating; null: none) in place of the camera or
    // microphone in the running pipeline, without renegotiating. The
    // camera's old source is blocked, taken out and the new one linked to
    // the same branch; the microphone's is plugged into the selector (null:
    // silence). False when that branch was never built (nothing of that
    // kind was offered) or the source does not link.
    bool replaceSource(bool video, GstElement* source);
    // The source the device, or the test media, makes now.
    GstElement* createSource(bool video) const;
    // The picture and rate sent now (the bitrate adapter's step).
    VideoStep videoStep() const { return m_adapter.step(); }
    // The microphone's voice processing, cancelling the echo of the
    // webrtcechoprobe named `probe` (set before start()). During a meeting
    // the processor is rebuilt with the new settings, the rest stays.
    void setAudioProcessing(const AudioProcessing& processing, const QString& probe = QString());
    // The test tone's peak in dBFS, live; a device's level stays its own.
    void setTestToneLevel(double dbfs);
    // Runs on the clock and base time of the pipeline with the probe.
    // (after start()) The speaker's pipeline, not started yet, takes the
    // clock and base time of this one.
    void shareClockWith(class SpeakerOutput& speaker);
    // (before start()) The other way round, for a publisher made anew while
    // the speaker plays on (a rejoin): this one takes the speaker's clock
    // and base time, so that the echo probe's running time stays the
    // microphone's and the mix keeps its own.
    void followClockOf(const class SpeakerOutput& speaker);
    // Playing, with its base time chosen.
    bool isPlaying() const;
    // RMS of the processed microphone since the last call, dBFS; read
    // whether or not the audio is sent.
    double takeMicrophoneLevel();
    // Sends silence from now on (the device went away), or the microphone
    // `source` (floating) again.
    void dropMicrophone();
    void restoreMicrophone(GstElement* source);
    bool hasMicrophoneInput() const { return m_micSource != nullptr; }

signals:
    // The local camera picture, latest only, while video is sent.
    void preview(const QImage& image);
    // The camera's element failed (a device pulled out): the rest of the
    // meeting goes on.
    void sourceFailed(bool video);
    // The microphone stopped with an error (unplugged, its server gone):
    // silence is sent in its place.
    void microphoneLost();

protected:
    // Whether the peer also receives what it sends back (the test call).
    virtual bool receives() const { return false; }

private:
    bool addVideo();
    bool addAudio();
    bool linkToWebrtc(GstElement* branch, bool video);
    void offerWhenNegotiated();
    // source, then the branch that description makes, linked into the
    // pipeline and to webrtcbin; null (source freed) when that fails.
    GstElement* addBranch(GstElement* source, const QString& description, bool video);
    // Any thread: a failing camera or microphone (a device pulled out) is
    // the pipeline's to handle; the rest of the meeting goes on.
    bool absorbsError(GstObject* source) override;
    void onStatsEntry(const struct _GstStructure* stat) override;
    void onStatsDone() override;
    void applyStep(const VideoStep& step);
    // A transport-wide feedback report: the video comes down at once when
    // the link is congested, and pauses for a moment when badly so.
    void onTransportReport(const TwccReport& report);
    // Links source, through a converter, to a new pad of the selector and
    // makes it the one heard; false (source freed) when that fails.
    bool plugMicrophone(GstElement* source);
    void rebuildProcessor();

    MediaOptions m_options;
    const MediaDevices& m_devices;
    GstElement* m_videoValve = nullptr;
    GstElement* m_audioValve = nullptr;
    GstElement* m_videoEncoder = nullptr;
    // Owned by the pipeline; also read by absorbsError() on any thread.
    std::atomic<GstElement*> m_videoSource{nullptr};
    GstElement* m_videoBranch = nullptr;
    GstElement* m_videoCaps = nullptr;
    quint32 m_videoSsrc = 0;
    BitrateAdapter m_adapter;
    // The video's counters in the statistics being read.
    quint64 m_videoSent = 0;
    qint64 m_videoLost = 0;
    double m_videoRttMs = -1;
    TransportFeedback m_feedback{gate(), [this](const TwccReport& report) { onTransportReport(report); }};
    CongestionEstimator m_congestion;
    QElapsedTimer m_clock;
    bool m_pausedForAudio = false;

    QVector<GstPad*> m_inputs; // webrtcbin's sink pads of the branches
    LatestFrame m_preview;
    std::atomic<bool> m_videoSending{true}; // read by the streaming thread
    bool m_audioSending = true;
    bool m_negotiated = false; // the valves follow the sending states

    AudioProcessing m_processing;
    QString m_probe;
    GstElement* m_selector = nullptr;  // microphone or silence
    GstElement* m_processor = nullptr; // webrtcdsp, between selector and m_audioTail
    GstElement* m_audioTail = nullptr;
    GstPad* m_silencePad = nullptr;
    GstElement* m_micChain = nullptr;
    GstPad* m_micPad = nullptr;
    // The microphone element, also read by absorbsError() on any thread.
    std::atomic<GstElement*> m_micSource{nullptr};
    std::mutex m_levelMutex; // guards the two below, written by the streaming thread
    double m_levelSum = 0;
    qint64 m_levelCount = 0;
    double m_lastLevel = -120;
};

} // namespace talvora::media
