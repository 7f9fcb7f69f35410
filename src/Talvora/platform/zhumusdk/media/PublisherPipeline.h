#pragma once
// This participant's camera and microphone, or the test media, encoded and
// offered to Janus on one webrtcbin: VP8 with real-time settings, Opus at
// 48 kHz with in-band FEC and the audio-level header extension (which Janus
// reads for its talking events), NACK and PLI on video.
//
// Threads: the owner's thread; the preview's appsink calls in on its
// streaming thread and touches only m_preview and m_videoSending.

#include "BitrateAdapter.h"
#include "LatestFrame.h"
#include "MeetingEngine.h"
#include "WebRtcPeer.h"

#include <QImage>

#include <atomic>

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

    // Puts a new source (floating; null: none) in place of the camera or
    // microphone in the running pipeline, without renegotiating: the old
    // source's pad is blocked, the source taken out and the new one linked
    // to the same branch. False when that branch was never built (nothing
    // of that kind was offered) or the source does not link.
    bool replaceSource(bool video, GstElement* source);
    // The source the device, or the test media, makes now.
    GstElement* createSource(bool video) const;
    // The picture and rate sent now (the bitrate adapter's step).
    VideoStep videoStep() const { return m_adapter.step(); }

signals:
    // The local camera picture, latest only, while video is sent.
    void preview(const QImage& image);
    // The camera's or microphone's element failed (a device pulled out):
    // the rest of the meeting goes on.
    void sourceFailed(bool video);

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
    bool onElementError(const QString& element) override;
    void onStatsEntry(const struct _GstStructure* stat) override;
    void onStatsDone() override;
    void applyStep(const VideoStep& step);

    MediaOptions m_options;
    const MediaDevices& m_devices;
    GstElement* m_videoValve = nullptr;
    GstElement* m_audioValve = nullptr;
    GstElement* m_videoEncoder = nullptr;
    GstElement* m_videoSource = nullptr; // owned by the pipeline
    GstElement* m_audioSource = nullptr;
    GstElement* m_videoBranch = nullptr;
    GstElement* m_audioBranch = nullptr;
    GstElement* m_videoCaps = nullptr;
    quint32 m_videoSsrc = 0;
    BitrateAdapter m_adapter;
    // The video's counters in the statistics being read.
    quint64 m_videoSent = 0;
    qint64 m_videoLost = 0;
    double m_videoRttMs = -1;

    QVector<GstPad*> m_inputs; // webrtcbin's sink pads of the branches
    LatestFrame m_preview;
    std::atomic<bool> m_videoSending{true}; // read by the streaming thread
    bool m_audioSending = true;
    bool m_negotiated = false; // the valves follow the sending states
};

} // namespace talvora::media
