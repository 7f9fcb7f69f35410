// JanusSession against a scripted Janus: the subprotocol, the token and a
// fresh transaction on every request, answers matched to their requests, a
// plugin's error reported as one, events of nobody's request passed on,
// rubbish ignored, and a lost socket reopened with the session claimed back.

#include "JanusSession.h"

#include <QJsonDocument>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

using talvora::media::JanusSession;

namespace {

// Answers like Janus: create, attach and claim succeed; a "join" message is
// acknowledged and then answered by an event, a "fail" one by an error.
class FakeJanus : public QObject
{
public:
    FakeJanus() : server(QStringLiteral("fake-janus"), QWebSocketServer::NonSecureMode)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QWebSocketServer::newConnection, this, [this] {
            QWebSocket* socket = server.nextPendingConnection();
            protocols << socket->request().rawHeader("Sec-WebSocket-Protocol");
            clients << socket;
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket](const QString& text) { answer(socket, text); });
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort())); }

    void answer(QWebSocket* socket, const QString& text)
    {
        const QJsonObject request = QJsonDocument::fromJson(text.toUtf8()).object();
        requests << request;
        const QString kind = request.value("janus").toString();
        const QJsonValue transaction = request.value("transaction");
        auto send = [socket](const QJsonObject& message) {
            socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson()));
        };
        if (kind == "create" || kind == "attach" || kind == "claim") {
            send({{"janus", "success"}, {"transaction", transaction}, {"data", QJsonObject{{"id", 4242}}}});
        } else if (kind == "message") {
            send({{"janus", "ack"}, {"transaction", transaction}});
            const bool fail = request.value("body").toObject().value("request").toString() == "fail";
            const QJsonObject data = fail ? QJsonObject{{"videoroom", "event"},
                                                        {"error_code", 433},
                                                        {"error", "Unauthorized (wrong pin)"}}
                                          : QJsonObject{{"videoroom", "joined"}, {"id", 7}};
            send({{"janus", "event"},
                  {"transaction", transaction},
                  {"sender", 4242},
                  {"plugindata", QJsonObject{{"plugin", "janus.plugin.videoroom"}, {"data", data}}}});
        }
    }

    QWebSocketServer server;
    QList<QWebSocket*> clients;
    QList<QByteArray> protocols;
    QList<QJsonObject> requests;
};

} // namespace

class JanusSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void speaksJanus()
    {
        FakeJanus janus;
        JanusSession session(janus.url(), QStringLiteral("the-token"));
        QSignalSpy opened(&session, &JanusSession::opened);
        session.open();
        QVERIFY(opened.wait());
        QCOMPARE(janus.protocols.value(0), QByteArray("janus-protocol"));

        QList<QString> results;
        session.attach(QStringLiteral("janus.plugin.videoroom"), [&](qint64 handle) {
            session.message(handle, {{"request", "join"}}, {},
                            [&](bool ok, const QJsonObject& data, const QJsonObject&, const QString& error) {
                                results << (ok ? data.value("videoroom").toString() : error);
                            });
            session.message(handle, {{"request", "fail"}}, {},
                            [&](bool ok, const QJsonObject&, const QJsonObject&, const QString& error) {
                                results << (ok ? QStringLiteral("ok") : error);
                            });
        });
        QTRY_COMPARE(results.size(), 2);
        QCOMPARE(results.at(0), QStringLiteral("joined"));
        QVERIFY2(results.at(1).contains("433"), qPrintable(results.at(1)));

        // Rubbish and an event of nobody's request.
        QSignalSpy events(&session, &JanusSession::pluginEvent);
        janus.clients.first()->sendTextMessage(QStringLiteral("{not json"));
        janus.clients.first()->sendTextMessage(QStringLiteral(
            R"({"janus":"event","sender":4242,"plugindata":{"data":{"videoroom":"talking","id":9}}})"));
        QVERIFY(events.wait());
        QCOMPARE(events.first().at(0).toLongLong(), 4242);

        QSet<QString> transactions;
        for (const QJsonObject& request : janus.requests) {
            QCOMPARE(request.value("token").toString(), QStringLiteral("the-token"));
            transactions.insert(request.value("transaction").toString());
        }
        QCOMPARE(transactions.size(), janus.requests.size());
    }

    void claimsItsSessionOnANewSocket()
    {
        FakeJanus janus;
        JanusSession session(janus.url(), QStringLiteral("t"));
        QSignalSpy opened(&session, &JanusSession::opened);
        QSignalSpy lost(&session, &JanusSession::connectionLost);
        QSignalSpy restored(&session, &JanusSession::connectionRestored);
        session.open();
        QVERIFY(opened.wait());
        janus.clients.first()->abort();
        QVERIFY(lost.wait());
        QVERIFY(restored.wait(5000));
        QCOMPARE(lost.size(), 1);
        QCOMPARE(janus.requests.last().value("janus").toString(), QStringLiteral("claim"));
        QCOMPARE(janus.requests.last().value("session_id").toInt(), 4242);
        QVERIFY(session.isOpen());
    }
};

QTEST_GUILESS_MAIN(JanusSessionTest)
#include "JanusSessionTest.moc"
