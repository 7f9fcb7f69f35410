// How the sender's video follows the network (BitrateAdapter, and the
// delay-based CongestionEstimator), how a receiver's RTCP names its video
// for Janus (JanusRtpSession), the ICE restart's credentials and verdict,
// and the back-off between reconnection attempts.

#include "BitrateAdapter.h"
#include "CongestionEstimator.h"
#include "IceRestart.h"
#include "NetworkWatch.h"
#include "JanusRtpSession.h"

#include <gst/rtp/gstrtcpbuffer.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using talvora::media::BitrateAdapter;
using talvora::media::CongestionEstimator;
using talvora::media::TwccReport;
using talvora::media::ReconnectBackoff;
using talvora::media::JanusRtpSession;
using talvora::media::VideoStep;

namespace {

const VideoStep kFull{640, 360, 30, 600};

// One second of video: `packets` sent, `loss` of them reported lost.
struct Link
{
    BitrateAdapter adapter{kFull};
    quint64 sent = 0;
    qint64 lost = 0;

    void seconds(int count, double loss, int packets = 100)
    {
        for (int i = 0; i < count; ++i) {
            sent += quint64(packets);
            lost += qint64(packets * loss);
            adapter.update(sent, lost, 100);
        }
    }
};

TEST(BitrateAdapter, HeavyLossStepsDownAndAClearLinkBringsFullSizeBackWithin15Seconds)
{
    Link link;
    link.seconds(1, 0); // primes the counters
    EXPECT_EQ(link.adapter.step(), kFull);

    link.seconds(20, 0.20);
    const VideoStep low = link.adapter.step();
    EXPECT_LT(low.kbps, 100);
    EXPECT_GE(low.kbps, 60); // never below the floor
    EXPECT_EQ(low.width, 160);
    EXPECT_EQ(low.height, 90);
    EXPECT_LE(low.fps, 10);

    int seconds = 0;
    while (!(link.adapter.step() == kFull) && seconds < 30) {
        link.seconds(1, 0);
        ++seconds;
    }
    EXPECT_LE(seconds, 15);
}

TEST(BitrateAdapter, ModerateLossHoldsTheRate)
{
    Link link;
    link.seconds(1, 0);
    link.seconds(10, 0.05);
    EXPECT_EQ(link.adapter.step(), kFull); // FEC and retransmission carry 5 %
    link.seconds(3, 0.30);
    const int cut = link.adapter.estimateKbps();
    EXPECT_LT(cut, 600);
    link.seconds(10, 0.05);
    EXPECT_EQ(link.adapter.estimateKbps(), cut);
}

TEST(BitrateAdapter, PicturesForRates)
{
    const BitrateAdapter adapter(kFull);
    EXPECT_EQ(adapter.stepFor(600), kFull);
    EXPECT_EQ(adapter.stepFor(300), (VideoStep{320, 180, 30, 300}));
    EXPECT_EQ(adapter.stepFor(200), (VideoStep{320, 180, 15, 200}));
    EXPECT_EQ(adapter.stepFor(10), (VideoStep{160, 90, 10, 60}));
    EXPECT_EQ(adapter.stepFor(5000).kbps, 600);
}

// Reports in sequence, each with the verdict it must give.
struct ReportCase
{
    const char* what;
    qint64 atMs;
    double sentKbps, receivedKbps, delayGrowthMs, lossPercent;
    int packets;
    double videoKbps; // below zero: no cut
    int pauseMs;
};

TEST(CongestionEstimator, CutsToWhatArrivesHoldsThenJudgesAgain)
{
    const ReportCase cases[] = {
        {"a clear link", 0, 100, 99, 0.2, 0, 16, -1, 0},
        {"too few packets to judge", 300, 100, 20, 9, 0, 4, -1, 0},
        {"random loss of 20 %: the loss half's business", 450, 100, 80, 0.1, 20, 12, -1, 0},
        {"one report short, delay steady: a lost key-frame packet", 500, 108, 84, -0.1, 7.7, 18, -1, 0},
        {"the link carries 72 %: down to it, less the audio", 600, 102, 73, 4.8, 0, 12, 0.85 * 73 - 50, 0},
        {"still congested while the queue drains: held", 900, 97, 62, 6.5, 0, 12, -1, 0},
        {"held until a second has passed", 1500, 97, 62, 6.5, 0, 12, -1, 0},
        {"a second on, a third missing against 10 % loss: cut again", 1600, 90, 60, 0.5, 10, 12, 0.85 * 60 - 50, 0},
        {"one report of growing delay: a burst", 2700, 100, 100, 4, 0, 12, -1, 0},
        {"two in a row: a queue", 3000, 100, 100, 4, 0, 12, 0.85 * 100 - 50, 0},
        {"a third: held", 3300, 100, 100, 4, 0, 12, -1, 0},
        {"jitter under the threshold is no queue", 4000, 100, 100, 2, 0, 12, -1, 0},
        {"jitter under the threshold is no queue", 4300, 100, 100, 2.5, 0, 12, -1, 0},
        {"the link carries under 60 %: the video pauses", 4400, 300, 120, 9, 0, 30, 0.85 * 120 - 50, 400},
        {"an outage just over: less arrives, but no queue to drain", 5500, 100, 40, 1, 0, 12, 0, 0},
    };
    CongestionEstimator estimator(50);
    TwccReport startUp;
    startUp.sentKbps = 100;
    startUp.receivedKbps = 30; // sent before the transport was up
    startUp.packetsSent = 16;
    EXPECT_LT(estimator.update(startUp, -2000).videoKbps, 0);
    EXPECT_LT(estimator.update(startUp, -100).videoKbps, 0);
    for (const ReportCase& c : cases) {
        TwccReport report;
        report.sentKbps = c.sentKbps;
        report.receivedKbps = c.receivedKbps;
        report.delayGrowthMs = c.delayGrowthMs;
        report.lossPercent = c.lossPercent;
        report.packetsSent = c.packets;
        const CongestionEstimator::Verdict verdict = estimator.update(report, c.atMs);
        EXPECT_NEAR(verdict.videoKbps, c.videoKbps, 0.01) << c.what;
        EXPECT_EQ(verdict.pauseVideoMs, c.pauseMs) << c.what;
    }
}

TEST(BitrateAdapter, ADelayCeilingCutsAtOnceAndGrowthWaitsAQuietSecond)
{
    Link link;
    link.seconds(1, 0);
    EXPECT_FALSE(link.adapter.limit(700)); // above the estimate: nothing
    EXPECT_TRUE(link.adapter.limit(12));
    EXPECT_EQ(link.adapter.step(), (VideoStep{160, 90, 10, 60}));
    link.seconds(1, 0);
    EXPECT_EQ(link.adapter.estimateKbps(), 60); // no growth right after a cut
    link.seconds(1, 0);
    EXPECT_EQ(link.adapter.estimateKbps(), 72);
}

TEST(IceRestart, FreshCredentialsReplaceEveryOldOne)
{
    using namespace talvora::media;
    const QString sdp = QStringLiteral("v=0\r\na=ice-options:trickle\r\nm=audio 9 UDP/TLS/RTP/SAVPF 111\r\n"
                                       "a=ice-ufrag:old1\r\na=ice-pwd:oldpasswordoldpassword12\r\n"
                                       "m=video 9 UDP/TLS/RTP/SAVPF 96\r\na=ice-ufrag:old1\r\n"
                                       "a=ice-pwd:oldpasswordoldpassword12\r\na=mid:1\r\n");
    EXPECT_EQ(IceRestart::credentialsOf(sdp), (IceCredentials{"old1", "oldpasswordoldpassword12"}));
    EXPECT_TRUE(IceRestart::credentialsOf(QStringLiteral("v=0\r\n")).isEmpty());

    const IceCredentials fresh = IceRestart::freshCredentials();
    EXPECT_GE(fresh.ufrag.size(), 4);
    EXPECT_GE(fresh.pwd.size(), 22);
    EXPECT_NE(fresh, IceRestart::freshCredentials());
    const QString restarted = IceRestart::withCredentials(sdp, fresh);
    EXPECT_EQ(IceRestart::credentialsOf(restarted), fresh);
    EXPECT_FALSE(restarted.contains(QLatin1String("old1")));
    EXPECT_EQ(restarted.count(QLatin1String("a=ice-ufrag:") + fresh.ufrag), 2);
    EXPECT_TRUE(restarted.endsWith(QLatin1String("a=mid:1\r\n"))); // the rest as it was
}

TEST(IceRestartRound, BackWhenTheServerAnsweredAndMediaComesIn)
{
    using talvora::media::IceRestartRound;
    using Packets = QHash<qint64, quint64>;
    struct Case
    {
        const char* what;
        bool answered;
        Packets expected; // at the restart
        Packets now;
        qint64 atMs;
        bool back;
    };
    const Case cases[] = {
        {"no answer: the signalling is dead too", false, {{7, 100}}, {{7, 150}}, 500, false},
        {"answered, nothing heard yet", true, {{7, 100}, {8, 40}}, {{7, 100}, {8, 40}}, 1500, false},
        {"answered, one of two heard again", true, {{7, 100}, {8, 40}}, {{7, 100}, {8, 41}}, 300, true},
        {"a subscription made since counts for nothing", true, {{7, 100}}, {{7, 100}, {9, 500}}, 1500, false},
        {"nobody sends: the answer and a second", true, {}, {}, 1000, true},
        {"nobody sends: not before the second", true, {}, {}, 900, false},
        {"the one expected now sends nothing", true, {{7, 100}}, {}, 1000, true},
    };
    for (const Case& c : cases) {
        IceRestartRound round;
        round.begin(0);
        for (auto it = c.expected.constBegin(); it != c.expected.constEnd(); ++it)
            round.expect(it.key(), it.value());
        if (c.answered)
            round.answered();
        EXPECT_EQ(round.succeeded(c.now, c.atMs), c.back) << c.what;
    }
}

TEST(ReconnectBackoff, DoublesUpToTenSeconds)
{
    ReconnectBackoff backoff;
    std::vector<int> delays;
    for (int i = 0; i < 7; ++i)
        delays.push_back(backoff.next());
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 10000, 10000, 10000}));
    backoff.reset();
    EXPECT_EQ(backoff.next(), 1000);
}

