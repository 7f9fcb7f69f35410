// The main window's conversation with the conferencing SDK, against the SDK
// double: session start, the authorisation and login answers, the meeting
// service, the meeting status reactions, the records of every request and
// the teardown order.

#include "SessionHarness.h"

#include "Above.h"
#include "Config.h"
#include "CreateConference.h"
#include "CremaneWindow.h"
#include "JoinConference.h"
#include "KelpNetUtilsDouble.h"
#include "MeetingReminders.h"
#include "ServiceExchange.h"
#include "ShowAMeet.h"
#include "TempMeetWin.h"
#include "ZhumuSdkDouble.h"
#include "log/Log.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>

namespace {

const char* const kCodeWrongRed =
    "QLabel{background:transparent; color:#D75544;font-size:18px;font-family:\"PingFangSC-Regular\";}";
const char* const kCodeWrongWhite =
    "QLabel{background:transparent; color:#ffffff;font-size:18px;font-family:\"PingFangSC-Regular\";}";

std::vector<std::string> sinkRegistrations(const std::vector<std::string>& calls)
{
    std::vector<std::string> registrations;
    for (const std::string& call : calls) {
        if (call.size() > 13 && call.compare(call.size() - 13, 13, ".setEventSink") == 0 &&
            call != "auth.setEventSink") {
            registrations.push_back(call);
        }
    }
    return registrations;
}

} // namespace

class SdkSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startRecordsAndCallOrder();
    void startFailures_data();
    void startFailures();
    void startTakesOnlyThePasswordLength();

    void authorisationTable_data();
    void authorisationTable();
    void authorisationSuccessLogsIn();
    void loginRequestRejected_data();
    void loginRequestRejected();

    void loginSuccess();
    void loginFailed();
    void loginOtherStatus();
    void meetingServiceFailure();
    void missingControllersAreSkipped();
    void missingSettingService();

    void meetingStatuses();

    void instantMeetingRecords();
    void instantMeetingNeedsTopic();
    void cardStartRecords_data();
    void cardStartRecords();
    void joinWithChineseDisplayName();
    void joinRefusesBadCodes_data();
    void joinRefusesBadCodes();
    void joinOffersRenameWhileNameIsInitial();
    void settingsDialogRecord();
    void requestsWaitForTheirService();
    void inviteButtonLeftToSdk();
    void joinAfterTheRenameIsNotSentAfterAQuit();
    void reminderStartWaitingForAnExchangeIsDroppedAfterAQuit();

    void teardownOrder();
    void teardownWithoutSession();

private:
    QString logText() const;

    QTemporaryDir m_logDir;
};

void SdkSessionTest::initTestCase()
{
    Q_INIT_RESOURCE(Talvora);
    QVERIFY(m_logDir.isValid());
    initLogIn(QDir::toNativeSeparators(m_logDir.path()).toStdString() + "/");
}

QString SdkSessionTest::logText() const
{
    const QStringList files = QDir(m_logDir.path()).entryList({QStringLiteral("CPS_*")}, QDir::Files);
    if (files.isEmpty()) {
        return {};
    }
    QFile file(QDir(m_logDir.path()).filePath(files.first()));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

void SdkSessionTest::startRecordsAndCallOrder()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(window->startSdkSession("zhangsan@example.com", "Zs-Meet-2024", 12));

    const std::vector<std::string> expected = {"Zhumu_InitSDK", "Zhumu_CreateAuthService",
                                               "auth.setEventSink", "auth.SDKAuth",
                                               "Zhumu_CreateSettingService"};
    QCOMPARE(zhumu_double::calls(), expected);
    QVERIFY(zhumu_double::authSink() == static_cast<ZhumuSDK::IAuthServiceEvent*>(window.get()));
    QVERIFY(harness.errorBoxes.empty());
    QVERIFY(window->m_pAbove->isVisible());
    QVERIFY(!window->isEnabled());

    const auto inits = zhumu_double::initRecords();
    QCOMPARE(inits.size(), size_t(1));
    const zhumu_double::InitRecord& init = inits.front();
    QCOMPARE(init.webDomain, QString::fromUtf8(talvora::config::kSdkWebDomain).toStdWString());
    QCOMPARE(init.brandingName, std::wstring(L"OrvaneMeeting"));
    QCOMPARE(init.supportUrl, QString::fromUtf8(talvora::config::kSupportUrl).toStdWString());
    QCOMPARE(init.raw.languageId, -1);
    QCOMPARE(init.raw.resourceModule, 0);
    QCOMPARE(init.raw.windowIcon, 0);
    QCOMPARE(init.raw.renderMode, 2);
    QCOMPARE(int(init.raw.enableDefaultLog), 0);
    QCOMPARE(init.raw.logFileSizeMB, 5);
    QVERIFY(std::all_of(std::begin(init.raw.reserved), std::end(init.raw.reserved),
                        [](uint8_t byte) { return byte == 0; }));

    const auto auths = zhumu_double::authRecords();
    QCOMPARE(auths.size(), size_t(1));
    QCOMPARE(auths.front().appKey, std::wstring(L"Xq7LmP2vRt9KsW4nBd6HyZ1cFg8JuE3oAi5T"));
    QCOMPARE(auths.front().appSecret, std::wstring(L"Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5W"));

    QCOMPARE(window->m_wstrLoginAccount, std::wstring(L"zhangsan@example.com"));
    QCOMPARE(window->m_wstrLoginPassword, std::wstring(L"Zs-Meet-2024"));
    QVERIFY(window->m_SettingService == zhumu_double::settingService());
}

