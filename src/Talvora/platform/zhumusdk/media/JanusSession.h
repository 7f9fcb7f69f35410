#pragma once
// The conversation with Janus over its WebSocket API (subprotocol
// "janus-protocol"): one session, its plugin handles, transactions matched
// to their answers, a keep-alive every 15 s, and the participant's token on
// every request. TLS is verified for wss:// (the CA file the stand-ins
// trust, or the system's store). Knows Janus's JSON and nothing of media.
//
// Threads: the owner's thread only (Qt event loop).

#include <QHash>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <functional>

namespace talvora::media {

class JanusSession : public QObject
{
    Q_OBJECT

public:
    // ok false: error holds Janus's or the plugin's reason. data is the
    // plugin's data ("plugindata"."data") or, for core requests, "data".
    using Reply =
        std::function<void(bool ok, const QJsonObject& data, const QJsonObject& jsep, const QString& error)>;

    JanusSession(const QUrl& server, const QString& token, QObject* parent = nullptr);
    ~JanusSession() override;

    // Connects and creates the session: opened() or failed().
    void open();
    // refused, when given, hears a plugin the server will not attach
    // (absent, or not allowed by the token) instead of failed().
    void attach(const QString& plugin, std::function<void(qint64 handle)> done,
                std::function<void(const QString& reason)> refused = {});
    // A plugin request; reply gets its synchronous answer or, for
    // asynchronous requests, the event that carries its transaction.
    void message(qint64 handle, const QJsonObject& body, const QJsonObject& jsep = {}, Reply reply = {});
    // candidate: {"candidate", "sdpMid", "sdpMLineIndex"}; empty: gathering done.
    void trickle(qint64 handle, const QJsonObject& candidate);
    void detach(qint64 handle);
    // Destroys the session on the server and closes the socket; then
    // closed(). Safe to call twice.
    void close();

    // Drops the connection at once, without a word to the server.
    void abort();
    // Connected with a session: requests reach the server.
    bool isOpen() const { return m_connected; }
    // The server gave a session (which a new socket may claim).
    bool hasSession() const { return m_sessionId != 0; }
    // The last socket was refused: nothing listens at the server's address
    // (its process is gone, and every session with it).
    bool refused() const { return m_socket.error() == QAbstractSocket::ConnectionRefusedError; }
    // Whoever owns the session retries it itself (reconnect()), instead of
    // the session's own new socket every 2 s.
    void setRetrying(bool retrying) { m_retrying = retrying; }
    // A new socket now, claiming the session on it: connectionRestored(),
    // sessionGone() when the server no longer knows it, or connectionLost()
    // again when the server cannot be reached within a few seconds.
    void reconnect();

signals:
    void opened();
    // An event of a handle that answers no request of ours (a publisher
    // came or went, talking, the room was destroyed).
    void pluginEvent(qint64 handle, const QJsonObject& data, const QJsonObject& jsep);
    void webrtcUp(qint64 handle);
    void remoteCandidate(qint64 handle, const QJsonObject& candidate);
    void hangup(qint64 handle, const QString& reason);
    void failed(const QString& reason);
    // The socket went away, or the server forgot the session; once per loss.
    // The session tries a new socket every 2 s and claims the session on
    // it: connectionRestored() when the server still knows it.
    void connectionLost();
    void connectionRestored();
    // The server no longer knows the session (it restarted, or timed the
    // session out): everything must be made again on a new session.
    void sessionGone();
    // A socket to the server for a known session could not be had or was
    // lost (every time, unlike connectionLost()).
    void unreachable();
    void closed();

private:
    void send(QJsonObject request, Reply reply = {}, bool ackEnds = false);
    void onText(const QString& text);
    void onDisconnected();
    void reclaim();
    void loseConnection();
    void dispatch(const QJsonObject& message);

    struct Pending
    {
        Reply reply;
        bool ackEnds = false; // keepalive and trickle: the ack is the answer
    };

    QUrl m_server;
    QString m_token; // secret: never logged
    QWebSocket m_socket;
    QNetworkRequest m_request;
    QTimer m_keepAlive;
    QTimer m_retry;
    QTimer m_keepAliveAnswer; // no answer to a keep-alive within 10 s: lost
    QTimer m_connectTimeout;
    bool m_retrying = true;
    qint64 m_sessionId = 0;
    bool m_connected = false;
    QHash<QString, Pending> m_pending;
    bool m_closing = false;
    bool m_lost = false;
};

} // namespace talvora::media
