#include "JanusRtpSession.h"

#include <gst/gst.h>
#include <gst/rtp/gstrtcpbuffer.h>

#include <cstring>

namespace talvora::media {
namespace {

constexpr int kVideoClockRate = 90000;
// Janus keeps nothing for retransmission until a receiver report has told
// it the round trip. GStreamer's session sends a full report, with report
// blocks, only so often (5 s apart at the least by default), and each
// early packet carrying a NACK or transport feedback puts the next one
// off: a subscriber's round trip went unknown for whole meetings, and
// Janus retransmitted nothing to it. A report every half second keeps the
// round trip known, for some 60 bytes each.
constexpr guint64 kReportEveryMs = 500;

bool isFeedback(GstRTCPPacket* packet, GstRTCPType type, GstRTCPFBType format)
{
    return gst_rtcp_packet_get_type(packet) == type && gst_rtcp_packet_fb_get_type(packet) == format;
}

// The source a NACK or PLI asks about; 0 for other packets.
guint32 requestedSource(GstRTCPPacket* packet)
{
    if (isFeedback(packet, GST_RTCP_TYPE_RTPFB, GST_RTCP_RTPFB_TYPE_NACK) ||
        isFeedback(packet, GST_RTCP_TYPE_PSFB, GST_RTCP_PSFB_TYPE_PLI))
        return gst_rtcp_packet_fb_get_media_ssrc(packet);
    return 0;
}

// The source a FIR asks for a key frame of, from its first entry; 0 when
// the packet is no FIR.
guint32 firSource(GstRTCPPacket* packet)
{
    if (!isFeedback(packet, GST_RTCP_TYPE_PSFB, GST_RTCP_PSFB_TYPE_FIR) ||
        gst_rtcp_packet_fb_get_fci_length(packet) < 2)
        return 0;
    return GST_READ_UINT32_BE(gst_rtcp_packet_fb_get_fci(packet));
}

guint32 blockSource(GstRTCPPacket* report, guint index)
{
    guint32 ssrc = 0;
    gst_rtcp_packet_get_rb(report, index, &ssrc, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return ssrc;
}

// GStreamer reads report blocks but cannot write them, so they are
// swapped in place: 24 bytes each, after the header and the reporter's
// SSRC, and after the sender info in a sender report.
void swapBlocks(GstRTCPPacket* report, guint a, guint b)
{
    constexpr gsize kBlock = 24;
    const gsize first = report->offset + 8 + (gst_rtcp_packet_get_type(report) == GST_RTCP_TYPE_SR ? 20 : 0);
    guint8* data = report->rtcp->map.data;
    guint8 held[kBlock];
    memcpy(held, data + first + a * kBlock, kBlock);
    memmove(data + first + a * kBlock, data + first + b * kBlock, kBlock);
    memcpy(data + first + b * kBlock, held, kBlock);
}

// Which report block should lead: the requested source's, or else the
// video's with the most packets; -1 for none.
int leadingBlock(GstRTCPPacket* report, guint32 requested, const JanusRtpSession::Lookup& lookup)
{
    const guint count = gst_rtcp_packet_get_rb_count(report);
    int best = -1;
    uint64_t most = 0;
    for (guint i = 0; i < count; ++i) {
        const guint32 ssrc = blockSource(report, i);
        if (requested) {
            if (ssrc == requested)
                return int(i);
            continue;
        }
        const JanusRtpSession::Source source = lookup(ssrc);
        if (source.clockRate == kVideoClockRate && (best < 0 || source.packetsReceived > most)) {
            best = int(i);
            most = source.packetsReceived;
        }
    }
    return best;
}

} // namespace

bool JanusRtpSession::reorder(GstBuffer* compound, const Lookup& lookup)
{
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    if (!compound || !gst_buffer_is_writable(compound) || !gst_rtcp_buffer_map(compound, GST_MAP_READWRITE, &rtcp))
        return false;
    GstRTCPPacket packet;
    bool changed = false;
    guint32 requested = 0, sender = 0, keyFrameOf = 0;
    for (bool more = gst_rtcp_buffer_get_first_packet(&rtcp, &packet); more;) {
        const guint32 fir = firSource(&packet);
        const guint32 source = requestedSource(&packet);
        const bool audioNack = source && gst_rtcp_packet_get_type(&packet) == GST_RTCP_TYPE_RTPFB &&
                               lookup(source).clockRate != kVideoClockRate;
        if (fir || audioNack) {
            if (fir) {
                keyFrameOf = fir;
                sender = gst_rtcp_packet_fb_get_sender_ssrc(&packet);
            }
            more = gst_rtcp_packet_remove(&packet);
            changed = true;
            continue;
        }
        if (!requested)
            requested = source;
        more = gst_rtcp_packet_move_to_next(&packet);
    }
    if (keyFrameOf && gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_PSFB, &packet)) {
        gst_rtcp_packet_fb_set_type(&packet, GST_RTCP_PSFB_TYPE_PLI);
        gst_rtcp_packet_fb_set_sender_ssrc(&packet, sender);
        gst_rtcp_packet_fb_set_media_ssrc(&packet, keyFrameOf);
        if (!requested)
            requested = keyFrameOf;
    }
    if (gst_rtcp_buffer_get_first_packet(&rtcp, &packet) &&
        (gst_rtcp_packet_get_type(&packet) == GST_RTCP_TYPE_RR ||
         gst_rtcp_packet_get_type(&packet) == GST_RTCP_TYPE_SR)) {
        const int lead = leadingBlock(&packet, requested, lookup);
        if (lead > 0) {
            swapBlocks(&packet, 0, guint(lead));
            changed = true;
        }
    }
    gst_rtcp_buffer_unmap(&rtcp);
    return changed;
}

namespace {

// What the session knows of a remote source. The session calls its
// "on-sending-rtcp" handlers unlocked, so it may be asked.
JanusRtpSession::Source describe(GObject* session, guint32 ssrc)
{
    JanusRtpSession::Source described;
    GObject* source = nullptr;
    g_signal_emit_by_name(session, "get-source-by-ssrc", ssrc, &source);
    if (!source)
        return described;
    GstStructure* stats = nullptr;
    g_object_get(source, "stats", &stats, nullptr);
    g_object_unref(source);
    if (!stats)
        return described;
    guint64 packets = 0;
    gst_structure_get_int(stats, "clock-rate", &described.clockRate);
    if (gst_structure_get_uint64(stats, "packets-received", &packets))
        described.packetsReceived = packets;
    gst_structure_free(stats);
    return described;
}

} // namespace

void JanusRtpSession::applyTo(GstElement* pipeline)
{
    g_signal_connect(
        pipeline, "deep-element-added",
        G_CALLBACK(+[](GstBin*, GstBin*, GstElement* element, gpointer) {
            GstElementFactory* factory = gst_element_get_factory(element);
            if (!factory || !g_str_equal(GST_OBJECT_NAME(factory), "rtpsession"))
                return;
            GObject* session = nullptr;
            g_object_get(element, "internal-session", &session, nullptr);
            if (!session)
                return;
            // Janus's retransmissions come from a source of their own, a
            // packet now and then, and the session's probation (a new
            // source counts once two of its packets came in sequence) let
            // only a third of them through at 20 % loss. SRTP
            // authenticates every packet, so no stray source gets in.
            g_object_set(session, "rtcp-min-interval", guint64(kReportEveryMs * GST_MSECOND), "probation", 0u,
                         nullptr);
            g_signal_connect(session, "on-sending-rtcp",
                             G_CALLBACK(+[](GObject* session, GstBuffer* buffer, gboolean, gpointer) -> gboolean {
                                 reorder(buffer, [session](uint32_t ssrc) { return describe(session, ssrc); });
                                 // Whether a packet may be left out stays
                                 // the session's choice.
                                 return FALSE;
                             }),
                             nullptr);
            g_object_unref(session);
        }),
        nullptr);
}

} // namespace talvora::media