void SdkSessionTest::startFailures_data()
{
    QTest::addColumn<QString>("failingCall");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("authServiceMissing");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("lastCall");

    QTest::newRow("init") << "Zhumu_InitSDK" << 3 << false << QString::fromUtf8("SDK初始化失败")
                          << "Zhumu_InitSDK return : 3"
                          << "Zhumu_InitSDK";
    QTest::newRow("auth service") << "Zhumu_CreateAuthService" << 11 << false
                                  << QString::fromUtf8("SDK创建认证服务失败")
                                  << "Zhumu_CreateAuthService return : 11"
                                  << "Zhumu_CreateAuthService";
    // An SDK that reports success but hands out no auth service would leave
    // the window waiting for an answer that never comes.
    QTest::newRow("auth service missing")
        << "" << 0 << true << QString::fromUtf8("SDK创建认证服务失败") << "Zhumu_CreateAuthService return : 0"
        << "Zhumu_CreateAuthService";
    QTest::newRow("authorisation") << "auth.SDKAuth" << 12 << false << QString::fromUtf8("SDK创建认证失败")
                                   << "m_AuthService->SDKAuth return : 12"
                                   << "auth.SDKAuth";
}

void SdkSessionTest::startFailures()
{
    QFETCH(QString, failingCall);
    QFETCH(int, code);
    QFETCH(bool, authServiceMissing);
    QFETCH(QString, boxText);
    QFETCH(QString, logLine);
    QFETCH(QString, lastCall);

    SessionHarness harness;
    auto window = harness.makeWindow();
    if (!failingCall.isEmpty()) {
        zhumu_double::setResult(failingCall.toStdString(), code);
    }
    zhumu_double::Objects objects;
    objects.authService = !authServiceMissing;
    zhumu_double::setObjects(objects);

    QVERIFY(!window->startSdkSession("zhangsan@example.com", "Zs-Meet-2024", 12));

    QCOMPARE(harness.errorBoxes.size(), size_t(1));
    QVERIFY(harness.errorBoxes[0].parent == nullptr);
    QCOMPARE(harness.errorBoxes[0].title, QString::fromUtf8("出错提示"));
    QCOMPARE(harness.errorBoxes[0].text, boxText);
    QVERIFY(harness.systemBoxes.empty());
    QVERIFY(!window->m_pAbove->isVisible());
    QVERIFY(logText().contains(logLine));
    QCOMPARE(QString::fromStdString(zhumu_double::calls().back()), lastCall);
}

void SdkSessionTest::startTakesOnlyThePasswordLength()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    const char password[] = "Pässwört-2024-tail";
    const int length = static_cast<int>(sizeof "Pässwört-2024" - 1);
    QVERIFY(window->startSdkSession("张三@example.com", password, length));
    QCOMPARE(window->m_wstrLoginAccount, std::wstring(L"张三@example.com"));
    QCOMPARE(window->m_wstrLoginPassword, std::wstring(L"Pässwört-2024"));

    // A length beyond the text stops at its end.
    auto second = harness.makeWindow();
    QVERIFY(second->startSdkSession("lisi@talvora.dev", "short", 4096));
    QCOMPARE(second->m_wstrLoginPassword, std::wstring(L"short"));
}

