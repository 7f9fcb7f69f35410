#include <gst/gst.h>

#include "DeviceProbe.h"

#include "LatestFrame.h"
#include "MediaDevices.h"
#include "SpeakerOutput.h"

#include <atomic>
#include <cmath>

namespace talvora::media {
namespace {

// One small pipeline: the source given, then what `description` makes.
// Its bus reports on the owner's thread through the gate.
class Probe
{
public:
    using OnMessage = std::function<void(GstMessage*)>; // streaming thread

    // sink, when given, follows the description's elements.
    Probe(GstElement* source, const char* description, OnMessage onMessage, GstElement* sink = nullptr)
    {
        if (!source) {
            if (sink)
                gst_object_unref(gst_object_ref_sink(sink));
            return;
        }
        GError* error = nullptr;
        GstElement* rest = gst_parse_bin_from_description(description, TRUE, &error);
        g_clear_error(&error);
        if (!rest) {
            gst_object_unref(gst_object_ref_sink(source));
            if (sink)
                gst_object_unref(gst_object_ref_sink(sink));
            return;
        }
        pipeline = gst_pipeline_new(nullptr);
        gst_bin_add_many(GST_BIN(pipeline), source, rest, nullptr);
        if (sink)
            gst_bin_add(GST_BIN(pipeline), sink);
        if (!gst_element_link(source, rest) || (sink && !gst_element_link(rest, sink))) {
            gst_object_unref(pipeline);
            pipeline = nullptr;
            return;
        }
        m_onMessage = std::move(onMessage);
        GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline));
        gst_bus_set_sync_handler(
            bus,
            [](GstBus*, GstMessage* message, gpointer self) -> GstBusSyncReply {
                static_cast<Probe*>(self)->m_onMessage(message);
                gst_message_unref(message);
                return GST_BUS_DROP;
            },
            this, nullptr);
        gst_object_unref(bus);
    }

    ~Probe()
    {
        if (!pipeline)
            return;
        // Waits for the streaming threads: no callback runs after it.
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }

    bool play()
    {
        return pipeline && gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    }

    GstElement* element(const char* name) const
    {
        GstElement* found = pipeline ? gst_bin_get_by_name(GST_BIN(pipeline), name) : nullptr;
        if (found)
            gst_object_unref(found); // the pipeline keeps it
        return found;
    }

    // Puts `element` (floating or held) between the element named `after`
    // and what follows it.
    bool insertAfter(const char* after, GstElement* element)
    {
        GstElement* before = this->element(after);
        GstPad* out = before ? gst_element_get_static_pad(before, "src") : nullptr;
        GstPad* peer = out ? gst_pad_get_peer(out) : nullptr;
        GstElement* next = peer ? gst_pad_get_parent_element(peer) : nullptr;
        GstObject* bin = next ? gst_object_get_parent(GST_OBJECT(before)) : nullptr;
        bool linked = false;
        if (bin) {
            gst_pad_unlink(out, peer);
            gst_bin_add(GST_BIN(bin), element);
            linked = gst_element_link_many(before, element, next, nullptr);
            gst_object_unref(bin);
        } else {
            gst_object_unref(gst_object_ref_sink(element));
        }
        if (next)
            gst_object_unref(next);
        if (peer)
            gst_object_unref(peer);
        if (out)
            gst_object_unref(out);
        return linked;
    }

    GstElement* pipeline = nullptr;

private:
    OnMessage m_onMessage;
};

// What the voice processor takes and the echo probe sees, as in a meeting.
constexpr const char* kProcessedCaps = "audio/x-raw,format=S16LE,rate=48000,channels=1,layout=interleaved";

std::atomic<int> g_echoProbes{0};

} // namespace

class DeviceProbe::Private
{
public:
    bool testMedia = false;
    GatePtr gate;
    LatestFrame latest;
    std::unique_ptr<Probe> camera, microphone, tone;
    QString microphoneId;
    AudioProcessing processing;
    // The probe the tone passes on its way to the speaker, for the
    // microphone's echo canceller; it outlives each tone's pipeline, since
    // the canceller looks it up when the microphone starts. Null without
    // the plugin.
    GstElement* echoProbe = nullptr;
    QByteArray echoProbeName;

    ~Private()
    {
        if (echoProbe)
            gst_object_unref(echoProbe);
    }
};

DeviceProbe::DeviceProbe(bool testMedia, QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    gst_init(nullptr, nullptr);
    d->testMedia = testMedia;
    d->gate = std::make_shared<ThreadGate>(this);
    d->echoProbeName = QByteArray("talvora-preview-probe-") + QByteArray::number(++g_echoProbes);
    d->echoProbe = gst_element_factory_make("webrtcechoprobe", d->echoProbeName.constData());
    if (d->echoProbe)
        gst_object_ref_sink(d->echoProbe);
}

DeviceProbe::~DeviceProbe()
{
    d->gate->close();
    stopWatching();
    d->tone.reset();
}

void DeviceProbe::setAudioProcessing(const AudioProcessing& processing)
{
    if (processing == d->processing)
        return;
    d->processing = processing;
    // webrtcdsp takes its settings when its stream starts: the meter's
    // pipeline is made anew, which for a preview is quick enough.
    if (d->microphone)
        watchMicrophone(d->microphoneId);
}

void DeviceProbe::stopWatching()
{
    d->camera.reset();
    d->microphone.reset();
}

