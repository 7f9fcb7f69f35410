#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include "SubscriberPipeline.h"

#include "MediaDevices.h"

#include <algorithm>
#include <cmath>

namespace talvora::media {
namespace {

constexpr int kRate = 48000;
constexpr size_t kRecentSamples = 8192; // ~170 ms: 6 Hz resolution
// How long the video's jitter buffer waits for a missing packet. A lost
// packet is noticed when the next one comes (a frame later, 100 ms at
// 10 fps), its NACK and the retransmission take a round trip, and either
// may be lost too and asked for again; a packet lost on its way to Janus
// reaches it a round trip late. At 20 % loss and a 100 ms round trip,
// 250 ms decoded 2.0 to 3.4 fps and 450 ms, with Janus keeping packets
// 600 ms, 4.2 to 6.9: a picture that waits is better than one broken until
// the next key frame. Packets in order pass at once, so the wait costs
// only when one is lost.
constexpr guint kVideoWaitMs = 450;

// Whether the remote description sends `ssrc` in a video section.
bool isVideoSource(GstElement* webrtc, guint ssrc)
{
    GstWebRTCSessionDescription* remote = nullptr;
    g_object_get(webrtc, "remote-description", &remote, nullptr);
    if (!remote)
        return false;
    bool video = false;
    gchar* const prefix = g_strdup_printf("%u ", ssrc);
    for (guint i = 0; i < gst_sdp_message_medias_len(remote->sdp) && !video; ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(remote->sdp, i);
        if (g_strcmp0(gst_sdp_media_get_media(media), "video") != 0)
            continue;
        for (guint a = 0; a < gst_sdp_media_attributes_len(media) && !video; ++a) {
            const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
            video = g_strcmp0(attribute->key, "ssrc") == 0 && attribute->value &&
                    g_str_has_prefix(attribute->value, prefix);
        }
    }
    g_free(prefix);
    gst_webrtc_session_description_free(remote);
    return video;
}

double goertzelPower(const std::vector<float>& samples, double hz, int rate)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * hz / rate);
    double previous = 0, beforePrevious = 0;
    // Over the raw array: some 400 passes per report, and in the debug
    // builds the tests run, iterator calls took most of a participant's CPU.
    const float* const data = samples.data();
    for (size_t i = 0, n = samples.size(); i < n; ++i) {
        const double current = data[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

QColor meanColour(const QImage& image)
{
    quint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < image.height(); y += 4) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += 4) {
            r += qRed(line[x]);
            g += qGreen(line[x]);
            b += qBlue(line[x]);
            ++n;
        }
    }
    return n ? QColor(int(r / n), int(g / n), int(b / n)) : QColor();
}

} // namespace

double dominantFrequency(const std::vector<float>& samples, int rate)
{
    if (samples.size() < 256)
        return 0;
    double bestHz = 0, bestPower = 0;
    for (double hz = 50; hz <= 4000; hz += 10) {
        const double power = goertzelPower(samples, hz, rate);
        if (power > bestPower) {
            bestPower = power;
            bestHz = hz;
        }
    }
    const double coarse = bestHz;
    for (double hz = coarse - 10; hz <= coarse + 10; hz += 1) {
        const double power = goertzelPower(samples, hz, rate);
        if (power > bestPower) {
            bestPower = power;
            bestHz = hz;
        }
    }
    return bestPower > 0 ? bestHz : 0;
}

SubscriberPipeline::SubscriberPipeline(qint64 feed, const IcePolicy& ice, int latencyMs,
                                       const MediaDevices* devices, QObject* parent)
    : WebRtcPeer(QStringLiteral("subscriber-%1").arg(feed), ice, latencyMs, parent), m_feed(feed),
      m_devices(devices), m_recent(kRecentSamples, 0.0f)
{
    if (!webrtc())
        return;
    // Janus offers NACK (and retransmits from its own buffer) and PLI:
    // the answer takes them up, so a lost packet is asked for again and a
    // broken picture asks for a key frame.
    g_signal_connect(webrtc(), "on-new-transceiver",
                     G_CALLBACK(+[](GstElement*, GObject* transceiver, gpointer) {
                         g_object_set(transceiver, "do-nack", TRUE, nullptr);
                     }),
                     nullptr);
    // webrtcbin gives every jitter buffer of the bundle the same wait, and
    // the NACK setting of whichever transceiver it looks at last. The
    // video waits for retransmissions; the audio, which Janus does not
    // retransmit, goes on at once with concealment and in-band FEC.
    GstElement* rtpbin = gst_bin_get_by_name(GST_BIN(webrtc()), "rtpbin");
    if (!rtpbin)
        return;
    g_signal_connect_data(
        rtpbin, "new-jitterbuffer",
        G_CALLBACK(+[](GstElement*, GstElement* buffer, guint, guint ssrc, gpointer webrtc) {
            const bool video = isVideoSource(GST_ELEMENT(webrtc), ssrc);
            g_object_set(buffer, "do-retransmission", gboolean(video), nullptr);
            if (video) {
                guint latency = 0;
                g_object_get(buffer, "latency", &latency, nullptr);
                g_object_set(buffer, "latency", std::max(latency, kVideoWaitMs), nullptr);
            }
        }),
        webrtc(), nullptr, G_CONNECT_AFTER);
    gst_object_unref(rtpbin);
}