void SdkSessionTest::authorisationTable_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("systemBox");
    QTest::addColumn<QString>("text");

    QTest::newRow("1 key or secret empty") << 1 << true << "SDK key or secret empty";
    QTest::newRow("2 key or secret wrong") << 2 << true << "SDK key or secret wrong";
    QTest::newRow("3 account not supported") << 3 << true << "account not support";
    QTest::newRow("4 account without sdk") << 4 << true << "account not enablesdk";
    QTest::newRow("5 network") << 5 << false << QString::fromUtf8("有网络权限或其他问题");
    QTest::newRow("6 service busy") << 6 << true << "onAuthenticationReturn swith default";
    QTest::newRow("7 none") << 7 << true << "NONE";
    QTest::newRow("unknown value") << 42 << true << "onAuthenticationReturn swith default";
    QTest::newRow("negative value") << -1 << true << "onAuthenticationReturn swith default";
}

void SdkSessionTest::authorisationTable()
{
    QFETCH(int, result);
    QFETCH(bool, systemBox);
    QFETCH(QString, text);

    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(window->startSdkSession("zhangsan@example.com", "Zs-Meet-2024", 12));
    StdoutCapture output;
    QVERIFY(zhumu_double::fireAuthenticationReturn(result));

    QCOMPARE(QString::fromStdString(output.text()), QStringLiteral("onAuthenticationReturn\n"));
    QVERIFY(!window->isVisible());
    QVERIFY(!window->m_pAbove->isVisible());
    QCOMPARE(callIndex(zhumu_double::calls(), "auth.Login"), -1);
    if (systemBox) {
        QVERIFY(harness.errorBoxes.empty());
        QCOMPARE(harness.systemBoxes.size(), size_t(1));
        QCOMPARE(harness.systemBoxes[0].title, std::wstring(L"错误提示"));
        QCOMPARE(QString::fromStdWString(harness.systemBoxes[0].text), text);
    } else {
        QVERIFY(harness.systemBoxes.empty());
        QCOMPARE(harness.errorBoxes.size(), size_t(1));
        QVERIFY(harness.errorBoxes[0].parent == nullptr);
        QCOMPARE(harness.errorBoxes[0].title, QString::fromUtf8("出错提示"));
        QCOMPARE(harness.errorBoxes[0].text, text);
    }
}

void SdkSessionTest::authorisationSuccessLogsIn()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(window->startSdkSession("zhangsan@example.com", "Zs-Meet-2024", 12));
    StdoutCapture output;
    QVERIFY(zhumu_double::fireAuthenticationReturn(ZhumuSDK::AUTHRET_SUCCESS));

    QCOMPARE(QString::fromStdString(output.text()),
             QStringLiteral("onAuthenticationReturn\nZhumuSDK::AUTHRET_SUCCESS\n"));
    const auto logins = zhumu_double::loginRecords();
    QCOMPARE(logins.size(), size_t(1));
    QCOMPARE(logins[0].raw.loginType, 1);
    QCOMPARE(logins[0].account, std::wstring(L"zhangsan@example.com"));
    QCOMPARE(logins[0].password, std::wstring(L"Zs-Meet-2024"));
    QCOMPARE(int(logins[0].raw.rememberMe), 0);
    // Sent, the password is of no more use: it does not wait for the answer.
    QVERIFY(window->m_wstrLoginPassword.empty());
    QVERIFY(harness.errorBoxes.empty() && harness.systemBoxes.empty());
    QVERIFY(window->isVisible());
    QVERIFY(!window->isEnabled());
    QVERIFY(window->m_pAbove->isVisible());
}

void SdkSessionTest::loginRequestRejected_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("output");

    QTest::newRow("8") << 8 << "onAuthenticationReturn\nZhumuSDK::AUTHRET_SUCCESS\nhere\n8\n";
    QTest::newRow("3") << 3 << "onAuthenticationReturn\nZhumuSDK::AUTHRET_SUCCESS\n3\n";
}

void SdkSessionTest::loginRequestRejected()
{
    QFETCH(int, code);
    QFETCH(QString, output);

    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(window->startSdkSession("zhangsan@example.com", "Zs-Meet-2024", 12));
    zhumu_double::setResult("auth.Login", code);
    StdoutCapture captured;
    QVERIFY(zhumu_double::fireAuthenticationReturn(ZhumuSDK::AUTHRET_SUCCESS));

    QCOMPARE(QString::fromStdString(captured.text()), output);
    QCOMPARE(harness.errorBoxes.size(), size_t(1));
    QVERIFY(harness.errorBoxes[0].parent == window.get());
    QCOMPARE(harness.errorBoxes[0].title, QString::fromUtf8("出错提示"));
    QCOMPARE(harness.errorBoxes[0].text, QString::fromUtf8("登录失败"));
    QVERIFY(!window->isVisible());
    QVERIFY(!window->m_pAbove->isVisible());
    QVERIFY(logText().contains(QStringLiteral("m_AuthService->Login return: %1").arg(code)));
    // The password never reaches the log.
    QVERIFY(!logText().contains(QStringLiteral("Zs-Meet-2024")));
}

