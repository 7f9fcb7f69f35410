#include <gst/gst.h>

#include "EchoTestCall.h"

#include "JanusSession.h"
#include "LatestFrame.h"
#include "MediaDevices.h"
#include "PublisherPipeline.h"

#include <QTimer>

#include <atomic>

namespace talvora::media {
namespace {

// The publisher's branches, received back on the same connection.
class EchoPipeline : public PublisherPipeline
{
public:
    EchoPipeline(const MediaOptions& options, const MediaDevices& devices, const IcePolicy& ice,
                 std::function<void(const QImage&)> onFrame, QObject* parent)
        : PublisherPipeline(options, devices, ice, parent), m_devices(devices), m_onFrame(std::move(onFrame))
    {
    }
    ~EchoPipeline() override { stop(); }

    quint64 frames() const { return m_frames; }

protected:
    bool receives() const override { return true; }

    void onIncomingPad(GstPad* pad) override // streaming thread
    {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (!caps)
            caps = gst_pad_query_caps(pad, nullptr);
        const GstStructure* structure = gst_caps_get_structure(caps, 0);
        const gchar* media = structure ? gst_structure_get_string(structure, "media") : nullptr;
        const bool video = media && g_str_equal(media, "video");
        const bool audio = media && g_str_equal(media, "audio");
        gst_caps_unref(caps);
        const char* description = video ? "rtpvp8depay ! vp8dec ! videoconvert ! video/x-raw,format=BGRx ! "
                                          "appsink name=echo sync=false max-buffers=1 drop=true"
                                  : audio
                                      ? "rtpopusdepay ! opusdec plc=true ! audioconvert ! audioresample ! "
                                        "queue max-size-time=200000000 leaky=downstream"
                                      : "fakesink sync=false";
        GError* error = nullptr;
        GstElement* branch = gst_parse_bin_from_description(description, TRUE, &error);
        g_clear_error(&error);
        if (!branch)
            return;
        gst_bin_add(GST_BIN(pipeline()), branch);
        if (video) {
            GstElement* sink = gst_bin_get_by_name(GST_BIN(branch), "echo");
            watchAppSink(sink, [this](QImage image) {
                ++m_frames;
                m_latest.offer(std::move(image), gate(), m_onFrame);
            });
            gst_object_unref(sink);
        } else if (audio) {
            playOut(branch, m_devices.createSpeaker());
        }
        gst_element_sync_state_with_parent(branch);
        GstPad* sinkPad = gst_element_get_static_pad(branch, "sink");
        gst_pad_link(pad, sinkPad);
        gst_object_unref(sinkPad);
    }

private:
    const MediaDevices& m_devices;
    std::function<void(const QImage&)> m_onFrame;
    LatestFrame m_latest;
    std::atomic<quint64> m_frames{0};
};

} // namespace

class EchoTestCall::Private
{
public:
    Private(const QUrl& server, const QString& token, const MediaOptions& options)
        : server(server), token(token), options(options),
          devices(!options.testMedia, !options.testMedia, options.playAudio, options.cameraId,
                  options.microphoneId, options.speakerId)
    {
        ice.network = options.iceNetwork;
    }

    QUrl server;
    QString token;
    MediaOptions options;
    MediaDevices devices;
    IcePolicy ice;
    JanusSession* session = nullptr;
    EchoPipeline* pipeline = nullptr;
    qint64 handle = 0;
    QTimer stats;
    bool over = false;
};

EchoTestCall::EchoTestCall(const QUrl& server, const QString& token, const MediaOptions& options,
                           QObject* parent)
    : QObject(parent)
{
    MeetingEngine::prepare();
    d = std::make_unique<Private>(server, token, options);
    d->stats.setInterval(1000);
    connect(&d->stats, &QTimer::timeout, this, [this] {
        if (!d->pipeline)
            return;
        d->pipeline->refreshStats();
        if (d->pipeline->rttMs() >= 0)
            emit roundTrip(d->pipeline->rttMs());
    });
}

EchoTestCall::~EchoTestCall()
{
    d->stats.stop();
    delete d->pipeline; // stops it: no callback runs afterwards
    d->pipeline = nullptr;
    if (d->session) {
        d->session->abort();
        delete d->session;
    }
}

quint64 EchoTestCall::framesReturned() const
{
    return d->pipeline ? d->pipeline->frames() : 0;
}

void EchoTestCall::start()
{
    if (d->session)
        return;
    auto fail = [this](const QString& reason) {
        if (d->over)
            return;
        d->over = true;
        d->stats.stop();
        emit failed(reason);
    };
    d->session = new JanusSession(d->server, d->token);
    connect(d->session, &JanusSession::failed, this, fail);
    connect(d->session, &JanusSession::remoteCandidate, this,
            [this](qint64 handle, const QJsonObject& candidate) {
                if (handle == d->handle && d->pipeline)
                    d->pipeline->addRemoteCandidate(candidate);
            });
    connect(d->session, &JanusSession::opened, this, [this, fail] {
        d->session->attach(QStringLiteral("janus.plugin.echotest"), [this, fail](qint64 handle) {
            d->handle = handle;
            d->pipeline = new EchoPipeline(
                d->options, d->devices, d->ice, [this](const QImage& image) { emit echoFrame(image); },
                nullptr);
            connect(d->pipeline, &WebRtcPeer::failed, this, fail);
            connect(d->pipeline, &PublisherPipeline::preview, this, &EchoTestCall::localFrame);
            connect(d->pipeline, &WebRtcPeer::localCandidate, this,
                    [this](const QJsonObject& candidate) { d->session->trickle(d->handle, candidate); });
            connect(
                d->pipeline, &WebRtcPeer::localDescription, this,
                [this, fail](const QString& type, const QString& sdp) {
                    const QJsonObject body{{QStringLiteral("audio"), true}, {QStringLiteral("video"), true}};
                    d->session->message(
                        d->handle, body,
                        QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}},
                        [this, fail](bool ok, const QJsonObject&, const QJsonObject& jsep,
                                     const QString& error) {
                            if (!ok) {
                                fail(error);
                                return;
                            }
                            if (d->pipeline &&
                                jsep.value(QLatin1String("type")).toString() == QLatin1String("answer"))
                                d->pipeline->setAnswer(jsep.value(QLatin1String("sdp")).toString());
                        });
                });
            d->stats.start();
            d->pipeline->start();
        });
    });
    d->session->open();
}

} // namespace talvora::media
