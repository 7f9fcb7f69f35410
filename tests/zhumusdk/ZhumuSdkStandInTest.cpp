// The conferencing SDK stand-in against the development service: the
// authorisation and login outcomes, the settings dialog, and the delivery
// rules every event obeys (queued on the GUI thread, never inside the request
// call, never to a destroyed service). Meetings are admitted by a service of
// the test's own (FakeSdkService), whose answers carry a media part, and run
// on the meeting engine's double.

#include "Config.h"
#include "DeviceDouble.h"
#include "FakeSdkService.h"
#include "MeetingEngineDouble.h"
#include "MeetingPrompts.h"
#include "MeetingWindow.h"
#include "ParticipantsPanel.h"
#include "SettingsDialog.h"
#include "VideoTile.h"
#include "ZhumuSDK.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using talvora::media::EngineDouble;
using talvora::media::MeetingEngine;

namespace {

constexpr int kEventTimeoutMs = 15000;
const wchar_t* const kAppKey = L"Xq7LmP2vRt9KsW4nBd6HyZ1cFg8JuE3oAi5T";
const wchar_t* const kAppSecret = L"Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5W";
// Nothing listens on port 1 of the loopback: the connection is refused at once.
const wchar_t* const kUnreachableDomain = L"127.0.0.1:1";

// Set while a request call runs; an event that sees it arrived inside the
// caller's stack.
bool g_inRequest = false;

template <class Call> auto request(Call call)
{
    g_inRequest = true;
    const auto result = call();
    g_inRequest = false;
    return result;
}

class Recorder : public ZhumuSDK::IAuthServiceEvent,
                 public ZhumuSDK::IMeetingServiceEvent,
                 public ZhumuSDK::IMeetingParticipantsCtrlEvent,
                 public ZhumuSDK::IMeetingAudioCtrlEvent,
                 public ZhumuSDK::IMeetingVideoCtrlEvent
{
public:
    void onAuthenticationReturn(int result) override
    {
        note();
        authResults.push_back(result);
    }
    void onLoginRet(int status, void*) override
    {
        note();
        loginStatuses.push_back(status);
    }
    void onLogout() override {}
    void onTokenExpired() override {}
    void onMeetingStatus(int status, int reason) override
    {
        note();
        meetingStatuses.emplace_back(status, reason);
    }
    void onMeetingStatisticsWarning(int) override {}
    void onMeetingSecureKeyNotification(const char*, int) override {}
    void onMeetingParameterNotification(const void*) override {}
    void onUserJoin(const uint32_t* ids, int count) override { noteUsers("join", ids, count); }
    void onUserLeft(const uint32_t* ids, int count) override { noteUsers("left", ids, count); }
    void onHostChangeNotification(uint32_t id) override { noteUsers("host", &id, 1); }
    void onUserAudioStatusChange(uint32_t id, int status) override
    {
        noteUsers("audio", &id, 1);
        controllerEvents.back() += QStringLiteral(" %1").arg(status);
    }
    void onUserActiveAudioChange(const uint32_t* ids, int count) override
    {
        noteUsers("talking", ids, count);
    }
    void onUserVideoStatusChange(uint32_t id, int status) override
    {
        noteUsers("video", &id, 1);
        controllerEvents.back() += QStringLiteral(" %1").arg(status);
    }
    void onSpotlightVideoChangeNotification(bool, uint32_t) override {}

    std::vector<int> authResults;
    std::vector<int> loginStatuses;
    std::vector<std::pair<int, int>> meetingStatuses;
    QStringList controllerEvents; // "join 1", "audio 2 1", "talking 1,2", ...
    int eventsInsideRequest = 0;
    int eventsOffGuiThread = 0;

private:
    void noteUsers(const char* what, const uint32_t* ids, int count)
    {
        note();
        QStringList list;
        for (int i = 0; i < count; ++i)
            list << QString::number(ids[i]);
        controllerEvents << QString::fromLatin1(what) + QLatin1Char(' ') + list.join(QLatin1Char(','));
    }

    void note()
    {
        if (g_inRequest)
            ++eventsInsideRequest;
        if (QThread::currentThread() != qApp->thread())
            ++eventsOffGuiThread;
    }
};

std::wstring wide(const char* utf8)
{
    return QString::fromUtf8(utf8).toStdWString();
}

QDialog* visibleDialog(const char* objectName)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(objectName) && widget->isVisible())
            return qobject_cast<QDialog*>(widget);
    }
    return nullptr;
}

int visibleDialogCount(const char* objectName)
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->objectName() == QLatin1String(objectName) && widget->isVisible();
    return count;
}

// A picture for people to look at, when TALVORA_SHOT_DIR names a folder.
void saveShot(QWidget* window, const char* fileName)
{
    const QString shotDir = qEnvironmentVariable("TALVORA_SHOT_DIR");
    if (shotDir.isEmpty())
        return;
    QDir().mkpath(shotDir);
    if (!window->grab().save(shotDir + QLatin1Char('/') + QLatin1String(fileName)))
        qWarning("could not save %s", fileName);
}

// This participant's tile: the first of the gallery.
const talvora::zhumu::VideoTile* selfTile(QWidget* window)
{
    for (auto* tile : window->findChildren<talvora::zhumu::VideoTile*>()) {
        if (tile->participant().self)
            return tile;
    }
    return nullptr;
}

QString selfName(QWidget* window)
{
    const talvora::zhumu::VideoTile* tile = selfTile(window);
    return tile ? tile->participant().displayName : QString();
}

QAbstractButton* button(QWidget* window, const char* objectName)
{
    return window ? window->findChild<QAbstractButton*>(QLatin1String(objectName)) : nullptr;
}

} // namespace

class ZhumuSdkStandInTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void initialisationAndServiceLifetime();
    void authorisation_data();
    void authorisation();
    void login_data();
    void login();
    void instantMeetingOpensWindowAndLeavingEndsIt();
    void closingTheMeetingWindowEndsTheMeeting();
    void meetingWindowCanBeLeftWhileTheClientRunsModally();
    void joinWithChineseNameShowsIt();
    void joinOfUnknownNumberFailsWithReason8();
    void instantMeetingWithoutLoginFails();
    void secondMeetingWhileOneRunsIsRefused();
    void destroyedMeetingServiceMissesItsEvent();
    void destroyingMeetingServiceClosesItsWindowSilently();
    void controllersExistAndAcceptSinks();
    void admissionWithoutMediaFails();
    void switchesAndTestMediaShapeTheEngine();
    void meetingOverReportsAndTellsTheService_data();
    void meetingOverReportsAndTellsTheService();
    void controllerEventsReachTheSinksQueued();
    void lostMeetingIsAdmittedAgain();
    void hostModerationGoesToTheService();
    void meetingWindowBelongsToTheClientWindowNotToAPassingBox();
    void settingsDialogAtPositionKeepsSwitches();
    void testCallAsksTheServiceForItsEchoServer();
    void cleanUpClosesWindows();

