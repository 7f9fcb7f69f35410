// The edit page: its own time pickers and their refusals, the checks and the
// request of a save, deleting with the confirmation and the notice, and a
// meeting loaded by the main window. REST answers come from the KelpNetUtils
// double.

#include "ModifyMeet.h"
#include "CEraseMeetLab.h"
#include "CMeetConfig.h"
#include "CreateConference.h"
#include "KelpNetUtilsDouble.h"
#include "MyQlineEdit.h"
#include "ShowAMeet.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "Talvora.h"
#include "WidgetTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

#include <vector>

using widgettest::ErrorBoxRecorder;
using widgettest::ModalAnswer;
using Picked = TimePickerWin::PickedTime;

namespace {

bool samePick(const Picked& a, const Picked& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute;
}

// Start and end as the main window loads them.
void loadTimes(ModifyMeet& page, Picked start, Picked stop)
{
    page.m_iYear = start.year;
    page.m_iMonth = start.month;
    page.m_iDay = start.day;
    page.m_iHour = start.hour;
    page.m_iMinute = start.minute;
    page.m_iYearStop = stop.year;
    page.m_iMonthStop = stop.month;
    page.m_iDayStop = stop.day;
    page.m_iHourStop = stop.hour;
    page.m_iMinuteStop = stop.minute;
}

QUrlQuery lastQuery()
{
    const auto exchanges = kelp_double::exchanges();
    return exchanges.empty() ? QUrlQuery() : QUrlQuery(QUrl(QString::fromStdString(exchanges.back().url)));
}

} // namespace

class ModifyMeetTest : public QObject
{
    Q_OBJECT

private:
    // Opens the picker through its button and, inside its exec(), saves each
    // time in turn until one closes it. Returns for each save whether the
    // picker closed, and in `onOpen` what the wheels showed when it opened.
    template <typename Picker>
    std::vector<bool> saveEach(QPushButton* opener, Picker* picker, const std::vector<Picked>& times,
                               Picked* onOpen = nullptr)
    {
        std::vector<bool> closed;
        ModalAnswer<Picker> answer([&](Picker* dialog) {
            if (dialog != picker) {
                dialog->m_pBtnCancel->click();
                return;
            }
            if (onOpen != nullptr) {
                *onOpen = dialog->picked();
            }
            for (const Picked& time : times) {
                dialog->setPicked(time);
                dialog->m_pBtnSave->click();
                closed.push_back(!dialog->isVisible());
                if (closed.back()) {
                    return;
                }
            }
            dialog->m_pBtnCancel->click();
        });
        opener->click();
        return closed;
    }

private slots:
    void initTestCase() { initTalvoraResources(); }
    void init() { kelp_double::reset(); }

    void pickerKeepsItsWheelsAndRefusesWhatCannotBeBooked()
    {
        ErrorBoxRecorder boxes;
        ModifyMeet page("ZC10001");
        page.m_pStartTimeWin->setPicked({2030, 3, 7, 9, 5});
        Picked onOpen{};
        const std::vector<bool> closed = saveEach(
            page.m_pBtnStartTime, page.m_pStartTimeWin,
            {{2028, 2, 30, 10, 0}, {2027, 2, 29, 10, 0}, {2017, 3, 7, 9, 5}, {2028, 2, 29, 10, 0}}, &onOpen);
        QVERIFY(samePick(onOpen, {2030, 3, 7, 9, 5}));
        QCOMPARE(closed, (std::vector<bool>{false, false, false, true}));
        QCOMPARE(boxes.texts(), (QStringList{QString::fromUtf8("日期不存在"), QString::fromUtf8("日期不存在"),
                                             QString::fromUtf8("不能选择过去的时间")}));
        QCOMPARE(page.m_pLabShowStartTime->text(), QString::fromUtf8("2028年2月29日  10:00"));
        QCOMPARE(page.m_iDay, 29);

        // A refusal on the end picker clears the end values only; the label
        // keeps what it showed.
        page.m_iMinuteStop = 30;
        QCOMPARE(saveEach(page.m_pBtnEndTime, page.m_pStopTimeWin, {{2017, 3, 7, 9, 5}}),
                 std::vector<bool>{false});
        QCOMPARE(boxes.texts().last(), QString::fromUtf8("不能选择过去的时间"));
        QCOMPARE(page.m_iMinuteStop, 0);
        QCOMPARE(page.m_iDay, 29);
        QCOMPARE(page.m_pLabShowEndTime->text(), QString::fromUtf8("点击选择预定会议结束时间"));
    }

