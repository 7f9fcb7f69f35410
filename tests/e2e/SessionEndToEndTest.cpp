// The main window's SDK session end to end: the real SDK, network and cloud
// stand-ins against the development service. One window lives through the
// whole run, as it does in the client: authorisation and login, the user's
// name, an instant meeting opened and left, a join of a number the service
// does not know, and the teardown.

#include "Above.h"
#include "CreateConference.h"
#include "ErrorBox.h"
#include "JoinConference.h"
#include "LeftMenu.h"
#include "Talvora.h"
#include "TempMeetWin.h"
#include "log/Log.h"
#include "platform/KelpNetUtils.h"
#include "platform/system/SystemMessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <iostream>
#include <memory>
#include <sstream>

namespace {

constexpr int kServiceTimeoutMs = 20000;
const char kAccount[] = "zhangsan@example.com";
const char kPassword[] = "Zs-Meet-2024";

QDialog* visibleMeetingWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible() &&
            dialog->windowTitle().startsWith(QStringLiteral("会议 ")))
            return dialog;
    }
    return nullptr;
}

} // namespace

class SessionEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void loginEnablesWindowWithUsersName();
    void instantMeetingOpensAndLeavingEndsIt();
    void unknownMeetingNumberTurnsLineRed();
    void closingTearsDownAndLogKeepsNoPassword();

private:
    QString capturedOutput() const { return QString::fromStdString(m_output.str()); }

    QTemporaryDir m_logDir;
    std::ostringstream m_output;
    std::streambuf* m_previousOutput = nullptr;
    std::unique_ptr<Talvora> m_window;
    QStringList m_boxes;
    QStringList m_unexpectedDialogs;
    QTimer m_dialogGuard;
};

void SessionEndToEndTest::initTestCase()
{
    Q_INIT_RESOURCE(Talvora);
    // A camera and a microphone on every machine: the test pattern and tone.
    qputenv("TALVORA_TEST_MEDIA", "1");
    QVERIFY(m_logDir.isValid());
    initLogIn(QDir::toNativeSeparators(m_logDir.path()).toStdString() + "/");
    QVERIFY(NET_UTILS_Init() != 0);

    talvora::setErrorBoxHook([this](QWidget*, const QString& title, const QString& text) {
        m_boxes << title + QLatin1Char('|') + text;
    });
    talvora::platform::setSystemMessageBoxHook([this](const std::wstring& title, const std::wstring& text) {
        m_boxes << QString::fromStdWString(title) + QLatin1Char('|') + QString::fromStdWString(text);
    });
    // A modal dialog nobody expects (the rename dialog, for one) would wait
    // for a click forever; it is closed and reported instead.
    connect(&m_dialogGuard, &QTimer::timeout, this, [this] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            m_unexpectedDialogs << QString::fromLatin1(dialog->metaObject()->className());
            dialog->reject();
        }
    });
    m_dialogGuard.start(200);

    m_previousOutput = std::cout.rdbuf(m_output.rdbuf());

    // Without setInitUserName: the join must not ask for a new name.
    m_window = std::make_unique<Talvora>("zhangsan", "ZC10001");
    m_window->show();
    QVERIFY(m_window->startSdkSession(kAccount, kPassword, static_cast<int>(sizeof kPassword - 1)));
    QVERIFY(!m_window->isEnabled());
}

void SessionEndToEndTest::cleanupTestCase()
{
    m_window.reset();
    m_dialogGuard.stop();
    if (m_previousOutput != nullptr)
        std::cout.rdbuf(m_previousOutput);
    talvora::setErrorBoxHook({});
    talvora::platform::setSystemMessageBoxHook({});
}

void SessionEndToEndTest::loginEnablesWindowWithUsersName()
{
    // A failed authorisation or login shows a box instead.
    QTRY_VERIFY2_WITH_TIMEOUT(m_window->isEnabled(), qPrintable(m_boxes.join(QLatin1Char('\n'))),
                              kServiceTimeoutMs);
    QVERIFY(!m_window->m_pAbove->isVisible());
    QVERIFY(capturedOutput().contains(QStringLiteral("ZhumuSDK::AUTHRET_SUCCESS\n")));
    QVERIFY(capturedOutput().contains(QStringLiteral("LOGINSTATUS::LOGIN_SUCCESS\n")));
    QVERIFY(m_window->m_MeetingService != nullptr);
    QVERIFY(m_window->m_SettingService != nullptr);
    QCOMPARE(m_window->m_pLeftMenu->m_pLabUserName->text(), QStringLiteral("张三"));
    QCOMPARE(m_boxes, QStringList());
    QCOMPARE(m_unexpectedDialogs, QStringList());
}

