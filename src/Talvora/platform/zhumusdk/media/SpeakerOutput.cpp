#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include "SpeakerOutput.h"

#include <atomic>

namespace talvora::media {
namespace {

std::atomic<int> g_probes{0};

GstElement* silentSink()
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, "async", FALSE, nullptr);
    return sink;
}

} // namespace

const char* const SpeakerOutput::kInputCaps =
    "audio/x-raw,format=S16LE,rate=48000,channels=1,layout=interleaved";

SpeakerOutput::SpeakerOutput(GstElement* speaker, QObject* parent)
    : QObject(parent), m_probeName(QStringLiteral("talvora-echo-probe-%1").arg(++g_probes)),
      m_gate(std::make_shared<ThreadGate>(this))
{
    const QString description =
        QStringLiteral("audiotestsrc wave=silence is-live=true samplesperbuffer=480 ! %1 ! queue ! "
                       "audiomixer name=mix latency=20000000 ! %1 ! webrtcechoprobe name=%2 ! "
                       "audioconvert ! audioresample name=tail")
            .arg(QLatin1String(kInputCaps), m_probeName);
    GError* error = nullptr;
    m_pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    g_clear_error(&error);
    if (!m_pipeline) {
        if (speaker)
            gst_object_unref(gst_object_ref_sink(speaker));
        return;
    }
    m_mixer = gst_bin_get_by_name(GST_BIN(m_pipeline), "mix");
    m_tail = gst_bin_get_by_name(GST_BIN(m_pipeline), "tail");
    gst_object_unref(m_mixer); // the pipeline keeps them
    gst_object_unref(m_tail);
    m_onDevice = speaker != nullptr;
    setSink(speaker ? speaker : silentSink());
    useSystemClock(m_pipeline);

    struct Link
    {
        GatePtr gate;
        SpeakerOutput* self;
    };
    GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(m_pipeline));
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer data) -> GstBusSyncReply {
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
                auto* link = static_cast<Link*>(data);
                SpeakerOutput* self = link->self;
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                const QString text = QString::fromUtf8(error ? error->message : "unknown");
                g_clear_error(&error);
                // The speaker going away is no reason to stop hearing the
                // meeting's pictures: the mix carries on into a fakesink.
                const bool fromSink =
                    GST_MESSAGE_SRC(message) == GST_OBJECT(self->m_sink) ||
                    gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(self->m_sink));
                link->gate->post([self, text, fromSink] {
                    if (fromSink && self->m_onDevice) {
                        self->replaceSpeaker(nullptr);
                        emit self->speakerLost();
                    } else if (!fromSink) {
                        emit self->failed(QStringLiteral("speaker pipeline: %1").arg(text));
                    }
                });
            }
            gst_message_unref(message);
            return GST_BUS_DROP;
        },
        new Link{m_gate, this}, [](gpointer data) { delete static_cast<Link*>(data); });
    gst_object_unref(bus);
}

SpeakerOutput::~SpeakerOutput()
{
    m_gate->close();
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
}

void useSystemClock(GstElement* pipeline)
{
    GstClock* clock = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
    gst_object_unref(clock);
}

void SpeakerOutput::followClock(GstElement* pipeline)
{
    if (!m_pipeline)
        return;
    gst_element_set_start_time(m_pipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(m_pipeline, gst_element_get_base_time(pipeline));
}

bool SpeakerOutput::isPlaying() const
{
    GstState state = GST_STATE_NULL;
    return m_pipeline && gst_element_get_state(m_pipeline, &state, nullptr, 0) == GST_STATE_CHANGE_SUCCESS &&
           state == GST_STATE_PLAYING;
}

void SpeakerOutput::leadClock(GstElement* pipeline) const
{
    if (!m_pipeline)
        return;
    useSystemClock(pipeline);
    gst_element_set_start_time(pipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(pipeline, gst_element_get_base_time(m_pipeline));
}

bool SpeakerOutput::start()
{
    return m_pipeline && gst_element_set_state(m_pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
}

void SpeakerOutput::setSink(GstElement* sink)
{
    if (m_sink) {
        gst_element_unlink(m_tail, m_sink);
        gst_element_set_state(m_sink, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(m_pipeline), m_sink);
    }
    m_sink = sink;
    gst_bin_add(GST_BIN(m_pipeline), m_sink);
    gst_element_link(m_tail, m_sink);
    gst_element_sync_state_with_parent(m_sink);
}

void SpeakerOutput::replaceSpeaker(GstElement* speaker)
{
    if (!m_pipeline) {
        if (speaker)
            gst_object_unref(gst_object_ref_sink(speaker));
        return;
    }
    m_onDevice = speaker != nullptr;
    setSink(speaker ? speaker : silentSink());
}

std::shared_ptr<SpeakerOutput::Input> SpeakerOutput::addInput()
{
    auto input = std::make_shared<Input>();
    if (!m_pipeline)
        return input;
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstCaps* caps = gst_caps_from_string(kInputCaps);
    // Live, and never more than 200 ms behind: a remote
    // that stalls loses its oldest audio, not the mix its timing.
    g_object_set(source, "is-live", TRUE, "format", GST_FORMAT_TIME, "caps", caps, "max-bytes",
                 guint64(48000 * 2 / 5), "min-latency", gint64(0), nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "leaky-type", "downstream");
    gst_caps_unref(caps);
    gst_bin_add(GST_BIN(m_pipeline), source);
    GstPad* src = gst_element_get_static_pad(source, "src");
    GstPad* sink = gst_element_request_pad_simple(m_mixer, "sink_%u");
    gst_pad_link(src, sink);
    gst_object_unref(src);
    gst_element_sync_state_with_parent(source);
    input->m_pipeline = GST_ELEMENT(gst_object_ref(m_pipeline));
    input->m_source = GST_ELEMENT(gst_object_ref(source));
    input->m_mixerPad = sink;
    return input;
}

void SpeakerOutput::Input::push(GstBuffer* buffer)
{
    if (!m_source) {
        gst_buffer_unref(buffer);
        return;
    }
    // Stamped on arrival with the mix's running time, whatever time it had
    // in the receiving pipeline.
    GstClock* clock = gst_element_get_clock(m_pipeline);
    if (!clock) {
        gst_buffer_unref(buffer);
        return;
    }
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(m_pipeline);
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = now > base ? now - base : 0;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(gst_buffer_get_size(buffer) / 2, GST_SECOND, 48000);
    gst_app_src_push_buffer(GST_APP_SRC(m_source), buffer);
}

SpeakerOutput::Input::~Input()
{
    if (!m_source)
        return;
    gst_element_set_state(m_source, GST_STATE_NULL);
    GstElement* mixer = gst_pad_get_parent_element(m_mixerPad);
    if (mixer) {
        gst_element_release_request_pad(mixer, m_mixerPad);
        gst_object_unref(mixer);
    }
    gst_object_unref(m_mixerPad);
    gst_bin_remove(GST_BIN(m_pipeline), m_source);
    gst_object_unref(m_source);
    gst_object_unref(m_pipeline);
}

} // namespace talvora::media