private:
    struct Services
    {
        ZhumuSDK::IAuthService* auth = nullptr;
        ZhumuSDK::IMeetingService* meetings = nullptr;
    };

    int initialise(const std::wstring& domain);
    // Both services reporting to recorder; against a dead service when not
    // reachable. Null members when they could not be made.
    Services createServices(Recorder& recorder, bool reachable = true);
    // createServices at the test's own service (FakeSdkService), then the
    // login of a demo account; false when it failed.
    bool signIn(Recorder& recorder, Services& services);
    QString startInstantMeeting(Recorder& recorder, ZhumuSDK::IMeetingService* meetings, bool noVideo);

    std::wstring m_domain;
    const wchar_t* m_branding = L"OrvaneMeeting";
    std::wstring m_supportUrl;
    std::unique_ptr<FakeSdkService> m_fake;
};

void ZhumuSdkStandInTest::initTestCase()
{
    m_fake = std::make_unique<FakeSdkService>();
    QVERIFY(m_fake->start());
}

int ZhumuSdkStandInTest::initialise(const std::wstring& domain)
{
    m_domain = domain;
    ZhumuSDK::InitParam param{};
    param.webDomain = m_domain.c_str();
    param.brandingName = m_branding;
    param.supportUrl = m_supportUrl.c_str();
    param.languageId = -1;
    param.renderMode = 2;
    param.logFileSizeMB = 5;
    return Zhumu_InitSDK(&param);
}

void ZhumuSdkStandInTest::init()
{
    m_supportUrl = wide(talvora::config::kSupportUrl);
    QCOMPARE(initialise(wide(talvora::config::kSdkWebDomain)), 0);
}

void ZhumuSdkStandInTest::cleanup()
{
    Zhumu_CleanUPSDK();
    EngineDouble::reset();
    talvora::media::DeviceDouble::reset();
    talvora::zhumu::setPromptHook({});
    talvora::zhumu::SettingsDialog::switches() = talvora::zhumu::MeetingSwitches();
    m_fake->answerMeetings(200, FakeSdkService::admission(true));
    // Outcomes queued before the clean-up run now and must find nothing.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    g_inRequest = false;
}

ZhumuSdkStandInTest::Services ZhumuSdkStandInTest::createServices(Recorder& recorder, bool reachable)
{
    Services services;
    if (!reachable && (Zhumu_CleanUPSDK() != 0 || initialise(kUnreachableDomain) != 0))
        return services;
    if (Zhumu_CreateAuthService(&services.auth) != 0 || Zhumu_CreateMeetingService(&services.meetings) != 0)
        return services;
    services.auth->setEventSink(&recorder);
    services.meetings->setEventSink(&recorder);
    return services;
}

bool ZhumuSdkStandInTest::signIn(Recorder& recorder, Services& services)
{
    if (Zhumu_CleanUPSDK() != 0 ||
        initialise(QString::fromStdString(m_fake->webDomain()).toStdWString()) != 0)
        return false;
    services = createServices(recorder);
    if (!services.auth || !services.meetings)
        return false;
    const std::wstring account = L"zhangsan@example.com";
    const std::wstring password = L"Zs-Meet-2024";
    ZhumuSDK::LoginParam login{};
    login.loginType = 1;
    login.account = account.c_str();
    login.password = password.c_str();
    const size_t before = recorder.loginStatuses.size();
    if (request([&] { return services.auth->Login(&login); }) != 0)
        return false;
    return QTest::qWaitFor([&] { return recorder.loginStatuses.size() > before; }, kEventTimeoutMs) &&
           recorder.loginStatuses.back() == ZhumuSDK::LOGIN_SUCCESS;
}

QString ZhumuSdkStandInTest::startInstantMeeting(Recorder& recorder, ZhumuSDK::IMeetingService* meetings,
                                                 bool noVideo)
{
    ZhumuSDK::StartParam start{};
    start.userType = 100;
    start.meetingNumber = 0;
    start.isVideoOff = noVideo ? 1 : 0;
    const size_t before = recorder.meetingStatuses.size();
    if (request([&] { return meetings->startMeeting(&start); }) != 0)
        return QString();
    if (!QTest::qWaitFor([&] { return recorder.meetingStatuses.size() > before; }, kEventTimeoutMs))
        return QString();
    if (recorder.meetingStatuses.back() != std::make_pair(ZhumuSDK::MEETING_STATUS_INMEETING, 0))
        return QString();
    QDialog* window = visibleDialog("zhumuMeetingWindow");
    return window ? window->windowTitle().mid(3) : QString();
}

void ZhumuSdkStandInTest::initialisationAndServiceLifetime()
{
    QCOMPARE(Zhumu_CleanUPSDK(), 0);
    ZhumuSDK::IAuthService* auth = nullptr;
    QVERIFY(Zhumu_CreateAuthService(&auth) != 0);
    QVERIFY(auth == nullptr);
    QVERIFY(Zhumu_CleanUPSDK() != 0);

    QVERIFY(Zhumu_InitSDK(nullptr) != 0);
    QVERIFY(initialise(L"") != 0);
    QVERIFY(initialise(L"evil.example/path?") != 0);
    QVERIFY(initialise(L"user@evil.example") != 0);
    QCOMPARE(initialise(wide(talvora::config::kSdkWebDomain)), 0);
    QVERIFY(initialise(wide(talvora::config::kSdkWebDomain)) != 0);

    ZhumuSDK::IMeetingService* meetings = nullptr;
    ZhumuSDK::ISettingService* settings = nullptr;
    QCOMPARE(Zhumu_CreateAuthService(&auth), 0);
    QCOMPARE(Zhumu_CreateMeetingService(&meetings), 0);
    QCOMPARE(Zhumu_CreateSettingService(&settings), 0);
    QVERIFY(auth && meetings && settings);
    QVERIFY(Zhumu_CreateAuthService(nullptr) != 0);

    QVERIFY(Zhumu_DestroyAuthService(nullptr) != 0);
    QCOMPARE(Zhumu_DestroyAuthService(auth), 0);
    // Handed back twice: refused, not freed again.
    QVERIFY(Zhumu_DestroyAuthService(auth) != 0);
    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);
    QCOMPARE(Zhumu_DestroySettingService(settings), 0);
}

