// Sharing a meeting and being reminded of it: the menu of a card and of the
// booking confirmation (invitation, code, calendar file read back by an
// independent parser), the tray icon's menu, and the reminders' arming.

#include "BookMeetSuccess.h"
#include "CMeetConfig.h"
#include "CreateConference.h"
#include "IcsCalendar.h"
#include "KelpNetUtilsDouble.h"
#include "MeetContextMenu.h"
#include "MeetingInvitation.h"
#include "MeetingReminders.h"
#include "ShowAMeet.h"
#include "Talvora.h"
#include "TrayIcon.h"
#include "WidgetTestSupport.h"
#include "platform/system/DBusNotifications.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

using widgettest::ErrorBoxRecorder;
using widgettest::ModalAnswer;

namespace {

const char* const kMarkupTopic = "<h1 style=\"color:red\">系统通知</h1> & 周会";

std::string oneMeeting(const std::string& topic, const char* start, int duration)
{
    QJsonObject meeting{{"id", "85012345678"},
                        {"topic", QString::fromStdString(topic)},
                        {"start_time", start},
                        {"duration", duration}};
    QJsonObject list{{"meetings", QJsonArray{meeting}}};
    return QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
}

// How a user asks a card for its menu.
enum class Ask
{
    RightClick,
    MenuKey,
    ShiftF10
};

void askForMenu(ShowAMeet* card, Ask ask)
{
    if (ask == Ask::RightClick) {
        // On the topic: a click on a child reaches the card's menu too.
        QLabel* topic = card->m_pLabShowTopic;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), topic->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(topic, &event);
    } else {
        // The focus on the card's own button.
        QTest::keyClick(card->m_pBtnStart, ask == Ask::MenuKey ? Qt::Key_Menu : Qt::Key_F10,
                        ask == Ask::MenuKey ? Qt::NoModifier : Qt::ShiftModifier);
    }
}

// Records what would be shown; without a service, says so.
struct FakeNotifications : talvora::platform::DesktopNotifications
{
    void show(const Message& message, std::function<void()> onAction,
              std::function<void()> onUnavailable) override
    {
        *available ? shown->push_back({message, std::move(onAction)}) : onUnavailable();
    }
    std::shared_ptr<std::vector<std::pair<Message, std::function<void()>>>> shown =
        std::make_shared<std::vector<std::pair<Message, std::function<void()>>>>();
    std::shared_ptr<bool> available = std::make_shared<bool>(true);
};

// A notification service of the test's own: it numbers its notifications
// from 1, as a freshly started one does.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    uint m_lastId = 0;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&, const QStringList&,
                const QVariantMap&, int)
    {
        return ++m_lastId;
    }
};

protocol::Meet meet(const char* id, const char* topic, const char* start)
{
    protocol::Meet meeting;
    meeting.id = id;
    meeting.topic = topic;
    meeting.start_time = start;
    return meeting;
}

} // namespace

class ShareMeetingTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Talvora> makeWindow(const std::string& listAnswer)
    {
        kelp_double::queueAnswer(listAnswer);
        auto window = std::make_unique<Talvora>("张三", "ZC10001");
        window->setEnabled(true);
        window->show();
        return window;
    }

    static QString invitation(const QString& name, const QString& topic, const QString& time,
                              const char* code)
    {
        return name + QString::fromUtf8(" 邀请您参加 Talvora 会议\n会议主题：") + topic +
               QString::fromUtf8("\n会议时间：") + time + QString::fromUtf8("（北京时间）\n会议码：") +
               QLatin1String(code);
    }

