#include <gst/gst.h>
#include <gst/rtp/gstrtphdrext.h>

#include "TransportFeedback.h"

#include <QtGlobal>

namespace talvora::media {
namespace {

constexpr const char* kTwccUri = "http://www.ietf.org/id/draft-holmer-rmcat-transport-wide-cc-extensions-01";
// The audio level extension has 1.
constexpr guint kTwccExtensionId = 3;

double number(const GstStructure* s, const char* field)
{
    const GValue* value = gst_structure_get_value(s, field);
    if (!value)
        return 0;
    GValue as = G_VALUE_INIT;
    g_value_init(&as, G_TYPE_DOUBLE);
    const double result = g_value_transform(value, &as) ? g_value_get_double(&as) : 0;
    g_value_unset(&as);
    return result;
}

} // namespace

struct TransportFeedback::Link
{
    GatePtr gate;
    std::function<void(const TwccReport&)> onReport;
};

void TransportFeedback::addExtension(GstElement* payloader)
{
    GstRTPHeaderExtension* extension = gst_rtp_header_extension_create_from_uri(kTwccUri);
    if (!extension)
        return;
    gst_rtp_header_extension_set_id(extension, kTwccExtensionId);
    g_signal_emit_by_name(payloader, "add-extension", extension);
    gst_object_unref(extension);
}

bool TransportFeedback::parse(const GstStructure* stats, TwccReport& report)
{
    if (!stats || !gst_structure_has_field(stats, "bitrate-sent"))
        return false;
    report.sentKbps = number(stats, "bitrate-sent") / 1000.0;
    report.receivedKbps = number(stats, "bitrate-recv") / 1000.0;
    report.lossPercent = number(stats, "packet-loss-pct");
    // ns; the lowest int64 (GST_CLOCK_STIME_NONE) when not known yet.
    const double growth = number(stats, "avg-delta-of-delta") / 1e6;
    report.delayGrowthMs = qAbs(growth) < 1e6 ? growth : 0;
    report.packetsSent = int(number(stats, "packets-sent"));
    return report.packetsSent > 0;
}

TransportFeedback::TransportFeedback(const GatePtr& gate, std::function<void(const TwccReport&)> onReport)
    : m_gate(gate), m_onReport(std::move(onReport))
{
}

TransportFeedback::~TransportFeedback()
{
    if (m_session) {
        g_signal_handler_disconnect(m_session, m_handler);
        g_object_unref(m_session);
    }
}

bool TransportFeedback::attach(GstElement* webrtc)
{
    if (m_session || !webrtc)
        return m_session != nullptr;
    GstElement* rtpbin = gst_bin_get_by_name(GST_BIN(webrtc), "rtpbin");
    if (!rtpbin)
        return false;
    GstElement* element = nullptr;
    // One session: every stream is bundled on one transport. The session
    // element, not its internal object, tells of its statistics.
    g_signal_emit_by_name(rtpbin, "get-session", 0u, &element);
    GObject* session = G_OBJECT(element);
    gst_object_unref(rtpbin);
    if (!session)
        return false;
    if (!g_object_class_find_property(G_OBJECT_GET_CLASS(session), "twcc-stats")) {
        g_object_unref(session);
        return false;
    }
    m_session = session;
    m_handler = g_signal_connect_data(
        session, "notify::twcc-stats",
        G_CALLBACK(+[](GObject* object, GParamSpec*, gpointer data) {
            GstStructure* stats = nullptr;
            g_object_get(object, "twcc-stats", &stats, nullptr);
            TwccReport report;
            const bool ok = parse(stats, report);
            if (stats)
                gst_structure_free(stats);
            if (!ok)
                return;
            auto* link = static_cast<Link*>(data);
            auto onReport = link->onReport;
            link->gate->post([onReport, report] { onReport(report); });
        }),
        new Link{m_gate, m_onReport}, [](gpointer data, GClosure*) { delete static_cast<Link*>(data); },
        GConnectFlags(0));
    return true;
}

} // namespace talvora::media
