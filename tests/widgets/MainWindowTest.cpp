// The main window without its SDK session: navigation and the menu highlight,
// the user-name and rename flow, logout, minimise, dragging and the pop-ups
// that follow the window. REST answers come from the KelpNetUtils double.

#include "Above.h"
#include "Accessibility.h"
#include "CMeetConfig.h"
#include "CreateConference.h"
#include "CreateMeetTop.h"
#include "CremaneWindow.h"
#include "JoinConference.h"
#include "KelpNetUtilsDouble.h"
#include "LeftMenu.h"
#include "ModifyMeet.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "TempMeetWin.h"
#include "TrayIcon.h"
#include "PageBusyIndicator.h"
#include "ServiceExchange.h"
#include "Talvora.h"
#include "WidgetTestSupport.h"

#include <QAccessible>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QtTest>

#include <memory>

using widgettest::ErrorBoxRecorder;
using widgettest::ModalAnswer;

namespace {

const char* const kWordOn =
    "QLabel{background:transparent; color:#4194FF;font-size:20px;font-family:\"SourceHanSansCN-Regular\";}";
const char* const kWordOff =
    "QLabel{background:transparent; color:#343434;font-size:20px;font-family:\"SourceHanSansCN-Regular\";}";

QString iconStyle(const char* image)
{
    return QStringLiteral("QLabel{border-image:url(:/Talvora/Resources/%1.png);}")
        .arg(QString::fromLatin1(image));
}

} // namespace

namespace talvora::zhumu {

// A window of the conferencing SDK's own.
class MeetingWindowStandIn : public QDialog
{
    Q_OBJECT
};

} // namespace talvora::zhumu

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    // A window as after the SDK login: enabled, cover hidden. The list query
    // of the constructor gets `listAnswer`.
    std::unique_ptr<Talvora> makeWindow(const std::string& listAnswer = "{\"meetings\":[]}")
    {
        kelp_double::queueAnswer(listAnswer);
        auto window = std::make_unique<Talvora>("zhangsan", "ZC10001");
        window->setInitUserName("zhangsan");
        window->setEnabled(true);
        window->m_pAbove->hide();
        return window;
    }

    static QString lastUrl()
    {
        const auto exchanges = kelp_double::exchanges();
        return exchanges.empty() ? QString() : QString::fromStdString(exchanges.back().url);
    }

    // The decoded value of one query key of a URL the client sent.
    static QString queryValue(const QString& url, const char* key)
    {
        const QString marker = QLatin1Char('&') + QLatin1String(key) + QLatin1Char('=');
        const int start = url.indexOf(marker);
        if (start < 0) {
            return QString();
        }
        const int from = start + marker.size();
        const int end = url.indexOf(QLatin1Char('&'), from);
        return QUrl::fromPercentEncoding(url.mid(from, end < 0 ? -1 : end - from).toUtf8());
    }

    static void verifyHighlight(Talvora& window, int selected)
    {
        const LeftMenu* menu = window.m_pLeftMenu;
        const QLabel* words[] = {menu->m_pLabMyMeetWord, menu->m_pLabCreateMeetWord,
                                 menu->m_pLabJoinMeetWord};
        const QLabel* icons[] = {menu->m_pLabMyMeetIcon, menu->m_pLabCreateMeetIcon,
                                 menu->m_pLabJoinMeetIcon};
        const char* images[] = {"menu_icon_mymeeting", "menu_icon_starup", "menu_icon_join"};
        for (int entry = 0; entry < 3; ++entry) {
            const bool on = entry == selected;
            QCOMPARE(words[entry]->styleSheet(), QString::fromUtf8(on ? kWordOn : kWordOff));
            QCOMPARE(icons[entry]->styleSheet(),
                     iconStyle((std::string(images[entry]) + (on ? "_on" : "_nor")).c_str()));
        }
    }