void ZhumuSdkStandInTest::authorisation_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<int>("result");

    const QString key = QString::fromWCharArray(kAppKey);
    const QString secret = QString::fromWCharArray(kAppSecret);
    QTest::newRow("right key and secret") << true << key << secret << ZhumuSDK::AUTHRET_SUCCESS;
    QTest::newRow("wrong secret") << true << key << QStringLiteral("Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5X")
                                  << ZhumuSDK::AUTHRET_KEYORSECRETWRONG;
    QTest::newRow("wrong key") << true << QStringLiteral("not-the-key") << secret
                               << ZhumuSDK::AUTHRET_KEYORSECRETWRONG;
    // Against a dead service: an empty value must not even be sent.
    QTest::newRow("empty key") << false << QString() << secret << ZhumuSDK::AUTHRET_KEYORSECRETEMPTY;
    QTest::newRow("empty secret") << false << key << QString() << ZhumuSDK::AUTHRET_KEYORSECRETEMPTY;
    QTest::newRow("service unreachable") << false << key << secret << ZhumuSDK::AUTHRET_UNKNOWN;
}

void ZhumuSdkStandInTest::authorisation()
{
    QFETCH(bool, reachable);
    QFETCH(QString, key);
    QFETCH(QString, secret);
    QFETCH(int, result);

    Recorder recorder;
    ZhumuSDK::IAuthService* auth = createServices(recorder, reachable).auth;
    QVERIFY(auth);

    const std::wstring wideKey = key.toStdWString();
    const std::wstring wideSecret = secret.toStdWString();
    ZhumuSDK::AuthParam param{};
    param.appKey = key.isNull() ? nullptr : wideKey.c_str();
    param.appSecret = wideSecret.c_str();
    QCOMPARE(request([&] { return auth->SDKAuth(&param); }), 0);
    QVERIFY(recorder.authResults.empty());
    QTRY_COMPARE_WITH_TIMEOUT(recorder.authResults.size(), size_t(1), kEventTimeoutMs);
    QCOMPARE(recorder.authResults.front(), result);
    QCOMPARE(recorder.eventsInsideRequest, 0);
    QCOMPARE(recorder.eventsOffGuiThread, 0);
    QVERIFY(auth->SDKAuth(nullptr) != 0);
    QCOMPARE(Zhumu_DestroyAuthService(auth), 0);
}

void ZhumuSdkStandInTest::login_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");

    QTest::newRow("e-mail") << true << QStringLiteral("zhangsan@example.com")
                            << QStringLiteral("Zs-Meet-2024") << ZhumuSDK::LOGIN_SUCCESS;
    QTest::newRow("e-mail in capitals") << true << QStringLiteral("ZhangSan@Example.com")
                                        << QStringLiteral("Zs-Meet-2024") << ZhumuSDK::LOGIN_SUCCESS;
    QTest::newRow("user name and suffix")
        << true << QStringLiteral("lisi") + QString::fromUtf8(talvora::config::kEmailSuffix)
        << QStringLiteral("LiSi-Password-16") << ZhumuSDK::LOGIN_SUCCESS;
    QTest::newRow("bare user name") << true << QStringLiteral("lisi") << QStringLiteral("LiSi-Password-16")
                                    << ZhumuSDK::LOGIN_FAILED;
    QTest::newRow("wrong password") << true << QStringLiteral("zhangsan@example.com")
                                    << QStringLiteral("Zs-Meet-2025") << ZhumuSDK::LOGIN_FAILED;
    QTest::newRow("another account's password")
        << true << QStringLiteral("zhangsan@example.com") << QStringLiteral("LiSi-Password-16")
        << ZhumuSDK::LOGIN_FAILED;
    QTest::newRow("empty account") << true << QString() << QStringLiteral("x") << ZhumuSDK::LOGIN_FAILED;
    QTest::newRow("service unreachable") << false << QStringLiteral("zhangsan@example.com")
                                         << QStringLiteral("Zs-Meet-2024") << ZhumuSDK::LOGIN_FAILED;
}

void ZhumuSdkStandInTest::login()
{
    QFETCH(bool, reachable);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(int, status);

    Recorder recorder;
    ZhumuSDK::IAuthService* auth = createServices(recorder, reachable).auth;
    QVERIFY(auth);

    const std::wstring wideAccount = account.toStdWString();
    const std::wstring widePassword = password.toStdWString();
    ZhumuSDK::LoginParam param{};
    param.loginType = 1;
    param.account = wideAccount.c_str();
    param.password = widePassword.c_str();
    QCOMPARE(request([&] { return auth->Login(&param); }), 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.loginStatuses.size(), size_t(1), kEventTimeoutMs);
    QCOMPARE(recorder.loginStatuses.front(), status);
    QCOMPARE(recorder.eventsInsideRequest, 0);
    QCOMPARE(recorder.eventsOffGuiThread, 0);

    param.password = nullptr;
    QVERIFY(auth->Login(&param) != 0);
    QVERIFY(auth->Login(nullptr) != 0);
    QCOMPARE(Zhumu_DestroyAuthService(auth), 0);
}

void ZhumuSdkStandInTest::instantMeetingOpensWindowAndLeavingEndsIt()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    ZhumuSDK::IMeetingService* meetings = services.meetings;
    // The service names the participant as the main window does.
    m_fake->answerMeetings(200, FakeSdkService::admission(true, "张三"));

    const QString number = startInstantMeeting(recorder, meetings, true);
    QCOMPARE(number, QStringLiteral("85000000001"));
    QDialog* window = visibleDialog("zhumuMeetingWindow");
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("会议 ") + number);
    QVERIFY(!window->isModal());
    QVERIFY(window->isWindow());
    QVERIFY(window->width() >= 960 && window->height() >= 600);
    QCOMPARE(window->minimumSize(), QSize(960, 600));
    QCOMPARE(selfName(window), QStringLiteral("张三"));
    QVERIFY(selfTile(window)->participant().videoOff);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("meetingNumber"))->text(),
             QStringLiteral("会议码：85000000001"));
    // The engine was handed the service's admission; a voice meeting sends no video.
    MeetingEngine* engine = EngineDouble::latest();
    QVERIFY(engine && EngineDouble::started(engine));
    QCOMPARE(EngineDouble::admission(engine).room, qint64(1234));
    QCOMPARE(EngineDouble::admission(engine).token, QStringLiteral("t0ken"));
    QVERIFY(!EngineDouble::options(engine).sendVideo);
    QVERIFY(EngineDouble::options(engine).sendAudio);
    QVERIFY(!EngineDouble::options(engine).testMedia);

    QAbstractButton* leave = button(window, "leaveMeetingButton");
    QVERIFY(leave);
    QCOMPARE(leave->text(), QStringLiteral("离开会议"));
    g_inRequest = true;
    QTest::mouseClick(leave, Qt::LeftButton);
    g_inRequest = false;
    QCOMPARE(recorder.meetingStatuses.size(), size_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(2), kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.back(), std::make_pair(ZhumuSDK::MEETING_STATUS_ENDED, 0));
    QTRY_COMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);
    QCOMPARE(recorder.eventsInsideRequest, 0);
    QCOMPARE(recorder.eventsOffGuiThread, 0);
    // The service hears of it, with the session; the engine left the room.
    QTRY_COMPARE_WITH_TIMEOUT(m_fake->requestsTo("/sdk/v1/meetings/leave").size(), size_t(1),
                              kEventTimeoutMs);
    QCOMPARE(m_fake->requestsTo("/sdk/v1/meetings/leave").front().number, number.toStdString());
    QCOMPARE(m_fake->requestsTo("/sdk/v1/meetings/leave").front().authorization,
             std::string("Bearer ") + FakeSdkService::kSession);
    QTRY_COMPARE(EngineDouble::liveCount(), 0);

    // The meeting exists now: starting it by its number opens it with video.
    ZhumuSDK::StartParam start{};
    start.userType = 100;
    start.meetingNumber = number.toLongLong();
    QCOMPARE(request([&] { return meetings->startMeeting(&start); }), 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(3), kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.back(), std::make_pair(ZhumuSDK::MEETING_STATUS_INMEETING, 0));
    window = visibleDialog("zhumuMeetingWindow");
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("会议 ") + number);
    QVERIFY(!selfTile(window)->participant().videoOff);
    QVERIFY(EngineDouble::options(EngineDouble::latest()).sendVideo);
    QCOMPARE(recorder.eventsInsideRequest, 0);

    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);
    QCOMPARE(Zhumu_DestroyAuthService(services.auth), 0);
}

