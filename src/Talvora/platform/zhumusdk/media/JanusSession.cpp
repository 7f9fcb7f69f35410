#include "JanusSession.h"

#include "HttpsClient.h"

#include <QJsonDocument>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace talvora::media {
namespace {

constexpr int kKeepAliveMs = 15000;
constexpr int kRetryMs = 2000;
// Janus refuses anything larger; an answer above it is not Janus.
constexpr qint64 kMaxMessageBytes = 1024 * 1024;

QString newTransaction()
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString text;
    for (int i = 0; i < 16; ++i)
        text += QLatin1Char(kAlphabet[QRandomGenerator::global()->bounded(62)]);
    return text;
}

QString errorText(const QJsonObject& message)
{
    const QJsonObject error = message.value(QLatin1String("error")).toObject();
    return QStringLiteral("Janus error %1: %2")
        .arg(error.value(QLatin1String("code")).toInt())
        .arg(error.value(QLatin1String("reason")).toString());
}

} // namespace

JanusSession::JanusSession(const QUrl& server, const QString& token, QObject* parent)
    : QObject(parent), m_server(server), m_token(token)
{
    m_socket.setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    m_keepAlive.setInterval(kKeepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, [this] {
        send(QJsonObject{{QStringLiteral("janus"), QStringLiteral("keepalive")}}, {}, true);
    });
    connect(&m_socket, &QWebSocket::textMessageReceived, this, &JanusSession::onText);
    connect(&m_socket, &QWebSocket::connected, this, [this] {
        if (m_sessionId != 0) {
            reclaim();
            return;
        }
        send(QJsonObject{{QStringLiteral("janus"), QStringLiteral("create")}},
             [this](bool ok, const QJsonObject& data, const QJsonObject&, const QString& error) {
                 if (!ok) {
                     emit failed(error);
                     return;
                 }
                 m_sessionId = data.value(QLatin1String("id")).toVariant().toLongLong();
                 if (m_sessionId == 0) {
                     emit failed(QStringLiteral("Janus gave no session id"));
                     return;
                 }
                 m_connected = true;
                 m_keepAlive.start();
                 emit opened();
             });
    });
    connect(&m_socket, &QWebSocket::disconnected, this, &JanusSession::onDisconnected);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { m_socket.open(m_request); });
    connect(&m_socket, &QWebSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        // Never ignored: a media server that cannot prove who it is gets no
        // token and no media.
        emit failed(QStringLiteral("media server TLS: %1")
                        .arg(errors.isEmpty() ? QString() : errors.first().errorString()));
    });
}

JanusSession::~JanusSession()
{
    m_closing = true;
    m_socket.disconnect(this);
    m_socket.abort();
}

void JanusSession::abort()
{
    m_closing = true;
    m_keepAlive.stop();
    m_retry.stop();
    m_pending.clear();
    m_socket.disconnect(this);
    m_socket.abort();
}

void JanusSession::onDisconnected()
{
    m_keepAlive.stop();
    m_connected = false;
    // Requests in flight are lost with the socket; their callers hear no more.
    m_pending.clear();
    if (m_closing) {
        emit closed();
    } else if (m_sessionId != 0) {
        // Janus keeps a session for a while without its transport: a new
        // socket may claim it, and the peer connections never noticed.
        if (!m_lost) {
            m_lost = true;
            emit connectionLost();
        }
        m_retry.start();
    } else if (!m_lost) {
        emit failed(QStringLiteral("cannot reach the media server: %1").arg(m_socket.errorString()));
    }
}

void JanusSession::reclaim()
{
    send(QJsonObject{{QStringLiteral("janus"), QStringLiteral("claim")}},
         [this](bool ok, const QJsonObject&, const QJsonObject&, const QString&) {
             if (!ok) {
                 // The server forgot the session (it restarted, or the
                 // session timed out): nothing left to claim. The meeting
                 // stays lost; whoever shows it decides when to give up.
                 m_sessionId = 0;
                 m_socket.abort();
                 return;
             }
             m_connected = true;
             m_lost = false;
             m_keepAlive.start();
             emit connectionRestored();
         });
}

void JanusSession::open()
{
    QNetworkRequest request(m_server);
    request.setRawHeader("Sec-WebSocket-Protocol", "janus-protocol");
    if (m_server.scheme() == QLatin1String("wss")) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        const QString caFile = QString::fromUtf8(https::trustedCaFile());
        if (!caFile.isEmpty())
            tls.setCaCertificates(QSslCertificate::fromPath(caFile));
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        request.setSslConfiguration(tls);
    }
    m_request = request;
    m_socket.open(request);
}

void JanusSession::attach(const QString& plugin, std::function<void(qint64)> done,
                          std::function<void(const QString&)> refused)
{
    send(QJsonObject{{QStringLiteral("janus"), QStringLiteral("attach")}, {QStringLiteral("plugin"), plugin}},
         [this, done, refused](bool ok, const QJsonObject& data, const QJsonObject&, const QString& error) {
             const qint64 handle = data.value(QLatin1String("id")).toVariant().toLongLong();
             if (!ok && refused) {
                 refused(error);
                 return;
             }
             if (!ok || handle == 0) {
                 emit failed(ok ? QStringLiteral("Janus gave no handle id") : error);
                 return;
             }
             done(handle);
         });
}

