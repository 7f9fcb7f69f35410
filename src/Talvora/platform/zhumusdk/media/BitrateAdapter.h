#pragma once
// How much video the network carries, judged once a second from what the
// receiver reports of the publisher's video (RTCP receiver reports, seen
// through webrtcbin's statistics): the share of packets lost and the round
// trip. Loss above 10 % cuts the rate in proportion, loss under 2 % lets it
// grow by 20 % a second, in between it holds (the loss-based half of
// Google's congestion control). The rate then picks a picture: smaller and
// slower pictures when the rate will not carry the full one, back to it
// when it will. Audio is never touched: it is small and goes first.
//
// Pure logic, no GStreamer: the publisher feeds it and applies the step.

#include <QtGlobal>

namespace talvora::media {

struct VideoStep
{
    int width = 0;
    int height = 0;
    int fps = 0;
    int kbps = 0;
    bool operator==(const VideoStep& other) const
    {
        return width == other.width && height == other.height && fps == other.fps && kbps == other.kbps;
    }
};

class BitrateAdapter
{
public:
    // full: the configured picture and its rate, the ceiling.
    explicit BitrateAdapter(const VideoStep& full);

    // Cumulative counters of the publisher's video: packets sent, and
    // packets the receiver reports lost. Returns true when the step changed.
    bool update(quint64 packetsSent, qint64 packetsLost, double rttMs);

    // A ceiling from the delay-based estimate (CongestionEstimator): the
    // rate comes down to it at once and grows again only after a quiet
    // second. Returns true when the step changed.
    bool limit(double kbps);

    const VideoStep& step() const { return m_step; }
    int estimateKbps() const { return int(m_estimateKbps); }
    double lastLoss() const { return m_lastLoss; }

    // The picture for a rate: full size from 70 % of the full rate, half
    // size from 30 %, a quarter below, with fewer frames at the bottom.
    VideoStep stepFor(double kbps) const;

private:
    VideoStep m_full;
    VideoStep m_step;
    double m_estimateKbps;
    quint64 m_sent = 0;
    qint64 m_lost = 0;
    bool m_primed = false;
    double m_lastLoss = 0;
    int m_quietSeconds = 0; // since the last cut: no growth right after one
};

} // namespace talvora::media
