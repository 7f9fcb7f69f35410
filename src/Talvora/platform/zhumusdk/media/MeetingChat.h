#pragma once
// The meeting's text chat: Janus's TextRoom plugin, in the same Janus and
// session as the meeting's media, in a room of the same id and pin that the
// service makes with the video room. TextRoom speaks over a data channel
// only, so the chat has a peer connection of its own (no audio, no video):
// Janus offers an SCTP association, webrtcbin answers, and once a channel
// is open the chat joins and asks for the room's history (the last 50
// messages, kept by Janus), which a late joiner receives first.
//
// Everyone is addressed (no whispers). Texts are plain, at most
// kMaxChatChars characters; the sender is the display name chosen at join.
//
// Threads: the owner's thread only; webrtcbin's callbacks come through the
// peer's ThreadGate.

#include "Admission.h"
#include "MeetingEngine.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace talvora::media {

class JanusSession;
class ChatPeer;
struct IcePolicy;

struct ChatMessage
{
    QString sender; // display name
    QDateTime time; // local time at the server when it was sent
    QString text;   // plain text, never markup
    bool self = false;
};

class MeetingChat : public QObject
{
    Q_OBJECT

public:
    MeetingChat(JanusSession* session, const Admission& admission, const IcePolicy& ice,
                QObject* parent = nullptr);
    ~MeetingChat() override;

    // Attaches to TextRoom and negotiates the data channel; ready() once
    // joined, unavailable() when the server has no chat for this meeting.
    void start();
    bool isReady() const { return m_joined; }
    // Queued until joined. False (nothing sent) for an empty or too long
    // text, or once the chat is unavailable.
    bool send(const QString& text);
    // Leaves the room and stops the peer connection; no signal afterwards.
    void stop();

    // For the tests: one TextRoom data channel message, as received.
    void handleForTesting(const QByteArray& json) { onData(json); }

signals:
    void ready();
    void received(const talvora::media::ChatMessage& message);
    void unavailable(const QString& reason);
    // An announcement from whoever holds the room's secret (the service):
    // its text as sent.
    void announcement(const QString& text);

private:
    void onData(const QByteArray& json);
    void onChannelOpen();
    void sendRequest(QJsonObject request);
    void giveUp(const QString& reason);
    QString senderName(const QString& username) const;

    QPointer<JanusSession> m_session;
    Admission m_admission;
    ChatPeer* m_peer = nullptr;
    qint64 m_handle = 0;
    QString m_username;
    QHash<QString, QString> m_displayNames; // username -> display
    QStringList m_queued;
    QString m_joinTransaction;
    bool m_joining = false;
    bool m_joined = false;
    bool m_stopped = false;
};

} // namespace talvora::media

Q_DECLARE_METATYPE(talvora::media::ChatMessage)