// The client's main window runs with exec(); a click that reaches the
// meeting window through the window system must not be swallowed by that
// modality.
void ZhumuSdkStandInTest::meetingWindowCanBeLeftWhileTheClientRunsModally()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));

    QDialog client;
    bool opened = false;
    bool left = false;
    QTimer::singleShot(0, &client, [&] {
        opened = !startInstantMeeting(recorder, services.meetings, false).isEmpty();
        QDialog* window = visibleDialog("zhumuMeetingWindow");
        QAbstractButton* leave = button(window, "leaveMeetingButton");
        if (leave) {
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                              leave->mapTo(window, leave->rect().center()));
            left = QTest::qWaitFor([&] { return recorder.meetingStatuses.size() == 2; }, kEventTimeoutMs);
        }
        client.reject();
    });
    client.exec();

    QVERIFY(opened);
    QVERIFY(left);
    QCOMPARE(recorder.meetingStatuses.back(), std::make_pair(ZhumuSDK::MEETING_STATUS_ENDED, 0));
    QCOMPARE(Zhumu_DestroyMeetingService(services.meetings), 0);
    QCOMPARE(Zhumu_DestroyAuthService(services.auth), 0);
}

void ZhumuSdkStandInTest::closingTheMeetingWindowEndsTheMeeting()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    ZhumuSDK::IMeetingService* meetings = services.meetings;
    QVERIFY(!startInstantMeeting(recorder, meetings, false).isEmpty());

    QDialog* window = visibleDialog("zhumuMeetingWindow");
    QVERIFY(window);
    g_inRequest = true;
    window->close();
    g_inRequest = false;
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(2), kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.back(), std::make_pair(ZhumuSDK::MEETING_STATUS_ENDED, 0));
    QCOMPARE(recorder.eventsInsideRequest, 0);
    // Ended once, however the window goes.
    QTest::qWait(100);
    QCOMPARE(recorder.meetingStatuses.size(), size_t(2));
}

void ZhumuSdkStandInTest::joinWithChineseNameShowsIt()
{
    Recorder host;
    Services services;
    QVERIFY(signIn(host, services));
    ZhumuSDK::IMeetingService* hostMeetings = services.meetings;
    const QString number = startInstantMeeting(host, hostMeetings, false);
    QVERIFY(!number.isEmpty());
    QCOMPARE(Zhumu_DestroyMeetingService(hostMeetings), 0);
    QTRY_COMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);

    Recorder guest;
    ZhumuSDK::IMeetingService* meetings = nullptr;
    QCOMPARE(Zhumu_CreateMeetingService(&meetings), 0);
    meetings->setEventSink(&guest);
    m_fake->answerMeetings(200, FakeSdkService::admission(false));
    const std::wstring name = L"张三";
    ZhumuSDK::JoinParam join{};
    join.userType = 100;
    join.meetingNumber = number.toLongLong();
    join.displayName = name.c_str();
    QCOMPARE(request([&] { return meetings->joinMeeting(&join); }), 0);
    QTRY_COMPARE_WITH_TIMEOUT(guest.meetingStatuses.size(), size_t(1), kEventTimeoutMs);
    QCOMPARE(guest.meetingStatuses.front(), std::make_pair(ZhumuSDK::MEETING_STATUS_INMEETING, 0));
    QDialog* window = visibleDialog("zhumuMeetingWindow");
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("会议 ") + number);
    QCOMPARE(selfName(window), QStringLiteral("张三"));
    QVERIFY(!selfTile(window)->participant().videoOff);
    QCOMPARE(m_fake->requestsTo("/sdk/v1/meetings/join").back().displayName, std::string("张三"));
    // Only the host may end the meeting for everyone.
    QVERIFY(!button(window, "endMeetingButton")->isVisible());
    QVERIFY(button(window, "leaveMeetingButton")->isVisible());
    QCOMPARE(guest.eventsInsideRequest, 0);

    saveShot(window, "meeting-window.png");
    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);
}

void ZhumuSdkStandInTest::joinOfUnknownNumberFailsWithReason8()
{
    Recorder recorder;
    // Joining needs a signed-in account; only then does the number count.
    Services services;
    QVERIFY(signIn(recorder, services));
    m_fake->answerMeetings(404, "{\"error\":\"not_found\",\"message\":\"no such meeting\"}");
    ZhumuSDK::IMeetingService* meetings = services.meetings;
    const std::wstring name = L"李四";
    ZhumuSDK::JoinParam join{};
    join.userType = 100;
    join.displayName = name.c_str();
    for (int64_t number : {int64_t(1), int64_t(0), int64_t(-85012345678), int64_t(9223372036854775807)}) {
        join.meetingNumber = number;
        const size_t before = recorder.meetingStatuses.size();
        QCOMPARE(request([&] { return meetings->joinMeeting(&join); }), 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), before + 1, kEventTimeoutMs);
        QCOMPARE(recorder.meetingStatuses.back(),
                 std::make_pair(ZhumuSDK::MEETING_STATUS_FAILED, ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST));
    }
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);
    QCOMPARE(recorder.eventsInsideRequest, 0);

    // A dead service is a failure of another kind, not a wrong number.
    meetings = createServices(recorder, false).meetings;
    QVERIFY(meetings);
    join.meetingNumber = 85012345678;
    QCOMPARE(request([&] { return meetings->joinMeeting(&join); }), 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(5), kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.back().first, ZhumuSDK::MEETING_STATUS_FAILED);
    QVERIFY(recorder.meetingStatuses.back().second != ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST);
    QVERIFY(recorder.meetingStatuses.back().second != 0);
}