// A subscription's sources: the audio (48 kHz), the picture and its
// retransmissions (both 90 kHz; the picture has far more packets).
constexpr guint32 kAudio = 0xA0D10, kVideo = 0x51DE0, kRtx = 0x7E7E0, kSelf = 0x5E1F;

JanusRtpSession::Source lookUp(uint32_t ssrc)
{
    static const std::map<uint32_t, JanusRtpSession::Source> known{
        {kAudio, {48000, 900}}, {kVideo, {90000, 600}}, {kRtx, {90000, 12}}};
    const auto found = known.find(ssrc);
    return found == known.end() ? JanusRtpSession::Source{} : found->second;
}

// A compound packet: a receiver report with blocks for `blocks`, then the
// feedback `feedback` lists as "nack:SSRC", "pli:SSRC" or "fir:SSRC".
GstBuffer* compound(const std::vector<guint32>& blocks, const std::vector<std::pair<std::string, guint32>>& feedback)
{
    GstBuffer* buffer = gst_rtcp_buffer_new(1400);
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    gst_rtcp_buffer_map(buffer, GST_MAP_READWRITE, &rtcp);
    GstRTCPPacket packet;
    gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_RR, &packet);
    gst_rtcp_packet_rr_set_ssrc(&packet, kSelf);
    for (guint32 ssrc : blocks)
        gst_rtcp_packet_add_rb(&packet, ssrc, 3, 7, 1000 + ssrc % 100, 40, 0x1234, 0x99);
    for (const auto& [kind, ssrc] : feedback) {
        const bool nack = kind == "nack";
        gst_rtcp_buffer_add_packet(&rtcp, nack ? GST_RTCP_TYPE_RTPFB : GST_RTCP_TYPE_PSFB, &packet);
        gst_rtcp_packet_fb_set_sender_ssrc(&packet, kSelf);
        gst_rtcp_packet_fb_set_type(&packet, nack ? GST_RTCP_RTPFB_TYPE_NACK
                                             : kind == "pli" ? GST_RTCP_PSFB_TYPE_PLI
                                                             : GST_RTCP_PSFB_TYPE_FIR);
        if (kind == "fir") {
            gst_rtcp_packet_fb_set_fci_length(&packet, 2);
            GST_WRITE_UINT32_BE(gst_rtcp_packet_fb_get_fci(&packet), ssrc);
            gst_rtcp_packet_fb_get_fci(&packet)[4] = 1;
        } else {
            gst_rtcp_packet_fb_set_media_ssrc(&packet, ssrc);
            if (nack) {
                gst_rtcp_packet_fb_set_fci_length(&packet, 1);
                GST_WRITE_UINT32_BE(gst_rtcp_packet_fb_get_fci(&packet), 0x00450000);
            }
        }
    }
    gst_rtcp_buffer_unmap(&rtcp);
    return buffer;
}

