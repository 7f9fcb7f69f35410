// How the sender's video follows the network (BitrateAdapter, and the
// delay-based CongestionEstimator), and the back-off between reconnection
// attempts.

#include "BitrateAdapter.h"
#include "CongestionEstimator.h"
#include "NetworkWatch.h"

#include <gtest/gtest.h>

using talvora::media::BitrateAdapter;
using talvora::media::CongestionEstimator;
using talvora::media::TwccReport;
using talvora::media::ReconnectBackoff;
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

} // namespace
