// The main window from the keyboard and to a screen reader: Escape hides
// nothing inside the window, Ctrl+1/2/3, Tab in reading order, the join page's
// typed keys, the time wheels' keys, and the names and values that
// accessibility reports.

#include "Above.h"
#include "Accessibility.h"
#include "BookMeetWin.h"
#include "CircleButton.h"
#include "CreateConference.h"
#include "CreateMeetTop.h"
#include "FocusRing.h"
#include "JoinConference.h"
#include "KelpNetUtilsDouble.h"
#include "LeftMenu.h"
#include "ModifyMeet.h"
#include "MyQlineEdit.h"
#include "ShowAMeet.h"
#include "ShowMyMeetWin.h"
#include "StartTimeWin.h"
#include "Talvora.h"
#include "VerticalScroll.h"
#include "WidgetTestSupport.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QFocusFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

using widgettest::ErrorBoxRecorder;
using widgettest::ModalAnswer;

namespace {

QString accessibleText(QObject* object, QAccessible::Text kind)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face != nullptr ? face->text(kind) : QStringLiteral("<none>");
}

} // namespace

class KeyboardTest : public QObject
{
    Q_OBJECT

private:
    // A signed-in window, shown and active, with `meetings` cards.
    std::unique_ptr<Talvora> makeWindow(int meetings)
    {
        kelp_double::queueAnswer(widgettest::meetingListJson(meetings));
        auto window = std::make_unique<Talvora>("zhangsan", "ZC10001");
        window->setEnabled(true);
        window->m_pAbove->hide();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get())) {
            qWarning("main window not active");
        }
        return window;
    }

    static void type(const char* keys)
    {
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(keys));
    }

    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