private slots:
    void initTestCase() { initTalvoraResources(); }
    void init() { kelp_double::reset(); }

    void cardMenuCopiesTheInvitationAsTheCardReads_data()
    {
        QTest::addColumn<int>("ask");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("time");
        QTest::newRow("markup, right click") << int(Ask::RightClick) << QString::fromUtf8(kMarkupTopic)
                                             << "2024-03-07T01:30:00Z" << 90 << "2024年3月7日  9:30-11:00";
        QTest::newRow("next day, Menu key") << int(Ask::MenuKey) << "周会"
                                            << "2024-03-07T20:15:00Z" << 30 << "2024年3月8日  4:15-4:45";
        QTest::newRow("past midnight, Shift+F10")
            << int(Ask::ShiftF10) << "周会"
            << "2024-03-07T15:30:00Z" << 60 << "2024年3月7日  23:30-24:30";
    }

    void cardMenuCopiesTheInvitationAsTheCardReads()
    {
        QFETCH(int, ask);
        QFETCH(QString, topic);
        QFETCH(QString, start);
        QFETCH(int, duration);
        QFETCH(QString, time);
        auto window = makeWindow(oneMeeting(topic.toStdString(), start.toUtf8().constData(), duration));
        ShowAMeet* card = window->m_vecMeetWidgets.at(0);
        QCOMPARE(card->m_pLabShowTime->text(), time);

        askForMenu(card, Ask(ask));
        MeetContextMenu* menu = window->m_pMeetContextMenu;
        QTRY_VERIFY(menu->isVisible());
        menu->m_pActCopyInvitation->trigger();
        menu->close();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 invitation(QString::fromUtf8("张三"), topic, time, "85012345678"));
    }

    void bookingConfirmationHasTheSameMenu()
    {
        auto window = makeWindow("{\"meetings\":[]}");
        window->m_pCreateConference->m_bookedMeeting = talvora::ScheduledMeeting{
            "85077", "评审", talvora::MeetingTime::fromBeijing(2024, 3, 7, 9, 5, 85)};
        BookMeetSuccess* pane = window->m_pCreateConference->m_pBookMeetSuccess;
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(10, 10),
                                pane->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(pane, &event);
        MeetContextMenu* menu = window->m_pMeetContextMenu;
        QTRY_VERIFY(menu->isVisible());
        menu->m_pActCopyCode->trigger();
        menu->close();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("85077"));
    }

    void fileNameReplacesWhatFileSystemsRefuse_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("name");
        QTest::newRow("forbidden") << "周会/评审\\a:b*c?d\"e<f>g|h"
                                   << "周会_评审_a_b_c_d_e_f_g_h.ics";
        QTest::newRow("control") << "周\t会\n\x7f"
                                 << "周_会__.ics";
        QTest::newRow("bidi, separators") << QString::fromUtf8("周会\u202Egpj.exe\u2066\u2028\u2029")
                                          << QString::fromUtf8("周会_gpj.exe___.ics");
        QTest::newRow("no topic") << QString() << "85012345678.ics";
        QTest::newRow("long") << QString(100, QChar(0x4F1A))
                              << QString(80, QChar(0x4F1A)) + QStringLiteral(".ics");
    }

    void fileNameReplacesWhatFileSystemsRefuse()
    {
        QFETCH(QString, topic);
        QFETCH(QString, name);
        const auto time = *talvora::MeetingTime::fromServiceText("2024-03-07T01:30:00Z", 30);
        QCOMPARE(talvora::IcsCalendar::fileName({"85012345678", topic.toStdString(), time}), name);
    }

    // Exported through the card's menu, read back by python3-icalendar; a
    // second export into a missing folder fails with its box.
    void exportedFileReadsBackInAnIndependentParser()
    {
        // Folded many times, with every character that needs escaping.
        const QString topic =
            QString::fromUtf8("季度产品规划评审会议，涉及；多个部门\\与外部合作伙伴的长期路线图讨论"
                              "以及预算、人员和时间安排");
        auto window = makeWindow(oneMeeting(topic.toStdString(), "2024-03-07T20:15:00Z", 45));
        QTemporaryDir folder;
        askForMenu(window->m_vecMeetWidgets.at(0), Ask::RightClick);
        MeetContextMenu* menu = window->m_pMeetContextMenu;
        menu->close();
        QString suggested;
        const QString path = folder.filePath(QStringLiteral("meeting.ics"));
        menu->setFileChooser([&](QWidget*, const QString& proposal) {
            suggested = proposal;
            return path;
        });
        menu->m_pActExport->trigger();
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(suggested,
                 QDir(QDir(documents).exists() ? documents : QDir::homePath())
                     .filePath(QString(topic).replace(QLatin1Char('\\'), QLatin1Char('_')) + ".ics"));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        QVERIFY(raw.endsWith("\r\n"));
        int continued = 0;
        for (const QByteArray& line : raw.left(raw.size() - 1).split('\n')) {
            QTextCodec::ConverterState state;
            QTextCodec::codecForName("UTF-8")->toUnicode(line.constData(), line.size(), &state);
            QVERIFY2(line.endsWith('\r') && line.size() - 1 <= 75 && state.invalidChars == 0 &&
                         state.remainingChars == 0,
                     line.constData());
            continued += line.startsWith(' ') ? 1 : 0;
        }
        QVERIFY(continued >= 3);

        QProcess reader;
        reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(READ_ICS_SCRIPT), path});
        if (!reader.waitForFinished(30000) || reader.exitStatus() != QProcess::NormalExit) {
            QSKIP("/usr/bin/python3 cannot run here");
        }
        if (reader.exitCode() == 77) {
            QSKIP(reader.readAllStandardError().constData());
        }
        QCOMPARE(reader.exitCode(), 0);
        const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
        const QJsonObject expected{
            {"prodid", "-//Talvora//Talvora 1//ZH"},
            {"version", "2.0"},
            {"events", 1},
            {"uid", "85012345678@talvora"},
            {"dtstart", "2024-03-07T20:15:00+00:00"},
            {"dtend", "2024-03-07T21:00:00+00:00"},
            {"summary", topic},
            {"description", invitation(QString::fromUtf8("张三"), topic,
                                       QString::fromUtf8("2024年3月8日  4:15-5:00"), "85012345678")}};
        QCOMPARE(read, expected);

        ErrorBoxRecorder boxes;
        menu->setFileChooser(
            [](QWidget*, const QString&) { return QStringLiteral("/nonexistent-talvora/a.ics"); });
        menu->m_pActExport->trigger();
        QCOMPARE(boxes.texts(), QStringList{QString::fromUtf8("导出日历文件失败")});
    }

    // A topic that tries to add a line (U+2028) and to reverse its tail
    // (U+202E) stays one plain line in every text made from it.
    void serviceTextsStayOnTheirLines()
    {
        const talvora::ScheduledMeeting meeting{"85077\xE2\x80\xA9",
                                                "周会\xE2\x80\xA8会议码：999\xE2\x80\xAEgpj.exe\xE2\x81\xA6",
                                                talvora::MeetingTime::fromBeijing(2024, 3, 7, 9, 5, 85)};
        const QString topic = QString::fromUtf8("周会 会议码：999gpj.exe");
        const QString invited =
            QString::fromStdString(talvora::MeetingInvitation::text("张\xE2\x80\xAE三", meeting));
        QCOMPARE(invited, invitation(QString::fromUtf8("张三"), topic,
                                     QString::fromUtf8("2024年3月7日  9:05-10:30"), "85077 "));
        QCOMPARE(MeetingReminders::message(meeting).body,
                 topic + QString::fromUtf8("\n9:05 开始 · 会议码 85077 "));
        const std::optional<std::string> ics =
            talvora::IcsCalendar::event(meeting, invited.toStdString(), QDateTime::currentDateTimeUtc());
        QVERIFY(ics.has_value());
        QVERIFY(ics->find("\xE2\x80\xA8") == std::string::npos &&
                ics->find("\xE2\x80\xAE") == std::string::npos);
        QVERIFY(ics->find(("SUMMARY:" + topic).toStdString()) != std::string::npos);
        QVERIFY(talvora::IcsCalendar::event(meeting, "a\xE2\x80\xA8z\nc", QDateTime::currentDateTimeUtc())
                    ->find("DESCRIPTION:a z\\nc\r\n") != std::string::npos);
    }

    // A restarted notification service counts from 1 again: a click on its
    // first notification, whichever program showed it, never runs the action
    // of the one the previous service showed.
    void notificationActionsEndWithTheServiceThatShowedThem()
    {
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForReadyRead(10000)) {
            QSKIP("dbus-daemon cannot run here");
        }
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        const QString path = QStringLiteral("/org/freedesktop/Notifications");
        const QString name = QStringLiteral("org.freedesktop.Notifications");
        const auto serve = [&](const QString& connection, FakeNotificationService* service) {
            QDBusConnection bus = QDBusConnection::connectToBus(address, connection);
            return bus.registerObject(path, service, QDBusConnection::ExportAllSlots) &&
                   bus.registerService(name);
        };
        const auto click = [&](const QString& connection) {
            QDBusConnection(connection)
                .send(QDBusMessage::createSignal(path, name, QStringLiteral("ActionInvoked"))
                      << uint(1) << QStringLiteral("start"));
        };
        FakeNotificationService first;
        FakeNotificationService restarted;
        QVERIFY(serve(QStringLiteral("first"), &first));
        int oldActions = 0;
        int newActions = 0;
        {
            talvora::platform::DBusNotifications notifications(
                QDBusConnection::connectToBus(address, QStringLiteral("client")));
            const talvora::platform::DesktopNotifications::Message message{"会议即将开始", "周会",
                                                                           "开始会议"};
            notifications.show(
                message, [&] { ++oldActions; }, [] { QFAIL("unavailable"); });
            QTRY_COMPARE(first.m_lastId, 1u);
            click(QStringLiteral("first"));
            QTRY_COMPARE(oldActions, 1);

            QDBusConnection::disconnectFromBus(QStringLiteral("first"));
            QVERIFY(serve(QStringLiteral("restarted"), &restarted));
            click(QStringLiteral("restarted")); // another program's notification 1
            notifications.show(
                message, [&] { ++newActions; }, [] { QFAIL("unavailable"); });
            QTRY_COMPARE(restarted.m_lastId, 1u);
            click(QStringLiteral("restarted"));
            QTRY_COMPARE(newActions, 1);
        }
        QCOMPARE(oldActions, 1);
        for (const char* connection : {"restarted", "client"}) {
            QDBusConnection::disconnectFromBus(QString::fromLatin1(connection));
        }
        daemon.kill();
        daemon.waitForFinished();
    }

    // No notification service on the bus and no tray: the window comes to
    // the front with a notice of the reminder that does not hold it up.
    void reminderWithoutServiceOrTrayRaisesTheWindowWithANotice()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/talvora-bus");
        auto window = makeWindow("{\"meetings\":[]}");
        window->showMinimized();
        MeetingReminders* reminders = window->m_pMeetingReminders;
        reminders->setClock([] { return QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC); });
        QSignalSpy started(reminders, &MeetingReminders::startRequested);
        reminders->arm({meet("1001", "周会", "2030-01-01T00:04:00Z")});

        QMessageBox* notice = nullptr;
        QTRY_VERIFY((notice = window->findChild<QMessageBox*>(QStringLiteral("ReminderNotice"))) != nullptr);
        QVERIFY(!window->isMinimized() && window->isVisible());
        QVERIFY(notice->isVisible() && !notice->isModal() && QApplication::activeModalWidget() == nullptr);
        QCOMPARE(notice->windowTitle(), QString::fromUtf8("会议即将开始"));
        QCOMPARE(notice->text(), QString::fromUtf8("周会\n8:04 开始 · 会议码 1001"));
        QAbstractButton* start = notice->buttons().value(0);
        for (QAbstractButton* button : notice->buttons()) {
            start = button->text() == QString::fromUtf8("开始会议") ? button : start;
        }
        QCOMPARE(start->text(), QString::fromUtf8("开始会议"));
        start->click();
        QCOMPARE(started.value(0).value(0).toString(), QStringLiteral("1001"));
        QTRY_VERIFY(window->findChild<QMessageBox*>(QStringLiteral("ReminderNotice")) == nullptr);
    }

    void trayMenuShowsTheWindowAndAsksBeforeLoggingOut()
    {
        auto window = makeWindow("{\"meetings\":[]}");
        window->showMinimized();
        window->m_pTrayIcon->m_pActShowWindow->trigger();
        QTRY_VERIFY(!window->isMinimized());
        ModalAnswer<CMeetConfig> answered([](CMeetConfig* dialog) { dialog->m_pBtnCancel->click(); });
        window->m_pTrayIcon->m_pActQuit->trigger();
        QVERIFY(answered.answered());
    }

    void remindersFireOnceEachAndFollowTheList()
    {
        auto notifications = std::make_unique<FakeNotifications>();
        const auto shown = notifications->shown;
        const auto available = notifications->available;
        MeetingReminders reminders(std::move(notifications));
        QDateTime now(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC);
        reminders.setClock([&now] { return now; });
        QSignalSpy started(&reminders, &MeetingReminders::startRequested);
        QSignalSpy unshown(&reminders, &MeetingReminders::unshown);

        // Closer than 5 minutes, later, past, unreadable.
        const protocol::Meet soon = meet("1001", "周会", "2030-01-01T00:04:00Z");
        const protocol::Meet later = meet("1002", "评审", "2030-01-01T00:30:00Z");
        reminders.arm(
            {soon, later, meet("1003", "旧会", "2029-12-31T23:00:00Z"), meet("1004", "坏", "2030")});
        QTRY_COMPARE(shown->size(), std::size_t(1));
        QCOMPARE(shown->front().first.summary, QString::fromUtf8("会议即将开始"));
        QCOMPARE(shown->front().first.body, QString::fromUtf8("周会\n8:04 开始 · 会议码 1001"));
        QCOMPARE(shown->front().first.actionLabel, QString::fromUtf8("开始会议"));
        shown->front().second();
        QCOMPARE(started.value(0).value(0).toString(), QStringLiteral("1001"));

        reminders.arm({soon, later}); // reminded once per run
        now = now.addSecs(25 * 60);   // due, but no longer listed
        reminders.arm({soon});
        QTest::qWait(20);
        QCOMPARE(shown->size(), std::size_t(1));

        *available = false; // listed again, with no service to show it
        reminders.arm({soon, later});
        QTRY_COMPARE(unshown.count(), 1);
        QCOMPARE(unshown.value(0).value(1).toString(), QString::fromUtf8("评审\n8:30 开始 · 会议码 1002"));
    }
};

QTEST_MAIN(ShareMeetingTest)
#include "ShareMeetingTest.moc"