SubscriberPipeline::~SubscriberPipeline()
{
    stop();
}

bool SubscriberPipeline::start()
{
    return play();
}

void SubscriberPipeline::onIncomingPad(GstPad* pad)
{
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps)
        caps = gst_pad_query_caps(pad, nullptr);
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    const gchar* media = structure ? gst_structure_get_string(structure, "media") : nullptr;
    const gchar* encoding = structure ? gst_structure_get_string(structure, "encoding-name") : nullptr;
    const bool video =
        media && g_str_equal(media, "video") && encoding && g_ascii_strcasecmp(encoding, "VP8") == 0;
    const bool audio =
        media && g_str_equal(media, "audio") && encoding && g_ascii_strcasecmp(encoding, "OPUS") == 0;
    gst_caps_unref(caps);

    GstElement* branch = nullptr;
    GError* error = nullptr;
    if (video) {
        // A subscription that starts between key frames (the one Janus
        // asks for on our behalf may pass before our end is up) asks for
        // its own, instead of waiting for the sender's next.
        branch = gst_parse_bin_from_description(
            "rtpvp8depay request-keyframe=true wait-for-keyframe=true ! vp8dec ! "
            "videoconvert ! video/x-raw,format=BGRx ! "
            "appsink name=video sync=false max-buffers=1 drop=true",
            TRUE, &error);
    } else if (audio && m_speakerInput) {
        // Measured here, each remote on its own, before the mix.
        branch = gst_parse_bin_from_description(
            QStringLiteral(
                "rtpopusdepay ! opusdec plc=true ! audioconvert ! audioresample ! "
                "audio/x-raw,format=F32LE,rate=48000,channels=1,layout=interleaved ! "
                "identity name=meter ! audioconvert ! %1 ! appsink name=mix sync=false async=false")
                .arg(QLatin1String(SpeakerOutput::kInputCaps))
                .toUtf8()
                .constData(),
            TRUE, &error);
    } else if (audio) {
        branch = gst_parse_bin_from_description(
            "rtpopusdepay ! opusdec plc=true ! audioconvert ! audioresample ! "
            "audio/x-raw,format=F32LE,rate=48000,channels=1,layout=interleaved ! identity name=meter ! "
            "queue max-size-time=200000000 leaky=downstream",
            TRUE, &error);
    } else {
        branch = gst_parse_bin_from_description("fakesink sync=false", TRUE, &error);
    }
    g_clear_error(&error);
    if (!branch)
        return;
    gst_bin_add(GST_BIN(pipeline()), branch);

    if (video) {
        GstElement* sink = gst_bin_get_by_name(GST_BIN(branch), "video");
        watchAppSink(sink, [this](QImage image) { onVideo(std::move(image)); });
        gst_object_unref(sink);
    } else if (audio) {
        GstElement* meter = gst_bin_get_by_name(GST_BIN(branch), "meter");
        GstPad* meterPad = gst_element_get_static_pad(meter, "src");
        gst_pad_add_probe(
            meterPad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* info, gpointer self) {
                GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
                GstMapInfo map;
                if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                    static_cast<SubscriberPipeline*>(self)->onAudio(reinterpret_cast<const float*>(map.data),
                                                                    int(map.size / sizeof(float)));
                    gst_buffer_unmap(buffer, &map);
                }
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
        gst_object_unref(meterPad);
        gst_object_unref(meter);
    }
    if (GstElement* mix = audio ? gst_bin_get_by_name(GST_BIN(branch), "mix") : nullptr) {
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
            GstSample* sample = gst_app_sink_pull_sample(sink);
            if (!sample)
                return GST_FLOW_OK;
            if (GstBuffer* buffer = gst_sample_get_buffer(sample))
                static_cast<SubscriberPipeline*>(self)->m_speakerInput->push(gst_buffer_ref(buffer));
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(mix), &callbacks, this, nullptr);
        gst_object_unref(mix);
    } else if (audio) {
        GstElement* speaker = playOut(branch, m_devices ? m_devices->createSpeaker() : nullptr);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_audioBranch = branch;
        m_speaker = speaker;
    }
    gst_element_sync_state_with_parent(branch);
    GstPad* sinkPad = gst_element_get_static_pad(branch, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

void SubscriberPipeline::replaceSpeaker(GstElement* sink)
{
    GstElement *branch = nullptr, *old = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        branch = m_audioBranch;
        old = m_speaker;
    }
    if (!branch) { // no audio yet: the next one asks the devices
        if (sink)
            gst_object_unref(gst_object_ref_sink(sink));
        return;
    }
    if (!sink) {
        sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", FALSE, nullptr);
    }
    GstPad* out = gst_element_get_static_pad(branch, "src");
    const gulong block = gst_pad_add_probe(
        out, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo*, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
    gst_element_set_state(old, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(pipeline()), old);
    gst_bin_add(GST_BIN(pipeline()), sink);
    gst_element_link(branch, sink);
    gst_element_sync_state_with_parent(sink);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_speaker = sink;
    }
    gst_pad_remove_probe(out, block);
    gst_object_unref(out);
}