void SdkSessionTest::loginSuccess()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    StdoutCapture output;
    QVERIFY(SessionHarness::logIn());

    QCOMPARE(QString::fromStdString(output.text()),
             QStringLiteral("onLoginRet\nLOGINSTATUS::LOGIN_SUCCESS\n"));
    QVERIFY(logText().contains(QStringLiteral("return in onLoginRet: 2")));
    QVERIFY(window->isEnabled());
    QVERIFY(window->isVisible());
    QVERIFY(!window->m_pAbove->isVisible());
    QVERIFY(harness.errorBoxes.empty());
    // The user-name flow ran to completion inside the handler.
    QCOMPARE(window->m_strUserName, std::string("张三"));

    QVERIFY(window->m_MeetingService == zhumu_double::meetingService());
    QVERIFY(window->m_pParticipantsCtrl != nullptr);
    QVERIFY(window->m_pShareCtrl != nullptr);
    const std::vector<std::string> expected = {"meeting.setEventSink", "participants.setEventSink",
                                               "share.setEventSink",   "ui.setEventSink",
                                               "audio.setEventSink",   "video.setEventSink"};
    QCOMPARE(sinkRegistrations(zhumu_double::calls()), expected);
    QVERIFY(zhumu_double::meetingSink() == static_cast<ZhumuSDK::IMeetingServiceEvent*>(window.get()));
    QVERIFY(zhumu_double::uiSink() == static_cast<ZhumuSDK::IMeetingUIControllerEvent*>(window.get()));
    QVERIFY(zhumu_double::videoSink() == static_cast<ZhumuSDK::IMeetingVideoCtrlEvent*>(window.get()));
}

void SdkSessionTest::loginFailed()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    StdoutCapture output;
    QVERIFY(zhumu_double::fireLoginRet(ZhumuSDK::LOGIN_FAILED));

    QCOMPARE(QString::fromStdString(output.text()), QStringLiteral("onLoginRet\n"));
    QVERIFY(logText().contains(QStringLiteral("return in onLoginRet: 3")));
    QCOMPARE(harness.errorBoxes.size(), size_t(1));
    QVERIFY(harness.errorBoxes[0].parent == window.get());
    QCOMPARE(harness.errorBoxes[0].title, QString::fromUtf8("出错提示"));
    QCOMPARE(harness.errorBoxes[0].text, QString::fromUtf8("登录回调失败,未初始化会议"));
    QVERIFY(!window->isVisible());
    QVERIFY(!window->m_pAbove->isVisible());
    QVERIFY(!window->isEnabled());
    QCOMPARE(callIndex(zhumu_double::calls(), "Zhumu_CreateMeetingService"), -1);
}

void SdkSessionTest::loginOtherStatus()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    QVERIFY(zhumu_double::fireLoginRet(ZhumuSDK::LOGIN_PROCESSING));

    QVERIFY(harness.errorBoxes.empty() && harness.systemBoxes.empty());
    QVERIFY(window->isVisible());
    QVERIFY(!window->isEnabled());
    QVERIFY(window->m_pAbove->isVisible());
    QCOMPARE(callIndex(zhumu_double::calls(), "Zhumu_CreateMeetingService"), -1);
}

void SdkSessionTest::meetingServiceFailure()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    zhumu_double::setResult("Zhumu_CreateMeetingService", 9);
    QVERIFY(SessionHarness::logIn());

    QCOMPARE(harness.errorBoxes.size(), size_t(1));
    QVERIFY(harness.errorBoxes[0].parent == window.get());
    QCOMPARE(harness.errorBoxes[0].text, QString::fromUtf8("SDK创建会议服务失败"));
    QVERIFY(logText().contains(QStringLiteral("Zhumu_CreateMeetingService return : 9")));
    QVERIFY(!window->isVisible());
    QVERIFY(window->m_MeetingService == nullptr);
    QVERIFY(sinkRegistrations(zhumu_double::calls()).empty());
    // The remaining login steps still run.
    QVERIFY(window->isEnabled());
    QCOMPARE(window->m_strUserName, std::string("张三"));
}

