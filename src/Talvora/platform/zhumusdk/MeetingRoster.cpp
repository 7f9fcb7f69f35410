#include "MeetingRoster.h"

namespace talvora::zhumu {
namespace {

bool sameState(const media::Participant& a, const media::Participant& b)
{
    return a.id == b.id && a.displayName == b.displayName && a.self == b.self && a.host == b.host &&
           a.audioMuted == b.audioMuted && a.videoOff == b.videoOff;
}

} // namespace

MeetingRoster::MeetingRoster(media::MeetingEngine* engine, const media::Participant& self, QObject* parent)
    : QObject(parent), m_self(self)
{
    m_self.self = true;
    connect(engine, &media::MeetingEngine::joined, this, &MeetingRoster::onJoined);
    connect(engine, &media::MeetingEngine::participantJoined, this, &MeetingRoster::upsert);
    connect(engine, &media::MeetingEngine::participantChanged, this, &MeetingRoster::upsert);
    connect(engine, &media::MeetingEngine::participantLeft, this, &MeetingRoster::remove);
    connect(engine, &media::MeetingEngine::talking, this, &MeetingRoster::setTalking);
}

const media::Participant* MeetingRoster::find(qint64 id) const
{
    const int index = indexOf(id);
    return index < 0 ? nullptr : &m_people[index];
}

QVector<qint64> MeetingRoster::talking() const
{
    QVector<qint64> ids;
    // In roster order, so that the list does not depend on hashing.
    for (const media::Participant& person : m_people) {
        if (m_talking.contains(person.id))
            ids.push_back(person.id);
    }
    return ids;
}

void MeetingRoster::setSelfAudioMuted(bool muted)
{
    m_self.audioMuted = muted;
    if (const media::Participant* self = find(m_selfId)) {
        media::Participant now = *self;
        now.audioMuted = muted;
        upsert(now);
    }
}

void MeetingRoster::setSelfVideoOff(bool off)
{
    m_self.videoOff = off;
    if (const media::Participant* self = find(m_selfId)) {
        media::Participant now = *self;
        now.videoOff = off;
        upsert(now);
    }
}

void MeetingRoster::onJoined(qint64 selfId)
{
    if (m_joined)
        return;
    m_joined = true;
    // The engine may already have reported itself as a participant.
    if (m_selfId == 0 || m_selfId == selfId) {
        m_selfId = selfId;
        if (!find(selfId)) {
            media::Participant self = m_self;
            self.id = selfId;
            upsert(self);
        }
    }
}

void MeetingRoster::upsert(media::Participant participant)
{
    if (participant.self && m_selfId == 0)
        m_selfId = participant.id;
    if (participant.id == m_selfId && m_selfId != 0) {
        participant.self = true;
        participant.host = participant.host || m_self.host;
        if (participant.displayName.isEmpty())
            participant.displayName = m_self.displayName;
    } else {
        // Only this participant is "me", whatever a remote report says.
        participant.self = false;
    }

    const int index = indexOf(participant.id);
    if (index >= 0) {
        const media::Participant before = m_people[index];
        if (sameState(before, participant))
            return;
        m_people[index] = participant;
        emit changed(before, participant);
        return;
    }
    if (participant.self)
        m_people.prepend(participant);
    else
        m_people.push_back(participant);
    emit added(participant);
}

void MeetingRoster::remove(qint64 id)
{
    const int index = indexOf(id);
    if (index < 0)
        return;
    setTalking(id, false);
    const media::Participant gone = m_people.takeAt(index);
    emit removed(gone);
}

void MeetingRoster::setTalking(qint64 id, bool talking)
{
    if (indexOf(id) < 0 && talking)
        return;
    if (talking == m_talking.contains(id))
        return;
    if (talking)
        m_talking.insert(id);
    else
        m_talking.remove(id);
    emit talkingChanged(id, talking);
}

int MeetingRoster::indexOf(qint64 id) const
{
    for (int i = 0; i < m_people.size(); ++i) {
        if (m_people[i].id == id)
            return i;
    }
    return -1;
}

} // namespace talvora::zhumu