void ZhumuSdkStandInTest::instantMeetingWithoutLoginFails()
{
    Recorder recorder;
    ZhumuSDK::IMeetingService* meetings = createServices(recorder).meetings;
    QVERIFY(meetings);
    ZhumuSDK::StartParam start{};
    start.userType = 100;
    QCOMPARE(request([&] { return meetings->startMeeting(&start); }), 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(1), kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.front().first, ZhumuSDK::MEETING_STATUS_FAILED);
    QVERIFY(recorder.meetingStatuses.front().second != ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST);
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);
    QVERIFY(meetings->startMeeting(nullptr) != 0);
    QVERIFY(meetings->joinMeeting(nullptr) != 0);
}

void ZhumuSdkStandInTest::secondMeetingWhileOneRunsIsRefused()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    ZhumuSDK::IMeetingService* meetings = services.meetings;

    ZhumuSDK::StartParam start{};
    start.userType = 100;
    QCOMPARE(meetings->startMeeting(&start), 0);
    // Still waiting for the first answer.
    QVERIFY(meetings->startMeeting(&start) != 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(1), kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.front().first, ZhumuSDK::MEETING_STATUS_INMEETING);
    // In the meeting.
    QVERIFY(meetings->startMeeting(&start) != 0);
    QTest::qWait(200);
    QCOMPARE(recorder.meetingStatuses.size(), size_t(1));
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 1);
}

void ZhumuSdkStandInTest::destroyedMeetingServiceMissesItsEvent()
{
    Recorder gone;
    Recorder witness;
    ZhumuSDK::IAuthService* auth = createServices(witness).auth;
    ZhumuSDK::IMeetingService* meetings = nullptr;
    QVERIFY(auth);
    QCOMPARE(Zhumu_CreateMeetingService(&meetings), 0);
    meetings->setEventSink(&gone);

    const std::wstring name = L"王五";
    ZhumuSDK::JoinParam join{};
    join.userType = 100;
    join.meetingNumber = 1;
    join.displayName = name.c_str();
    QCOMPARE(meetings->joinMeeting(&join), 0);
    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);

    // Requests are answered in order: once the later authorisation has
    // arrived, the join's outcome has been handed over too.
    ZhumuSDK::AuthParam param{};
    param.appKey = kAppKey;
    param.appSecret = kAppSecret;
    QCOMPARE(auth->SDKAuth(&param), 0);
    QTRY_COMPARE_WITH_TIMEOUT(witness.authResults.size(), size_t(1), kEventTimeoutMs);
    QCoreApplication::processEvents();
    QVERIFY(gone.meetingStatuses.empty());

    // The same with an event that needs no request at all.
    QCOMPARE(Zhumu_CreateMeetingService(&meetings), 0);
    meetings->setEventSink(&gone);
    join.meetingNumber = -1;
    QCOMPARE(meetings->joinMeeting(&join), 0);
    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);
    QTest::qWait(50);
    QVERIFY(gone.meetingStatuses.empty());
}

void ZhumuSdkStandInTest::destroyingMeetingServiceClosesItsWindowSilently()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    ZhumuSDK::IMeetingService* meetings = services.meetings;
    QVERIFY(!startInstantMeeting(recorder, meetings, false).isEmpty());
    QPointer<QDialog> window = visibleDialog("zhumuMeetingWindow");
    QVERIFY(window);

    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);
    QVERIFY(!window || !window->isVisible());
    QTRY_VERIFY(!window);
    QTest::qWait(50);
    QCOMPARE(recorder.meetingStatuses.size(), size_t(1));
}

void ZhumuSdkStandInTest::controllersExistAndAcceptSinks()
{
    ZhumuSDK::IMeetingService* meetings = nullptr;
    QCOMPARE(Zhumu_CreateMeetingService(&meetings), 0);
    QVERIFY(meetings->getUIController());
    QVERIFY(meetings->getVideoController());
    QVERIFY(meetings->getShareController());
    QVERIFY(meetings->getAudioController());
    QVERIFY(meetings->getParticipantsController());
    QCOMPARE(meetings->getUIController(), meetings->getUIController());
    QCOMPARE(meetings->getParticipantsController(), meetings->getParticipantsController());
    QCOMPARE(meetings->getUIController()->setEventSink(nullptr), 0);
    QCOMPARE(meetings->getVideoController()->setEventSink(nullptr), 0);
    QCOMPARE(meetings->getShareController()->setEventSink(nullptr), 0);
    QCOMPARE(meetings->getAudioController()->setEventSink(nullptr), 0);
    QCOMPARE(meetings->getParticipantsController()->setEventSink(nullptr), 0);
    QCOMPARE(Zhumu_DestroyMeetingService(meetings), 0);
}

void ZhumuSdkStandInTest::settingsDialogAtPositionKeepsSwitches()
{
    ZhumuSDK::ISettingService* settings = nullptr;
    QCOMPARE(Zhumu_CreateSettingService(&settings), 0);
    QVERIFY(settings->showSettingsDialog(nullptr) != 0);

    ZhumuSDK::ShowSettingDlgParam param{};
    param.top = 80;
    param.left = 120;
    param.show = 1;
    QCOMPARE(settings->showSettingsDialog(&param), 0);
    QDialog* dialog = visibleDialog("zhumuSettingsDialog");
    QVERIFY(dialog);
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->pos(), QPoint(120, 80));
    QStringList texts;
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        texts << box->text();
    QCOMPARE(texts, QStringList({QStringLiteral("入会时开启摄像头"), QStringLiteral("入会时自动连接音频"),
                                 QStringLiteral("进入全屏"), QStringLiteral("回声消除"),
                                 QStringLiteral("自动调节麦克风音量")}));

    saveShot(dialog, "settings-dialog.png");

    auto* camera = dialog->findChild<QCheckBox*>(QStringLiteral("cameraOnJoin"));
    QVERIFY(camera);
    const bool cameraBefore = camera->isChecked();
    camera->click();
    dialog->close();
    QTRY_VERIFY(!visibleDialog("zhumuSettingsDialog"));

    // Shown again, elsewhere, with the switch as it was left; never twice.
    param.top = 40;
    param.left = 60;
    QCOMPARE(settings->showSettingsDialog(&param), 0);
    QCOMPARE(settings->showSettingsDialog(&param), 0);
    QCOMPARE(visibleDialogCount("zhumuSettingsDialog"), 1);
    dialog = visibleDialog("zhumuSettingsDialog");
    QCOMPARE(dialog->pos(), QPoint(60, 40));
    QCOMPARE(dialog->findChild<QCheckBox*>(QStringLiteral("cameraOnJoin"))->isChecked(), !cameraBefore);
    dialog->findChild<QCheckBox*>(QStringLiteral("cameraOnJoin"))->click();

    param.show = 0;
    QCOMPARE(settings->showSettingsDialog(&param), 0);
    QCOMPARE(visibleDialogCount("zhumuSettingsDialog"), 0);
}

