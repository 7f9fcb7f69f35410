#include "Talvora.h"

#include "Above.h"
#include "CEraseMeetLab.h"
#include "CMeetConfig.h"
#include "CircleButton.h"
#include "CreateConference.h"
#include "CremaneWindow.h"
#include "ErrorBox.h"
#include "FramelessWindow.h"
#include "HttpRequest.h"
#include "JoinConference.h"
#include "LeftMenu.h"
#include "MeetContextMenu.h"
#include "MainWindowKeys.h"
#include "MeetFormRows.h"
#include "MeetTimeText.h"
#include "MeetingReminders.h"
#include "ModifyMeet.h"
#include "MyConference.h"
#include "MyQlineEdit.h"
#include "NetErrorWin.h"
#include "PageBusyIndicator.h"
#include "ServiceExchange.h"
#include "crypto/Wipe.h"
#include "ReadingOrder.h"
#include "ShowAMeet.h"
#include "ShowMyMeetWin.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "TrayIcon.h"
#include "log/Log.h"
#include "protocol/CodeData.h"
#include "protocol/ParseJsonText.h"
#include "protocol/Ss.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalMapper>
#include <QSpacerItem>
#include <QStackedWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

const char* const kMenuWordSelected =
    "QLabel{background:transparent; color:#4194FF;font-size:20px;font-family:\"SourceHanSansCN-Regular\";}";
const char* const kMenuWordOther =
    "QLabel{background:transparent; color:#343434;font-size:20px;font-family:\"SourceHanSansCN-Regular\";}";
const char* const kMenuIconStyle = "QLabel{border-image:url(:/Talvora/Resources/%1_%2.png);}";
const char* const kMeetCodeWrongHidden =
    "QLabel{background:transparent; color:#ffffff;font-size:18px;font-family:\"PingFangSC-Regular\";}";
const char* const kMeetCodeWrongShown =
    "QLabel{background:transparent; color:#D75544;font-size:18px;font-family:\"PingFangSC-Regular\";}";
const char* const kCoverStyle = "QLabel{background:rgba(248,248,248,0.50);}";

constexpr int kCardsPerPage = 4;
// The list query asks for one page of this many meetings.
constexpr std::size_t kMaxMeetings = 50;

QString menuIconStyle(const char* icon, bool selected)
{
    return QString::fromUtf8(kMenuIconStyle)
        .arg(QString::fromLatin1(icon), selected ? QStringLiteral("on") : QStringLiteral("nor"));
}

// A meeting as the edit page receives it, from a card or from a booking.
struct MeetingToEdit
{
    std::string topic;
    std::string startShow;
    std::string endShow;
    int year, month, day, hour, minute;
    int hourStop, minuteStop;
    bool video;
    std::string meetCode;
};

void loadIntoModifyMeet(ModifyMeet* page, const MeetingToEdit& meeting)
{
    page->m_pLnEtMeetTopic->setText(QString::fromStdString(meeting.topic));
    page->m_pLabShowStartTime->setText(QString::fromStdString(meeting.startShow));
    page->m_pLabShowEndTime->setText(QString::fromStdString(meeting.endShow));
    page->m_iYear = meeting.year;
    page->m_iMonth = meeting.month;
    page->m_iDay = meeting.day;
    page->m_iHour = meeting.hour;
    page->m_iMinute = meeting.minute;
    page->m_iYearStop = meeting.year;
    page->m_iMonthStop = meeting.month;
    page->m_iDayStop = meeting.day;
    page->m_iHourStop = meeting.hourStop;
    page->m_iMinuteStop = meeting.minuteStop;
    page->m_pStartTimeWin->setPicked(
        {meeting.year, meeting.month, meeting.day, meeting.hour, meeting.minute});
    page->m_pStopTimeWin->setPicked(
        {meeting.year, meeting.month, meeting.day, meeting.hourStop, meeting.minuteStop});
    page->m_bVedioMeet = meeting.video;
    talvora::meetform::showChosenType(page->m_pBtnVedioType, page->m_pBtnVoiceType, meeting.video);
    page->m_strMeetCode = meeting.meetCode;
}

} // namespace

