#include "CongestionEstimator.h"

namespace talvora::media {

CongestionEstimator::Verdict CongestionEstimator::update(const TwccReport& report, qint64 nowMs)
{
    Verdict verdict;
    // The first reports of a peer connection count packets sent before its
    // transport was up, and the first key frame's burst.
    if (!m_started) {
        m_started = true;
        m_firstMs = nowMs;
    }
    if (report.packetsSent < kMinPackets || report.sentKbps <= 0 || nowMs - m_firstMs < kWarmUpMs)
        return verdict;
    // Random loss lowers what arrives without a queue anywhere (the loss
    // half of the adapter sees to it): only what is missing beyond the
    // loss says the link carries less than is sent.
    const double carried =
        report.receivedKbps / report.sentKbps / qMax(0.05, 1.0 - report.lossPercent / 100.0);
    // One report of growing delay may be a burst (a key frame); two in a
    // row are a queue. Likewise one report short of what was sent, with no
    // queue behind it, may be a few lost packets that weighed more than
    // their share (a key frame's, in a window of some fifteen packets);
    // two in a row are a link that carries less.
    const bool growing = report.delayGrowthMs > kDelayGrowthMs;
    m_growingReports = growing ? m_growingReports + 1 : 0;
    m_shortReports = carried < kCarriedShare ? m_shortReports + 1 : 0;
    const bool overused = (m_shortReports > 0 && (growing || m_shortReports >= 2)) || m_growingReports >= 2;
    if (!overused || !clear(nowMs))
        return verdict;
    m_lastCutMs = nowMs;
    m_growingReports = 0;
    // What arrives is what the link carries now; the video gets that, less
    // the audio, with room for the queue to drain.
    const double arriving = qMin(report.receivedKbps, report.sentKbps);
    verdict.videoKbps = qMax(0.0, 0.85 * arriving - m_audioKbps);
    // A queue, not an outage just over (whose reports count what was lost
    // while it lasted): the delay grows too.
    if (carried < kSevereShare && report.delayGrowthMs > kDelayGrowthMs)
        verdict.pauseVideoMs = kPauseMs;
    return verdict;
}

} // namespace talvora::media