void ZhumuSdkStandInTest::testCallAsksTheServiceForItsEchoServer()
{
    using talvora::media::DeviceDouble;
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    ZhumuSDK::ISettingService* settings = nullptr;
    QCOMPARE(Zhumu_CreateSettingService(&settings), 0);
    QVERIFY(settings->showTestCallWindow(nullptr) != 0);
    ZhumuSDK::ShowSettingDlgParam param{};
    param.show = 1;
    param.left = 100;
    param.top = 50;
    QCOMPARE(settings->showTestCallWindow(&param), 0);
    QTRY_COMPARE_WITH_TIMEOUT(DeviceDouble::testCalls(), 1, kEventTimeoutMs);
    QCOMPARE(DeviceDouble::lastTestCallServer(), QUrl(QStringLiteral("ws://127.0.0.1:8188")));
    QCOMPARE(m_fake->requestsTo("/sdk/v1/echotest").size(), size_t(1));
    QCOMPARE(m_fake->requestsTo("/sdk/v1/echotest").back().authorization,
             std::string("Bearer ") + FakeSdkService::kSession);
    QDialog* window = visibleDialog("zhumuTestCallWindow");
    QVERIFY(window);
    QCOMPARE(window->pos(), QPoint(100, 50));

    // The settings dialog's link finds the same window.
    QCOMPARE(settings->showSettingsDialog(&param), 0);
    visibleDialog("zhumuSettingsDialog")->findChild<QPushButton*>(QStringLiteral("testCallLink"))->click();
    QCOMPARE(visibleDialogCount("zhumuTestCallWindow"), 1);
    QCOMPARE(DeviceDouble::testCalls(), 1);
    window->close();
    QTRY_COMPARE(visibleDialogCount("zhumuTestCallWindow"), 0);

    // An answer that names no usable server: said, and nothing is called.
    for (const char* body :
         {"{\"server\":\"http://127.0.0.1:8188\",\"token\":\"t\"}", "{\"server\":5}", "<html>"}) {
        m_fake->answerEchoTest(body);
        QCOMPARE(settings->showTestCallWindow(&param), 0);
        window = visibleDialog("zhumuTestCallWindow");
        QVERIFY(window);
        QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel*>(QStringLiteral("testCallStatus"))->text(),
                                  QStringLiteral("无法连接服务器，请稍后再试"), kEventTimeoutMs);
        window->close();
        QTRY_COMPARE(visibleDialogCount("zhumuTestCallWindow"), 0);
    }
    QCOMPARE(DeviceDouble::testCalls(), 1);
    m_fake->answerEchoTest("{\"server\":\"ws://127.0.0.1:8188\",\"token\":\"echo-token\"}");
    QCOMPARE(Zhumu_DestroySettingService(settings), 0);
}

void ZhumuSdkStandInTest::cleanUpClosesWindows()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    ZhumuSDK::IMeetingService* meetings = services.meetings;
    ZhumuSDK::ISettingService* settings = nullptr;
    QCOMPARE(Zhumu_CreateSettingService(&settings), 0);
    QVERIFY(!startInstantMeeting(recorder, meetings, false).isEmpty());
    ZhumuSDK::ShowSettingDlgParam param{};
    param.show = 1;
    QCOMPARE(settings->showSettingsDialog(&param), 0);
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 1);
    QCOMPARE(visibleDialogCount("zhumuSettingsDialog"), 1);

    // The services are left to the clean-up on purpose.
    QCOMPARE(Zhumu_CleanUPSDK(), 0);
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);
    QCOMPARE(visibleDialogCount("zhumuSettingsDialog"), 0);
    QTest::qWait(50);
    QCOMPARE(recorder.meetingStatuses.size(), size_t(1));
    QCOMPARE(initialise(wide(talvora::config::kSdkWebDomain)), 0);
}

void ZhumuSdkStandInTest::admissionWithoutMediaFails()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    const std::string valid = FakeSdkService::admission(true);
    for (const std::string& body :
         {std::string("{\"number\":\"85000000001\"}"),
          std::string("{\"number\":\"0\",") + valid.substr(valid.find("\"media\"")), std::string("not json"),
          std::string(valid).replace(valid.find("t0ken"), 5, ""),
          std::string(valid).replace(valid.find("ws://"), 5, "http://")}) {
        m_fake->answerMeetings(200, body);
        const size_t before = recorder.meetingStatuses.size();
        ZhumuSDK::StartParam start{};
        start.userType = 100;
        QCOMPARE(request([&] { return services.meetings->startMeeting(&start); }), 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), before + 1, kEventTimeoutMs);
        QVERIFY2(recorder.meetingStatuses.back() == std::make_pair(ZhumuSDK::MEETING_STATUS_FAILED, 2),
                 body.c_str());
    }
    QCOMPARE(EngineDouble::liveCount(), 0);
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);
    QCOMPARE(recorder.eventsInsideRequest, 0);
}

void ZhumuSdkStandInTest::switchesAndTestMediaShapeTheEngine()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    talvora::zhumu::SettingsDialog::switches().cameraOnJoin = false;
    talvora::zhumu::SettingsDialog::switches().autoConnectAudio = false;
    talvora::zhumu::SettingsDialog::switches().fullScreen = true;
    qputenv("TALVORA_TEST_MEDIA", "1");
    const QString number = startInstantMeeting(recorder, services.meetings, false);
    qunsetenv("TALVORA_TEST_MEDIA");
    QVERIFY(!number.isEmpty());

    const talvora::media::MediaOptions options = EngineDouble::options(EngineDouble::latest());
    QVERIFY(!options.sendVideo);
    QVERIFY(!options.sendAudio);
    QVERIFY(options.testMedia);
    QDialog* window = visibleDialog("zhumuMeetingWindow");
    QVERIFY(selfTile(window)->participant().audioMuted);
    QVERIFY(selfTile(window)->participant().videoOff);
    QCOMPARE(button(window, "muteButton")->text(), QStringLiteral("解除静音"));
    QCOMPARE(button(window, "videoButton")->text(), QStringLiteral("开启视频"));
    // "进入全屏": the meeting starts full screen, and says how to leave it.
    QVERIFY(window->isFullScreen());
    QCOMPARE(button(window, "fullScreenButton")->text(), QStringLiteral("退出全屏"));
}