void SdkSessionTest::missingControllersAreSkipped()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    zhumu_double::Objects objects;
    objects.participantsController = false;
    objects.shareController = false;
    objects.audioController = false;
    zhumu_double::setObjects(objects);
    QVERIFY(SessionHarness::logIn());

    QVERIFY(window->m_pParticipantsCtrl == nullptr);
    QVERIFY(window->m_pShareCtrl == nullptr);
    const std::vector<std::string> expected = {"meeting.setEventSink", "ui.setEventSink",
                                               "video.setEventSink"};
    QCOMPARE(sinkRegistrations(zhumu_double::calls()), expected);
    QVERIFY(harness.errorBoxes.empty());
}

void SdkSessionTest::missingSettingService()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    zhumu_double::Objects objects;
    objects.settingService = false;
    zhumu_double::setObjects(objects);
    QVERIFY(SessionHarness::signIn(*window));

    QCOMPARE(harness.errorBoxes.size(), size_t(1));
    QVERIFY(harness.errorBoxes[0].parent == nullptr);
    QCOMPARE(harness.errorBoxes[0].title, QString::fromUtf8("出错提示"));
    QCOMPARE(harness.errorBoxes[0].text, QString::fromUtf8("初始化设置异常(m_SettingService为空)"));
    QVERIFY(window->isVisible());
    QVERIFY(window->isEnabled());

    // Without the service the settings entry does nothing.
    window->OnZhumuSetting();
    QVERIFY(zhumu_double::settingsRecords().empty());
}

void SdkSessionTest::meetingStatuses()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));
    window->onChooseJoinMeet();
    QLabel* wrongLine = window->m_pJoinConference->m_pLabMeetCodeWrong;
    window->m_pJoinConference->m_strMeetCode = QStringLiteral("987654");

    {
        StdoutCapture output;
        QVERIFY(zhumu_double::fireMeetingStatus(ZhumuSDK::MEETING_STATUS_FAILED, 1));
        QCOMPARE(QString::fromStdString(output.text()), QStringLiteral("ZhumuSDK::MEETING_STATUS_FAILED\n"));
        QCOMPARE(wrongLine->styleSheet(), QString::fromUtf8(kCodeWrongWhite));
    }
    {
        StdoutCapture output;
        QVERIFY(zhumu_double::fireMeetingStatus(ZhumuSDK::MEETING_STATUS_FAILED,
                                                ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST));
        QCOMPARE(QString::fromStdString(output.text()), QStringLiteral("ZhumuSDK::MEETING_STATUS_FAILED\n"));
        QCOMPARE(wrongLine->styleSheet(), QString::fromUtf8(kCodeWrongRed));
        // The entered code stays for another try.
        QCOMPARE(window->m_pJoinConference->m_strMeetCode, QStringLiteral("987654"));
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
    }
    {
        StdoutCapture output;
        QVERIFY(zhumu_double::fireMeetingStatus(ZhumuSDK::MEETING_STATUS_INMEETING, 0));
        QCOMPARE(QString::fromStdString(output.text()),
                 QStringLiteral("ZhumuSDK::MEETING_STATUS_INMEETING\n"));
        QCOMPARE(wrongLine->styleSheet(), QString::fromUtf8(kCodeWrongWhite));
    }
    {
        StdoutCapture output;
        QVERIFY(zhumu_double::fireMeetingStatus(ZhumuSDK::MEETING_STATUS_ENDED, 0));
        QVERIFY(zhumu_double::fireMeetingStatus(1, 0));
        QCOMPARE(QString::fromStdString(output.text()), QStringLiteral("ZhumuSDK::MEETING_STATUS_ENDED\n"));
        QCOMPARE(wrongLine->styleSheet(), QString::fromUtf8(kCodeWrongWhite));
    }
    QVERIFY(harness.errorBoxes.empty());
}

void SdkSessionTest::instantMeetingRecords()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));

    TempMeetWin* pane = window->m_pCreateConference->m_pTempMeetWin;
    pane->m_pLnEtMeetTopic->setText(QString::fromUtf8("周会"));
    pane->m_bVedioMeet = true;
    window->onStartConference();
    pane->m_bVedioMeet = false;
    window->onStartConference();

    const auto starts = zhumu_double::startRecords();
    QCOMPARE(starts.size(), size_t(2));
    for (const auto& start : starts) {
        QCOMPARE(start.raw.userType, 100);
        QCOMPARE(start.raw.meetingNumber, int64_t(0));
        QCOMPARE(start.raw.reserved0, 0);
        QVERIFY(start.vanityId.empty() && start.inviteText.empty());
        QCOMPARE(int(start.raw.directShare), 0);
        QCOMPARE(int(start.raw.isAudioOff), 0);
    }
    QCOMPARE(int(starts[0].raw.isVideoOff), 0);
    QCOMPARE(int(starts[1].raw.isVideoOff), 1);
    QVERIFY(harness.errorBoxes.empty());
}

