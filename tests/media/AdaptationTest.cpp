// How the sender's video follows the network (BitrateAdapter), and the
// back-off between reconnection attempts.

#include "BitrateAdapter.h"
#include "NetworkWatch.h"

#include <gtest/gtest.h>

using talvora::media::BitrateAdapter;
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