void ZhumuSdkStandInTest::meetingOverReportsAndTellsTheService_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("told"); // the service's route, or empty
    QTest::addColumn<QString>("notice");

    QTest::newRow("host ends it") << "end" << ZhumuSDK::MEETING_STATUS_ENDED << 0 << "/sdk/v1/meetings/end"
                                  << QString();
    QTest::newRow("someone else ended it")
        << "ended" << ZhumuSDK::MEETING_STATUS_ENDED << 0 << QString() << QStringLiteral("主持人已结束会议");
    QTest::newRow("connection lost for good")
        << "lost" << ZhumuSDK::MEETING_STATUS_ENDED << 0 << "/sdk/v1/meetings/leave"
        << QStringLiteral("网络连接已断开，已离开会议");
    QTest::newRow("removed from the room")
        << "failed" << ZhumuSDK::MEETING_STATUS_ENDED << 0 << "/sdk/v1/meetings/leave" << QString();
    QTest::newRow("the host removes me") << "kicked" << ZhumuSDK::MEETING_STATUS_ENDED << 0 << QString()
                                         << QStringLiteral("您已被主持人移出会议");
    QTest::newRow("refused before joining")
        << "refused" << ZhumuSDK::MEETING_STATUS_FAILED << 1 << "/sdk/v1/meetings/leave" << QString();
}

void ZhumuSdkStandInTest::meetingOverReportsAndTellsTheService()
{
    QFETCH(QString, how);
    QFETCH(int, status);
    QFETCH(int, reason);
    QFETCH(QString, told);
    QFETCH(QString, notice);

    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    QStringList prompts;
    talvora::zhumu::setPromptHook([&prompts](const QString& text, const QString& confirm) {
        prompts << text + QLatin1Char('|') + confirm;
        return true;
    });
    talvora::zhumu::MeetingWindow::setConnectionGraceForTesting(50);
    EngineDouble::script().joinOnStart = how != QLatin1String("refused");
    ZhumuSDK::StartParam start{};
    start.userType = 100;
    QCOMPARE(request([&] { return services.meetings->startMeeting(&start); }), 0);
    QTRY_VERIFY_WITH_TIMEOUT(visibleDialog("zhumuMeetingWindow"), kEventTimeoutMs);
    if (how != QLatin1String("refused"))
        QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), size_t(1), kEventTimeoutMs);
    QDialog* window = visibleDialog("zhumuMeetingWindow");
    MeetingEngine* engine = EngineDouble::latest();
    const size_t before = m_fake->requests().size();

    g_inRequest = true;
    if (how == QLatin1String("end")) {
        button(window, "endMeetingButton")->click();
    } else if (how == QLatin1String("ended")) {
        EngineDouble::endMeeting(engine);
    } else if (how == QLatin1String("lost")) {
        EngineDouble::loseConnection(engine);
    } else if (how == QLatin1String("kicked")) {
        EngineDouble::kick(engine);
    } else {
        EngineDouble::fail(engine, QStringLiteral("kicked"));
    }
    g_inRequest = false;
    const size_t expected = how == QLatin1String("refused") ? 1 : 2;
    QTRY_COMPARE_WITH_TIMEOUT(recorder.meetingStatuses.size(), expected, kEventTimeoutMs);
    QCOMPARE(recorder.meetingStatuses.back(), std::make_pair(status, reason));
    QCOMPARE(visibleDialogCount("zhumuMeetingWindow"), 0);
    QCOMPARE(recorder.eventsInsideRequest, 0);
    talvora::zhumu::MeetingWindow::setConnectionGraceForTesting(30000);

    if (how == QLatin1String("end"))
        QCOMPARE(prompts, QStringList(QStringLiteral("结束会议后，所有参会者都将离开会议。|结束会议")));
    else if (!notice.isEmpty())
        QCOMPARE(prompts, QStringList(notice + QLatin1Char('|')));
    else
        QCOMPARE(prompts, QStringList());

    // Told once, or not at all when the room is gone anyway.
    QTest::qWait(100);
    const std::vector<FakeSdkService::Request> all = m_fake->requests();
    QStringList after;
    for (size_t i = before; i < all.size(); ++i)
        after << QString::fromStdString(all[i].path + " " + all[i].number + " " + all[i].authorization);
    const QString expectedCall =
        told + QStringLiteral(" 85000000001 Bearer ") + QLatin1String(FakeSdkService::kSession);
    QCOMPARE(after, told.isEmpty() ? QStringList() : QStringList(expectedCall));
    QTRY_COMPARE(EngineDouble::liveCount(), 0);
}

void ZhumuSdkStandInTest::lostMeetingIsAdmittedAgain()
{
    // The engine that lost its meeting asks where it is now: the same start,
    // for the number it was given, with the same session; the answer goes
    // to the engine, which moves to the server and room it names.
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    const QString number = startInstantMeeting(recorder, services.meetings, false);
    QVERIFY(!number.isEmpty());
    MeetingEngine* engine = EngineDouble::latest();
    const size_t before = m_fake->requests().size();
    EngineDouble::askReadmission(engine);
    QTRY_COMPARE_WITH_TIMEOUT(EngineDouble::readmitted(engine).number, number, kEventTimeoutMs);
    QCOMPARE(EngineDouble::readmitted(engine).room, qint64(1234));
    const std::vector<FakeSdkService::Request> all = m_fake->requests();
    QCOMPARE(all.size(), before + 1);
    QCOMPARE(QString::fromStdString(all.back().path + " " + all.back().number + " " + all.back().authorization),
             QStringLiteral("/sdk/v1/meetings/start ") + number + QStringLiteral(" Bearer ") +
                 QLatin1String(FakeSdkService::kSession));
    QCOMPARE(EngineDouble::readmissionRefusals(engine), 0);

    // No media server for the meeting now: the engine hears so at once, to
    // try again after its back-off instead of waiting out the attempt.
    m_fake->answerMeetings(503, "{\"error\":\"media_unavailable\",\"message\":\"no media server\"}");
    EngineDouble::askReadmission(engine);
    QTRY_COMPARE_WITH_TIMEOUT(EngineDouble::readmissionRefusals(engine), 1, kEventTimeoutMs);
    QCOMPARE(EngineDouble::readmitted(engine).room, qint64(1234));
}