// The packet as text: "rr:SSRC,SSRC nack:SSRC pli:SSRC fir:SSRC", each
// report block checked to have kept its own figures.
std::string describe(GstBuffer* buffer)
{
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    gst_rtcp_buffer_map(buffer, GST_MAP_READ, &rtcp);
    std::string text;
    GstRTCPPacket packet;
    for (bool more = gst_rtcp_buffer_get_first_packet(&rtcp, &packet); more;
         more = gst_rtcp_packet_move_to_next(&packet)) {
        const GstRTCPType type = gst_rtcp_packet_get_type(&packet);
        if (type == GST_RTCP_TYPE_RR) {
            text += "rr:";
            for (guint i = 0; i < gst_rtcp_packet_get_rb_count(&packet); ++i) {
                guint32 ssrc, highest, jitter, lsr, dlsr;
                guint8 fraction;
                gint32 lost;
                gst_rtcp_packet_get_rb(&packet, i, &ssrc, &fraction, &lost, &highest, &jitter, &lsr, &dlsr);
                const bool intact = fraction == 3 && lost == 7 && highest == 1000 + ssrc % 100 && jitter == 40 &&
                                    lsr == 0x1234 && dlsr == 0x99;
                text += (i ? "," : "") + std::to_string(ssrc) + (intact ? "" : "(altered)");
            }
        } else {
            const GstRTCPFBType format = gst_rtcp_packet_fb_get_type(&packet);
            text += type == GST_RTCP_TYPE_RTPFB ? "nack:" : format == GST_RTCP_PSFB_TYPE_PLI ? "pli:" : "fir:";
            text += std::to_string(gst_rtcp_packet_fb_get_media_ssrc(&packet));
            if (gst_rtcp_packet_fb_get_sender_ssrc(&packet) != kSelf)
                text += "(wrong sender)";
        }
        text += ' ';
    }
    gst_rtcp_buffer_unmap(&rtcp);
    return text;
}