void SessionEndToEndTest::instantMeetingOpensAndLeavingEndsIt()
{
    QVERIFY(m_window->isEnabled());
    TempMeetWin* pane = m_window->m_pCreateConference->m_pTempMeetWin;
    pane->m_pLnEtMeetTopic->setText(QStringLiteral("端到端即时会议"));
    pane->m_pBtnVoiceType->click();
    pane->m_pBtnTempMeetStart->click();

    QTRY_VERIFY_WITH_TIMEOUT(visibleMeetingWindow() != nullptr, kServiceTimeoutMs);
    QDialog* meeting = visibleMeetingWindow();
    // The service hands out the instant meeting's number.
    const QString number = meeting->windowTitle().mid(3);
    QVERIFY2(QRegularExpression(QStringLiteral("^[1-9][0-9]*$")).match(number).hasMatch(),
             qPrintable(number));
    // A voice meeting starts with the camera off; the test camera is there
    // to be turned on.
    auto* video = meeting->findChild<QToolButton*>(QStringLiteral("videoButton"));
    QVERIFY(video != nullptr);
    QCOMPARE(video->text(), QStringLiteral("开启视频"));
    // The fixture's service admits to a Janus whose ICE lies outside this
    // client's loopback range: signalling and the join work, media does not
    // flow, which this test does not need.
    QTRY_VERIFY_WITH_TIMEOUT(
        capturedOutput().contains(QStringLiteral("ZhumuSDK::MEETING_STATUS_INMEETING\n")), kServiceTimeoutMs);
    if (!qEnvironmentVariableIsEmpty("TALVORA_SHOT_DIR")) {
        const QString shotDir = qEnvironmentVariable("TALVORA_SHOT_DIR");
        QDir().mkpath(shotDir);
        meeting->grab().save(shotDir + QStringLiteral("/e2e_meeting_window.png"));
    }

    auto* leave = meeting->findChild<QToolButton*>(QStringLiteral("leaveMeetingButton"));
    QVERIFY(leave != nullptr);
    QCOMPARE(leave->text(), QStringLiteral("离开会议"));
    leave->click();

    QTRY_VERIFY_WITH_TIMEOUT(capturedOutput().contains(QStringLiteral("ZhumuSDK::MEETING_STATUS_ENDED\n")),
                             kServiceTimeoutMs);
    QTRY_VERIFY(visibleMeetingWindow() == nullptr);
    QCOMPARE(m_boxes, QStringList());
}

void SessionEndToEndTest::unknownMeetingNumberTurnsLineRed()
{
    QVERIFY(m_window->isEnabled());
    QLabel* line = m_window->m_pJoinConference->m_pLabMeetCodeWrong;
    QVERIFY(!line->styleSheet().contains(QStringLiteral("#D75544")));

    m_window->m_pJoinConference->m_strMeetCode = QStringLiteral("99999999999");
    m_window->onStartJoinConference();

    QTRY_VERIFY_WITH_TIMEOUT(line->styleSheet().contains(QStringLiteral("#D75544")), kServiceTimeoutMs);
    QVERIFY(capturedOutput().contains(QStringLiteral("ZhumuSDK::MEETING_STATUS_FAILED\n")));
    QVERIFY(visibleMeetingWindow() == nullptr);
    QCOMPARE(m_boxes, QStringList());
    QCOMPARE(m_unexpectedDialogs, QStringList());
}

void SessionEndToEndTest::closingTearsDownAndLogKeepsNoPassword()
{
    QVERIFY(m_window->close());
    // Joins the watcher and releases the SDK and the network library.
    m_window.reset();
    QCOMPARE(m_boxes, QStringList());

    const QStringList logs = QDir(m_logDir.path()).entryList({QStringLiteral("CPS_*.txt")}, QDir::Files);
    QCOMPARE(logs.size(), 1);
    QFile file(m_logDir.filePath(logs.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    QVERIFY(log.contains("return in onLoginRet: 2"));
    QVERIFY(log.contains("get username:"));
    QVERIFY2(!log.contains(kPassword), "the conferencing password reached the log");
}

QTEST_MAIN(SessionEndToEndTest)
#include "SessionEndToEndTest.moc"