private slots:
    void initTestCase() { initTalvoraResources(); }
    void init() { kelp_double::reset(); }

    void constructionStartsDisabledUnderTheCover()
    {
        kelp_double::queueAnswer("{\"meetings\":[]}");
        Talvora window("zhangsan", "ZC10001");
        QCOMPARE(window.objectName(), QStringLiteral("Talvora"));
        QCOMPARE(window.size(), QSize(1070, 690));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!window.isEnabled());
        QVERIFY(window.m_pAbove->isVisible());
        QCOMPARE(window.m_pAbove->m_pLabAbove->styleSheet(),
                 QStringLiteral("QLabel{background:rgba(248,248,248,0.50);}"));
        QCOMPARE(window.m_pLeftMenu->m_pLabUserName->text(), QStringLiteral("zhangsan"));
        QCOMPARE(window.m_pStackedWidget->count(), 6);
        QCOMPARE(window.m_pStackedWidget->currentIndex(), int(Talvora::PageNoMeetings));
        // The first list query runs inside the constructor.
        QCOMPARE(kelp_double::exchanges().size(), std::size_t(1));
        QVERIFY(lastUrl().contains(QStringLiteral("/v3/meeting/list?")));
        QCOMPARE(queryValue(lastUrl(), "zcode"), QStringLiteral("ZC10001"));
    }

    void failedFirstListQueryShowsItsBoxAndStaysOnPageZero()
    {
        ErrorBoxRecorder boxes;
        kelp_double::queueFailure(7);
        Talvora window("zhangsan", "ZC10001");
        QCOMPARE(boxes.texts(), QStringList{QString::fromUtf8("获取会议列表失败")});
        QCOMPARE(window.m_pStackedWidget->currentIndex(), int(Talvora::PageNoMeetings));
    }

    // A slow list answer: the GUI thread keeps serving its timers, the
    // spinner and the wait cursor come after 300 ms and go with the answer,
    // and a click meanwhile is dropped rather than replayed.
    void slowRefreshKeepsTheWindowAliveWithABusyState()
    {
        auto window = makeWindow();
        window->show();
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(3000));
        kelp_double::queueAnswer(widgettest::meetingListJson(5));

        QElapsedTimer clock;
        qint64 lastTick = 0;
        qint64 longestGap = 0;
        QTimer ticker;
        ticker.setInterval(20);
        connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        });
        bool busyEarly = true;
        bool busyLater = false;
        QTimer::singleShot(100, [&] { busyEarly = window->m_pBusyIndicator->isVisible(); });
        QTimer::singleShot(600, [&] {
            busyLater = window->m_pBusyIndicator->isVisible() && QGuiApplication::overrideCursor() &&
                        QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
            QTest::mouseClick(window->m_pLeftMenu->m_pBtnJoinMeet, Qt::LeftButton);
        });
        clock.start();
        ticker.start();
        window->onChooseMyMeet();
        ticker.stop();

        QVERIFY(clock.elapsed() >= 2900);
        QVERIFY2(longestGap < 1000, qPrintable(QStringLiteral("GUI thread stalled %1 ms").arg(longestGap)));
        QVERIFY(!busyEarly);
        QVERIFY(busyLater);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageMeetingCards));
        QTRY_VERIFY(!window->m_pBusyIndicator->isVisible());
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageMeetingCards));
    }

    // SDK events that arrive while an exchange runs wait for it and then run
    // in arrival order.
    void sdkEventsDuringAnExchangeRunAfterItInOrder()
    {
        auto window = makeWindow();
        QLabel* wrongCode = window->m_pJoinConference->m_pLabMeetCodeWrong;
        const QString before = wrongCode->styleSheet();
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(600));
        kelp_double::queueAnswer("{\"meetings\":[]}");
        QString duringExchange;
        QTimer::singleShot(100, [&] {
            window->onMeetingStatus(ZhumuSDK::MEETING_STATUS_INMEETING, 0);
            window->onMeetingStatus(ZhumuSDK::MEETING_STATUS_FAILED, ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST);
            duringExchange = wrongCode->styleSheet();
        });
        window->onChooseMyMeet();
        QCOMPARE(duringExchange, before);
        QTRY_VERIFY(wrongCode->styleSheet().contains(QStringLiteral("#D75544")));
    }

    // Closing the window abandons the exchange at once and shows no box.
    void closingDuringASlowExchangeEndsItAtOnce()
    {
        ErrorBoxRecorder boxes;
        auto window = makeWindow();
        window->show();
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(20000));
        QTimer::singleShot(200, [&] { window->close(); });
        QElapsedTimer clock;
        clock.start();
        window->onChooseMyMeet();
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(talvora::quitRequested());
        QVERIFY(boxes.texts().isEmpty());
        talvora::clearQuitRequest();
    }

    // The conferencing SDK's windows (a meeting window of its own, known by
    // its class, and a settings dialog that the main window owns, known by
    // its name) take input while the main window waits; the main window does
    // not.
    void sdkWindowsStayUsableDuringAnExchange()
    {
        auto window = makeWindow();
        window->show();
        talvora::zhumu::MeetingWindowStandIn meeting;
        auto* leave = new QPushButton(QString::fromUtf8("离开会议"), &meeting);
        meeting.show();
        QDialog settings(window.get());
        settings.setObjectName(QStringLiteral("zhumuSettingsDialog"));
        auto* option = new QPushButton(QStringLiteral("HD"), &settings);
        settings.show();
        QSignalSpy left(leave, &QPushButton::clicked);
        QSignalSpy chosen(option, &QPushButton::clicked);
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(600));
        kelp_double::queueAnswer("{\"meetings\":[]}");
        QTimer::singleShot(100, [&] {
            QTest::mouseClick(leave, Qt::LeftButton);
            QTest::mouseClick(option, Qt::LeftButton);
            QTest::keyClick(option, Qt::Key_Space);
            QTest::mouseClick(window->m_pLeftMenu->m_pBtnJoinMeet, Qt::LeftButton);
        });
        window->onChooseMyMeet();
        QCOMPARE(left.count(), 1);
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNoMeetings));
    }

    // A screen reader's press is an action like a click: dropped while an
    // exchange is in flight (on a labelled button here; PagesTest presses a
    // plain one), and acting again once the answer is in.
    void accessibilityPressesAreHeldLikeClicks()
    {
        talvora::installAccessibleInterfaces();
        auto window = makeWindow();
        window->show();
        QPushButton* entry = window->m_pLeftMenu->m_pBtnJoinMeet;
        QSignalSpy pressed(entry, &QPushButton::clicked);
        QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(entry)->actionInterface();
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(600));
        kelp_double::queueAnswer("{\"meetings\":[]}");
        QTimer::singleShot(100, [&] { actions->doAction(QAccessibleActionInterface::pressAction()); });
        window->onChooseMyMeet();
        QTest::qWait(200); // past an animated click's delay
        QCOMPARE(pressed.count(), 0);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNoMeetings));

        actions->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(pressed.count(), 1);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
        // A plain button keeps the name Qt would give it.
        QPushButton* plain = window->m_pCreateConference->m_pTempMeetWin->m_pBtnTempMeetStart;
        QCOMPARE(QAccessible::queryAccessibleInterface(plain)->text(QAccessible::Name),
                 QString::fromUtf8("立即开始"));
    }

    // The tray's entries arrive over D-Bus, not as input: "退出" during an
    // exchange opens its confirmation only once the exchange is over, where
    // it can be answered.
    void trayActionsWaitForTheExchange()
    {
        auto window = makeWindow();
        window->show();
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(600));
        kelp_double::queueAnswer("{\"meetings\":[]}");
        bool confirmationDuringExchange = false;
        QTimer::singleShot(100, [&] { window->m_pTrayIcon->m_pActQuit->trigger(); });
        QTimer::singleShot(300, [&] {
            if (window->m_pLogoutConfig->isVisible()) {
                confirmationDuringExchange = true;
                window->m_pLogoutConfig->m_pBtnCancel->click();
            }
        });
        window->onChooseMyMeet();
        QVERIFY(!confirmationDuringExchange);
        ModalAnswer<CMeetConfig> answered([](CMeetConfig* dialog) { dialog->m_pBtnCancel->click(); });
        QTRY_VERIFY(answered.answered());
        QVERIFY(window->isVisible());
    }

    // The tray's "显示主窗口" never shows a window whose first list query is
    // still running in its constructor.
    void trayWaitsForTheWindowToBeBuilt()
    {
        kelp_double::queueAnswer("{\"meetings\":[]}");
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(400));
        QTimer::singleShot(100, [] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* building = qobject_cast<Talvora*>(widget)) {
                    building->m_pTrayIcon->m_pActShowWindow->trigger();
                }
            }
        });
        Talvora window("zhangsan", "ZC10001");
        QVERIFY(!window.isVisible());
        QTRY_VERIFY(window.isVisible());
    }

    void menuEntriesShowTheirPagesAndHighlight()
    {
        auto window = makeWindow();
        window->m_pLeftMenu->m_pBtnCreateMeet->click();
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageCreate));
        verifyHighlight(*window, 1);
        QCOMPARE(window->m_pCreateConference->m_pStackedWidget->currentIndex(), 0);
        QCOMPARE(window->m_pCreateConference->m_pCreateMeetTop->m_pLabTempMeetBlue->styleSheet(),
                 QStringLiteral("QLabel{background-color:#4194FF;}"));
        QCOMPARE(window->m_pCreateConference->m_pCreateMeetTop->m_pLabBookMeet->styleSheet(),
                 QStringLiteral("QPushButton{background:transparent; color:#666666;font-size:24px;"
                                "font-family:\"SourceHanSansCN-Medium\";}"));

        window->m_pLeftMenu->m_pBtnJoinMeet->click();
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
        verifyHighlight(*window, 2);

        kelp_double::queueAnswer("{\"meetings\":[]}");
        window->m_pLeftMenu->m_pBtnMyMeet->click();
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNoMeetings));
        verifyHighlight(*window, 0);

        kelp_double::queueAnswer(widgettest::meetingListJson(1));
        window->m_pLeftMenu->m_pBtnMyMeet->click();
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageMeetingCards));
        verifyHighlight(*window, 0);
    }

    void failedRefreshKeepsPageAndHighlight()
    {
        auto window = makeWindow();
        window->m_pLeftMenu->m_pBtnJoinMeet->click();
        ErrorBoxRecorder boxes;
        kelp_double::queueFailure(28);
        window->m_pLeftMenu->m_pBtnMyMeet->click();
        QCOMPARE(boxes.texts(), QStringList{QString::fromUtf8("获取会议列表失败")});
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
        verifyHighlight(*window, 2);
    }

    void emptyStateButtonsLeadToCreateAndJoin()
    {
        auto window = makeWindow();
        window->onTryCreateMeet();
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageCreate));
        window->onTryJoinMeet();
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
    }

    void joinHidesTheWrongCodeLineAgain()
    {
        const QString hidden =
            QStringLiteral("QLabel{background:transparent; "
                           "color:#ffffff;font-size:18px;font-family:\"PingFangSC-Regular\";}");
        const QString shown =
            QStringLiteral("QLabel{background:transparent; "
                           "color:#D75544;font-size:18px;font-family:\"PingFangSC-Regular\";}");
        auto window = makeWindow();
        window->m_pLeftMenu->m_pBtnJoinMeet->click();
        QCOMPARE(window->m_pJoinConference->m_pLabMeetCodeWrong->styleSheet(), hidden);
        emit window->meetCodeWrong();
        QCOMPARE(window->m_pJoinConference->m_pLabMeetCodeWrong->styleSheet(), shown);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
        window->m_pLeftMenu->m_pBtnCreateMeet->click();
        window->m_pLeftMenu->m_pBtnJoinMeet->click();
        QCOMPARE(window->m_pJoinConference->m_pLabMeetCodeWrong->styleSheet(), hidden);
    }

    void logoutCancelKeepsTheWindow()
    {
        auto window = makeWindow();
        window->show();
        ModalAnswer<CMeetConfig> answered([](CMeetConfig* dialog) { dialog->m_pBtnCancel->click(); });
        window->m_pLeftMenu->m_pBtnLogout->click();
        QVERIFY(answered.answered());
        QVERIFY(!window->m_pLogoutConfig->isVisible());
        QVERIFY(window->isVisible());
    }

    void logoutConfirmClosesTheWindow()
    {
        auto window = makeWindow();
        window->show();
        ModalAnswer<CMeetConfig> answered([](CMeetConfig* dialog) { dialog->m_pBtnSure->click(); });
        window->m_pLeftMenu->m_pBtnLogout->click();
        QVERIFY(answered.answered());
        QVERIFY(!window->m_pLogoutConfig->isVisible());
        QVERIFY(!window->isVisible());
    }

    void escapeDoesNotCloseTheWindow()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(window->isVisible());
    }

    void minimiseButtonMinimises()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->m_pLeftMenu->m_pBtnMin->click();
        QVERIFY(window->isMinimized());
    }

    void userAnswerWithANameSetsTheLabelWithoutDialog()
    {
        auto window = makeWindow();
        kelp_double::queueAnswer("{\"username\":\"王五\",\"email\":\"x\"}");
        ModalAnswer<CremaneWindow> answered([](CremaneWindow* dialog) { dialog->reject(); });
        emit window->modifyShowUsername();
        QVERIFY(!answered.answered());
        QCOMPARE(window->m_pLeftMenu->m_pLabUserName->text(), QString::fromUtf8("王五"));
        QCOMPARE(window->m_strUserName, std::string("王五"));
        QVERIFY(lastUrl().contains(QStringLiteral("/v3/user/get?")));
        QCOMPARE(queryValue(lastUrl(), "loginname"), QStringLiteral("ZC10001"));
    }

    void userAnswerWithoutNameOffersTheRenameDialog_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("empty") << QString();
        QTest::newRow("not json") << QStringLiteral("<html>502</html>");
        QTest::newRow("no username") << QStringLiteral("{\"code\":0}");
        QTest::newRow("empty username") << QStringLiteral("{\"username\":\"\"}");
    }

    void userAnswerWithoutNameOffersTheRenameDialog()
    {
        QFETCH(QString, answer);
        auto window = makeWindow();
        kelp_double::queueAnswer(answer.toStdString());
        QString offered;
        ModalAnswer<CremaneWindow> answered([&offered](CremaneWindow* dialog) {
            offered = dialog->m_pNameLineEdit->text();
            dialog->m_pCancelBtn->click();
        });
        emit window->modifyShowUsername();
        QVERIFY(answered.answered());
        QCOMPARE(offered, QStringLiteral("zhangsan"));
        // Cancelled: nothing sent after the user query, nothing changed.
        QVERIFY(lastUrl().contains(QStringLiteral("/v3/user/get?")));
        QCOMPARE(window->m_pLeftMenu->m_pLabUserName->text(), QStringLiteral("zhangsan"));
    }

    void renamingWithAChineseNameSendsAndShowsIt()
    {
        auto window = makeWindow();
        ModalAnswer<CremaneWindow> answered([](CremaneWindow* dialog) {
            dialog->m_pNameLineEdit->setText(QString::fromUtf8("李 雷&韩梅梅"));
            dialog->m_pSureBtn->click();
        });
        window->m_pLeftMenu->m_pRenameBtn->click();
        QVERIFY(answered.answered());
        QVERIFY(lastUrl().contains(QStringLiteral("/v3/user/update?")));
        QCOMPARE(queryValue(lastUrl(), "zcode"), QStringLiteral("ZC10001"));
        QCOMPARE(queryValue(lastUrl(), "username"), QString::fromUtf8("李 雷&韩梅梅"));
        QCOMPARE(window->m_pLeftMenu->m_pLabUserName->text(), QString::fromUtf8("李 雷&韩梅梅"));
        QCOMPARE(window->m_strUserName, std::string("李 雷&韩梅梅"));
    }

    void renameWithEmptyNameSendsNothing()
    {
        auto window = makeWindow();
        const auto before = kelp_double::exchanges().size();
        ModalAnswer<CremaneWindow> answered([](CremaneWindow* dialog) {
            dialog->m_pNameLineEdit->clear();
            dialog->m_pSureBtn->click();
        });
        window->m_pLeftMenu->m_pRenameBtn->click();
        QVERIFY(answered.answered());
        QCOMPARE(kelp_double::exchanges().size(), before);
        QCOMPARE(window->m_pLeftMenu->m_pLabUserName->text(), QStringLiteral("zhangsan"));
    }

    void renameClosedWithEscapeOrCloseSendsNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("escape") << true;
        QTest::newRow("close") << false;
    }

    void renameClosedWithEscapeOrCloseSendsNothing()
    {
        QFETCH(bool, escape);
        auto window = makeWindow();
        const auto before = kelp_double::exchanges().size();
        ModalAnswer<CremaneWindow> answered([escape](CremaneWindow* dialog) {
            dialog->m_pNameLineEdit->setText(QString::fromUtf8("新名字"));
            if (escape) {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                dialog->close();
            }
        });
        window->m_pLeftMenu->m_pRenameBtn->click();
        QVERIFY(answered.answered());
        QCOMPARE(kelp_double::exchanges().size(), before);
        QCOMPARE(window->m_strUserName, std::string("zhangsan"));
    }

    void dragWithTheRightButtonAndPopupsFollow()
    {
        auto window = makeWindow();
        window->move(40, 30);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // A press on the menu's background goes on to the window.
        widgettest::drag(window->m_pLeftMenu, Qt::RightButton, QPoint(60, 400), QPoint(260, 550));
        QCOMPARE(window->pos(), QPoint(240, 180));
        window->repaint();
        QCOMPARE(window->m_pLogoutConfig->pos(), QPoint(240 + 300, 180 + 231));
        QCOMPARE(window->m_pModifyMeet->m_pDelConfig->pos(), QPoint(240 + 300, 180 + 231));
        QCOMPARE(window->m_pCreateConference->m_pStartTimeWin->pos(), QPoint(240 + 204, 180 + 129));
        QCOMPARE(window->m_pCreateConference->m_pStopTimeWin->pos(), QPoint(240 + 204, 180 + 129));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