struct OrderCase
{
    const char* what;
    std::vector<guint32> blocks;
    std::vector<std::pair<std::string, guint32>> feedback;
    std::string expected; // empty: left as it was
};

TEST(JanusRtpSession, JanusReadsTheVideoFirstAndGetsKeyFrameRequestsItPassesOn)
{
    gst_init(nullptr, nullptr);
    const auto n = [](guint32 ssrc) { return std::to_string(ssrc); };
    const std::vector<OrderCase> cases{
        {"a report leads with the picture, not its retransmissions or the audio",
         {kAudio, kRtx, kVideo},
         {},
         "rr:" + n(kVideo) + "," + n(kRtx) + "," + n(kAudio) + " "},
        {"an early FIR behind a blockless report becomes a PLI for the same picture",
         {},
         {{"fir", kVideo}},
         "rr: pli:" + n(kVideo) + " "},
        {"a NACK for the audio leaves, the one for the video leads",
         {kAudio, kVideo},
         {{"nack", kAudio}, {"nack", kVideo}},
         "rr:" + n(kVideo) + "," + n(kAudio) + " nack:" + n(kVideo) + " "},
        {"the requested source leads even where another video source has more packets",
         {kVideo, kAudio, kRtx},
         {{"pli", kRtx}},
         "rr:" + n(kRtx) + "," + n(kAudio) + "," + n(kVideo) + " pli:" + n(kRtx) + " "},
        {"already in order", {kVideo, kAudio}, {{"nack", kVideo}}, ""},
        {"audio alone", {kAudio}, {}, ""},
        {"an unknown source", {0x1111, kAudio}, {}, ""},
    };
    for (const OrderCase& c : cases) {
        GstBuffer* buffer = compound(c.blocks, c.feedback);
        const std::string before = describe(buffer);
        const bool changed = JanusRtpSession::reorder(buffer, lookUp);
        EXPECT_EQ(changed, !c.expected.empty()) << c.what;
        EXPECT_EQ(describe(buffer), c.expected.empty() ? before : c.expected) << c.what;
        gst_buffer_unref(buffer);
    }
}

} // namespace
