#include "ActiveSpeaker.h"

namespace talvora::zhumu {
namespace {

// Janus's talking threshold is around -40 dBov: a voice it reports is at
// least that loud.
constexpr double kTalkingDbfs = -35.0;
constexpr double kSilent = -120.0;

} // namespace

ActiveSpeaker::ActiveSpeaker(QObject* parent) : QObject(parent) {}

void ActiveSpeaker::setLevel(qint64 id, double dbfs, qint64 nowMs)
{
    Voice& voice = m_voices[id];
    voice.level = dbfs;
    voice.levelKnown = true;
    update(nowMs);
}

void ActiveSpeaker::setTalking(qint64 id, bool talking, qint64 nowMs)
{
    m_voices[id].talking = talking;
    update(nowMs);
}

void ActiveSpeaker::remove(qint64 id, qint64 nowMs)
{
    m_voices.remove(id);
    if (m_challenger == id)
        m_challenger = 0;
    if (m_speaker == id) {
        m_speaker = 0;
        emit speakerChanged(0);
    }
    update(nowMs);
}

double ActiveSpeaker::loudness(qint64 id) const
{
    const auto it = m_voices.constFind(id);
    if (it == m_voices.constEnd())
        return kSilent;
    double level = it->levelKnown ? it->level : kSilent;
    if (it->talking && !it->levelKnown)
        level = kTalkingDbfs;
    return level < kSilenceDbfs ? kSilent : level;
}

void ActiveSpeaker::update(qint64 nowMs)
{
    qint64 loudest = 0;
    double loudestLevel = kSilent;
    for (auto it = m_voices.constBegin(); it != m_voices.constEnd(); ++it) {
        const double level = loudness(it.key());
        // Ties keep the smaller id, so that the choice does not depend on
        // the hash's order.
        if (level > loudestLevel || (level == loudestLevel && level > kSilent && it.key() < loudest)) {
            loudest = it.key();
            loudestLevel = level;
        }
    }
    const bool leads = loudest != 0 && loudest != m_speaker &&
                       (m_speaker == 0 || loudestLevel >= loudness(m_speaker) + kMarginDb);
    if (!leads) {
        m_challenger = 0;
        return;
    }
    if (m_challenger != loudest) {
        m_challenger = loudest;
        m_challengerSince = nowMs;
        return;
    }
    if (nowMs - m_challengerSince <= kHoldMs)
        return;
    m_speaker = loudest;
    m_challenger = 0;
    emit speakerChanged(m_speaker);
}

} // namespace talvora::zhumu