void ZhumuSdkStandInTest::hostModerationGoesToTheService()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    std::string admission = FakeSdkService::admission(true);
    admission.replace(admission.find("\"host\":true"), 11, "\"host\":true,\"participant_id\":4001");
    m_fake->answerMeetings(200, admission);
    QVERIFY(!startInstantMeeting(recorder, services.meetings, false).isEmpty());
    MeetingEngine* engine = EngineDouble::latest();
    QCOMPARE(EngineDouble::admission(engine).participantId, 4001);
    talvora::media::Participant guest;
    guest.displayName = QStringLiteral("李四");
    guest = EngineDouble::addParticipant(engine, guest);
    QStringList prompts;
    talvora::zhumu::setPromptHook([&prompts](const QString& text, const QString&) {
        prompts << text;
        return true;
    });

    auto* window = qobject_cast<talvora::zhumu::MeetingWindow*>(visibleDialog("zhumuMeetingWindow"));
    auto* panel = window->participantsPanel();
    const size_t before = m_fake->requests().size();
    panel->muteButton(guest.id)->click();
    panel->muteAllButton()->click();
    panel->removeButton(guest.id)->click();
    const std::string id = std::to_string(guest.id);
    const auto asked = [&] {
        QStringList calls;
        const std::vector<FakeSdkService::Request> all = m_fake->requests();
        for (size_t i = before; i < all.size(); ++i)
            calls << QString::fromStdString(all[i].path + " " + all[i].number + " " + all[i].participant +
                                            " " + all[i].authorization);
        return calls;
    };
    const QString bearer = QStringLiteral(" Bearer ") + QLatin1String(FakeSdkService::kSession);
    QTRY_COMPARE_WITH_TIMEOUT(asked().size(), 3, kEventTimeoutMs);
    QStringList calls = asked();
    calls.sort();
    QCOMPARE(calls, QStringList({"/sdk/v1/meetings/kick 85000000001 " + QString::fromStdString(id) + bearer,
                                 "/sdk/v1/meetings/mute 85000000001 " + QString::fromStdString(id) + bearer,
                                 "/sdk/v1/meetings/mute 85000000001 all" + bearer}));
    QCOMPARE(prompts, QStringList(QStringLiteral("确定将“李四”移出会议吗？")));

    // Muted by the host, the user unmutes: the service lifts the host's mute
    // from their own audio, once; an ordinary unmute later asks nothing.
    EngineDouble::muteByHost(engine);
    QAbstractButton* mute = button(window, "muteButton");
    mute->click();
    QTRY_COMPARE_WITH_TIMEOUT(asked().size(), 4, kEventTimeoutMs);
    QCOMPARE(asked().last(), "/sdk/v1/meetings/unmute 85000000001 " + bearer);
    QVERIFY(!engine->audioMuted());
    mute->click();
    mute->click();
    QTest::qWait(200);
    QCOMPARE(asked().size(), 4);
    prompts.clear();

    // A refusal says so in the meeting window.
    m_fake->answerModeration(403);
    panel->muteButton(guest.id)->click();
    QTRY_COMPARE_WITH_TIMEOUT(prompts.size(), 1, kEventTimeoutMs);
    QCOMPARE(prompts.last(), QStringLiteral("操作未成功，请稍后再试"));
    m_fake->answerModeration(200);
}

void ZhumuSdkStandInTest::controllerEventsReachTheSinksQueued()
{
    Recorder recorder;
    Services services;
    QVERIFY(signIn(recorder, services));
    services.meetings->getParticipantsController()->setEventSink(&recorder);
    services.meetings->getAudioController()->setEventSink(&recorder);
    services.meetings->getVideoController()->setEventSink(&recorder);
    QVERIFY(!startInstantMeeting(recorder, services.meetings, false).isEmpty());
    MeetingEngine* engine = EngineDouble::latest();
    // This participant, the host, joined first.
    QTRY_COMPARE(recorder.controllerEvents, QStringList({"join 1", "host 1"}));

    g_inRequest = true;
    talvora::media::Participant guest;
    guest.displayName = QStringLiteral("李四");
    guest = EngineDouble::addParticipant(engine, guest);
    guest.audioMuted = true;
    EngineDouble::changeParticipant(engine, guest);
    guest.videoOff = true;
    EngineDouble::changeParticipant(engine, guest);
    EngineDouble::setTalking(engine, guest.id, true);
    EngineDouble::setTalking(engine, EngineDouble::script().selfId, true);
    EngineDouble::setTalking(engine, guest.id, false);
    EngineDouble::removeParticipant(engine, guest.id);
    g_inRequest = false;
    QCOMPARE(recorder.controllerEvents.size(), 2);
    QTRY_COMPARE(recorder.controllerEvents,
                 QStringList({"join 1", "host 1", "join 2", "audio 2 1", "video 2 2", "talking 2",
                              "talking 1,2", "talking 1", "left 2"}));
    // The user's own buttons are reported too.
    button(visibleDialog("zhumuMeetingWindow"), "muteButton")->click();
    QTRY_COMPARE(recorder.controllerEvents.back(), QStringLiteral("audio 1 1"));
    QCOMPARE(recorder.eventsInsideRequest, 0);
    QCOMPARE(recorder.eventsOffGuiThread, 0);
}

// The meeting window belongs to the client's window that ran modally at the
// login, even when a box of the client (here a closing confirmation without
// an owner) is the active modal window as the meeting opens: the box goes,
// the meeting window stays, usable.
void ZhumuSdkStandInTest::meetingWindowBelongsToTheClientWindowNotToAPassingBox()
{
    Recorder recorder;
    Services services;
    QDialog client;
    bool signedIn = false;
    QPointer<QDialog> meeting;
    QWidget* owner = nullptr;
    QTimer::singleShot(0, &client, [&] {
        signedIn = signIn(recorder, services);
        auto* confirmation = new QDialog;
        confirmation->setAttribute(Qt::WA_DeleteOnClose);
        QTimer::singleShot(0, confirmation, [&, confirmation] {
            ZhumuSDK::StartParam start{};
            start.userType = 100;
            services.meetings->startMeeting(&start);
            if (QTest::qWaitFor([&] { return !recorder.meetingStatuses.empty(); }, kEventTimeoutMs))
                meeting = visibleDialog("zhumuMeetingWindow");
            owner = meeting ? meeting->parentWidget() : nullptr;
            confirmation->close();
        });
        confirmation->exec();
        QTest::qWait(50);
        client.reject();
    });
    client.exec();

    QVERIFY(signedIn);
    QVERIFY(meeting);
    QCOMPARE(owner, &client);
    QVERIFY(meeting->isVisible());
    QVERIFY(meeting->isWindow());
    QCOMPARE(recorder.meetingStatuses.back(), std::make_pair(ZhumuSDK::MEETING_STATUS_INMEETING, 0));
    QCOMPARE(Zhumu_DestroyMeetingService(services.meetings), 0);
}

QTEST_MAIN(ZhumuSdkStandInTest)
#include "ZhumuSdkStandInTest.moc"
