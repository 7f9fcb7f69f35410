// A Janus of its own inside the media sandbox (scripts/media-sandbox.sh,
// JANUS_CONFIG_SH naming tests/media/janus-config.sh): the test call's
// pictures come back from the EchoTest plugin with a round trip measured,
// and a microphone swapped in a running meeting keeps the other
// participant hearing it. Skipped (77) without Janus.

#include "EchoTestCall.h"
#include "MeetingEngine.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

using namespace talvora::media;

namespace {

constexpr int kPort = 8188;
constexpr qint64 kRoom = 4242;
const QString kPin = QStringLiteral("devices-test-pin");

MediaOptions smallTestMedia(double toneHz)
{
    MediaOptions options;
    options.testMedia = true;
    options.width = 320;
    options.height = 240;
    options.fps = 15;
    options.testToneHz = toneHz;
    options.playAudio = false;
    options.preview = true;
    return options;
}

Admission roomAdmission(const QString& name)
{
    Admission admission;
    admission.server = QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(kPort));
    admission.room = kRoom;
    admission.pin = kPin;
    admission.displayName = name;
    return admission;
}

// The other participant's audio as `engine` receives it, or silence.
ReceiveStats heard(const MeetingEngine& engine)
{
    const QVector<ReceiveStats> all = engine.receiveStats();
    return all.isEmpty() ? ReceiveStats() : all.first();
}

} // namespace

class DevicesMediaTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void testCallComesBackWithItsDelay();
    void swappedMicrophoneKeepsTheMeeting();

private:
    QTemporaryDir m_work;
    QProcess m_janus;
};

void DevicesMediaTest::initTestCase()
{
    const QString janus = QStandardPaths::findExecutable(QStringLiteral("janus"));
    const QByteArray config = qgetenv("JANUS_CONFIG_SH");
    if (janus.isEmpty() || config.isEmpty())
        std::exit(77); // nothing to test against
    QCOMPARE(
        QProcess::execute(QStringLiteral("bash"), {QString::fromLocal8Bit(config), m_work.path(),
                                                   QString::number(kPort), QString::number(kRoom), kPin}),
        0);
    m_janus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_janus.setStandardOutputFile(m_work.filePath(QStringLiteral("janus.log")));
    m_janus.start(janus, {QStringLiteral("-F"), m_work.path(), QStringLiteral("-C"),
                          m_work.filePath(QStringLiteral("janus.jcfg"))});
    QVERIFY(m_janus.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [] {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), kPort);
            return probe.waitForConnected(200);
        },
        15000));
}

void DevicesMediaTest::cleanupTestCase()
{
    m_janus.terminate();
    if (!m_janus.waitForFinished(5000))
        m_janus.kill();
}

void DevicesMediaTest::testCallComesBackWithItsDelay()
{
    EchoTestCall call(roomAdmission(QString()).server, QString(), smallTestMedia(440));
    QSignalSpy failed(&call, &EchoTestCall::failed);
    QSignalSpy echoed(&call, &EchoTestCall::echoFrame);
    QSignalSpy delay(&call, &EchoTestCall::roundTrip);
    call.start();
    QTRY_VERIFY_WITH_TIMEOUT(echoed.count() >= 10 && !delay.isEmpty(), 20000);
    QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
    QVERIFY(call.framesReturned() >= 10);
    const QImage image = echoed.last().first().value<QImage>();
    QCOMPARE(image.size(), QSize(320, 240));
    const double ms = delay.last().first().toDouble();
    QVERIFY2(ms >= 0 && ms < 1000, qPrintable(QString::number(ms)));
    qInfo("test call round trip: %.1f ms", ms);
}

void DevicesMediaTest::swappedMicrophoneKeepsTheMeeting()
{
    MeetingEngine speaker(roomAdmission(QStringLiteral("speaker")), smallTestMedia(660));
    MeetingEngine listener(roomAdmission(QStringLiteral("listener")), smallTestMedia(440));
    QSignalSpy speakerFailed(&speaker, &MeetingEngine::failed);
    QSignalSpy listenerFailed(&listener, &MeetingEngine::failed);
    speaker.start();
    listener.start();
    QTRY_VERIFY_WITH_TIMEOUT(heard(listener).audioRmsDbfs > -40, 20000);

    speaker.setDevice(DeviceKind::Microphone, QStringLiteral("test"));
    speaker.setDevice(DeviceKind::Camera, QStringLiteral("test"));
    // A second of sound made by the new source only.
    QTest::qWait(1500);
    QTRY_VERIFY_WITH_TIMEOUT(heard(listener).audioRmsDbfs > -40, 5000);
    const ReceiveStats stats = heard(listener);
    QVERIFY2(qAbs(stats.dominantHz - 660) < 20, qPrintable(QString::number(stats.dominantHz)));
    const quint64 frames = stats.framesDecoded;
    QTRY_VERIFY_WITH_TIMEOUT(heard(listener).framesDecoded > frames + 5, 5000);
    QVERIFY(speakerFailed.isEmpty() && listenerFailed.isEmpty());
    QCOMPARE(listener.participants().size(), 2);
}

QTEST_GUILESS_MAIN(DevicesMediaTest)
#include "DevicesMediaTest.moc"
