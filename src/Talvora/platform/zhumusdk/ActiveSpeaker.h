#pragma once
// Who the speaker view shows large: the participant who has been the
// loudest for more than a second. A challenger must stay louder than the
// current speaker by a margin for that whole second, so short bursts
// (a cough, a laugh, a word in between) and two voices of about the same
// level do not flip the view back and forth. Nobody talking keeps the last
// speaker.
//
// Levels come in dBFS (the engine's audioLevel), talking as Janus reports
// it; a participant reported talking whose level is unknown counts as
// speaking at an ordinary level. Time is passed in by the caller (a
// monotonic clock in milliseconds), so that the rules are tested without
// waiting.

#include <QHash>
#include <QObject>

namespace talvora::zhumu {

class ActiveSpeaker : public QObject
{
    Q_OBJECT

public:
    // How long a challenger must lead, and by how much.
    static constexpr qint64 kHoldMs = 1000;
    static constexpr double kMarginDb = 3.0;
    // Quieter than this is nobody speaking (background noise).
    static constexpr double kSilenceDbfs = -50.0;

    explicit ActiveSpeaker(QObject* parent = nullptr);

    void setLevel(qint64 id, double dbfs, qint64 nowMs);
    void setTalking(qint64 id, bool talking, qint64 nowMs);
    // Gone from the meeting: no longer a candidate, nor the speaker.
    void remove(qint64 id, qint64 nowMs);
    // Looks again without new input (a challenger's second may be over).
    void update(qint64 nowMs);

    // 0 until somebody has spoken.
    qint64 speaker() const { return m_speaker; }

signals:
    void speakerChanged(qint64 id);

private:
    struct Voice
    {
        double level = -120.0;
        bool levelKnown = false;
        bool talking = false;
    };
    double loudness(qint64 id) const;

    QHash<qint64, Voice> m_voices;
    qint64 m_speaker = 0;
    qint64 m_challenger = 0;
    qint64 m_challengerSince = 0;
};

} // namespace talvora::zhumu
