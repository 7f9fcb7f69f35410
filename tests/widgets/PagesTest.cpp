// The pages the main window stacks: the meeting cards and their refresh, the
// join keypad, the booking checks of the create page and its topic field.

#include "Accessibility.h"
#include "BookMeetSuccess.h"
#include "BookMeetWin.h"
#include "CMeetConfig.h"
#include "CircleButton.h"
#include "CreateConference.h"
#include "CremaneWindow.h"
#include "JoinConference.h"
#include "KelpNetUtilsDouble.h"
#include "LeftMenu.h"
#include "ModifyMeet.h"
#include "MyQlineEdit.h"
#include "ShowAMeet.h"
#include "ShowMyMeetWin.h"
#include "Talvora.h"
#include "TempMeetWin.h"
#include "WidgetTestSupport.h"
#include "platform/system/SystemMessageBox.h"

#include <QAccessible>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

using widgettest::ErrorBoxRecorder;
using widgettest::meetingListJson;
using widgettest::ModalAnswer;

namespace {

const QString kDotOn =
    QStringLiteral("QPushButton{background:transparent;border-radius: 6px;background-color:#989898;}");
const QString kDotOff =
    QStringLiteral("QPushButton{background:transparent;border-radius: 6px;background-color:#D8D8D8;}");

QWidget* gridWidget(Talvora& window, int row, int column)
{
    QLayoutItem* item = window.m_pShowMyMeetWin->m_pGridLayout->itemAtPosition(row, column);
    return item != nullptr ? item->widget() : nullptr;
}

} // namespace

class PagesTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Talvora> makeWindow(int meetings)
    {
        kelp_double::queueAnswer(meetingListJson(meetings));
        auto window = std::make_unique<Talvora>("zhangsan", "ZC10001");
        window->setEnabled(true);
        return window;
    }

