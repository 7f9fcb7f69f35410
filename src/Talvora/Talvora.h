#pragma once
// The client's one main window: a frameless dialog with the left menu and the
// page stack, the receiver of every navigation signal, and the object that
// holds the conferencing SDK session (its event interfaces are implemented
// here). Talvora.cpp holds the window; TalvoraSdkSession.cpp the SDK session,
// the meeting requests and the connectivity watcher.

#include "platform/ZhumuSDK.h"

#include <QDialog>
#include <QPixmap>
#include <QPoint>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QSignalMapper;
class QSpacerItem;
class QStackedWidget;

class Above;
class CircleButton;
class CMeetConfig;
class CreateConference;
class JoinConference;
class LeftMenu;
class MeetContextMenu;
class MeetingReminders;
class ModifyMeet;
class MyConference;
class NetErrorWin;
class PageBusyIndicator;
class ShowAMeet;
class ShowMyMeetWin;
class TrayIcon;

namespace talvora {
class BusyPresenterScope;
}
namespace protocol {
struct Meet;
}

class Talvora : public QDialog,
                public ZhumuSDK::IAuthServiceEvent,
                public ZhumuSDK::IMeetingServiceEvent,
                public ZhumuSDK::IMeetingParticipantsCtrlEvent,
                public ZhumuSDK::IMeetingShareCtrlEvent,
                public ZhumuSDK::IMeetingUIControllerEvent,
                public ZhumuSDK::IMeetingAudioCtrlEvent,
                public ZhumuSDK::IMeetingVideoCtrlEvent
{
    Q_OBJECT

public:
    // Indices of m_pStackedWidget; every navigation uses them.
    enum Page
    {
        PageNoMeetings = 0,
        PageCreate = 1,
        PageJoin = 2,
        PageMeetingCards = 3,
        PageModify = 4,
        PageNetError = 5,
    };

    Talvora(std::string userName, std::string zcode, QWidget* parent = nullptr);
    ~Talvora() override;

    void setInitUserName(std::string userName);

    // Initialises the conferencing SDK and asks it for authorisation. False
    // means the session cannot start: an error box has been shown and the
    // window is to be destroyed unshown.
    bool startSdkSession(std::string account, const char* password, int passwordLength);

    // 0 and the first usable local IPv4 address, or -1 and an empty text.
    int getLocalIpAddress(std::string& address);

    // Replaces the watcher's address lookup (getLocalIpAddress) for tests.
    using AddressSource = std::function<int(std::string& address)>;
    void setAddressSource(AddressSource source);

    // ZhumuSDK::IAuthServiceEvent
    void onAuthenticationReturn(int result) override;
    void onLoginRet(int status, void* accountInfo) override;
    void onLogout() override;
    void onTokenExpired() override;

    // ZhumuSDK::IMeetingServiceEvent
    void onMeetingStatus(int status, int reason) override;
    void onMeetingStatisticsWarning(int warning) override;
    void onMeetingSecureKeyNotification(const char* key, int length) override;
    void onMeetingParameterNotification(const void* parameter) override;

    // ZhumuSDK::IMeetingParticipantsCtrlEvent
    void onUserJoin(const uint32_t* userIds, int count) override;
    void onUserLeft(const uint32_t* userIds, int count) override;
    void onHostChangeNotification(uint32_t userId) override;

    // ZhumuSDK::IMeetingShareCtrlEvent
    void onSharingStatus(int status, uint32_t userId) override;
    void onShareContentNotification(int type, uint32_t userId) override;

    // ZhumuSDK::IMeetingUIControllerEvent
    void onInviteBtnClicked(bool* handled) override;
    void onStartShareBtnClicked() override;
    void onEndMeetingBtnClicked() override;

    // ZhumuSDK::IMeetingAudioCtrlEvent
    void onUserAudioStatusChange(uint32_t userId, int status) override;
    void onUserActiveAudioChange(const uint32_t* userIds, int count) override;

    // ZhumuSDK::IMeetingVideoCtrlEvent
    void onUserVideoStatusChange(uint32_t userId, int status) override;
    void onSpotlightVideoChangeNotification(bool on, uint32_t userId) override;

signals:
    void meetCodeWrong();
    void tryCreateMeet();
    void tryJoinMeet();
    void initChooseMyMeet();
    void modifyShowUsername();

public slots:
    void onRename();
    void onChooseMyMeet();
    void onChooseCreateMeet();
    void onChooseJoinMeet();
    void OnZhumuSetting();
    void OnZhumuTestCall();
    void onChooseLogout();
    void onWindowMin();
    void onLogoutCancel();
    void onLogoutSave();
    void onStartConference();
    void onStartJoinConference();
    void onMeetCodeWrong();
    void onCBtnClickSlots(int page);
    void onAMeetModifySlots(QWidget* card);
    void onAMeetStartSlots(QWidget* card);
    void onModifyWinCancel();
    void onTryCreateMeet();
    void onTryJoinMeet();
    void onBookOKWinModify(std::string strTopic, int iYear, int iMonth, int iDay, int iHour, int iMinute,
                           int iHourStop, int iMinuteStop, bool isVedioMeet, std::string strMeetCode);
    void onModifyShowUsername();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Tab and Shift+Tab follow the reading order of what is on screen.
    bool focusNextPrevChild(bool next) override;

private:
    // Talvora.cpp
    void runRenameDialog();
    void highlightMenuEntry(int page);
    // Takes every widget out of the card grid without deleting it.
    void clearMeetGrid();
    // One card per meeting, reusing the cards of the last list.
    void showMeetCards(const std::vector<protocol::Meet>& meetings);
    // `pages` dots between the two spacers, the first one selected.
    void showPageDots(int pages);
    void selectPageDot(int page);
    // Puts the cards of a 1-based page (and the fillers a short page needs)
    // into the grid.
    void placeMeetPage(int page);

    // TalvoraSdkSession.cpp
    void createMeetingService();
    void Deamon_Thread();
    void onWatcherFinding(bool hasAddress);
    void teardownSdkSession();
    // Starts a listed meeting, as its card's "开始" does.
    void startMeetingByCode(const std::string& meetCode);

    // TalvoraDesktop.cpp
    void setUpDesktopCompanions();

public:
    // The pages and widgets are read and written directly by the tests and,
    // for the pop-ups, by paintEvent; the names are the object names.
    LeftMenu* m_pLeftMenu = nullptr;
    QStackedWidget* m_pStackedWidget = nullptr;
    MyConference* m_pMyConference = nullptr;
    CreateConference* m_pCreateConference = nullptr;
    JoinConference* m_pJoinConference = nullptr;
    ShowMyMeetWin* m_pShowMyMeetWin = nullptr;
    ModifyMeet* m_pModifyMeet = nullptr;
    NetErrorWin* m_pNetErrorWin = nullptr;

    std::string m_strUserName;
    std::string m_strZcode;
    std::string m_strInitUserName;

    std::vector<CircleButton*> m_vecPageBtns;
    QSpacerItem* m_pSpacerLeft = nullptr;
    QSpacerItem* m_pSpacerRight = nullptr;
    std::vector<ShowAMeet*> m_vecMeetWidgets;
    int m_iMeetCount = 0;

    CMeetConfig* m_pLogoutConfig = nullptr;
    Above* m_pAbove = nullptr;
    QLabel* m_pLabFillCol = nullptr;
    QLabel* m_pLabFillRow = nullptr;
    QLabel* m_pLabFillRow2 = nullptr;
    QPixmap m_pixShadow;
    PageBusyIndicator* m_pBusyIndicator = nullptr;

    MeetContextMenu* m_pMeetContextMenu = nullptr;
    TrayIcon* m_pTrayIcon = nullptr;
    MeetingReminders* m_pMeetingReminders = nullptr;

private:
    std::unique_ptr<talvora::BusyPresenterScope> m_pBusyScope;
    QSignalMapper* m_pModifyMapper = nullptr;
    QSignalMapper* m_pStartMapper = nullptr;
    QSignalMapper* m_pDotMapper = nullptr;
    std::thread m_DeamonThread;
    std::atomic<bool> m_bStopThread{false};
    // Wakes the watcher from its pause when the window stops it.
    std::mutex m_watcherMutex;
    std::condition_variable m_watcherWake;
    QPoint m_ptDragOffset;
    AddressSource m_addressSource;

public:
    std::wstring m_wstrLoginAccount;
    std::wstring m_wstrLoginPassword;
    ZhumuSDK::IAuthService* m_AuthService = nullptr;
    ZhumuSDK::ISettingService* m_SettingService = nullptr;
    ZhumuSDK::IMeetingService* m_MeetingService = nullptr;
    ZhumuSDK::IMeetingParticipantsController* m_pParticipantsCtrl = nullptr;
    ZhumuSDK::IMeetingShareController* m_pShareCtrl = nullptr;
};
