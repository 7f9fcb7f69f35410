// Renders every page and dialog of the client to PNG files, offscreen, with
// the style sheet and fonts that main sets up:
//
//     talvora_screenshots OUTPUT_DIRECTORY
//
// REST answers come from the KelpNetUtils double, so no service is needed.

#include "Above.h"
#include "BookMeetSuccess.h"
#include "CEraseMeetLab.h"
#include "CMeetConfig.h"
#include "CreateConference.h"
#include "CremaneWindow.h"
#include "FocusRing.h"
#include "JoinConference.h"
#include "KelpNetUtilsDouble.h"
#include "LeftMenu.h"
#include "MeetingEngineDouble.h"
#include "GalleryView.h"
#include "MeetingWindow.h"
#include "DeviceDouble.h"
#include "SettingsDialog.h"
#include "TestCallWindow.h"
#include "MeetContextMenu.h"
#include "PageBusyIndicator.h"
#include "ProgressWindow.h"
#include "ModifyMeet.h"
#include "ShowAMeet.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "Talvora.h"
#include "TrayIcon.h"
#include "platform/system/Desktop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>

#include <cstdio>
#include <string>

namespace {

const char* const kMeetingList =
    "{\"page_count\":\"1\",\"total_records\":\"5\",\"meetings\":["
    "{\"id\":\"85012345678\",\"topic\":\"产品周会\",\"start_time\":\"2024-03-07T01:30:00Z\",\"duration\":90,"
    "\"option_host_video\":true,\"option_participants_video\":true},"
    "{\"id\":\"85012345679\",\"topic\":\"技术评审\",\"start_time\":\"2024-03-07T06:05:00Z\",\"duration\":45,"
    "\"option_host_video\":true,\"option_participants_video\":false},"
    "{\"id\":\"85012345680\",\"topic\":\"客户沟通\",\"start_time\":\"2024-03-08T02:00:00Z\",\"duration\":60,"
    "\"option_host_video\":true,\"option_participants_video\":true},"
    "{\"id\":\"85012345681\",\"topic\":\"季度总结\",\"start_time\":\"2024-03-09T07:30:00Z\",\"duration\":120,"
    "\"option_host_video\":false,\"option_participants_video\":false},"
    "{\"id\":\"85012345682\",\"topic\":\"新人培训\",\"start_time\":\"2024-03-10T01:00:00Z\",\"duration\":30,"
    "\"option_host_video\":true,\"option_participants_video\":true}]}";

class Shooter
{
public:
    explicit Shooter(QString directory) : m_directory(std::move(directory)) {}

    // Widgets moved into a visible layout are shown from the event loop.
    bool save(QWidget* widget, const char* name)
    {
        QApplication::processEvents();
        return save(widget->grab(), name);
    }

