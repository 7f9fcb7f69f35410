#pragma once
// The engine's screen shares: this participant's own, published on a second
// VideoRoom handle of the same session, and the one another participant
// publishes, received on a subscription of its own. A share is an ordinary
// publisher whose video stream's description reads "screen share of {id}",
// {id} being its owner's publisher id: a client that knows nothing of it
// (janus.js in a browser) shows it as one more feed with that label.
//
// Threads: the engine's thread.

#include "MeetingEngine.h"
#include "WebRtcPeer.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>

namespace talvora::media {

class JanusSession;
class SharePipeline;
class SubscriberPipeline;

// The feed id under which `owner` publishes its share. The relation is its
// own inverse: given a share's feed id, it names the owner.
qint64 shareFeedOf(qint64 owner);
// The owner named by a publishers entry's share stream, 0 when the entry
// is no share.
qint64 shareOwnerOf(const QJsonObject& publisher);

class ScreenShare : public QObject
{
    Q_OBJECT

public:
    ScreenShare(MeetingEngine* engine, const Admission& admission, const IcePolicy& ice, int jitterBufferMs,
                QObject* parent = nullptr);
    ~ScreenShare() override;

    // Once joined: the session and this participant's ids.
    void setSession(JanusSession* session, qint64 selfId, qint64 privateId);

    void start(const ShareSource& source);
    void stop();
    bool isSharing() const { return m_outgoing.state != Outgoing::Idle; }
    // True for any handle of a share (its candidates and hangups are ours).
    bool ownsHandle(qint64 handle) const;
    void addRemoteCandidate(qint64 handle, const QJsonObject& candidate);
    void onHangup(qint64 handle, const QString& reason);

    // A publishers entry: true when it is a share (ours or another's),
    // which the caller then does not list as a participant.
    bool claim(const QJsonObject& publisher);
    // A share known by its feed id alone (the room's list names no
    // streams).
    void claimFeed(qint64 feed, qint64 owner);
    // A feed that left or unpublished: true when it was a share.
    bool remove(qint64 feed);
    // Drops the others' shares whose feeds are not among `feeds`.
    void retainOnly(const QSet<qint64>& feeds);
    bool isShareFeed(qint64 feed) const;

    qint64 sharerId() const;
    ReceiveStats stats() const;
    void refreshStats();
    // Stops everything at once, without a word to the server.
    void tearDown();

private:
    struct Outgoing
    {
        enum State
        {
            Idle,
            Joining,
            Sending
        } state = Idle;
        qint64 handle = 0;
        qint64 feed = 0;
        SharePipeline* pipeline = nullptr;
        QJsonObject offer; // until it is sent
        QString mid;
    };
    struct Incoming
    {
        qint64 owner = 0;
        qint64 handle = 0;
        SubscriberPipeline* pipeline = nullptr;
    };

    void publishWhenReady();
    void endOutgoing(const QString& failure);
    void subscribe(qint64 feed);
    void dispose(WebRtcPeer* peer);

    MeetingEngine* m_engine;
    Admission m_admission;
    IcePolicy m_ice;
    int m_jitterBufferMs;
    JanusSession* m_session = nullptr;
    qint64 m_selfId = 0;
    qint64 m_privateId = 0;
    Outgoing m_outgoing;
    QHash<qint64, Incoming> m_incoming; // by share feed
};

} // namespace talvora::media
