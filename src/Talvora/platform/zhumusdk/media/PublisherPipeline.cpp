#include <gst/gst.h>
#include <gst/rtp/gstrtphdrext.h>
#include <gst/video/video.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include "PublisherPipeline.h"

#include "MediaDevices.h"
#include "SpeakerOutput.h"
#include "ToneBursts.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <cmath>
#include <memory>

namespace talvora::media {
namespace {

constexpr int kVideoPayload = 96;
constexpr int kAudioPayload = 111;
constexpr int kAudioLevelExtensionId = 1;
// What the voice processor takes and gives (and the echo probe sees).
constexpr const char* kProcessedCaps = "audio/x-raw,format=S16LE,rate=48000,channels=1,layout=interleaved";

QString argb(const QColor& colour)
{
    return QStringLiteral("0xff%1").arg(colour.rgb() & 0xffffff, 6, 16, QLatin1Char('0'));
}

// Fixed in the caps so that the offer names it (a=ssrc) before the first
// packet: Janus tells the bundled streams apart by it.
quint32 randomSsrc()
{
    return QRandomGenerator::global()->bounded(1u, 0x7fffffffu);
}

} // namespace

PublisherPipeline::PublisherPipeline(const MediaOptions& options, const MediaDevices& devices,
                                     const IcePolicy& ice, QObject* parent)
    : WebRtcPeer(QStringLiteral("publisher"), ice, 0, parent), m_options(options), m_devices(devices),
      m_adapter(VideoStep{qBound(16, options.width, 1920), qBound(16, options.height, 1080),
                          qBound(1, options.fps, 60), qBound(50, options.videoKbps, 4000)})
{
}

PublisherPipeline::~PublisherPipeline()
{
    stop();
}

bool PublisherPipeline::start()
{
    if (!pipeline() || !webrtc())
        return play(); // reports the missing plugins
    const bool video = addVideo();
    const bool audio = addAudio();
    if (!m_probe.isEmpty())
        useSystemClock(pipeline()); // the clock of the speaker's pipeline
    if (!video && !audio) {
        emit failed(QStringLiteral("nothing to send: no camera and no microphone"));
        return false;
    }
    if (!play())
        return false;
    offerWhenNegotiated();
    return true;
}

void PublisherPipeline::offerWhenNegotiated()
{
    // An offer made before the encoders have set their caps lacks what only
    // those caps carry (Opus's channel count, the audio-level extension),
    // and Janus then turns the stream down. The encoders set them with their
    // first buffer, so the valves stay open until then: nothing can leave
    // before the offer is answered and DTLS is up. After three seconds (a sound
    // server can take that long to start a microphone) the offer
    // goes out with what there is.
    auto* poll = new QTimer(this);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    connect(poll, &QTimer::timeout, this, [this, poll, started] {
        bool ready = true;
        for (GstPad* pad : qAsConst(m_inputs))
            ready = ready && gst_pad_has_current_caps(pad);
        if (!ready && started->elapsed() < 3000)
            return;
        poll->deleteLater();
        poll->stop();
        m_negotiated = true;
        setAudioSending(m_audioSending);
        setVideoSending(m_videoSending);
        createOffer();
    });
    poll->start(10);
}

bool PublisherPipeline::linkToWebrtc(GstElement* branch, bool video)
{
    GstPad* src = gst_element_get_static_pad(branch, "src");
    GstPad* sink = gst_element_request_pad_simple(webrtc(), "sink_%u");
    const bool linked = src && sink && gst_pad_link(src, sink) == GST_PAD_LINK_OK;
    if (linked) {
        m_inputs << sink; // webrtcbin holds it as long as the pipeline lives
        GstWebRTCRTPTransceiver* transceiver = nullptr;
        g_object_get(sink, "transceiver", &transceiver, nullptr);
        if (transceiver) {
            // do-nack turns on NACK with retransmission; webrtcbin offers
            // PLI (and FIR) on every video transceiver.
            g_object_set(transceiver, "direction",
                         receives() ? GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV
                                    : GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY,
                         "do-nack", gboolean(video), nullptr);
            gst_object_unref(transceiver);
        }
    }
    if (src)
        gst_object_unref(src);
    if (sink)
        gst_object_unref(sink);
    return linked;
}

GstElement* PublisherPipeline::addBranch(GstElement* source, const QString& description, bool video)
{
    GError* error = nullptr;
    GstElement* branch = gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &error);
    g_clear_error(&error);
    if (!branch) {
        gst_object_unref(gst_object_ref_sink(source));
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(pipeline()), source, branch, nullptr);
    if (!gst_element_link(source, branch) || !linkToWebrtc(branch, video)) {
        // Left in the pipeline, an unlinked source would stop it all.
        gst_bin_remove_many(GST_BIN(pipeline()), source, branch, nullptr);
        return nullptr;
    }
    return branch;
}