    bool save(const QPixmap& picture, const char* name)
    {
        const QString path = QDir(m_directory).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (!picture.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            m_bOk = false;
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

    bool ok() const { return m_bOk; }

private:
    QString m_directory;
    bool m_bOk = true;
};

void applyStyleSheet(QApplication& app)
{
    QFile styleSheet(QStringLiteral(":/Talvora/Resources/Talvora.qss"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    }
}

void shootMainWindow(Shooter& shooter)
{
    kelp_double::queueAnswer("{\"meetings\":[]}");
    Talvora window("zhangsan", "ZC10001");
    window.m_pLeftMenu->m_pLabUserName->setText(QString::fromUtf8("张三"));

    // As the user first sees it: disabled under the cover until the SDK login.
    window.show();
    QPixmap covered = window.grab();
    {
        QPainter painter(&covered);
        painter.drawPixmap(5, 3, window.m_pAbove->grab());
    }
    shooter.save(covered, "main_waiting_for_login");
    window.m_pAbove->hide();
    window.setEnabled(true);

    shooter.save(&window, "main_no_meetings");

    kelp_double::queueAnswer(kMeetingList);
    window.onChooseMyMeet();
    shooter.save(&window, "main_meeting_cards_page1");
    window.onCBtnClickSlots(2);
    shooter.save(&window, "main_meeting_cards_page2");
    window.onCBtnClickSlots(1);

    window.onAMeetModifySlots(window.m_vecMeetWidgets.front());
    shooter.save(&window, "main_modify_meeting");

    window.onChooseCreateMeet();
    shooter.save(&window, "main_create_instant");
    window.m_pCreateConference->onChooseBookMeet();
    shooter.save(&window, "main_create_booking");
    BookMeetSuccess* success = window.m_pCreateConference->m_pBookMeetSuccess;
    success->m_pLabTopicContent->setText(QString::fromUtf8("产品周会"));
    success->m_pLabTimeContent->setText(QString::fromUtf8("2024年3月7日  9:05-10:30"));
    success->m_pLabCodeContent->setText(QStringLiteral("85012345678"));
    success->m_pLabTypeContent->setText(QString::fromUtf8("视频会议"));
    window.m_pCreateConference->m_pStackedWidget->setCurrentIndex(CreateConference::PaneBookSuccess);
    shooter.save(&window, "main_create_booked");

    // The keyboard focus ring, as Tab leaves it on a key of the keypad.
    window.onChooseJoinMeet();
    window.activateWindow();
    QApplication::processEvents();
    window.m_pJoinConference->m_pBtn5->setFocus(Qt::TabFocusReason);
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(window.m_pJoinConference->m_pBtn5, &shift);
    shooter.save(&window, "main_join_keyboard_focus");
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &click);

    window.m_pJoinConference->onChoose8();
    window.m_pJoinConference->onChoose5();
    window.m_pJoinConference->onChoose0();
    shooter.save(&window, "main_join");
    emit window.meetCodeWrong();
    shooter.save(&window, "main_join_wrong_code");

    window.m_pStackedWidget->setCurrentIndex(Talvora::PageNetError);
    shooter.save(&window, "main_network_error");

    // What a slow exchange shows over the pages.
    window.m_pStackedWidget->setCurrentIndex(Talvora::PageMeetingCards);
    window.m_pBusyIndicator->showBusy();
    shooter.save(&window, "main_busy");
    window.m_pBusyIndicator->hideBusy();

    shooter.save(window.m_vecMeetWidgets.front(), "meeting_card");
    shooter.save(window.m_pLogoutConfig, "dialog_logout_confirmation");
    shooter.save(window.m_pModifyMeet->m_pDelConfig, "dialog_delete_confirmation");
    shooter.save(window.m_pModifyMeet->m_pEraseMeetLab, "notice_meeting_deleted");
    StartTimeWin* picker = window.m_pCreateConference->m_pStartTimeWin;
    picker->showDefaultTime(QDateTime(QDate(2030, 3, 7), QTime(9, 2)));
    shooter.save(picker, "dialog_start_time");
    shooter.save(window.m_pCreateConference->m_pStopTimeWin, "dialog_stop_time");
    for (QMenu* menu : {static_cast<QMenu*>(window.m_pMeetContextMenu), window.m_pTrayIcon->menu()}) {
        menu->ensurePolished();
        menu->adjustSize();
    }
    shooter.save(window.m_pMeetContextMenu, "menu_meeting");
    shooter.save(window.m_pTrayIcon->menu(), "menu_tray");
}

// The SDK's settings with its devices, and the test call, on the doubles.
void shootDevices(Shooter& shooter)
{
    using talvora::media::DeviceDouble;
    using talvora::media::DeviceKind;
    DeviceDouble::setDevices(DeviceKind::Camera, {{QStringLiteral("cam-1"), QString::fromUtf8("内置摄像头")},
                                                  {QStringLiteral("cam-2"), QString::fromUtf8("USB 高清摄像头")}});
    DeviceDouble::setDevices(DeviceKind::Microphone,
                             {{QStringLiteral("mic-1"), QString::fromUtf8("内置麦克风")},
                              {QStringLiteral("mic-2"), QString::fromUtf8("耳机麦克风")}});
    talvora::zhumu::SettingsDialog settings;
    settings.show();
    shooter.save(&settings, "settings_devices");
    settings.hide();

    talvora::zhumu::TestCallWindow call;
    call.show();
    call.startCall(QUrl(QStringLiteral("ws://127.0.0.1:8188")), QString());
    QEventLoop settle; // the double's pictures and delay arrive queued
    QTimer::singleShot(50, &settle, &QEventLoop::quit);
    settle.exec();
    shooter.save(&call, "test_call");
    call.hide();
}

// A shared screen as a viewer gets it: a slide of a presentation.
QImage sharedSlide()
{
    QImage slide(1920, 1080, QImage::Format_RGB32);
    slide.fill(QColor(0xf7, 0xf8, 0xfa));
    QPainter painter(&slide);
    painter.fillRect(QRect(0, 0, 1920, 140), QColor(0x1f, 0x4e, 0x9c));
    QFont font = painter.font();
    font.setPixelSize(64);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(96, 0, 1700, 140), Qt::AlignVCenter, QString::fromUtf8("第三季度产品路线图"));
    font.setPixelSize(44);
    painter.setFont(font);
    painter.setPen(QColor(0x1f, 0x23, 0x29));
    const char* const points[] = {"会议客户端：屏幕共享与聊天", "设备管理与测试通话", "弱网下的自动调节"};
    for (int i = 0; i < 3; ++i)
        painter.drawText(QPoint(140, 300 + i * 110), QString::fromUtf8("• ") + QString::fromUtf8(points[i]));
    const QColor bars[] = {QColor(0x41, 0x94, 0xff), QColor(0x2f, 0xb3, 0x89), QColor(0xf0, 0x8c, 0x2e)};
    for (int i = 0; i < 3; ++i)
        painter.fillRect(QRect(1240 + i * 180, 940 - (i + 2) * 120, 120, (i + 2) * 120), bars[i]);
    return slide;
}

// Another's share in the share layout, the sharer's own bar, the chat with
// a few messages, then the host's participant list with one chat unread.
void shootSharingAndPanels(Shooter& shooter, talvora::zhumu::MeetingWindow& window,
                           talvora::media::MeetingEngine& engine, qint64 sharer)
{
    using talvora::media::EngineDouble;
    EngineDouble::startRemoteShare(&engine, sharer);
    EngineDouble::pushShareFrame(&engine, sharedSlide());
    shooter.save(&window, "meeting_share_view");
    EngineDouble::stopRemoteShare(&engine);

    engine.startShare(talvora::media::ShareSource());
    QApplication::processEvents(); // the bar shows once the double says it shares
    shooter.save(&window, "meeting_sharing_bar");
    engine.stopShare();

    auto* chat = window.findChild<QAbstractButton*>(QStringLiteral("chatButton"));
    const QDateTime morning(QDate(2024, 3, 7), QTime(9, 32));
    chat->click();
    EngineDouble::receiveChat(&engine, QString::fromUtf8("李四"), morning,
                              QString::fromUtf8("大家好，我先共享一下路线图。"));
    EngineDouble::receiveChat(&engine, QString::fromUtf8("王五"), morning.addSecs(60),
                              QString::fromUtf8("好的。第二页的时间安排能再发一下吗？<b>不是标记</b>"));
    EngineDouble::receiveChat(&engine, QString::fromUtf8("张三"), morning.addSecs(120),
                              QString::fromUtf8("会后我把文件发到群里。"));
    shooter.save(&window, "meeting_chat");
    chat->click();
    EngineDouble::receiveChat(&engine, QString::fromUtf8("Olivia Chen"), morning.addSecs(180),
                              QString::fromUtf8("Thanks, see you then."));
    window.findChild<QAbstractButton*>(QStringLiteral("participantsButton"))->click();
    shooter.save(&window, "meeting_participants_host");
}

// The SDK's meeting window on the engine's double, with synthetic frames:
// two people, then four with the participant list open, the speaker view,
// a pinned tile, sharing, the chat and the host's list.
void shootMeetingWindow(Shooter& shooter)
{
    using talvora::media::EngineDouble;
    using talvora::media::Participant;
    talvora::media::Admission admission;
    admission.number = QStringLiteral("85012345678");
    admission.displayName = QString::fromUtf8("张三");
    admission.host = true;
    talvora::media::MeetingEngine engine(admission, talvora::media::MediaOptions());
    Participant self;
    self.displayName = admission.displayName;
    self.host = true;
    talvora::zhumu::MeetingWindow window(admission.number, self, &engine);
    window.show();
    EngineDouble::join(&engine);

    auto guest = [&engine](const char* name, bool muted, bool videoOff) {
        Participant participant;
        participant.displayName = QString::fromUtf8(name);
        participant.audioMuted = muted;
        participant.videoOff = videoOff;
        return EngineDouble::addParticipant(&engine, participant);
    };
    const qint64 selfId = EngineDouble::script().selfId;
    EngineDouble::pushFrame(&engine, selfId, EngineDouble::testFrame(QSize(640, 360), QColor(0x41, 0x94, 0xff), 3));
    const Participant lisi = guest("李四", false, false);
    EngineDouble::pushFrame(&engine, lisi.id, EngineDouble::testFrame(QSize(640, 360), QColor(0x2f, 0xb3, 0x89), 7));
    EngineDouble::setTalking(&engine, lisi.id, true);
    shooter.save(&window, "meeting_two_people");

    const Participant wangwu = guest("王五", true, false);
    // A portrait camera: letterboxed, not stretched.
    EngineDouble::pushFrame(&engine, wangwu.id, EngineDouble::testFrame(QSize(360, 480), QColor(0xf0, 0x8c, 0x2e), 2));
    guest("Olivia Chen", true, true);
    window.findChild<QAbstractButton*>(QStringLiteral("participantsButton"))->click();
    shooter.save(&window, "meeting_four_people_with_list");

    auto* participants = window.findChild<QAbstractButton*>(QStringLiteral("participantsButton"));
    participants->click();
    window.setSpeakerView(true);
    window.gallery()->setActiveSpeaker(lisi.id);
    shooter.save(&window, "meeting_speaker_view");
    // The portrait camera pinned large, still letterboxed.
    window.gallery()->pin(wangwu.id);
    shooter.save(&window, "meeting_pinned");
    window.gallery()->pin(0);
    window.setSpeakerView(false);
    shootSharingAndPanels(shooter, window, engine, lisi.id); // leaves the list open

    EngineDouble::loseConnection(&engine);
    shooter.save(&window, "meeting_connection_lost");
    window.hide();
    shootDevices(shooter);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    talvora::platform::setUpDesktop();
    Q_INIT_RESOURCE(Talvora);
    applyStyleSheet(app);
    FocusRing::install();

    const QString directory = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    Shooter shooter(directory);
    shootMainWindow(shooter);
    shootMeetingWindow(shooter);

    ProgressWindow progress;
    progress.setMessage(QString::fromUtf8("正在加载会议…"));
    shooter.save(&progress, "dialog_sign_in_progress");

    CremaneWindow rename(QString::fromUtf8("张三"));
    shooter.save(&rename, "dialog_rename");

    Above cover;
    cover.m_pLabAbove->setStyleSheet(QStringLiteral("QLabel{background:rgba(248,248,248,0.50);}"));
    shooter.save(&cover, "cover");
    return shooter.ok() ? 0 : 1;
}
