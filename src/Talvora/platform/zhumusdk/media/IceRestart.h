#pragma once
// An ICE restart on a running peer connection: new ICE credentials in the
// next offer or answer, checks started again from scratch, and the same
// DTLS session and media afterwards.
//
// webrtcbin 1.22 has no ICE restart of its own: create-offer takes no
// options and reuses the credentials of its last offer (or answer), and it
// never restarts its ICE agent. So the peer connection restarts libnice's
// agent itself (nice_agent_restart: remote candidates dropped, checks
// started again, local candidates kept) and puts fresh credentials into
// the description before it becomes the local one; webrtcbin hands those
// to the agent, and Janus, seeing them change, restarts its side (a
// publisher's new offer in "configure", or a subscriber's "configure" with
// "restart": true, which makes Janus offer anew). What is not restarted
// this way is gathering: a host whose addresses changed needs a new peer
// connection, which is what the engine falls back to.
//
// Pure text handling, no GStreamer; WebRtcPeer does the rest.

#include <QHash>
#include <QString>

namespace talvora::media {

struct IceCredentials
{
    QString ufrag;
    QString pwd;
    bool isEmpty() const { return ufrag.isEmpty(); }
    bool operator==(const IceCredentials& other) const { return ufrag == other.ufrag && pwd == other.pwd; }
    bool operator!=(const IceCredentials& other) const { return !(*this == other); }
};

namespace IceRestart {

// Random credentials of ICE's alphabet: 8 characters and 24 (ICE asks at
// least 4 and 22).
IceCredentials freshCredentials();
// The first a=ice-ufrag / a=ice-pwd of a description (session or media
// level); empty when it names none.
IceCredentials credentialsOf(const QString& sdp);
// The description with every a=ice-ufrag and a=ice-pwd line set to these.
QString withCredentials(const QString& sdp, const IceCredentials& credentials);

} // namespace IceRestart

// One ICE restart of a meeting's peer connections, and whether it worked:
// the server answered, and media comes in again on a subscription that
// was silent; with nobody expected to send, the answer and a second
// without ICE failing is all there is to know.
class IceRestartRound
{
public:
    void begin(qint64 nowMs);
    // A subscription that should be heard again, with its packets so far.
    void expect(qint64 id, quint64 packets) { m_packets.insert(id, packets); }
    void answered() { m_answered = true; }
    bool isAnswered() const { return m_answered; }
    qint64 startedMs() const { return m_startedMs; }
    // packets: the subscriptions' packets now, of those whose participant
    // sends something.
    bool succeeded(const QHash<qint64, quint64>& packets, qint64 nowMs) const;

private:
    QHash<qint64, quint64> m_packets;
    qint64 m_startedMs = 0;
    bool m_answered = false;
};

} // namespace talvora::media