void SdkSessionTest::instantMeetingNeedsTopic()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));

    window->m_pCreateConference->m_pTempMeetWin->m_pLnEtMeetTopic->setText(
        QString::fromUtf8("请输入会议主题"));
    window->onStartConference();

    QVERIFY(zhumu_double::startRecords().empty());
    QCOMPARE(harness.errorBoxes.size(), size_t(1));
    QVERIFY(harness.errorBoxes[0].parent == nullptr);
    QCOMPARE(harness.errorBoxes[0].title, QString::fromUtf8("出错提示"));
    QCOMPARE(harness.errorBoxes[0].text, QString::fromUtf8("会议主题没有输入,请输入"));
}

void SdkSessionTest::cardStartRecords_data()
{
    QTest::addColumn<QString>("meetingId");
    QTest::addColumn<qint64>("number"); // 0: refused, nothing sent

    QTest::newRow("number") << "9876543210" << qint64(9876543210LL);
    QTest::newRow("largest") << "9223372036854775807" << qint64(9223372036854775807LL);
    // Number 0 would start a new instant meeting instead of this one.
    QTest::newRow("not a number") << "abc" << qint64(0);
    QTest::newRow("digits then text") << "123abc" << qint64(0);
    QTest::newRow("trailing space") << "9876543210 " << qint64(0);
    QTest::newRow("20 digits") << "12345678901234567890" << qint64(0);
    QTest::newRow("too large") << "9223372036854775808" << qint64(0);
    QTest::newRow("zero") << "0" << qint64(0);
    QTest::newRow("empty") << "" << qint64(0);
}

void SdkSessionTest::cardStartRecords()
{
    QFETCH(QString, meetingId);
    QFETCH(qint64, number);

    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));

    ShowAMeet card(0, "周会", "2024-03-07T01:00:00Z", 30, meetingId.toStdString(), false, false);
    window->onAMeetStartSlots(&card);
    // A reminder's "开始会议" starts by the same code.
    emit window->m_pMeetingReminders->startRequested(meetingId);

    const auto starts = zhumu_double::startRecords();
    if (number == 0) {
        QVERIFY(starts.empty());
        QCOMPARE(harness.errorBoxes.size(), size_t(2));
        for (const ErrorBoxRecord& box : harness.errorBoxes) {
            QCOMPARE(box.text, QString::fromUtf8("会议码无效，无法开始会议"));
        }
        return;
    }
    QCOMPARE(starts.size(), size_t(2));
    for (const auto& start : starts) {
        QCOMPARE(start.raw.userType, 100);
        QCOMPARE(start.raw.meetingNumber, int64_t(number));
        // A listed meeting always starts with video, whatever the card says.
        QCOMPARE(int(start.raw.isVideoOff), 0);
    }
    QVERIFY(harness.errorBoxes.empty());
}

void SdkSessionTest::joinWithChineseDisplayName()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));
    QCOMPARE(window->m_strUserName, std::string("张三"));

    window->m_pJoinConference->m_strMeetCode = QStringLiteral("1234567890");
    window->onStartJoinConference();

    const auto joins = zhumu_double::joinRecords();
    QCOMPARE(joins.size(), size_t(1));
    QCOMPARE(joins[0].raw.userType, 100);
    QCOMPARE(joins[0].raw.meetingNumber, int64_t(1234567890));
    QCOMPARE(joins[0].displayName, std::wstring(L"张三"));
    QVERIFY(joins[0].vanityId.empty() && joins[0].password.empty());
    QCOMPARE(int(joins[0].raw.isVideoOff), 0);
    QCOMPARE(int(joins[0].raw.isAudioOff), 0);
}

void SdkSessionTest::joinRefusesBadCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("heldAfterwards");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("point") << "123.45"
                           << "";
    // Typed by keyboard: not a meeting number.
    QTest::newRow("letters") << "12a4"
                             << "12a4";
    QTest::newRow("sign") << "-42"
                          << "-42";
    QTest::newRow("beyond 64 bits") << "99999999999999999999"
                                    << "99999999999999999999";
}