Talvora::Talvora(std::string userName, std::string zcode, QWidget* parent)
    : QDialog(parent), m_strUserName(std::move(userName)), m_strZcode(std::move(zcode))
{
    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("TalvoraClass"));
    }
    resize(600, 400);
    setWindowTitle(QCoreApplication::translate("TalvoraClass", "Talvora"));
    QMetaObject::connectSlotsByName(this);

    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(1070, 690);
    setObjectName(QStringLiteral("Talvora"));

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    talvora::frameless::setShadowMargins(layout);

    m_pLeftMenu = new LeftMenu;
    m_pLeftMenu->m_pLabUserName->setText(QString::fromStdString(m_strUserName));
    layout->addWidget(m_pLeftMenu);

    m_pMyConference = new MyConference;
    m_pCreateConference = new CreateConference(m_strZcode);
    m_pJoinConference = new JoinConference;
    m_pShowMyMeetWin = new ShowMyMeetWin;
    m_pModifyMeet = new ModifyMeet(m_strZcode);
    m_pNetErrorWin = new NetErrorWin;

    m_pStackedWidget = new QStackedWidget(this);
    m_pStackedWidget->addWidget(m_pMyConference);
    m_pStackedWidget->addWidget(m_pCreateConference);
    m_pStackedWidget->addWidget(m_pJoinConference);
    m_pStackedWidget->addWidget(m_pShowMyMeetWin);
    m_pStackedWidget->addWidget(m_pModifyMeet);
    m_pStackedWidget->addWidget(m_pNetErrorWin);
    layout->addWidget(m_pStackedWidget, 0, Qt::AlignHCenter);

    m_pSpacerLeft = new QSpacerItem(2, 2, QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pSpacerRight = new QSpacerItem(2, 2, QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pLogoutConfig = new CMeetConfig(QString::fromUtf8("确定退出并注销账号?"));

    m_pLabFillCol = new QLabel;
    m_pLabFillCol->setFixedSize(410, 2);
    m_pLabFillRow = new QLabel;
    m_pLabFillRow->setFixedSize(2, 250);
    m_pLabFillRow2 = new QLabel;
    m_pLabFillRow2->setFixedSize(2, 250);

    connect(m_pLeftMenu->m_pBtnMyMeet, &QPushButton::clicked, this, &Talvora::onChooseMyMeet);
    connect(m_pLeftMenu->m_pBtnCreateMeet, &QPushButton::clicked, this, &Talvora::onChooseCreateMeet);
    connect(m_pLeftMenu->m_pBtnJoinMeet, &QPushButton::clicked, this, &Talvora::onChooseJoinMeet);
    connect(m_pLeftMenu->m_pBtnSet, &QPushButton::clicked, this, &Talvora::OnZhumuSetting);
    connect(m_pLeftMenu->m_pBtnMin, &QPushButton::clicked, this, &Talvora::onWindowMin);
    connect(m_pLeftMenu->m_pBtnLogout, &QPushButton::clicked, this, &Talvora::onChooseLogout);
    connect(m_pLeftMenu->m_pRenameBtn, &QPushButton::clicked, this, &Talvora::onRename);
    connect(m_pLogoutConfig->m_pBtnCancel, &QPushButton::clicked, this, &Talvora::onLogoutCancel);
    connect(m_pLogoutConfig->m_pBtnSure, &QPushButton::clicked, this, &Talvora::onLogoutSave);
    connect(m_pCreateConference->m_pTempMeetWin->m_pBtnTempMeetStart, &QPushButton::clicked, this,
            &Talvora::onStartConference);
    // After the page's own connection, so the page has tidied up its keypad
    // before the join reads the code.
    connect(m_pJoinConference->m_pBtnJoinMeet, &QPushButton::clicked, this, &Talvora::onStartJoinConference);
    connect(m_pJoinConference->m_pBtnTestCall, &QPushButton::clicked, this, &Talvora::OnZhumuTestCall);
    connect(this, &Talvora::meetCodeWrong, this, &Talvora::onMeetCodeWrong);
    connect(m_pModifyMeet, &ModifyMeet::modifySave, this, &Talvora::onChooseMyMeet);
    connect(m_pModifyMeet, &ModifyMeet::modifyCancel, this, &Talvora::onModifyWinCancel);
    connect(m_pModifyMeet, &ModifyMeet::delMeetSure, this, &Talvora::onChooseMyMeet);
    connect(m_pMyConference->m_pBtnTryCreateMeet, &QPushButton::clicked, this, &Talvora::onTryCreateMeet);
    connect(m_pMyConference->m_pBtnTryJoinMeet, &QPushButton::clicked, this, &Talvora::onTryJoinMeet);
    connect(this, &Talvora::tryCreateMeet, this, &Talvora::onChooseCreateMeet);
    connect(this, &Talvora::tryJoinMeet, this, &Talvora::onChooseJoinMeet);
    connect(m_pCreateConference, &CreateConference::bookThenModify, this, &Talvora::onBookOKWinModify);
    connect(this, &Talvora::modifyShowUsername, this, &Talvora::onModifyShowUsername);
    connect(this, &Talvora::initChooseMyMeet, this, &Talvora::onChooseMyMeet);
    new MainWindowKeys(*this);

    // One mapper each for the cards' two buttons and the page dots, for the
    // window's whole life; a deleted card or dot leaves its mapper by itself.
    m_pModifyMapper = new QSignalMapper(this);
    m_pStartMapper = new QSignalMapper(this);
    m_pDotMapper = new QSignalMapper(this);
    connect(m_pModifyMapper, &QSignalMapper::mappedWidget, this, &Talvora::onAMeetModifySlots);
    connect(m_pStartMapper, &QSignalMapper::mappedWidget, this, &Talvora::onAMeetStartSlots);
    connect(m_pDotMapper, &QSignalMapper::mappedInt, this, &Talvora::onCBtnClickSlots);

    setUpDesktopCompanions();

    // The first list query runs here, before the window is shown; whoever
    // builds the window shows its progress. Later exchanges show the spinner
    // over the pages.
    emit initChooseMyMeet();
    m_pBusyIndicator = new PageBusyIndicator(m_pStackedWidget, this);
    m_pBusyScope = std::make_unique<talvora::BusyPresenterScope>(m_pBusyIndicator);

    // Enabled by the SDK session once its login succeeds.
    setEnabled(false);
    m_pAbove = new Above;
    m_pAbove->m_pLabAbove->setStyleSheet(QString::fromUtf8(kCoverStyle));
    m_pAbove->show();

    m_pixShadow = talvora::frameless::loadShadow();
    setWindowIcon(QIcon(QStringLiteral(":/Talvora/Resources/favicon.ico")));
    // Not earlier: the tray's "显示主窗口" would show a window still in the making.
    m_pTrayIcon->appear();

    LOG_INFO << "=========TalvoraWindow init Finished======";
}

Talvora::~Talvora()
{
    talvora::wipe(m_wstrLoginPassword);
    m_pBusyScope.reset();
    teardownSdkSession();
    delete m_pLogoutConfig;
    delete m_pAbove;

    // Cards, dots and fillers may sit in the page's layouts or be parentless;
    // deleting a child widget takes it out of its layout, so both are safe.
    for (ShowAMeet* card : m_vecMeetWidgets) {
        delete card;
    }
    for (CircleButton* dot : m_vecPageBtns) {
        delete dot;
    }
    delete m_pLabFillCol;
    delete m_pLabFillRow;
    delete m_pLabFillRow2;
    // Spacers are not widgets: a layout that still holds one would delete it
    // again.
    m_pShowMyMeetWin->m_pDotLayout->removeItem(m_pSpacerLeft);
    m_pShowMyMeetWin->m_pDotLayout->removeItem(m_pSpacerRight);
    delete m_pSpacerLeft;
    delete m_pSpacerRight;
}

void Talvora::setInitUserName(std::string userName)
{
    m_strInitUserName = std::move(userName);
}

void Talvora::highlightMenuEntry(int page)
{
    struct Entry
    {
        int page;
        QLabel* icon;
        QLabel* word;
        const char* image;
    };
    const Entry entries[] = {
        {PageMeetingCards, m_pLeftMenu->m_pLabMyMeetIcon, m_pLeftMenu->m_pLabMyMeetWord,
         "menu_icon_mymeeting"},
        {PageCreate, m_pLeftMenu->m_pLabCreateMeetIcon, m_pLeftMenu->m_pLabCreateMeetWord,
         "menu_icon_starup"},
        {PageJoin, m_pLeftMenu->m_pLabJoinMeetIcon, m_pLeftMenu->m_pLabJoinMeetWord, "menu_icon_join"},
    };
    // Both meeting pages belong to the my-meetings entry.
    const int entryPage = page == PageNoMeetings ? PageMeetingCards : page;
    for (const Entry& entry : entries) {
        const bool selected = entry.page == entryPage;
        entry.icon->setStyleSheet(menuIconStyle(entry.image, selected));
        entry.word->setStyleSheet(QString::fromUtf8(selected ? kMenuWordSelected : kMenuWordOther));
    }
}

void Talvora::onRename()
{
    LOG_INFO << "Enter Rename";
    runRenameDialog();
}

void Talvora::runRenameDialog()
{
    CremaneWindow dialog(QString::fromStdString(m_strUserName));
    dialog.exec();
    const QString name = dialog.getName();
    if (name.isEmpty() || talvora::quitRequested()) {
        return;
    }
    // The service's copy may stay behind; the name shown and used to join is
    // the local one.
    std::string answer;
    UpdateUserName(m_strZcode, name.toStdString(), &answer);
    if (talvora::quitRequested()) {
        return;
    }
    m_strUserName = name.toStdString();
    m_pLeftMenu->m_pLabUserName->setText(name);
}

void Talvora::onModifyShowUsername()
{
    std::string answer;
    GetUser(m_strZcode, &answer);
    // Nobody is left to answer a rename dialog.
    if (talvora::quitRequested()) {
        return;
    }
    auto user = std::make_shared<protocol::CodeData>();
    protocol::ParseJsonText(user, answer);
    if (user->username.empty()) {
        runRenameDialog();
        return;
    }
    LOG_INFO << "get username:" << user->username;
    m_strUserName = user->username;
    m_pLeftMenu->m_pLabUserName->setText(QString::fromStdString(m_strUserName));
}

void Talvora::onChooseMyMeet()
{
    std::string answer;
    if (!ListMeetings(m_strZcode, &answer)) {
        talvora::showErrorBox("获取会议列表失败");
        return;
    }
    auto list = std::make_shared<protocol::Ss>();
    protocol::ParseJsonText(list, answer);
    // The query asks for one page of 50; a service that sends more does not
    // get a card for each of them.
    if (list->meetings.size() > kMaxMeetings) {
        LOG_WARNING << "meeting list: " << list->meetings.size() << " meetings received, the first "
                    << kMaxMeetings << " shown, " << list->meetings.size() - kMaxMeetings << " dropped";
        list->meetings.resize(kMaxMeetings);
    }
    m_pMeetingReminders->arm(list->meetings);
    m_iMeetCount = static_cast<int>(list->meetings.size());
    if (m_iMeetCount == 0) {
        highlightMenuEntry(PageNoMeetings);
        m_pStackedWidget->setCurrentIndex(PageNoMeetings);
        return;
    }

    clearMeetGrid();
    showMeetCards(list->meetings);
    showPageDots((m_iMeetCount + kCardsPerPage - 1) / kCardsPerPage);
    placeMeetPage(1);
    highlightMenuEntry(PageMeetingCards);
    m_pStackedWidget->setCurrentIndex(PageMeetingCards);
}

void Talvora::showMeetCards(const std::vector<protocol::Meet>& meetings)
{
    // A card that shows a meeting takes the next one in its place; building
    // and styling fresh cards is most of what a refresh costs. A card whose
    // start time cannot be read is built anew, so that its box comes up in
    // list order as the card is made.
    const std::size_t kept = std::min(m_vecMeetWidgets.size(), meetings.size());
    for (std::size_t i = kept; i < m_vecMeetWidgets.size(); ++i) {
        delete m_vecMeetWidgets[i];
    }
    m_vecMeetWidgets.resize(meetings.size(), nullptr);
    for (std::size_t i = 0; i < meetings.size(); ++i) {
        const protocol::Meet& meet = meetings[i];
        ShowAMeet*& card = m_vecMeetWidgets[i];
        if (card == nullptr ||
            !card->setMeeting(static_cast<int>(i), meet.topic, meet.start_time, meet.duration, meet.id,
                              meet.option_host_video, meet.option_participants_video)) {
            delete card;
            card = new ShowAMeet(static_cast<int>(i), meet.topic, meet.start_time, meet.duration, meet.id,
                                 meet.option_host_video, meet.option_participants_video);
            m_pMeetContextMenu->attach(card, [card] { return card->scheduledMeeting(); });
            connect(card, &ShowAMeet::modifySignal, m_pModifyMapper, qOverload<>(&QSignalMapper::map));
            m_pModifyMapper->setMapping(card, card);
            connect(card, &ShowAMeet::startSignal, m_pStartMapper, qOverload<>(&QSignalMapper::map));
            m_pStartMapper->setMapping(card, card);
        }
        LOG_INFO << "host：" << static_cast<char>(meet.option_host_video);
        LOG_INFO << "paticipate：" << static_cast<char>(meet.option_participants_video);
    }
}

void Talvora::showPageDots(int pages)
{
    QHBoxLayout* dots = m_pShowMyMeetWin->m_pDotLayout;
    while (static_cast<int>(m_vecPageBtns.size()) > pages) {
        delete m_vecPageBtns.back();
        m_vecPageBtns.pop_back();
    }
    if (dots->indexOf(m_pSpacerLeft) < 0) {
        dots->addItem(m_pSpacerLeft);
    }
    dots->removeItem(m_pSpacerRight);
    while (static_cast<int>(m_vecPageBtns.size()) < pages) {
        auto* dot = new CircleButton;
        m_vecPageBtns.push_back(dot);
        dots->addWidget(dot);
        connect(dot, &QPushButton::clicked, m_pDotMapper, qOverload<>(&QSignalMapper::map));
        m_pDotMapper->setMapping(dot, static_cast<int>(m_vecPageBtns.size()));
        dot->setAccessibleName(QString::fromUtf8("第 %1 页").arg(m_vecPageBtns.size()));
    }
    dots->addItem(m_pSpacerRight);
    selectPageDot(1);
}

void Talvora::selectPageDot(int page)
{
    // Restyling re-polishes a dot; only the dots whose state changes get it.
    for (std::size_t i = 0; i < m_vecPageBtns.size(); ++i) {
        const QString style = QString::fromUtf8(static_cast<int>(i) + 1 == page ? CircleButton::kSelectedStyle
                                                                                : CircleButton::kUnselectedStyle);
        if (m_vecPageBtns[i]->styleSheet() != style) {
            m_vecPageBtns[i]->setStyleSheet(style);
        }
    }
}

void Talvora::clearMeetGrid()
{
    QGridLayout* grid = m_pShowMyMeetWin->m_pGridLayout;
    while (QLayoutItem* item = grid->itemAt(0)) {
        QWidget* widget = item->widget();
        if (widget == nullptr) {
            delete grid->takeAt(0);
            continue;
        }
        widget->setParent(nullptr);
        grid->removeWidget(widget);
    }
}

void Talvora::placeMeetPage(int page)
{
    static const int kCells[kCardsPerPage][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    QGridLayout* grid = m_pShowMyMeetWin->m_pGridLayout;
    const int first = (page - 1) * kCardsPerPage;
    int placed = 0;
    for (int i = first; i >= 0 && i < first + kCardsPerPage && i < static_cast<int>(m_vecMeetWidgets.size());
         ++i) {
        grid->addWidget(m_vecMeetWidgets[i], kCells[placed][0], kCells[placed][1]);
        ++placed;
    }
    // Fillers keep the 2 x 2 shape of a short page.
    if (placed == 1) {
        grid->addWidget(m_pLabFillCol, 0, 1);
        grid->addWidget(m_pLabFillRow, 1, 0);
    } else if (placed == 2) {
        grid->addWidget(m_pLabFillRow2, 1, 0);
    }
}

void Talvora::onCBtnClickSlots(int page)
{
    clearMeetGrid();
    selectPageDot(page);
    placeMeetPage(page);
}

void Talvora::onChooseCreateMeet()
{
    highlightMenuEntry(PageCreate);
    m_pStackedWidget->setCurrentIndex(PageCreate);
    m_pCreateConference->onChooseTempMeet();
}

void Talvora::onChooseJoinMeet()
{
    highlightMenuEntry(PageJoin);
    m_pJoinConference->m_pLabMeetCodeWrong->setStyleSheet(QString::fromUtf8(kMeetCodeWrongHidden));
    m_pStackedWidget->setCurrentIndex(PageJoin);
}

void Talvora::onMeetCodeWrong()
{
    m_pJoinConference->m_pLabMeetCodeWrong->setStyleSheet(QString::fromUtf8(kMeetCodeWrongShown));
}

void Talvora::onChooseLogout()
{
    m_pLogoutConfig->exec();
}

void Talvora::onWindowMin()
{
    showMinimized();
}

void Talvora::onLogoutCancel()
{
    m_pLogoutConfig->close();
}

void Talvora::onLogoutSave()
{
    m_pLogoutConfig->close();
    close();
}

void Talvora::onAMeetModifySlots(QWidget* card)
{
    const auto* meet = qobject_cast<ShowAMeet*>(card);
    if (meet == nullptr) {
        return;
    }
    MeetingToEdit meeting{meet->m_strTopic,
                          meet->m_strStartShow,
                          meet->m_strEndShow,
                          std::atoi(meet->m_strYear.c_str()),
                          std::atoi(meet->m_strMonth.c_str()),
                          std::atoi(meet->m_strDay.c_str()),
                          std::atoi(meet->m_strHour.c_str()),
                          std::atoi(meet->m_strMinute.c_str()),
                          meet->m_iHourStop,
                          meet->m_iMinuteStop,
                          meet->isVideoMeeting(),
                          meet->m_strMeetCode};
    loadIntoModifyMeet(m_pModifyMeet, meeting);
    m_pStackedWidget->setCurrentIndex(PageModify);
}

void Talvora::onModifyWinCancel()
{
    m_pStackedWidget->setCurrentIndex(PageMeetingCards);
}

void Talvora::onTryCreateMeet()
{
    emit tryCreateMeet();
}

void Talvora::onTryJoinMeet()
{
    emit tryJoinMeet();
}

void Talvora::onBookOKWinModify(std::string strTopic, int iYear, int iMonth, int iDay, int iHour, int iMinute,
                                int iHourStop, int iMinuteStop, bool isVedioMeet, std::string strMeetCode)
{
    highlightMenuEntry(PageMeetingCards);
    const std::string date = talvora::timetext::datePart(iYear, iMonth, iDay);
    MeetingToEdit meeting{std::move(strTopic),
                          date + talvora::timetext::clock(iHour, iMinute),
                          date + talvora::timetext::clock(iHourStop, iMinuteStop),
                          iYear,
                          iMonth,
                          iDay,
                          iHour,
                          iMinute,
                          iHourStop,
                          iMinuteStop,
                          isVedioMeet,
                          std::move(strMeetCode)};
    loadIntoModifyMeet(m_pModifyMeet, meeting);
    // The refresh runs synchronously and may switch pages; the edit page is
    // what stays on screen.
    emit initChooseMyMeet();
    m_pStackedWidget->setCurrentIndex(PageModify);
}

void Talvora::mousePressEvent(QMouseEvent* event)
{
    talvora::frameless::startDrag(m_ptDragOffset, *this, event);
}

void Talvora::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
}

// Closing this window ends the application, and the logout confirmation is
// there so that it never happens by accident; QDialog would let Escape close
// it without asking.
void Talvora::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Closing the window while an exchange runs must not wait for its answer.
void Talvora::closeEvent(QCloseEvent* event)
{
    if (talvora::exchangeInFlight()) {
        talvora::requestQuit();
    }
    QDialog::closeEvent(event);
}

bool Talvora::focusNextPrevChild(bool next)
{
    return talvora::readingorder::moveFocus(this, next) || QDialog::focusNextPrevChild(next);
}

void Talvora::mouseMoveEvent(QMouseEvent* event)
{
    talvora::frameless::followDrag(*this, m_ptDragOffset, event);
}

void Talvora::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    {
        QPainter painter(this);
        talvora::frameless::paintShadow(painter, m_pixShadow, size());
    }
    // The pop-ups are top-level windows; they keep their place over the
    // window wherever it has been dragged.
    const QPoint origin = pos();
    m_pCreateConference->m_pStartTimeWin->move(origin + QPoint(204, 129));
    m_pCreateConference->m_pStopTimeWin->move(origin + QPoint(204, 129));
    m_pModifyMeet->m_pStartTimeWin->move(origin + QPoint(204, 129));
    m_pModifyMeet->m_pStopTimeWin->move(origin + QPoint(204, 129));
    m_pModifyMeet->m_pEraseMeetLab->move(origin + QPoint(510, 306));
    m_pModifyMeet->m_pDelConfig->move(origin + QPoint(300, 231));
    m_pLogoutConfig->move(origin + QPoint(300, 231));
}