GstElement* PublisherPipeline::createSource(bool video) const
{
    GstElement* source = nullptr;
    if (!m_options.testMedia || (!video && m_options.deviceAudio)) {
        source = video ? m_devices.createCamera() : m_devices.createMicrophone();
    } else if (video) {
        // A ball moving over the participant's colour: the picture moves,
        // and its mean stays close to the colour.
        source = gst_element_factory_make("videotestsrc", nullptr);
        if (source) {
            const QColor ball = m_options.testColour.lighter(130);
            gst_util_set_object_arg(G_OBJECT(source), "pattern", "ball");
            gst_util_set_object_arg(G_OBJECT(source), "background-color",
                                    argb(m_options.testColour).toUtf8().constData());
            gst_util_set_object_arg(G_OBJECT(source), "foreground-color", argb(ball).toUtf8().constData());
            g_object_set(source, "is-live", TRUE, nullptr);
        }
    } else {
        source = gst_element_factory_make("audiotestsrc", nullptr);
        if (source) {
            // The amplitude is the sine's peak (0.1: -20 dBFS).
            gst_util_set_object_arg(G_OBJECT(source), "wave", "sine");
            g_object_set(source, "is-live", TRUE, "freq", m_options.testToneHz, "volume",
                         std::pow(10.0, m_options.testToneDbfs / 20.0), "samplesperbuffer", 960, nullptr);
            if (m_options.testToneBursts)
                cutIntoBursts(source);
        }
    }
    // By these names a failing device is told from a failing meeting.
    if (source)
        gst_object_set_name(GST_OBJECT(source), video ? "camera" : "microphone");
    return source;
}