void SdkSessionTest::joinRefusesBadCodes()
{
    QFETCH(QString, code);
    QFETCH(QString, heldAfterwards);

    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));
    window->onChooseJoinMeet();
    window->m_pJoinConference->m_QlntShow->setText(code);
    window->m_pJoinConference->m_strMeetCode = code;
    QSignalSpy wrong(window.get(), &Talvora::meetCodeWrong);

    window->onStartJoinConference();

    QCOMPARE(wrong.count(), 1);
    QCOMPARE(window->m_pJoinConference->m_pLabMeetCodeWrong->styleSheet(), QString::fromUtf8(kCodeWrongRed));
    QCOMPARE(window->m_pJoinConference->m_strMeetCode, heldAfterwards);
    QCOMPARE(window->m_pJoinConference->m_QlntShow->text(), code);
    QVERIFY(zhumu_double::joinRecords().empty());
    QVERIFY(harness.errorBoxes.empty());
}

void SdkSessionTest::joinOffersRenameWhileNameIsInitial()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    SessionHarness::queueUserAnswer("zhangsan");
    QVERIFY(zhumu_double::fireLoginRet(ZhumuSDK::LOGIN_SUCCESS));
    QCOMPARE(window->m_strUserName, window->m_strInitUserName);

    bool dialogSeen = false;
    QTimer::singleShot(0, [&dialogSeen] {
        QWidget* dialog = QApplication::activeModalWidget();
        dialogSeen = dialog != nullptr && dialog->inherits("CremaneWindow");
        if (auto* modal = qobject_cast<QDialog*>(dialog)) {
            modal->reject();
        }
    });
    window->m_pJoinConference->m_strMeetCode = QStringLiteral("5550001");
    window->onStartJoinConference();

    QVERIFY(dialogSeen);
    const auto joins = zhumu_double::joinRecords();
    QCOMPARE(joins.size(), size_t(1));
    QCOMPARE(joins[0].raw.meetingNumber, int64_t(5550001));
    QCOMPARE(joins[0].displayName, std::wstring(L"zhangsan"));
}

void SdkSessionTest::settingsDialogRecord()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));
    window->move(123, 45);

    window->OnZhumuSetting();

    const auto records = zhumu_double::settingsRecords();
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(records[0].parentWindow, static_cast<uintptr_t>(window->winId()));
    QCOMPARE(records[0].top, window->y());
    QCOMPARE(records[0].left, window->x());
    QCOMPARE(records[0].top, 45);
    QCOMPARE(records[0].left, 123);
    QCOMPARE(records[0].settingWindow, 0);
    QCOMPARE(int(records[0].show), 1);
    QCOMPARE(records[0].reserved, 0);

    // The join page's link opens the SDK's test call with the same record.
    window->m_pJoinConference->m_pBtnTestCall->click();
    QCOMPARE(QString::fromStdString(zhumu_double::calls().back()),
             QStringLiteral("setting.showTestCallWindow"));
    QCOMPARE(zhumu_double::settingsRecords().size(), size_t(2));
    QCOMPARE(zhumu_double::settingsRecords()[1].parentWindow, static_cast<uintptr_t>(window->winId()));
}

void SdkSessionTest::requestsWaitForTheirService()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));

    window->m_pCreateConference->m_pTempMeetWin->m_pLnEtMeetTopic->setText(QString::fromUtf8("周会"));
    window->onStartConference();
    ShowAMeet card(0, "周会", "2024-03-07T01:00:00Z", 30, "42", true, true);
    window->onAMeetStartSlots(&card);
    window->m_strUserName = "张三";
    window->m_pJoinConference->m_strMeetCode = QStringLiteral("42");
    window->onStartJoinConference();

    QVERIFY(zhumu_double::startRecords().empty());
    QVERIFY(zhumu_double::joinRecords().empty());
    QVERIFY(harness.errorBoxes.empty());
}

void SdkSessionTest::inviteButtonLeftToSdk()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    bool handled = true;
    window->onInviteBtnClicked(&handled);
    QCOMPARE(handled, false);
    window->onInviteBtnClicked(nullptr);
}