private slots:
    void initTestCase()
    {
        initTalvoraResources();
        talvora::installAccessibleInterfaces();
        FocusRing::install();
    }
    void init() { kelp_double::reset(); }

    void escapeInsideTheWindowHidesNothing_data()
    {
        QTest::addColumn<int>("place");
        QTest::newRow("menu entry") << 0;
        QTest::newRow("edit page topic") << 1;
        QTest::newRow("card button") << 2;
        QTest::newRow("booking form") << 3;
    }

    void escapeInsideTheWindowHidesNothing()
    {
        QFETCH(int, place);
        auto window = makeWindow(1);
        ShowAMeet* card = window->m_vecMeetWidgets.front();
        QWidget* focus = nullptr;
        if (place == 0) {
            window->m_pLeftMenu->m_pBtnCreateMeet->click();
            focus = window->m_pLeftMenu->m_pBtnCreateMeet;
        } else if (place == 1) {
            window->onAMeetModifySlots(card);
            focus = window->m_pModifyMeet->m_pLnEtMeetTopic;
        } else if (place == 2) {
            focus = card->m_pBtnModify;
        } else {
            window->onChooseCreateMeet();
            window->m_pCreateConference->onChooseBookMeet();
            focus = window->m_pCreateConference->m_pBookMeetWin->m_pLnEtMeetTopic;
        }
        focus->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), focus);
        const int page = window->m_pStackedWidget->currentIndex();
        press(Qt::Key_Escape);
        QVERIFY(window->isVisible());
        QVERIFY(window->m_pLeftMenu->isVisible());
        QCOMPARE(window->m_pStackedWidget->currentIndex(), page);
        QVERIFY(window->m_pStackedWidget->currentWidget()->isVisible());
        for (QWidget* parent = focus; parent != window.get(); parent = parent->parentWidget()) {
            QVERIFY2(parent->isVisible(), qPrintable(parent->objectName()));
        }
        QVERIFY(card->isVisibleTo(window->m_pShowMyMeetWin));
    }

    void ctrlDigitsChooseTheMenuEntriesAndFocusThePage()
    {
        auto window = makeWindow(1);
        press(Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageCreate));
        QCOMPARE(QApplication::focusWidget(), window->m_pCreateConference->m_pCreateMeetTop->m_pLabTempMeet);
        press(Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
        QCOMPARE(QApplication::focusWidget(), window->m_pJoinConference->m_QlntShow);
        kelp_double::queueAnswer(widgettest::meetingListJson(1));
        press(Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageMeetingCards));
        QCOMPARE(QApplication::focusWidget(), window->m_vecMeetWidgets.front()->m_pBtnModify);
    }

    void tabFollowsTheReadingOrder()
    {
        auto window = makeWindow(5);
        const ShowAMeet* first = window->m_vecMeetWidgets[0];
        const ShowAMeet* second = window->m_vecMeetWidgets[1];
        first->m_pBtnModify->setFocus(Qt::TabFocusReason);
        const QList<QWidget*> expected = {first->m_pBtnStart, second->m_pBtnModify, second->m_pBtnStart};
        for (QWidget* next : expected) {
            press(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        window->m_vecMeetWidgets[3]->m_pBtnStart->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window->m_vecPageBtns[0]);
        press(Qt::Key_Tab);
        press(Qt::Key_Space);
        QVERIFY(window->m_vecPageBtns[1]->isCurrentPage());
        QTRY_VERIFY(window->m_vecMeetWidgets[4]->isVisible());
        // The ring stays around the dot that its new style made current.
        auto* ring = window->findChild<QFocusFrame*>(QStringLiteral("FocusRing"));
        QVERIFY(ring != nullptr);
        QTRY_VERIFY(ring->isVisible());
        QCOMPARE(ring->widget(), window->m_vecPageBtns[1]);
        // Past the last control the focus wraps to the top of the menu.
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window->m_pLeftMenu->m_pRenameBtn);
        press(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), window->m_vecPageBtns[1]);
    }

    void editingFromACardFocusesTheTopic()
    {
        auto window = makeWindow(1);
        window->m_vecMeetWidgets.front()->m_pBtnModify->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Return);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageModify));
        QCOMPARE(QApplication::focusWidget(), window->m_pModifyMeet->m_pLnEtMeetTopic);
    }

    void joinPageTakesTypedKeysAndJoinsOnEnter()
    {
        auto window = makeWindow(0);
        JoinConference* join = window->m_pJoinConference;
        window->onChooseJoinMeet();
        join->m_pBtn5->setFocus(Qt::TabFocusReason);
        type("85.0");
        press(Qt::Key_Backspace);
        type("6a");
        QCOMPARE(join->m_strMeetCode, QStringLiteral("85.6a"));
        QVERIFY(join->m_pBtn6->styleSheet().contains(QStringLiteral("keyboard_btn_06_press.png")));
        QSignalSpy joined(join->m_pBtnJoinMeet, &QPushButton::clicked);
        press(Qt::Key_Return);
        QCOMPARE(joined.count(), 1);
    }

    void aWheelTurnedFastPastItsEndStaysThere()
    {
        VerticalScroll wheel(QString::fromUtf8("月"), 12, 1, 3, 1);
        wheel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wheel));
        for (int turn = 0; turn < 4; ++turn) {
            QTest::keyClick(&wheel, Qt::Key_Up);
        }
        QCOMPARE(wheel.currentValue(), 1);
        QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&wheel, &up);
        QCOMPARE(wheel.currentValue(), 1);
    }

    void wheelsTurnWithUpAndDownAndEnterSaves()
    {
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.onChooseBookMeet();
        StartTimeWin* picker = page.m_pStartTimeWin;
        QWidget* focusedAtOpen = nullptr;
        QWidget* focusedAfterTab = nullptr;
        ModalAnswer<StartTimeWin> answer([&](StartTimeWin* dialog) {
            dialog->activateWindow();
            (void)QTest::qWaitForWindowActive(dialog);
            focusedAtOpen = QApplication::focusWidget();
            press(Qt::Key_Down);
            press(Qt::Key_Tab);
            focusedAfterTab = QApplication::focusWidget();
            dialog->m_pScrollMonth->setCurrentValue(5);
            dialog->m_pScrollDay->setCurrentValue(1);
            press(Qt::Key_Up);
            press(Qt::Key_Return);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
        const int year = QDate::currentDate().year();
        page.m_pBookMeetWin->m_pBtnStartTime->click();
        QVERIFY(answer.answered());
        QVERIFY(!picker->isVisible());
        QCOMPARE(focusedAtOpen, picker->m_pScrollYear);
        QCOMPARE(focusedAfterTab, picker->m_pScrollMonth);
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(page.m_iYear, picker->m_pScrollYear->currentValue());
        QVERIFY(page.m_iYear == year + 1 || page.m_iYear == year + 2);
        QCOMPARE(page.m_iMonth, 4);
        QCOMPARE(accessibleText(picker->m_pScrollMonth, QAccessible::Value), QStringLiteral("4"));

        ModalAnswer<StartTimeWin> cancel([](StartTimeWin* dialog) {
            dialog->activateWindow();
            (void)QTest::qWaitForWindowActive(dialog);
            press(Qt::Key_Escape);
        });
        page.m_pBookMeetWin->m_pBtnStartTime->click();
        QVERIFY(cancel.answered());
        QVERIFY(!picker->isVisible());
        QVERIFY(picker->m_pScrollYear->isVisibleTo(picker));
    }

    void screenReadersHearNamesValuesAndTheWrongCode()
    {
        auto window = makeWindow(5);
        QCOMPARE(accessibleText(window->m_pJoinConference->m_pBtnDelete, QAccessible::Name),
                 QString::fromUtf8("删除"));
        QCOMPARE(accessibleText(window->m_pJoinConference->m_pBtnPoint, QAccessible::Name),
                 QString::fromUtf8("点"));
        QCOMPARE(accessibleText(window->m_vecPageBtns[1], QAccessible::Name), QString::fromUtf8("第 2 页"));
        QVERIFY(QAccessible::queryAccessibleInterface(window->m_vecPageBtns[0])->state().selected);
        QCOMPARE(accessibleText(window->m_vecMeetWidgets[0]->m_pLabVedioOrVoice, QAccessible::Name),
                 QString::fromUtf8("视频会议"));
        QCOMPARE(accessibleText(window->m_pLeftMenu->m_pBtnJoinMeet, QAccessible::Name),
                 QString::fromUtf8("加入会议"));
        QCOMPARE(accessibleText(window->m_pLeftMenu->m_pRenameBtn, QAccessible::Description),
                 QStringLiteral("zhangsan"));
        QPushButton* start = window->m_pModifyMeet->m_pBtnStartTime;
        window->onAMeetModifySlots(window->m_vecMeetWidgets[0]);
        QCOMPARE(accessibleText(start, QAccessible::Name), QString::fromUtf8("开始时间"));
        QCOMPARE(accessibleText(start, QAccessible::Description), QString::fromUtf8("2024年3月7日  9:30"));

        VerticalScroll* hour = window->m_pModifyMeet->m_pStartTimeWin->m_pScrollHour;
        QAccessibleInterface* wheel = QAccessible::queryAccessibleInterface(hour);
        QCOMPARE(wheel->text(QAccessible::Name), QString::fromUtf8("时"));
        QCOMPARE(wheel->valueInterface()->currentValue().toInt(), 9);

        QLabel* wrong = window->m_pJoinConference->m_pLabMeetCodeWrong;
        window->onChooseJoinMeet();
        QVERIFY(!wrong->isVisible());
        emit window->meetCodeWrong();
        QVERIFY(wrong->isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(wrong)->role(), QAccessible::AlertMessage);
        window->onChooseJoinMeet();
        QVERIFY(!wrong->isVisible());
    }
};

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