    void saveRefusesMissingTopicOtherDayAndNoLength()
    {
        ErrorBoxRecorder boxes;
        ModifyMeet page("ZC10001");
        QSignalSpy saved(&page, &ModifyMeet::modifySave);
        loadTimes(page, {2030, 3, 7, 10, 0}, {2030, 3, 7, 10, 1});
        page.m_pBtnSaveModify->click(); // the field still holds its placeholder
        page.m_pLnEtMeetTopic->setText(QString());
        page.m_pBtnSaveModify->click();
        page.m_pLnEtMeetTopic->setText(QString::fromUtf8("周会"));
        loadTimes(page, {2030, 3, 7, 23, 30}, {2030, 3, 8, 0, 30});
        page.m_pBtnSaveModify->click();
        loadTimes(page, {2030, 3, 7, 10, 0}, {2030, 3, 7, 10, 0});
        page.m_pBtnSaveModify->click();
        QCOMPARE(boxes.texts(), (QStringList{QString::fromUtf8("会议主题没有输入,请输入"),
                                             QString::fromUtf8("会议主题没有输入,请输入"),
                                             QString::fromUtf8("预约会议不能跨年、跨月和跨日,请重新选择"),
                                             QString::fromUtf8("会议时长错误,请重新选择")}));
        QVERIFY(kelp_double::exchanges().empty());
        QCOMPARE(saved.count(), 0);
    }

    void saveSendsTheEditAndSignalsOnlyOnSuccess()
    {
        ErrorBoxRecorder boxes;
        ModifyMeet page("ZC10001");
        QSignalSpy saved(&page, &ModifyMeet::modifySave);
        page.m_strMeetCode = "85012";
        page.m_pLnEtMeetTopic->setText(QString::fromUtf8("评审 & 周会"));
        loadTimes(page, {2030, 3, 7, 10, 0}, {2030, 3, 7, 10, 1});
        kelp_double::queueAnswer("{\"meeting_id\":\"85012\"}");
        page.m_pBtnSaveModify->click();
        QCOMPARE(saved.count(), 1);
        QUrlQuery query = lastQuery();
        QCOMPARE(query.queryItemValue("zcode"), QStringLiteral("ZC10001"));
        QCOMPARE(query.queryItemValue("meeting_id"), QStringLiteral("85012"));
        QCOMPARE(query.queryItemValue("topic", QUrl::FullyDecoded), QString::fromUtf8("评审 & 周会"));
        QCOMPARE(query.queryItemValue("start_time", QUrl::FullyDecoded),
                 QStringLiteral("2030-03-07 10:00:00"));
        QCOMPARE(query.queryItemValue("duration"), QStringLiteral("1"));
        QCOMPARE(query.queryItemValue("option_no_video_host"), QStringLiteral("false"));
        QCOMPARE(query.queryItemValue("option_no_video_participants"), QStringLiteral("false"));

        page.m_pBtnVoiceType->click();
        QVERIFY(!page.m_bVedioMeet);
        QCOMPARE(page.m_pBtnVoiceType->styleSheet(),
                 QStringLiteral("QPushButton{background:transparent;border-image:url(:/Talvora/Resources/"
                                "choose_on.png); color:#FFFFFF;font-size:18px;font-family:\"SourceHanSansCN-"
                                "Regular\";text-align: center;}"));
        loadTimes(page, {2030, 3, 7, 9, 5}, {2030, 3, 7, 10, 30});
        kelp_double::queueAnswer("{\"meeting_id\":\"85012\"}");
        page.m_pBtnSaveModify->click();
        QCOMPARE(saved.count(), 2);
        query = lastQuery();
        QCOMPARE(query.queryItemValue("start_time", QUrl::FullyDecoded),
                 QStringLiteral("2030-03-07 9:05:00"));
        QCOMPARE(query.queryItemValue("duration"), QStringLiteral("85"));
        QCOMPARE(query.queryItemValue("option_no_video_host"), QStringLiteral("true"));
        QCOMPARE(query.queryItemValue("option_no_video_participants"), QStringLiteral("true"));
        QVERIFY(boxes.texts().isEmpty());

        kelp_double::queueAnswer("{\"code\":300}");
        page.m_pBtnSaveModify->click();
        QCOMPARE(saved.count(), 2);
        QCOMPARE(boxes.texts().size(), 1);
    }