// The window closes while the rename's name update is held: the join that
// was to follow is never sent.
void SdkSessionTest::joinAfterTheRenameIsNotSentAfterAQuit()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    SessionHarness::queueUserAnswer("zhangsan");
    QVERIFY(zhumu_double::fireLoginRet(ZhumuSDK::LOGIN_SUCCESS));
    kelp_double::holdExchanges("/v3/user/update", std::chrono::milliseconds(20000));

    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<CremaneWindow*>(QApplication::activeModalWidget())) {
            dialog->m_pNameLineEdit->setText(QString::fromUtf8("李雷"));
            dialog->m_pSureBtn->click();
        }
    });
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (talvora::exchangeInFlight()) {
            closer.stop();
            window->close();
        }
    });
    closer.start();
    QElapsedTimer clock;
    clock.start();
    window->m_pJoinConference->m_strMeetCode = QStringLiteral("5550001");
    window->onStartJoinConference();

    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(talvora::quitRequested());
    QVERIFY(kelp_double::exchanges().back().url.find("/v3/user/update?") != std::string::npos);
    QVERIFY(zhumu_double::joinRecords().empty());
    QVERIFY(harness.errorBoxes.empty());
    talvora::clearQuitRequest();
}

// A reminder's "开始会议" that waits for an exchange is dropped when the user
// quits meanwhile.
void SdkSessionTest::reminderStartWaitingForAnExchangeIsDroppedAfterAQuit()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::signIn(*window));
    kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(20000));
    QTimer::singleShot(100, [&window] {
        emit window->m_pMeetingReminders->startRequested(QStringLiteral("9876543210"));
        window->close();
    });
    window->onChooseMyMeet();
    QTest::qWait(100); // the turn of the calls that waited

    QVERIFY(talvora::quitRequested());
    QVERIFY(zhumu_double::startRecords().empty());
    QVERIFY(harness.errorBoxes.empty());
    talvora::clearQuitRequest();
}

void SdkSessionTest::teardownOrder()
{
    // Marks the watcher thread's end in the call list.
    struct ExitMark
    {
        ~ExitMark() { zhumu_double::recordCall("watcher.exit"); }
    };
    std::atomic<bool> polled{false}; // outlives the window and its watcher

    SessionHarness harness;
    auto window = harness.makeWindow();
    QVERIFY(SessionHarness::startAndAuthorise(*window));
    window->setAddressSource([&polled](std::string& address) {
        thread_local ExitMark mark;
        static_cast<void>(&mark);
        address = "192.0.2.10";
        polled = true;
        return 0;
    });
    QVERIFY(SessionHarness::logIn());
    QTRY_VERIFY(polled.load());

    int finiCallsAtCleanUp = -1;
    zhumu_double::setCallObserver([&finiCallsAtCleanUp](const std::string& call) {
        if (call == "Zhumu_CleanUPSDK") {
            const auto calls = kelp_double::calls();
            finiCallsAtCleanUp = static_cast<int>(std::count(calls.begin(), calls.end(), "Fini"));
        }
    });
    ZhumuSDK::IMeetingService* meeting = window->m_MeetingService;
    ZhumuSDK::ISettingService* setting = window->m_SettingService;
    ZhumuSDK::IAuthService* auth = window->m_AuthService;
    window.reset();

    const auto calls = zhumu_double::calls();
    const int exit = callIndex(calls, "watcher.exit");
    QVERIFY(exit >= 0);
    std::vector<std::string> afterWatcher(calls.begin() + exit, calls.end());
    const std::vector<std::string> expected = {"watcher.exit", "Zhumu_DestroyMeetingService",
                                               "Zhumu_DestroySettingService", "Zhumu_DestroyAuthService",
                                               "Zhumu_CleanUPSDK"};
    QCOMPARE(afterWatcher, expected);

    const auto destroyed = zhumu_double::destroyCalls();
    QCOMPARE(destroyed.size(), size_t(3));
    QVERIFY(destroyed[0].service == meeting);
    QVERIFY(destroyed[1].service == setting);
    QVERIFY(destroyed[2].service == auth);

    QCOMPARE(finiCallsAtCleanUp, 0);
    const auto kelpCalls = kelp_double::calls();
    QCOMPARE(std::count(kelpCalls.begin(), kelpCalls.end(), "Fini"), 1L);
    QCOMPARE(kelpCalls.back(), std::string("Fini"));
}

void SdkSessionTest::teardownWithoutSession()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    window.reset();

    const std::vector<std::string> expected = {"Zhumu_DestroyMeetingService", "Zhumu_DestroySettingService",
                                               "Zhumu_DestroyAuthService", "Zhumu_CleanUPSDK"};
    QCOMPARE(zhumu_double::calls(), expected);
    for (const auto& destroyed : zhumu_double::destroyCalls()) {
        QVERIFY(destroyed.service == nullptr);
    }
    const auto kelpCalls = kelp_double::calls();
    QCOMPARE(kelpCalls.back(), std::string("Fini"));
}

QTEST_MAIN(SdkSessionTest)
#include "SdkSessionTest.moc"
