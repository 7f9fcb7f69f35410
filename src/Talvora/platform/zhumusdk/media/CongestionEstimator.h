#pragma once
// The delay-based half of the sender's congestion control, judged from each
// transport-wide feedback report (a few a second, long before receiver
// reports show loss): when the link carries clearly less than is sent (and
// less than its random loss explains), or the spacing of the packets grows
// on the way (a queue filling up), the
// video must come down to what arrives, less what the audio needs. Audio
// goes first: when the link carries well under what is sent, the video
// also pauses for a moment, so that the queue drains and the voice gets
// through while the picture steps down.
//
// After a cut it holds for a while: the queue drains and the reports catch
// up with the new rate before anything is judged again. Pure logic, no
// GStreamer.

#include "TransportFeedback.h"

#include <QtGlobal>

namespace talvora::media {

class CongestionEstimator
{
public:
    struct Verdict
    {
        // The video's new ceiling, kbit/s; below zero: no cut.
        double videoKbps = -1;
        // How long to hold the video back so that the audio passes, ms.
        int pauseVideoMs = 0;
        bool operator==(const Verdict& other) const
        {
            return qFuzzyCompare(videoKbps + 1000, other.videoKbps + 1000) && pauseVideoMs == other.pauseVideoMs;
        }
    };

    // audioKbps: what the audio takes on the wire, kept out of the video's share.
    explicit CongestionEstimator(double audioKbps = 50) : m_audioKbps(audioKbps) {}

    Verdict update(const TwccReport& report, qint64 nowMs);
    // Whether the link showed no sign of congestion lately: growth may go on.
    bool clear(qint64 nowMs) const { return m_lastCutMs < 0 || nowMs - m_lastCutMs >= kHoldMs; }

    // Reports with fewer packets say too little.
    static constexpr int kMinPackets = 8;
    // Carried under this share of what is sent: overused.
    static constexpr double kCarriedShare = 0.85;
    // Carried under this share: the video pauses too.
    static constexpr double kSevereShare = 0.6;
    // Mean growth of the packets' spacing that says a queue is building, ms.
    static constexpr double kDelayGrowthMs = 3.0;
    static constexpr int kPauseMs = 400;
    static constexpr int kHoldMs = 1000;
    static constexpr int kWarmUpMs = 2000;

private:
    double m_audioKbps;
    bool m_started = false;
    qint64 m_firstMs = 0;
    qint64 m_lastCutMs = -1;
    int m_growingReports = 0; // in a row
    int m_shortReports = 0;   // in a row
};

} // namespace talvora::media