bool DeviceProbe::watchCamera(const QString& id)
{
    d->camera.reset();
    GstElement* source = nullptr;
    if (d->testMedia) {
        source = gst_element_factory_make("videotestsrc", nullptr);
        if (source) {
            gst_util_set_object_arg(G_OBJECT(source), "pattern", "ball");
            g_object_set(source, "is-live", TRUE, nullptr);
        }
    } else {
        source = MediaDevices(true, false, false, id).createCamera();
    }
    // Small and slow: it is a preview in a dialog.
    d->camera = std::make_unique<Probe>(
        source,
        "videoconvert ! videoscale add-borders=true ! videorate drop-only=true ! "
        "video/x-raw,format=BGRx,width=320,height=180,pixel-aspect-ratio=1/1,framerate=15/1 ! "
        "appsink name=preview sync=false max-buffers=1 drop=true",
        [](GstMessage*) {});
    GstElement* sink = d->camera->element("preview");
    if (!sink) {
        d->camera.reset();
        return false;
    }
    const GatePtr gate = d->gate;
    watchAppSink(sink, [this, gate](QImage image) {
        d->latest.offer(std::move(image), gate, [this](const QImage& latest) { emit cameraFrame(latest); });
    });
    if (!d->camera->play()) {
        d->camera.reset();
        return false;
    }
    return true;
}

bool DeviceProbe::watchMicrophone(const QString& id)
{
    d->microphone.reset();
    d->microphoneId = id;
    GstElement* source = nullptr;
    if (d->testMedia) {
        source = gst_element_factory_make("audiotestsrc", nullptr);
        if (source) {
            const bool noise = id == QLatin1String("test-noise");
            gst_util_set_object_arg(G_OBJECT(source), "wave", noise ? "pink-noise" : "sine");
            g_object_set(source, "is-live", TRUE, "volume", 0.1, "samplesperbuffer", 480, nullptr);
        }
    } else {
        source = MediaDevices(false, true, false, {}, id).createMicrophone();
    }
    const GatePtr gate = d->gate;
    d->microphone = std::make_unique<Probe>(
        source,
        QStringLiteral("audioconvert ! audioresample ! %1 ! identity name=raw ! "
                       "level interval=100000000 post-messages=true ! fakesink sync=false")
            .arg(QLatin1String(kProcessedCaps))
            .toUtf8()
            .constData(),
        [this, gate](GstMessage* message) {
            if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ELEMENT)
                return;
            const GstStructure* structure = gst_message_get_structure(message);
            if (!structure || !gst_structure_has_name(structure, "level"))
                return;
            const GValue* peaks = gst_structure_get_value(structure, "peak");
            double loudest = -100;
            if (peaks && G_VALUE_HOLDS_BOXED(peaks)) {
                G_GNUC_BEGIN_IGNORE_DEPRECATIONS
                auto* array = static_cast<GValueArray*>(g_value_get_boxed(peaks));
                for (guint i = 0; array && i < array->n_values; ++i) {
                    const double peak = g_value_get_double(g_value_array_get_nth(array, i));
                    if (std::isfinite(peak))
                        loudest = std::max(loudest, peak);
                }
                G_GNUC_END_IGNORE_DEPRECATIONS
            }
            gate->post([this, loudest] { emit microphoneLevel(loudest); });
        });
    if (!d->microphone->pipeline) {
        d->microphone.reset();
        return false;
    }
    // The meeting's processor, cancelling the echo of the test tone: both
    // pipelines run on the system clock and one base time, so the probe's
    // timestamps say when the tone comes back.
    if (GstElement* dsp = createVoiceProcessor(d->processing, d->echoProbeName.constData())) {
        if (!d->echoProbe)
            g_object_set(dsp, "echo-cancel", FALSE, nullptr);
        d->microphone->insertAfter("raw", dsp);
    }
    useSystemClock(d->microphone->pipeline);
    if (!d->microphone->play()) {
        d->microphone.reset();
        return false;
    }
    return true;
}

bool DeviceProbe::playTone(const QString& id)
{
    d->tone.reset();
    GstElement* source = gst_element_factory_make("audiotestsrc", nullptr);
    if (!source)
        return false;
    // A second at 48 kHz, not loud.
    g_object_set(source, "freq", 660.0, "volume", 0.3, "samplesperbuffer", 4800, "num-buffers", 10, nullptr);
    GstElement* speaker = MediaDevices(false, false, true, {}, {}, id).createSpeaker();
    GstElement* sink = speaker ? speaker : gst_element_factory_make("fakesink", nullptr);
    if (!speaker)
        g_object_set(sink, "sync", TRUE, nullptr); // a tone nobody hears still takes its second
    const GatePtr gate = d->gate;
    d->tone = std::make_unique<Probe>(
        source,
        QStringLiteral("audioconvert ! audioresample ! %1 ! identity name=played ! audioconvert ! audioresample")
            .arg(QLatin1String(kProcessedCaps))
            .toUtf8()
            .constData(),
        [this, gate](GstMessage* message) {
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR)
                gate->post([this] {
                    d->tone.reset();
                    emit toneFinished();
                });
        },
        sink);
    if (d->tone->pipeline && d->echoProbe && d->microphone) {
        // On the meter's clock and base time, the tone starting now.
        d->tone->insertAfter("played", d->echoProbe);
        GstElement* meter = d->microphone->pipeline;
        useSystemClock(d->tone->pipeline);
        gst_element_set_start_time(d->tone->pipeline, GST_CLOCK_TIME_NONE);
        const GstClockTime base = gst_element_get_base_time(meter);
        gst_element_set_base_time(d->tone->pipeline, base);
        GstClock* clock = gst_system_clock_obtain();
        const GstClockTime now = gst_clock_get_time(clock);
        gst_object_unref(clock);
        GstPad* out = gst_element_get_static_pad(source, "src");
        gst_pad_set_offset(out, now > base ? gint64(now - base) : 0);
        gst_object_unref(out);
    }
    if (!d->tone->play()) {
        d->tone.reset();
        return false;
    }
    return true;
}

} // namespace talvora::media