void SubscriberPipeline::onVideo(QImage image)
{
    const QColor mean = meanColour(image);

    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_framesDecoded;
    m_width = image.width();
    m_height = image.height();
    m_meanColour = mean;
    m_latest.offer(std::move(image), gate(), [this](const QImage& latest) { emit frame(latest); });
}

void SubscriberPipeline::onAudio(const float* samples, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool loud = count > 0 && sum / count > 1e-4; // -40 dBFS
    if (m_slot < 0 && loud) {
        m_firstSound = now;
        m_slot = 0;
    }
    if (m_slot >= 0) {
        const qint64 slot = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_firstSound).count() / 100;
        for (; m_slot < slot; ++m_slot) {
            if (m_slotHeard) {
                ++m_heardSlots;
                if (m_gapRun >= 2)
                    ++m_longGaps;
                m_gapRun = 0;
            } else {
                ++m_silentSlots;
                m_longestGap = std::max(m_longestGap, ++m_gapRun);
            }
            m_slotHeard = false;
        }
        m_slotHeard = m_slotHeard || loud;
    }
    for (int i = 0; i < count; ++i) {
        if (std::fabs(samples[i]) < 0.0316f) // -30 dBFS
            continue;
        // The sample is played i samples after the buffer's first.
        const auto at = now + std::chrono::nanoseconds(qint64(i) * 1000000000 / kRate);
        if (at - m_lastLoud > std::chrono::milliseconds(300))
            m_onsetNs = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        m_lastLoud = at;
    }
    m_audio.push_back(AudioChunk{now, sum, count});
    while (!m_audio.empty() && now - m_audio.front().at > std::chrono::milliseconds(1500))
        m_audio.pop_front();
    for (int i = 0; i < count; ++i) {
        m_recent[m_recentNext] = samples[i];
        m_recentNext = (m_recentNext + 1) % m_recent.size();
    }
}

double SubscriberPipeline::audioLevelDbfs(int milliseconds) const
{
    double sum = 0;
    qint64 count = 0;
    const auto since = Clock::now() - std::chrono::milliseconds(milliseconds);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_audio.crbegin(); it != m_audio.crend() && it->at >= since; ++it) {
            sum += it->sumSquares;
            count += it->count;
        }
    }
    // Nothing received in the span counts as silence over all of it.
    count = qMax<qint64>(count, qint64(kRate) * milliseconds / 1000);
    const double rms = count > 0 ? std::sqrt(sum / double(count)) : 0;
    return rms > 1e-6 ? 20.0 * std::log10(rms) : -120.0;
}

ReceiveStats SubscriberPipeline::stats() const
{
    ReceiveStats stats;
    stats.id = m_feed;
    stats.rttMs = rttMs();
    stats.jitterBufferMs = latencyMs();
    stats.localCandidateType = localCandidateType();
    stats.remoteCandidateType = remoteCandidateType();
    std::vector<float> recent;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stats.framesDecoded = m_framesDecoded;
        stats.width = m_width;
        stats.height = m_height;
        stats.meanColour = m_meanColour;
        stats.heardWindows = m_heardSlots;
        stats.silentWindows = m_silentSlots;
        stats.longestGapMs = m_longestGap * 100;
        stats.longGaps = m_longGaps;
        stats.audioOnsetNs = m_onsetNs;
        double sum = 0;
        qint64 count = 0;
        const auto since = Clock::now() - std::chrono::seconds(1);
        for (const AudioChunk& chunk : m_audio) {
            if (chunk.at >= since) {
                sum += chunk.sumSquares;
                count += chunk.count;
            }
        }
        // Silence over the whole second (nothing received counts as such).
        count = qMax<qint64>(count, kRate);
        const double rms = std::sqrt(sum / double(count));
        stats.audioRmsDbfs = rms > 1e-6 ? 20.0 * std::log10(rms) : -120.0;
        if (stats.audioRmsDbfs > -70) {
            recent.reserve(m_recent.size());
            recent.insert(recent.end(), m_recent.begin() + long(m_recentNext), m_recent.end());
            recent.insert(recent.end(), m_recent.begin(), m_recent.begin() + long(m_recentNext));
        }
    }
    stats.dominantHz = dominantFrequency(recent, kRate);
    return stats;
}

} // namespace talvora::media