private slots:
    void initTestCase() { initTalvoraResources(); }
    void init() { kelp_double::reset(); }

    void cardShowsTheStartTimeEightHoursLater_data()
    {
        QTest::addColumn<QString>("startTime");
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("timeShow");
        QTest::addColumn<int>("hourStop");
        QTest::newRow("morning") << "2024-03-07T01:30:00Z" << 90 << "2024年3月7日  9:30-11:00" << 11;
        QTest::newRow("next day") << "2024-03-07T20:15:00Z" << 30 << "2024年3月8日  4:15-4:45" << 4;
        QTest::newRow("past midnight") << "2024-03-07T15:30:00Z" << 60 << "2024年3月7日  23:30-24:30" << 24;
        QTest::newRow("minute padded") << "2024-03-07T01:05:00Z" << 4 << "2024年3月7日  9:05-9:09" << 9;
        QTest::newRow("new year") << "2024-12-31T16:05:00Z" << 0 << "2025年1月1日  0:05-0:05" << 0;
        QTest::newRow("leap day") << "2024-02-28T23:00:00.000Z" << 15 << "2024年2月29日  7:00-7:15" << 7;
    }

    void cardShowsTheStartTimeEightHoursLater()
    {
        QFETCH(QString, startTime);
        QFETCH(int, duration);
        QFETCH(QString, timeShow);
        QFETCH(int, hourStop);
        ErrorBoxRecorder boxes;
        ShowAMeet card(0, "周会", startTime.toStdString(), duration, "850", true, true);
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(QString::fromStdString(card.m_strTimeShow), timeShow);
        QCOMPARE(card.m_pLabShowTime->text(), timeShow);
        QCOMPARE(card.m_iHourStop, hourStop);
        QCOMPARE(QString::fromStdString(card.m_strStartShow), timeShow.section(QLatin1Char('-'), 0, 0));
        QCOMPARE(card.objectName(), QStringLiteral("ShowAMeet"));
        QCOMPARE(card.size(), QSize(410, 250));
    }

    void cardWithAnUnreadableStartTimeStaysEmpty_data()
    {
        QTest::addColumn<QString>("startTime");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << "解析会议时间失败(找不到-字段)";
        QTest::newRow("one dash") << "2024-03"
                                  << "解析会议时间失败(找不到第二个-字段)";
        QTest::newRow("no T") << "2024-03-07 01:30:00"
                              << "解析会议时间失败(找不到T字段)";
        QTest::newRow("no colon") << "2024-03-07T0130"
                                  << "解析会议时间失败(找不到第一个冒号字段)";
        QTest::newRow("no seconds") << "2024-03-07T01:30"
                                    << "解析会议时间失败(找不到第二个冒号字段)";
    }

    void cardWithAnUnreadableStartTimeStaysEmpty()
    {
        QFETCH(QString, startTime);
        QFETCH(QString, message);
        ErrorBoxRecorder boxes;
        ShowAMeet card(0, "周会", startTime.toStdString(), 30, "850", true, true);
        QCOMPARE(boxes.texts(), QStringList{message});
        QVERIFY(card.layout() == nullptr);
        QVERIFY(card.m_pBtnModify == nullptr);
        QVERIFY(card.m_strTimeShow.empty());
        card.grab(); // paints without a shadow image
    }

    void cardSurvivesAbsurdNumbers()
    {
        ErrorBoxRecorder boxes;
        ShowAMeet card(0, "x", "99999999999-99-0T99999999999:-99999999999:", 2147483647, "1", true, true);
        QVERIFY(boxes.texts().isEmpty());
        QVERIFY(card.m_pLabShowTime != nullptr);
    }

    void cardIconDependsOnBothVideoFlags()
    {
        ShowAMeet voice(0, "t", "2024-03-07T01:30:00Z", 30, "1", true, false);
        QVERIFY(voice.m_pLabVedioOrVoice->styleSheet().contains(QStringLiteral("icon_type_voi.png")));
        ShowAMeet video(0, "t", "2024-03-07T01:30:00Z", 30, "1", true, true);
        QVERIFY(video.m_pLabVedioOrVoice->styleSheet().contains(QStringLiteral("icon_type_video.png")));
    }

    void listPlacesFourCardsPerPageWithFillers()
    {
        auto window = makeWindow(5);
        QCOMPARE(window->m_iMeetCount, 5);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageMeetingCards));
        QCOMPARE(window->m_vecPageBtns.size(), std::size_t(2));
        QCOMPARE(window->m_vecPageBtns[0]->styleSheet(), kDotOn);
        QCOMPARE(window->m_vecPageBtns[1]->styleSheet(), kDotOff);
        QCOMPARE(gridWidget(*window, 0, 0), window->m_vecMeetWidgets[0]);
        QCOMPARE(gridWidget(*window, 1, 1), window->m_vecMeetWidgets[3]);

        window->m_vecPageBtns[1]->click();
        QCOMPARE(gridWidget(*window, 0, 0), window->m_vecMeetWidgets[4]);
        QCOMPARE(gridWidget(*window, 0, 1), window->m_pLabFillCol);
        QCOMPARE(gridWidget(*window, 1, 0), window->m_pLabFillRow);
        QCOMPARE(window->m_pShowMyMeetWin->m_pGridLayout->count(), 3);
        QCOMPARE(window->m_vecPageBtns[0]->styleSheet(), kDotOff);
        QCOMPARE(window->m_vecPageBtns[1]->styleSheet(), kDotOn);
        QVERIFY(window->m_vecMeetWidgets[0]->parent() == nullptr);

        window->m_vecPageBtns[0]->click();
        QCOMPARE(window->m_pShowMyMeetWin->m_pGridLayout->count(), 4);
        QCOMPARE(gridWidget(*window, 0, 1), window->m_vecMeetWidgets[1]);
        QVERIFY(window->m_pLabFillCol->parent() == nullptr);
    }

    void fiftyMeetingsMakeThirteenPages()
    {
        auto window = makeWindow(50);
        QCOMPARE(window->m_vecPageBtns.size(), std::size_t(13));
        window->onCBtnClickSlots(13);
        QCOMPARE(gridWidget(*window, 0, 0), window->m_vecMeetWidgets[48]);
        QCOMPARE(gridWidget(*window, 0, 1), window->m_vecMeetWidgets[49]);
        QCOMPARE(gridWidget(*window, 1, 0), window->m_pLabFillRow2);
    }

    void refreshingTwiceLeavesOneSetOfCardsAndDots()
    {
        auto window = makeWindow(5);
        kelp_double::queueAnswer(meetingListJson(6));
        window->onChooseMyMeet();
        QCOMPARE(window->m_vecMeetWidgets.size(), std::size_t(6));
        QCOMPARE(window->m_vecPageBtns.size(), std::size_t(2));
        // Two spacers around two dots, nothing left from the first refresh.
        QCOMPARE(window->m_pShowMyMeetWin->m_pDotLayout->count(), 4);
        QCOMPARE(window->m_pShowMyMeetWin->m_pGridLayout->count(), 4);
    }

    void emptyRefreshKeepsTheCardsButShowsPageZero()
    {
        auto window = makeWindow(2);
        const ShowAMeet* first = window->m_vecMeetWidgets[0];
        kelp_double::queueAnswer("not json at all");
        window->onChooseMyMeet();
        QCOMPARE(window->m_iMeetCount, 0);
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNoMeetings));
        QCOMPARE(window->m_vecMeetWidgets.size(), std::size_t(2));
        QCOMPARE(window->m_vecMeetWidgets[0], first);
    }

    void cardEditLoadsTheMeetingIntoTheEditPage()
    {
        kelp_double::queueAnswer(
            "{\"meetings\":[{\"id\":\"85099\",\"topic\":\"评审\",\"start_time\":\"2024-03-07T01:05:00Z\","
            "\"duration\":85,\"option_host_video\":true,\"option_participants_video\":false}]}");
        Talvora window("zhangsan", "ZC10001");
        window.setEnabled(true);
        window.m_vecMeetWidgets[0]->m_pBtnModify->click();
        QCOMPARE(window.m_pStackedWidget->currentIndex(), int(Talvora::PageModify));
        const ModifyMeet* page = window.m_pModifyMeet;
        QCOMPARE(page->m_pLnEtMeetTopic->text(), QString::fromUtf8("评审"));
        QCOMPARE(page->m_pLabShowStartTime->text(), QString::fromUtf8("2024年3月7日  9:05"));
        QCOMPARE(page->m_pLabShowEndTime->text(), QString::fromUtf8("2024年3月7日  10:30"));
        QCOMPARE(page->m_iHour, 9);
        QCOMPARE(page->m_iMinute, 5);
        QCOMPARE(page->m_iDayStop, 7);
        QCOMPARE(page->m_iHourStop, 10);
        QCOMPARE(page->m_iMinuteStop, 30);
        QVERIFY(!page->m_bVedioMeet);
        QVERIFY(page->m_pBtnVoiceType->styleSheet().contains(QStringLiteral("choose_on.png")));
        QVERIFY(page->m_pBtnVedioType->styleSheet().contains(QStringLiteral("choose_nor.png")));
        QCOMPARE(page->m_strMeetCode, std::string("85099"));

        page->m_pBtnCancelModify->click();
        QCOMPARE(window.m_pStackedWidget->currentIndex(), int(Talvora::PageMeetingCards));
    }

    void bookedMeetingOpensTheEditPageAfterARefresh()
    {
        auto window = makeWindow(0);
        window->onChooseJoinMeet();
        kelp_double::queueAnswer(meetingListJson(1));
        emit window->m_pCreateConference->bookThenModify("新会", 2024, 3, 7, 9, 5, 10, 30, true, "85077");
        QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageModify));
        QCOMPARE(window->m_iMeetCount, 1);
        QCOMPARE(window->m_pModifyMeet->m_pLabShowStartTime->text(), QString::fromUtf8("2024年3月7日  9:05"));
        QCOMPARE(window->m_pModifyMeet->m_pLabShowEndTime->text(), QString::fromUtf8("2024年3月7日  10:30"));
        QCOMPARE(window->m_pModifyMeet->m_strMeetCode, std::string("85077"));
        QVERIFY(window->m_pLeftMenu->m_pLabMyMeetWord->styleSheet().contains(QStringLiteral("#4194FF")));
    }

    void keypadEditsTheCode()
    {
        JoinConference page;
        page.m_pBtnDelete->click();
        QCOMPARE(page.m_strMeetCode, QString());
        QVERIFY(page.m_pBtnDelete->styleSheet().contains(QStringLiteral("keyboard_btn_delet_press.png")));

        page.m_pBtn8->click();
        page.m_pBtn5->click();
        page.m_pBtnPoint->click();
        page.m_pBtn0->click();
        QCOMPARE(page.m_strMeetCode, QStringLiteral("85.0"));
        QCOMPARE(page.m_QlntShow->text(), QStringLiteral("85.0"));
        QVERIFY(page.m_QlntShow->alignment() & Qt::AlignHCenter);
        QVERIFY(page.m_pBtn0->styleSheet().contains(QStringLiteral("keyboard_btn_0-_press.png")));
        QVERIFY(page.m_pBtn8->styleSheet().contains(QStringLiteral("keyboard_btn_08_nor.png")));

        for (int i = 0; i < 4; ++i) {
            page.m_pBtnDelete->click();
        }
        QCOMPARE(page.m_strMeetCode, QString());
        QVERIFY(page.m_QlntShow->alignment() & Qt::AlignLeft);

        page.m_QlntShow->setText(QStringLiteral("12a"));
        QCOMPARE(page.m_strMeetCode, QStringLiteral("12a"));

        page.m_pBtnJoinMeet->click();
        QCOMPARE(page.m_QlntShow->styleSheet(),
                 QStringLiteral("QLineEdit{border-image:url(:/Talvora/Resources/type_bg_nor.png);}"));
        QVERIFY(page.m_pBtn0->styleSheet().contains(QStringLiteral("keyboard_btn_0-_nor.png")));
    }

    void bookingRefusesBeforeSendingAnything_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<int>("startDay");
        QTest::addColumn<int>("endDay");
        QTest::addColumn<int>("endHour");
        QTest::addColumn<QString>("message");
        QTest::newRow("placeholder") << QString::fromUtf8("请输入会议主题") << 7 << 7 << 10
                                     << "会议主题没有输入,请输入";
        QTest::newRow("empty topic") << QString() << 7 << 7 << 10 << "会议主题没有输入,请输入";
        QTest::newRow("other day") << "周会" << 7 << 8 << 10 << "预约会议不能跨年、跨月和跨日,请重新选择";
        QTest::newRow("end before start") << "周会" << 7 << 7 << 9 << "会议时长错误,请重新选择";
        QTest::newRow("never picked") << "周会" << 0 << 0 << 0 << "会议时长错误,请重新选择";
    }

    void bookingRefusesBeforeSendingAnything()
    {
        QFETCH(QString, topic);
        QFETCH(int, startDay);
        QFETCH(int, endDay);
        QFETCH(int, endHour);
        QFETCH(QString, message);
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.onChooseBookMeet();
        page.m_pBookMeetWin->m_pLnEtMeetTopic->setText(topic);
        const int year = startDay == 0 ? 0 : 2024;
        page.m_iYear = page.m_iYearStop = year;
        page.m_iMonth = page.m_iMonthStop = year == 0 ? 0 : 3;
        page.m_iDay = startDay;
        page.m_iDayStop = endDay;
        page.m_iHour = startDay == 0 ? 0 : 9;
        page.m_iMinute = startDay == 0 ? 0 : 5;
        page.m_iHourStop = endHour;
        page.m_pBookMeetWin->m_pBtnBookMeetStart->click();
        QCOMPARE(boxes.texts(), QStringList{message});
        QVERIFY(kelp_double::exchanges().empty());
        QCOMPARE(page.m_pStackedWidget->currentIndex(), int(CreateConference::PaneBookMeet));
    }

    void bookingCreatesThenUpdatesAndConfirms()
    {
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.onChooseBookMeet();
        page.m_pBookMeetWin->m_pLnEtMeetTopic->setText(QString::fromUtf8("周会"));
        page.m_pBookMeetWin->m_pBtnVoiceType->click();
        page.m_iYear = page.m_iYearStop = 2024;
        page.m_iMonth = page.m_iMonthStop = 3;
        page.m_iDay = page.m_iDayStop = 7;
        page.m_iHour = 9;
        page.m_iMinute = 5;
        page.m_iHourStop = 10;
        page.m_iMinuteStop = 30;
        kelp_double::queueAnswer("{\"uuid\":\"a1\",\"id\":\"85012345678\"}");
        kelp_double::queueAnswer("{\"meeting_id\":\"85012345678\"}");
        page.m_pBookMeetWin->m_pBtnBookMeetStart->click();

        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(page.m_pStackedWidget->currentIndex(), int(CreateConference::PaneBookSuccess));
        QCOMPARE(page.m_pBookMeetSuccess->m_pLabCodeContent->text(), QStringLiteral("85012345678"));
        QCOMPARE(page.m_pBookMeetSuccess->m_pLabTimeContent->text(),
                 QString::fromUtf8("2024年3月7日  9:05-10:30"));
        QCOMPARE(page.m_pBookMeetSuccess->m_pLabTypeContent->text(), QString::fromUtf8("语音会议"));
        // What the pane's menu shares.
        QCOMPARE(page.m_bookedMeeting->id, std::string("85012345678"));
        QCOMPARE(QString::fromStdString(page.m_bookedMeeting->time.rangeText()),
                 page.m_pBookMeetSuccess->m_pLabTimeContent->text());
        const auto exchanges = kelp_double::exchanges();
        QCOMPARE(exchanges.size(), std::size_t(2));
        const QString create = QUrl::fromPercentEncoding(QByteArray::fromStdString(exchanges[0].url));
        QVERIFY(create.contains(QStringLiteral("/v3/meeting/create?")));
        QVERIFY(create.contains(QStringLiteral("start_time=2024-03-07 9:05:00&duration=85")));
        QVERIFY(create.contains(QStringLiteral("option_no_video_host=true")));
        QVERIFY(QString::fromStdString(exchanges[1].url).contains(QStringLiteral("meeting_id=85012345678")));

        QSignalSpy booked(&page, &CreateConference::bookThenModify);
        page.m_pBookMeetSuccess->m_pBtnModify->click();
        QCOMPARE(booked.count(), 1);

        page.m_pBookMeetSuccess->m_pBtnBookAgain->click();
        QCOMPARE(page.m_pStackedWidget->currentIndex(), int(CreateConference::PaneBookMeet));
        QCOMPARE(page.m_pBookMeetWin->m_pLnEtMeetTopic->text(), QString());
    }

    // The booking button pressed again while the create request is under way
    // (clicked, or pressed by a screen reader) must not book a second meeting.
    void clicksDuringABookingSendOneCreate()
    {
        talvora::installAccessibleInterfaces();
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.show();
        page.onChooseBookMeet();
        page.m_pBookMeetWin->m_pLnEtMeetTopic->setText(QString::fromUtf8("周会"));
        page.m_iYear = page.m_iYearStop = 2024;
        page.m_iHourStop = 1;
        kelp_double::holdExchanges("/v3/meeting/create", std::chrono::milliseconds(1000));
        kelp_double::queueAnswer("{\"id\":\"777\"}");
        kelp_double::queueAnswer("{\"meeting_id\":\"777\"}");
        QPushButton* book = page.m_pBookMeetWin->m_pBtnBookMeetStart;
        QTimer::singleShot(300, [book] {
            QTest::mouseDClick(book, Qt::LeftButton);
            QTest::mouseClick(book, Qt::LeftButton);
            QAccessible::queryAccessibleInterface(book)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        });
        QTest::mouseClick(book, Qt::LeftButton);

        int creates = 0;
        for (const auto& exchange : kelp_double::exchanges())
            creates += exchange.url.find("/v3/meeting/create") != std::string::npos;
        QCOMPARE(creates, 1);
        QCOMPARE(kelp_double::exchanges().size(), std::size_t(2));
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(page.m_pStackedWidget->currentIndex(), int(CreateConference::PaneBookSuccess));
    }

    void failedUpdateAfterCreateStaysOnTheForm()
    {
        ErrorBoxRecorder boxes;
        CreateConference page("ZC10001");
        page.onChooseBookMeet();
        page.m_pBookMeetWin->m_pLnEtMeetTopic->setText(QStringLiteral("t"));
        page.m_iYear = page.m_iYearStop = 2024;
        page.m_iHourStop = 1;
        kelp_double::queueAnswer("{\"id\":\"777\"}");
        kelp_double::queueAnswer("{\"error\":\"no\"}");
        page.m_pBookMeetWin->m_pBtnBookMeetStart->click();
        QCOMPARE(page.m_pStackedWidget->currentIndex(), int(CreateConference::PaneBookMeet));
        QCOMPARE(page.m_pBookMeetSuccess->m_pLabCodeContent->text(), QStringLiteral("777"));
        QCOMPARE(boxes.texts(), QStringList{QString::fromUtf8("修改会议失败(找不到meeting_id字段)")});
    }

    // Topics, names and codes come from the service or the user: markup in
    // them is shown as the characters it is, in every label and box.
    void serviceTextIsShownAsPlainText()
    {
        const QString markup = QString::fromUtf8("<h1 style=\"color:red\">系统通知</h1>");
        const QJsonObject meeting{{"id", "<b>850</b>"},
                                  {"topic", markup},
                                  {"start_time", "2024-03-07T01:30:00Z"},
                                  {"duration", 30}};
        kelp_double::queueAnswer(
            QJsonDocument(QJsonObject{{"meetings", QJsonArray{meeting}}}).toJson().toStdString());
        Talvora window(markup.toStdString(), "ZC10001");
        window.setEnabled(true);
        ShowAMeet* card = window.m_vecMeetWidgets.at(0);
        card->m_pBtnModify->click();
        CreateConference* page = window.m_pCreateConference;
        page->onChooseBookMeet();
        page->m_pBookMeetWin->m_pLnEtMeetTopic->setText(markup);
        page->m_iYear = page->m_iYearStop = 2024;
        page->m_iHourStop = 1;
        kelp_double::queueAnswer("{\"id\":\"<i>851</i>\"}");
        kelp_double::queueAnswer("{\"meeting_id\":\"<i>851</i>\"}");
        page->m_pBookMeetWin->m_pBtnBookMeetStart->click();
        CremaneWindow rename(markup);

        const std::pair<const char*, QLabel*> labels[] = {
            {"card topic", card->m_pLabShowTopic},
            {"card code", card->m_pLabMeetCodeContent},
            {"card time", card->m_pLabShowTime},
            {"menu user row", window.m_pLeftMenu->m_pLabUserName},
            {"booked topic", page->m_pBookMeetSuccess->m_pLabTopicContent},
            {"booked code", page->m_pBookMeetSuccess->m_pLabCodeContent},
            {"edit page start", window.m_pModifyMeet->m_pLabShowStartTime},
            {"confirmation", window.m_pLogoutConfig->m_pLabContent},
            {"rename caption", rename.findChild<QLabel*>(QStringLiteral("pLabName"))},
        };
        for (const auto& [name, label] : labels) {
            QVERIFY2(label != nullptr && label->textFormat() == Qt::PlainText, name);
        }
        QCOMPARE(card->m_pLabShowTopic->text(), markup);
        QCOMPARE(page->m_pBookMeetSuccess->m_pLabTopicContent->text(), markup);
        QCOMPARE(window.m_pLeftMenu->m_pLabUserName->text(), markup);

        for (const bool system : {false, true}) {
            Qt::TextFormat format = Qt::RichText;
            ModalAnswer<QMessageBox> box([&format](QMessageBox* shown) {
                format = shown->textFormat();
                shown->accept();
            });
            if (system) {
                talvora::platform::showSystemMessageBox(L"错误提示", markup.toStdWString());
            } else {
                talvora::showErrorBox(markup);
            }
            QVERIFY(box.answered());
            QCOMPARE(format, Qt::PlainText);
        }
    }

    // The topic field shows its whole text, focused or not, centred on the
    // line of its caption; the caption and the rule below stay in place.
    void topicFieldShowsItsWholeText()
    {
        TempMeetWin instant;
        BookMeetWin booking;
        ModifyMeet editing("ZC10001");
        const struct
        {
            QDialog* page;
            MyQlineEdit* field;
            QLabel* caption;
            QLabel* rule;
            int top;
        } forms[] = {{&instant, instant.m_pLnEtMeetTopic, instant.m_pLabMeetTopic, instant.m_pLabline, 178},
                     {&booking, booking.m_pLnEtMeetTopic, booking.m_pLabMeetTopic, booking.m_pLabline, 109},
                     {&editing, editing.m_pLnEtMeetTopic, editing.m_pLabMeetTopic, editing.m_pLabline, 189}};
        for (const auto& form : forms) {
            form.page->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.page));
            form.page->activateWindow();
            for (const bool focused : {false, true}) {
                if (focused) {
                    form.field->setFocus();
                    QTRY_VERIFY(form.field->hasFocus());
                }
                form.field->setText(QString::fromUtf8("周会评审gjpqy"));
                QCoreApplication::processEvents();
                const QRect field = form.field->geometry();
                const QRect caption = form.caption->geometry();
                QVERIFY2(form.field->contentsRect().height() >= form.field->fontMetrics().height(),
                         form.page->objectName().toUtf8());
                QVERIFY(qAbs(field.center().y() - caption.center().y()) <= 1);
                QCOMPARE(caption.height(), 20);
                if (form.top > 0) {
                    QCOMPARE(caption.top(), form.top);
                }
                QCOMPARE(form.rule->geometry().top(), caption.bottom() + 1 + 23);
            }
            form.page->hide();
        }
    }

    void topicFieldTreatsItsPlaceholderAsText()
    {
        QWidget host;
        auto* field = new MyQlineEdit(&host);
        auto* other = new QLineEdit(&host);
        field->setText(QString::fromUtf8(MyQlineEdit::kPlaceholder));
        host.show();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(field->text(), QString());
        QVERIFY(field->styleSheet().contains(QStringLiteral("#333333")));
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        QCOMPARE(field->text(), QString::fromUtf8("请输入会议主题"));
        QVERIFY(field->styleSheet().contains(QStringLiteral("#CCCCCC")));
    }
};

QTEST_MAIN(PagesTest)
#include "PagesTest.moc"