    void deleteShowsTheNoticeUntilTheTimerHidesIt()
    {
        ErrorBoxRecorder boxes;
        ModifyMeet page("ZC10001");
        page.m_strMeetCode = "85012";
        QSignalSpy deleted(&page, &ModifyMeet::delMeetSure);
        QCOMPARE(page.m_pEraseMeetLab->size(), QSize(200, 48));
        QCOMPARE(page.m_pEraseMeetLab->findChild<QLabel*>(QStringLiteral("pLabContent"))->text(),
                 QString::fromUtf8("会议已删除"));

        // A failed delete leaves the confirmation open for another try.
        bool stayedOpen = false;
        {
            ModalAnswer<CMeetConfig> answer([&](CMeetConfig* dialog) {
                kelp_double::queueAnswer("{\"code\":300}");
                dialog->m_pBtnSure->click();
                stayedOpen = dialog->isVisible();
                kelp_double::queueAnswer("{\"deleted_at\":\"2030-03-07T01:00:00Z\"}");
                dialog->m_pBtnSure->click();
            });
            page.m_pBtnDelMeet->click();
            QVERIFY(answer.answered());
        }
        QVERIFY(stayedOpen);
        QCOMPARE(boxes.texts().size(), 1);
        QCOMPARE(lastQuery().queryItemValue("meeting_id"), QStringLiteral("85012"));
        QVERIFY(!page.m_pDelConfig->isVisible());
        QCOMPARE(deleted.count(), 1);
        QVERIFY(page.m_pEraseMeetLab->isVisible());
        QVERIFY(page.m_pTimer->isSingleShot());
        QVERIFY(page.m_pTimer->remainingTime() > 2000);

        page.m_pTimer->start(1);
        QTRY_VERIFY(!page.m_pEraseMeetLab->isVisible());
    }

    void meetingLoadedByTheMainWindowSetsTheWheelsAndPopupsFollow()
    {
        ErrorBoxRecorder boxes;
        kelp_double::queueAnswer(widgettest::meetingListJson(1));
        Talvora window("zhangsan", "ZC10001");
        window.setEnabled(true);
        window.m_vecMeetWidgets.front()->m_pBtnModify->click();
        const ModifyMeet* page = window.m_pModifyMeet;
        QVERIFY(samePick(page->m_pStartTimeWin->picked(), {2024, 3, 7, 9, 30}));
        QVERIFY(samePick(page->m_pStopTimeWin->picked(), {2024, 3, 7, 11, 0}));
        QCOMPARE(page->m_iMinuteStop, 0);

        kelp_double::queueAnswer(widgettest::meetingListJson(1));
        emit window.m_pCreateConference->bookThenModify("新会", 2030, 3, 7, 9, 5, 10, 30, false, "85077");
        QVERIFY(samePick(page->m_pStartTimeWin->picked(), {2030, 3, 7, 9, 5}));
        QVERIFY(samePick(page->m_pStopTimeWin->picked(), {2030, 3, 7, 10, 30}));
        QVERIFY(!page->m_bVedioMeet);

        window.move(40, 30);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.repaint();
        QCOMPARE(page->m_pStartTimeWin->pos(), QPoint(40 + 204, 30 + 129));
        QCOMPARE(page->m_pStopTimeWin->pos(), QPoint(40 + 204, 30 + 129));
        QCOMPARE(page->m_pEraseMeetLab->pos(), QPoint(40 + 510, 30 + 306));
        QCOMPARE(page->m_pDelConfig->pos(), QPoint(40 + 300, 30 + 231));
    }
};

QTEST_MAIN(ModifyMeetTest)
#include "ModifyMeetTest.moc"