bool PublisherPipeline::replaceSource(bool video, GstElement* source)
{
    if (!video) {
        if (!m_selector) {
            if (source)
                gst_object_unref(gst_object_ref_sink(source));
            return false;
        }
        dropMicrophone();
        return !source || plugMicrophone(source);
    }
    if (!m_videoBranch) {
        if (source)
            gst_object_unref(gst_object_ref_sink(source));
        return false;
    }
    if (GstElement* current = m_videoSource.exchange(nullptr)) {
        // Nothing more from the old source goes downstream: a buffer on its
        // way waits at the blocked pad until stopping the source flushes it.
        GstPad* pad = gst_element_get_static_pad(current, "src");
        if (pad) {
            gst_pad_add_probe(
                pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM,
                [](GstPad*, GstPadProbeInfo*, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
            gst_object_unref(pad);
        }
        gst_element_set_state(current, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(pipeline()), current);
    }
    if (!source)
        return true;
    gst_bin_add(GST_BIN(pipeline()), source);
    if (!gst_element_link(source, m_videoBranch)) {
        gst_element_set_state(source, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(pipeline()), source);
        return false;
    }
    gst_element_sync_state_with_parent(source);
    m_videoSource = source;
    return true;
}

bool PublisherPipeline::addVideo()
{
    GstElement* source = createSource(true);
    if (!source)
        return false;
    const int fps = qBound(1, m_options.fps, 60);
    // Real-time VP8: the fastest speed, no look-ahead, a key frame at least
    // every 4 s, constant bit rate with a short buffer. One thread: at this
    // size libvpx's worker threads cost more in waiting than they save (the
    // encoder took 40 % of a core with two, 3 % with one). The leaky queue
    // drops frames rather than delay them when the encoder falls behind.
    const QString description =
        QStringLiteral(
            "videoconvert ! videoscale add-borders=true ! videorate drop-only=true ! "
            "capsfilter name=vcaps caps=\"video/x-raw,format=I420,width=%1,height=%2,framerate=%3/1,"
            "pixel-aspect-ratio=1/1\" ! "
            "tee name=vtee vtee. ! queue max-size-buffers=2 leaky=downstream ! "
            "valve name=vvalve drop-mode=forward-sticky-events ! "
            "vp8enc name=venc deadline=1 cpu-used=16 end-usage=cbr target-bitrate=%4 undershoot=95 "
            "buffer-size=1000 buffer-initial-size=500 buffer-optimal-size=600 error-resilient=default "
            "keyframe-max-dist=%5 lag-in-frames=0 threads=1 max-quantizer=56 ! "
            "rtpvp8pay name=vpay pt=%6 ssrc=%8 picture-id-mode=15-bit mtu=1200 ! "
            "capsfilter caps=\"application/x-rtp,media=video,encoding-name=VP8,payload=%6,clock-rate=90000,"
            "ssrc=(uint)%8\" %7")
            .arg(qBound(16, m_options.width, 1920))
            .arg(qBound(16, m_options.height, 1080))
            .arg(fps)
            .arg(qBound(50, m_options.videoKbps, 4000) * 1000)
            .arg(fps * 4)
            .arg(kVideoPayload)
            .arg(m_options.preview ? QStringLiteral("vtee. ! queue max-size-buffers=1 leaky=downstream ! "
                                                    "videoconvert ! video/x-raw,format=BGRx ! "
                                                    "appsink name=preview sync=false max-buffers=1 drop=true")
                                   : QString());
    m_videoSsrc = randomSsrc();
    GstElement* branch = addBranch(source, description.arg(m_videoSsrc), true);
    if (!branch)
        return false;
    m_videoSource = source;
    m_videoBranch = branch;
    if (GstElement* pay = gst_bin_get_by_name(GST_BIN(branch), "vpay")) {
        TransportFeedback::addExtension(pay);
        gst_object_unref(pay);
    }
    m_videoCaps = gst_bin_get_by_name(GST_BIN(branch), "vcaps");
    gst_object_unref(m_videoCaps);
    m_videoValve = gst_bin_get_by_name(GST_BIN(branch), "vvalve");
    m_videoEncoder = gst_bin_get_by_name(GST_BIN(branch), "venc");
    gst_object_unref(m_videoValve); // owned by the pipeline, which outlives every use
    gst_object_unref(m_videoEncoder);
    if (GstElement* sink = gst_bin_get_by_name(GST_BIN(branch), "preview")) {
        watchAppSink(sink, [this](QImage image) {
            if (m_videoSending)
                m_preview.offer(std::move(image), gate(),
                                [this](const QImage& latest) { emit preview(latest); });
        });
        gst_object_unref(sink);
    }
    m_videoSending = m_options.sendVideo;
    return true;
}

bool PublisherPipeline::addAudio()
{
    GstElement* source = createSource(false);
    if (!source)
        return false;
    // The microphone and a silence behind it meet in a selector, so that a
    // microphone that goes away leaves the stream, its encoder and the
    // negotiation as they were. level adds the audio-level meta that the
    // RTP header extension sends; the meter measures what the processor
    // made of the microphone, muted or not, since the valve comes after it.
    const QString description =
        QStringLiteral(
            "audioconvert ! audio/x-raw,rate=48000,channels=1 ! "
            "level audio-level-meta=true post-messages=false interval=20000000 ! identity name=ameter ! "
            "valve name=avalve drop-mode=forward-sticky-events ! "
            "opusenc inband-fec=true packet-loss-percentage=10 bitrate=32000 frame-size=20 audio-type=voice "
            "dtx=true ! "
            "rtpopuspay name=apay pt=%1 ssrc=%2 ! capsfilter caps=\"application/x-rtp,media=audio,"
            "encoding-name=OPUS,payload=%1,clock-rate=48000,ssrc=(uint)%2\"")
            .arg(kAudioPayload)
            .arg(randomSsrc());
    GError* error = nullptr;
    GstElement* silence = gst_parse_bin_from_description(
        QStringLiteral("audiotestsrc wave=silence is-live=true samplesperbuffer=480 ! capsfilter caps=%1")
            .arg(QLatin1String(kProcessedCaps))
            .toUtf8()
            .constData(),
        TRUE, &error);
    g_clear_error(&error);
    m_selector = gst_element_factory_make("input-selector", "aselect");
    if (!silence || !m_selector) {
        if (silence)
            gst_object_unref(gst_object_ref_sink(silence));
        gst_object_unref(gst_object_ref_sink(source));
        return false;
    }
    gst_bin_add_many(GST_BIN(pipeline()), silence, m_selector, nullptr);
    m_silencePad = gst_element_request_pad_simple(m_selector, "sink_%u");
    GstPad* silenceSrc = gst_element_get_static_pad(silence, "src");
    gst_pad_link(silenceSrc, m_silencePad);
    gst_object_unref(silenceSrc);
    gst_object_unref(m_silencePad); // the selector keeps it

    if (!m_options.skipVoiceProcessing)
        m_processor = createVoiceProcessor(m_processing, m_probe.toUtf8().constData());
    if (m_processor && m_probe.isEmpty()) // nothing played here: no echo to cancel
        g_object_set(m_processor, "echo-cancel", FALSE, nullptr);
    GstElement* branch = addBranch(m_processor ? m_processor : m_selector, description, false);
    if (!branch)
        return false;
    if (m_processor)
        gst_element_link(m_selector, m_processor);
    m_audioTail = branch;
    if (!plugMicrophone(source))
        return false;

    if (GstElement* meter = gst_bin_get_by_name(GST_BIN(branch), "ameter")) {
        GstPad* pad = gst_element_get_static_pad(meter, "src");
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* info, gpointer data) {
                auto* self = static_cast<PublisherPipeline*>(data);
                GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
                GstMapInfo map;
                if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                    const auto* samples = reinterpret_cast<const qint16*>(map.data);
                    const qint64 count = qint64(map.size / sizeof(qint16));
                    double sum = 0;
                    for (qint64 i = 0; i < count; ++i)
                        sum += double(samples[i]) * samples[i];
                    gst_buffer_unmap(buffer, &map);
                    std::lock_guard<std::mutex> lock(self->m_levelMutex);
                    self->m_levelSum += sum / (32768.0 * 32768.0);
                    self->m_levelCount += count;
                }
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
        gst_object_unref(pad);
        gst_object_unref(meter);
    }
    if (GstElement* pay = gst_bin_get_by_name(GST_BIN(branch), "apay")) {
        GstRTPHeaderExtension* extension =
            gst_rtp_header_extension_create_from_uri("urn:ietf:params:rtp-hdrext:ssrc-audio-level");
        if (extension) {
            gst_rtp_header_extension_set_id(extension, kAudioLevelExtensionId);
            g_signal_emit_by_name(pay, "add-extension", extension);
            gst_object_unref(extension);
        }
        TransportFeedback::addExtension(pay);
        gst_object_unref(pay);
    }
    m_audioValve = gst_bin_get_by_name(GST_BIN(branch), "avalve");
    gst_object_unref(m_audioValve);
    m_audioSending = m_options.sendAudio;
    return true;
}

bool PublisherPipeline::plugMicrophone(GstElement* source)
{
    GError* error = nullptr;
    GstElement* chain =
        gst_parse_bin_from_description(QStringLiteral("audioconvert ! audioresample ! capsfilter caps=%1")
                                           .arg(QLatin1String(kProcessedCaps))
                                           .toUtf8()
                                           .constData(),
                                       TRUE, &error);
    g_clear_error(&error);
    if (!chain) {
        gst_object_unref(gst_object_ref_sink(source));
        return false;
    }
    gst_bin_add_many(GST_BIN(pipeline()), source, chain, nullptr);
    GstPad* pad = gst_element_request_pad_simple(m_selector, "sink_%u");
    GstPad* chainSrc = gst_element_get_static_pad(chain, "src");
    const bool linked = gst_element_link(source, chain) && gst_pad_link(chainSrc, pad) == GST_PAD_LINK_OK;
    gst_object_unref(chainSrc);
    if (!linked) {
        gst_element_release_request_pad(m_selector, pad);
        gst_object_unref(pad);
        gst_bin_remove_many(GST_BIN(pipeline()), source, chain, nullptr);
        return false;
    }
    g_object_set(m_selector, "active-pad", pad, nullptr);
    gst_object_unref(pad); // the selector keeps it
    m_micPad = pad;
    m_micChain = chain;
    m_micSource = source;
    gst_element_sync_state_with_parent(chain);
    gst_element_sync_state_with_parent(source);
    return true;
}

bool PublisherPipeline::absorbsError(GstObject* source)
{
    const auto from = [source](GstElement* element) {
        return element &&
               (source == GST_OBJECT(element) || gst_object_has_as_ancestor(source, GST_OBJECT(element)));
    };
    GstElement* camera = m_videoSource.load();
    if (from(camera)) {
        gate()->post([this, camera] {
            if (m_videoSource == camera)
                emit sourceFailed(true);
        });
        return true;
    }
    GstElement* microphone = m_micSource.load();
    if (!from(microphone))
        return false;
    // Silence in its place at once; the engine looks for another one.
    gate()->post([this, microphone] {
        if (m_micSource == microphone) {
            dropMicrophone();
            emit microphoneLost();
        }
    });
    return true;
}

void PublisherPipeline::dropMicrophone()
{
    GstElement* source = m_micSource.exchange(nullptr);
    if (!source)
        return;
    g_object_set(m_selector, "active-pad", m_silencePad, nullptr);
    gst_element_set_state(source, GST_STATE_NULL);
    gst_element_set_state(m_micChain, GST_STATE_NULL);
    gst_element_release_request_pad(m_selector, m_micPad);
    gst_bin_remove_many(GST_BIN(pipeline()), source, m_micChain, nullptr);
    m_micChain = nullptr;
    m_micPad = nullptr;
}

void PublisherPipeline::restoreMicrophone(GstElement* source)
{
    if (!source)
        return;
    dropMicrophone();
    if (!m_selector) {
        gst_object_unref(gst_object_ref_sink(source));
        return;
    }
    plugMicrophone(source);
}

double PublisherPipeline::takeMicrophoneLevel()
{
    std::lock_guard<std::mutex> lock(m_levelMutex);
    // A device that hands over its audio in larger pieces than the reader
    // asks keeps its last level in between.
    if (m_levelCount == 0)
        return m_lastLevel;
    const double rms = std::sqrt(m_levelSum / double(m_levelCount));
    m_levelSum = 0;
    m_levelCount = 0;
    m_lastLevel = rms > 1e-6 ? 20.0 * std::log10(rms) : -120.0;
    return m_lastLevel;
}

void PublisherPipeline::setTestToneLevel(double dbfs)
{
    m_options.testToneDbfs = dbfs;
    GstElement* source = m_micSource.load();
    if (source && m_options.testMedia && !m_options.deviceAudio)
        g_object_set(source, "volume", std::pow(10.0, dbfs / 20.0), nullptr);
}

void PublisherPipeline::setAudioProcessing(const AudioProcessing& processing, const QString& probe)
{
    const bool changed = processing != m_processing;
    m_processing = processing;
    if (!probe.isEmpty())
        m_probe = probe;
    if (changed && m_processor)
        rebuildProcessor();
}

void PublisherPipeline::shareClockWith(SpeakerOutput& speaker)
{
    if (pipeline())
        speaker.followClock(pipeline());
}

void PublisherPipeline::followClockOf(const SpeakerOutput& speaker)
{
    if (pipeline())
        speaker.leadClock(pipeline());
}

bool PublisherPipeline::isPlaying() const
{
    GstState state = GST_STATE_NULL;
    return pipeline() && gst_element_get_state(pipeline(), &state, nullptr, 0) == GST_STATE_CHANGE_SUCCESS &&
           state == GST_STATE_PLAYING;
}

void PublisherPipeline::rebuildProcessor()
{
    // webrtcdsp reads its settings when the stream starts: a new one takes
    // the old one's place while the selector's output is held.
    GstElement* fresh = createVoiceProcessor(m_processing, m_probe.toUtf8().constData());
    if (!fresh)
        return;
    if (m_probe.isEmpty())
        g_object_set(fresh, "echo-cancel", FALSE, nullptr);
    struct Swap
    {
        PublisherPipeline* self;
        GstElement* fresh;
    };
    GstPad* pad = gst_element_get_static_pad(m_selector, "src");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo*, gpointer data) {
            auto* swap = static_cast<Swap*>(data);
            PublisherPipeline* self = swap->self;
            GstElement* old = self->m_processor;
            gst_element_unlink_many(self->m_selector, old, self->m_audioTail, nullptr);
            gst_element_set_state(old, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(self->pipeline()), old);
            gst_bin_add(GST_BIN(self->pipeline()), swap->fresh);
            gst_element_link_many(self->m_selector, swap->fresh, self->m_audioTail, nullptr);
            gst_element_sync_state_with_parent(swap->fresh);
            self->m_processor = swap->fresh;
            swap->fresh = nullptr;
            return GST_PAD_PROBE_REMOVE;
        },
        new Swap{this, fresh},
        [](gpointer data) {
            auto* swap = static_cast<Swap*>(data);
            if (swap->fresh) // never blocked: the pipeline stopped first
                gst_object_unref(gst_object_ref_sink(swap->fresh));
            delete swap;
        });
    gst_object_unref(pad);
}

