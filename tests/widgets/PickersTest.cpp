// The booking-time pickers: their wheels, the rules that refuse a picked
// time, and how the create page takes a pick into a booking.

#include "BookMeetWin.h"
#include "CreateConference.h"
#include "KelpNetUtilsDouble.h"
#include "MyQlineEdit.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "VerticalScroll.h"
#include "WidgetTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

using widgettest::ErrorBoxRecorder;
using widgettest::ModalAnswer;
using Picked = TimePickerWin::PickedTime;

namespace {

void setWheels(TimePickerWin* picker, Picked time)
{
    picker->m_pScrollYear->setCurrentValue(time.year);
    picker->m_pScrollMonth->setCurrentValue(time.month);
    picker->m_pScrollDay->setCurrentValue(time.day);
    picker->m_pScrollHour->setCurrentValue(time.hour);
    picker->m_pScrollMinute->setCurrentValue(time.minute);
}

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

} // namespace

class PickersTest : public QObject
{
    Q_OBJECT

private:
    // Opens the start or stop picker of `page`, sets its wheels and saves.
    // Returns whether the picker closed.
    template <typename Picker> bool pick(CreateConference& page, Picker* picker, Picked time)
    {
        bool closed = false;
        bool ownPicker = false;
        ModalAnswer<Picker> answer([&](Picker* dialog) {
            ownPicker = dialog == picker;
            setWheels(dialog, time);
            dialog->m_pBtnSave->click();
            closed = !dialog->isVisible();
            if (!closed) {
                dialog->m_pBtnCancel->click();
            }
        });
        if constexpr (std::is_same_v<Picker, StartTimeWin>) {
            page.m_pBookMeetWin->m_pBtnStartTime->click();
        } else {
            page.m_pBookMeetWin->m_pBtnEndTime->click();
        }
        return answer.answered() && ownPicker && closed;
    }

private slots:
    void initTestCase() { initTalvoraResources(); }
    void init() { kelp_double::reset(); }

    void dayExistsFollowsTheCalendarWithoutTheCenturyRule()
    {
        QVERIFY(TimePickerWin::dayExists({2028, 2, 29, 9, 0}));
        QVERIFY(!TimePickerWin::dayExists({2027, 2, 29, 9, 0}));
        QVERIFY(TimePickerWin::dayExists({2100, 2, 29, 9, 0}));
        for (int month : {4, 6, 9, 11}) {
            QVERIFY(!TimePickerWin::dayExists({2030, month, 31, 9, 0}));
        }
        QVERIFY(TimePickerWin::dayExists({2030, 12, 31, 9, 0}));
    }

    void pastCheckCarriesOverLikeACalendar()
    {
        const QDateTime mayFirst = at(2030, 5, 1, 0, 0);
        QVERIFY(!TimePickerWin::isPast({2030, 4, 31, 0, 0}, mayFirst)); // 31 April is 1 May: equal, accepted
        QVERIFY(TimePickerWin::isPast({2030, 4, 31, 0, 0}, mayFirst.addSecs(60)));
        QVERIFY(!TimePickerWin::isPast({2030, 4, 30, 23, 60}, mayFirst));
        QVERIFY(TimePickerWin::isPast({2017, 1, 1, 0, 0}, QDateTime::currentDateTime()));
    }

    void defaultTimeIsTheNextMultipleOfFiveMinutes()
    {
        StartTimeWin picker;
        QCOMPARE(picker.objectName(), QStringLiteral("StartTimeWin"));
        QCOMPARE(picker.size(), QSize(750, 409));
        QVERIFY(!picker.m_pScrollYear->isWindow());
        picker.showDefaultTime(at(2030, 3, 7, 10, 7));
        QCOMPARE(picker.m_pScrollMinute->currentValue(), 10);
        picker.showDefaultTime(at(2030, 3, 7, 10, 10));
        QCOMPARE(picker.m_pScrollMinute->currentValue(), 15);
        picker.showDefaultTime(at(2030, 12, 31, 23, 57));
        const Picked next = picker.picked();
        QCOMPARE(next.year, 2031);
        QCOMPARE(next.month, 1);
        QCOMPARE(next.day, 1);
        QCOMPARE(next.hour, 0);
        QCOMPARE(next.minute, 0);
    }

    void wheelStopsAtTheEndsOfItsRange()
    {
        VerticalScroll year(QString::fromUtf8("年"), 2080, 2017, 2017, 1);
        year.show();
        QVERIFY(QTest::qWaitForWindowExposed(&year));
        // Dragging down at the smallest value does not move the rows.
        QTest::mousePress(&year, Qt::LeftButton, {}, QPoint(50, 90));
        QTest::mouseMove(&year, QPoint(50, 150));
        QCOMPARE(year.deviation(), 0);
        QTest::mouseRelease(&year, Qt::LeftButton, {}, QPoint(50, 150));
        QCOMPARE(year.currentValue(), 2017);

        QWheelEvent up(QPointF(50, 90), QPointF(50, 90), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&year, &up);
        QCOMPARE(year.currentValue(), 2017);
        QWheelEvent down(QPointF(50, 90), QPointF(50, 90), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&year, &down);
        QCOMPARE(year.currentValue(), 2018);

        VerticalScroll minute(QString(), 59, 0, 55, 5);
        QApplication::sendEvent(&minute, &down);
        QCOMPARE(minute.currentValue(), 55);
    }

    void savedPicksMakeABooking()
    {
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.onChooseBookMeet();
        QVERIFY(pick(page, page.m_pStartTimeWin, {2030, 3, 7, 9, 5}));
        QVERIFY(pick(page, page.m_pStopTimeWin, {2030, 3, 7, 10, 30}));
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(page.m_pBookMeetWin->m_pLabShowStartTime->text(), QString::fromUtf8("2030年3月7日  9:05"));
        QCOMPARE(page.m_pBookMeetWin->m_pLabShowEndTime->text(), QString::fromUtf8("2030年3月7日  10:30"));
        QCOMPARE(page.m_iHourStop, 10);

        page.m_pBookMeetWin->m_pLnEtMeetTopic->setText(QString::fromUtf8("周会"));
        kelp_double::queueAnswer("{\"id\":\"850\"}");
        kelp_double::queueAnswer("{\"meeting_id\":\"850\"}");
        page.m_pBookMeetWin->m_pBtnBookMeetStart->click();
        QCOMPARE(page.m_pStackedWidget->currentIndex(), int(CreateConference::PaneBookSuccess));
    }

    void refusedPicksKeepThePickerOpenAndClearTheValues_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such day") << 2027 << 2 << 29 << "日期不存在";
        QTest::newRow("31 April") << 2030 << 4 << 31 << "日期不存在";
        QTest::newRow("past") << 2017 << 3 << 7 << "不能预定过去时间的会议";
        QTest::newRow("past and no such day") << 2017 << 2 << 30 << "不能预定过去时间的会议";
    }

    void refusedPicksKeepThePickerOpenAndClearTheValues()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(QString, message);
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.onChooseBookMeet();
        QVERIFY(pick(page, page.m_pStartTimeWin, {2030, 3, 7, 9, 5}));
        QVERIFY(!pick(page, page.m_pStartTimeWin, {year, month, day, 9, 5}));
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(page.m_iYear, 0);
        QCOMPARE(page.m_iMinute, 0);
        // The label keeps the last accepted pick.
        QCOMPARE(page.m_pBookMeetWin->m_pLabShowStartTime->text(), QString::fromUtf8("2030年3月7日  9:05"));
    }
};

QTEST_MAIN(PickersTest)
#include "PickersTest.moc"
