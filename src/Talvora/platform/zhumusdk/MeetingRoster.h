#pragma once
// Who is in the meeting, as the engine reports it: this participant first,
// the others in the order they came, and who is talking. The window and the
// SDK's controller events both read it, so that they never disagree.
//
// GUI thread only, like the engine it listens to.

#include "media/MeetingEngine.h"

#include <QObject>
#include <QSet>
#include <QVector>

namespace talvora::zhumu {

class MeetingRoster : public QObject
{
    Q_OBJECT

public:
    // `self` is this participant as it joins (name, host, muted, video off);
    // it enters the roster when the engine has joined, under the engine's id.
    MeetingRoster(media::MeetingEngine* engine, const media::Participant& self, QObject* parent = nullptr);

    const QVector<media::Participant>& participants() const { return m_people; }
    const media::Participant* find(qint64 id) const;
    qint64 selfId() const { return m_selfId; }
    bool isTalking(qint64 id) const { return m_talking.contains(id); }
    QVector<qint64> talking() const;

    // The user's own switches show at once, before the engine reports them.
    void setSelfAudioMuted(bool muted);
    void setSelfVideoOff(bool off);

signals:
    void added(const talvora::media::Participant& participant);
    void changed(const talvora::media::Participant& before, const talvora::media::Participant& now);
    void removed(const talvora::media::Participant& participant);
    void talkingChanged(qint64 id, bool talking);

private:
    void onJoined(qint64 selfId);
    void upsert(media::Participant participant);
    void remove(qint64 id);
    void setTalking(qint64 id, bool talking);
    int indexOf(qint64 id) const;

    media::Participant m_self;
    qint64 m_selfId = 0;
    bool m_joined = false;
    QVector<media::Participant> m_people;
    QSet<qint64> m_talking;
};

} // namespace talvora::zhumu
