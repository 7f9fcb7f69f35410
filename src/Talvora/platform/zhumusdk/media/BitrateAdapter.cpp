#include "BitrateAdapter.h"

#include <QtMath>

namespace talvora::media {
namespace {

constexpr double kFloorKbps = 60;
// Too few packets in a second say nothing about the loss.
constexpr quint64 kMinPackets = 10;

} // namespace

BitrateAdapter::BitrateAdapter(const VideoStep& full)
    : m_full(full), m_step(full), m_estimateKbps(full.kbps)
{
}

VideoStep BitrateAdapter::stepFor(double kbps) const
{
    VideoStep step = m_full;
    const double share = kbps / qMax(1, m_full.kbps);
    // Even sizes: the encoder's chroma planes are halves.
    auto scaled = [](int size, int divisor) { return qMax(16, (size / divisor) & ~1); };
    if (share < 0.3) {
        step.width = scaled(m_full.width, 4);
        step.height = scaled(m_full.height, 4);
        step.fps = qMin(m_full.fps, 10);
    } else if (share < 0.7) {
        step.width = scaled(m_full.width, 2);
        step.height = scaled(m_full.height, 2);
        step.fps = qMin(m_full.fps, share < 0.45 ? 15 : m_full.fps);
    }
    step.kbps = int(qBound(kFloorKbps, kbps, double(m_full.kbps)));
    return step;
}

bool BitrateAdapter::update(quint64 packetsSent, qint64 packetsLost, double rttMs)
{
    if (!m_primed || packetsSent < m_sent) {
        m_primed = true;
        m_sent = packetsSent;
        m_lost = packetsLost;
        return false;
    }
    const quint64 sent = packetsSent - m_sent;
    if (sent < kMinPackets)
        return false;
    const double loss = qBound(0.0, double(packetsLost - m_lost) / double(sent), 1.0);
    m_sent = packetsSent;
    m_lost = packetsLost;
    m_lastLoss = loss;
    ++m_quietSeconds;
    if (loss > 0.10) {
        m_estimateKbps *= 1.0 - 0.5 * loss;
        m_quietSeconds = 0;
    } else if (loss < 0.02 && m_quietSeconds >= 1 && (rttMs < 0 || rttMs < 1000)) {
        m_estimateKbps *= 1.2;
    }
    m_estimateKbps = qBound(kFloorKbps, m_estimateKbps, double(m_full.kbps));
    const VideoStep next = stepFor(m_estimateKbps);
    // The rate follows every change; the picture only a change of step.
    const bool changed = !(next == m_step);
    m_step = next;
    return changed;
}

bool BitrateAdapter::limit(double kbps)
{
    if (kbps >= m_estimateKbps)
        return false;
    m_estimateKbps = qMax(kFloorKbps, kbps);
    m_quietSeconds = -1; // the next second counts as the cut's own
    const VideoStep next = stepFor(m_estimateKbps);
    const bool changed = !(next == m_step);
    m_step = next;
    return changed;
}

} // namespace talvora::media