void JanusSession::message(qint64 handle, const QJsonObject& body, const QJsonObject& jsep, Reply reply)
{
    QJsonObject request{{QStringLiteral("janus"), QStringLiteral("message")},
                        {QStringLiteral("handle_id"), handle},
                        {QStringLiteral("body"), body}};
    if (!jsep.isEmpty())
        request.insert(QStringLiteral("jsep"), jsep);
    const bool ackEnds = !reply;
    send(request, std::move(reply), ackEnds);
}

void JanusSession::trickle(qint64 handle, const QJsonObject& candidate)
{
    QJsonObject request{{QStringLiteral("janus"), QStringLiteral("trickle")},
                        {QStringLiteral("handle_id"), handle}};
    request.insert(QStringLiteral("candidate"),
                   candidate.isEmpty() ? QJsonObject{{QStringLiteral("completed"), true}} : candidate);
    send(request, {}, true);
}

void JanusSession::detach(qint64 handle)
{
    if (m_sessionId != 0)
        send(QJsonObject{{QStringLiteral("janus"), QStringLiteral("detach")},
                         {QStringLiteral("handle_id"), handle}});
}

void JanusSession::close()
{
    if (m_closing)
        return;
    m_closing = true;
    m_keepAlive.stop();
    m_retry.stop();
    if (m_connected && m_socket.state() == QAbstractSocket::ConnectedState) {
        // The socket closes once Janus confirms, or at once if it does not
        // answer within a second: leaving never hangs on the server.
        send(QJsonObject{{QStringLiteral("janus"), QStringLiteral("destroy")}},
             [this](bool, const QJsonObject&, const QJsonObject&, const QString&) { m_socket.close(); });
        QTimer::singleShot(1000, this, [this] { m_socket.close(); });
    } else if (m_socket.state() != QAbstractSocket::UnconnectedState) {
        m_socket.close();
    } else {
        QTimer::singleShot(0, this, &JanusSession::closed);
    }
}

void JanusSession::send(QJsonObject request, Reply reply, bool ackEnds)
{
    const QString transaction = newTransaction();
    request.insert(QStringLiteral("transaction"), transaction);
    if (!m_token.isEmpty())
        request.insert(QStringLiteral("token"), m_token);
    if (m_sessionId != 0)
        request.insert(QStringLiteral("session_id"), m_sessionId);
    if (reply || ackEnds)
        m_pending.insert(transaction, Pending{std::move(reply), ackEnds});
    m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
}

void JanusSession::onText(const QString& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return; // not Janus; nothing in it can be trusted to act on
    dispatch(document.object());
}

void JanusSession::dispatch(const QJsonObject& message)
{
    const QString kind = message.value(QLatin1String("janus")).toString();
    const QString transaction = message.value(QLatin1String("transaction")).toString();
    const qint64 handle = message.value(QLatin1String("sender")).toVariant().toLongLong();
    const QJsonObject jsep = message.value(QLatin1String("jsep")).toObject();
    const QJsonObject pluginData =
        message.value(QLatin1String("plugindata")).toObject().value(QLatin1String("data")).toObject();

    auto pending = transaction.isEmpty() ? m_pending.end() : m_pending.find(transaction);
    if (pending != m_pending.end()) {
        if (kind == QLatin1String("ack") && !pending->ackEnds)
            return; // an asynchronous request: its event follows
        const Pending entry = pending.value();
        m_pending.erase(pending);
        if (!entry.reply)
            return;
        if (kind == QLatin1String("error")) {
            entry.reply(false, {}, {}, errorText(message));
        } else if (pluginData.contains(QLatin1String("error"))) {
            entry.reply(false, pluginData, jsep,
                        QStringLiteral("VideoRoom error %1: %2")
                            .arg(pluginData.value(QLatin1String("error_code")).toInt())
                            .arg(pluginData.value(QLatin1String("error")).toString()));
        } else if (message.contains(QLatin1String("plugindata"))) {
            entry.reply(true, pluginData, jsep, {});
        } else {
            entry.reply(true, message.value(QLatin1String("data")).toObject(), jsep, {});
        }
        return;
    }

    if (kind == QLatin1String("event")) {
        emit pluginEvent(handle, pluginData, jsep);
    } else if (kind == QLatin1String("webrtcup")) {
        emit webrtcUp(handle);
    } else if (kind == QLatin1String("hangup")) {
        emit hangup(handle, message.value(QLatin1String("reason")).toString());
    } else if (kind == QLatin1String("trickle")) {
        emit remoteCandidate(handle, message.value(QLatin1String("candidate")).toObject());
    } else if (kind == QLatin1String("timeout")) {
        // The server dropped the session: as good as a lost connection,
        // and nothing to claim.
        m_sessionId = 0;
        m_connected = false;
        m_keepAlive.stop();
        if (!m_lost) {
            m_lost = true;
            emit connectionLost();
        }
    }
}

} // namespace talvora::media