void PublisherPipeline::setAudioSending(bool sending)
{
    m_audioSending = sending;
    if (m_audioValve && m_negotiated)
        g_object_set(m_audioValve, "drop", gboolean(!sending), nullptr);
}

void PublisherPipeline::setVideoSending(bool sending)
{
    m_videoSending = sending;
    if (!m_videoValve || !m_negotiated)
        return;
    g_object_set(m_videoValve, "drop", gboolean(!sending), nullptr);
    if (sending && m_videoEncoder) {
        // The receivers' decoders resume at once from a key frame.
        GstPad* pad = gst_element_get_static_pad(m_videoEncoder, "src");
        gst_pad_send_event(pad, gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
        gst_object_unref(pad);
    }
}

void PublisherPipeline::onStatsEntry(const GstStructure* stat)
{
    guint ssrc = 0;
    GstWebRTCStatsType type = GstWebRTCStatsType(0);
    if (!gst_structure_get(stat, "type", GST_TYPE_WEBRTC_STATS_TYPE, &type, nullptr) ||
        !gst_structure_get_uint(stat, "ssrc", &ssrc) || ssrc != m_videoSsrc || m_videoSsrc == 0)
        return;
    if (type == GST_WEBRTC_STATS_OUTBOUND_RTP) {
        guint64 sent = 0;
        if (gst_structure_get_uint64(stat, "packets-sent", &sent))
            m_videoSent = sent;
    } else if (type == GST_WEBRTC_STATS_REMOTE_INBOUND_RTP) {
        gint lost = 0;
        gint64 lost64 = 0;
        if (gst_structure_get_int(stat, "packets-lost", &lost))
            m_videoLost = lost;
        else if (gst_structure_get_int64(stat, "packets-lost", &lost64))
            m_videoLost = lost64;
        double rtt = -1;
        if (gst_structure_get_double(stat, "round-trip-time", &rtt))
            m_videoRttMs = rtt * 1000.0;
    }
}

void PublisherPipeline::onStatsDone()
{
    if (!m_feedback.attached())
        m_feedback.attach(webrtc());
    if (!m_videoEncoder || !m_videoSending)
        return;
    if (m_adapter.update(m_videoSent, m_videoLost, m_videoRttMs))
        applyStep(m_adapter.step());
    else
        g_object_set(m_videoEncoder, "target-bitrate", gint(m_adapter.step().kbps * 1000), nullptr);
}

void PublisherPipeline::onTransportReport(const TwccReport& report)
{
    if (!m_clock.isValid())
        m_clock.start();
    if (qEnvironmentVariableIsSet("TALVORA_TWCC_TRACE"))
        qInfo("twcc: sent %.0f recv %.0f kbit/s, loss %.1f %%, delay growth %.2f ms, %d packets", report.sentKbps,
              report.receivedKbps, report.lossPercent, report.delayGrowthMs, report.packetsSent);
    if (!m_videoEncoder || !m_videoSending || m_pausedForAudio)
        return;
    const CongestionEstimator::Verdict verdict = m_congestion.update(report, m_clock.elapsed());
    if (verdict.videoKbps >= 0 && m_adapter.limit(verdict.videoKbps))
        applyStep(m_adapter.step());
    else if (verdict.videoKbps >= 0)
        g_object_set(m_videoEncoder, "target-bitrate", gint(m_adapter.step().kbps * 1000), nullptr);
    if (verdict.pauseVideoMs > 0) {
        m_pausedForAudio = true;
        g_object_set(m_videoValve, "drop", TRUE, nullptr);
        QTimer::singleShot(verdict.pauseVideoMs, this, [this] {
            m_pausedForAudio = false;
            setVideoSending(m_videoSending); // reopens with a key frame
        });
    }
}

void PublisherPipeline::applyStep(const VideoStep& step)
{
    qInfo("publisher: video at %d kbit/s, %dx%d at %d fps (loss %.0f %%)", step.kbps, step.width, step.height,
          step.fps, m_adapter.lastLoss() * 100);
    g_object_set(m_videoEncoder, "target-bitrate", gint(step.kbps * 1000), nullptr);
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT,
                                        step.width, "height", G_TYPE_INT, step.height, "framerate",
                                        GST_TYPE_FRACTION, step.fps, 1, "pixel-aspect-ratio",
                                        GST_TYPE_FRACTION, 1, 1, nullptr);
    // The encoder starts again on the new size with a key frame; the
    // receivers' decoders follow it.
    g_object_set(m_videoCaps, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

void PublisherPipeline::forceKeyFrame()
{
    if (!m_videoEncoder || !m_videoSending || !m_negotiated)
        return;
    GstPad* pad = gst_element_get_static_pad(m_videoEncoder, "src");
    gst_pad_send_event(pad, gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    gst_object_unref(pad);
}

} // namespace talvora::media
