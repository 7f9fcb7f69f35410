#include <gst/gst.h>

#include "DeviceProbe.h"

#include "LatestFrame.h"
#include "MediaDevices.h"

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

    GstElement* pipeline = nullptr;

private:
    OnMessage m_onMessage;
};

} // namespace

class DeviceProbe::Private
{
public:
    bool testMedia = false;
    GatePtr gate;
    LatestFrame latest;
    std::unique_ptr<Probe> camera, microphone, tone;
};

DeviceProbe::DeviceProbe(bool testMedia, QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    gst_init(nullptr, nullptr);
    d->testMedia = testMedia;
    d->gate = std::make_shared<ThreadGate>(this);
}

DeviceProbe::~DeviceProbe()
{
    d->gate->close();
    stopWatching();
    d->tone.reset();
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
    GstElement* source = nullptr;
    if (d->testMedia) {
        source = gst_element_factory_make("audiotestsrc", nullptr);
        if (source)
            g_object_set(source, "is-live", TRUE, "volume", 0.1, nullptr);
    } else {
        source = MediaDevices(false, true, false, {}, id).createMicrophone();
    }
    const GatePtr gate = d->gate;
    d->microphone = std::make_unique<Probe>(
        source, "audioconvert ! level interval=100000000 post-messages=true ! fakesink sync=false",
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
        source, "audioconvert ! audioresample",
        [this, gate](GstMessage* message) {
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR)
                gate->post([this] {
                    d->tone.reset();
                    emit toneFinished();
                });
        },
        sink);
    if (!d->tone->play()) {
        d->tone.reset();
        return false;
    }
    return true;
}

} // namespace talvora::media
