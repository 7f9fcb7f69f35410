// The meeting window on the engine's double, without a service: where tiles
// go, what a tile paints, who is shown large, and what the window shows and
// sends as the meeting goes on, by mouse and by keyboard.

#include "MeetingWindow.h"
#include "ActiveSpeaker.h"
#include "AudioProcessingSettings.h"
#include "ChatPanel.h"
#include "GalleryLayout.h"
#include "GalleryView.h"
#include "LevelBar.h"
#include "MeetingEngineDouble.h"
#include "MeetingIcons.h"
#include "MeetingPrompts.h"
#include "MeetingToolbar.h"
#include "MutedHint.h"
#include "ParticipantsPanel.h"
#include "SettingsDialog.h"
#include "SpeakerLayout.h"
#include "VideoTile.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace talvora::zhumu;
using talvora::media::EngineDouble;
using talvora::media::MeetingEngine;
using talvora::media::Participant;

namespace {

const QColor kTalkingBlue(0x41, 0x94, 0xff);

Participant person(const QString& name, bool muted = false, bool videoOff = false)
{
    Participant participant;
    participant.displayName = name;
    participant.audioMuted = muted;
    participant.videoOff = videoOff;
    return participant;
}

bool near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) < 12 && qAbs(a.green() - b.green()) < 12 && qAbs(a.blue() - b.blue()) < 12;
}

class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class MeetingWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<MeetingWindow::Outcome>(); }
    void cleanup();

    void galleryLayout_data();
    void galleryLayout();
    void speakerLayout_data();
    void speakerLayout();
    void activeSpeakerNeedsASecondAndAMargin();
    void initials_data();
    void initials();
    void tilePaintsFrameKeepingItsShapeOrTheDisc();
    void tileMarksMutedAndTalking();
    void tilesFollowParticipantsInPages();
    void onlyTheTileWithANewFrameRepaints();
    void toolbarTogglesAndCommandsTheEngine();
    void withoutDevicesTheButtonsSaySo();
    void participantListMarksHostAndMe();
    void lostConnectionShowsBannerThenGivesUp();
    void speakerViewFollowsTheLoudestAndPins();
    void fullScreenWithF11AndEscape();
    void shortcutsAndTabOrder();
    void iconsAtOneAndTwiceTheSize();
    void mutedSpeechWaitsASecondThenRestsThirty();
    void talkingWhileMutedShowsTheHintThatUnmutes();
    void lostMicrophoneMutesAndSaysSo();
    void audioProcessingIsKeptAndReachesTheMeeting();
    void chatShowsPlainTextCountsUnreadAndAnnounces();
    void chatInputSendsOnEnterAndHoldsAtMost2000();
    void onlyTheHostModeratesOthers();
    void hostMuteAndRemovalReachThisParticipant();

private:
    // A window on a new engine double, joined, with this participant as host.
    MeetingWindow* openWindow(bool host = true);

    std::unique_ptr<MeetingEngine> m_engine;
    std::unique_ptr<MeetingWindow> m_window;
};

void MeetingWindowTest::cleanup()
{
    m_window.reset();
    m_engine.reset();
    EngineDouble::reset();
    MeetingWindow::setConnectionGraceForTesting(30000);
}

MeetingWindow* MeetingWindowTest::openWindow(bool host)
{
    talvora::media::Admission admission;
    admission.number = QStringLiteral("85000000001");
    admission.displayName = QStringLiteral("张三");
    admission.host = host;
    m_engine = std::make_unique<MeetingEngine>(admission, talvora::media::MediaOptions());
    Participant self = person(admission.displayName);
    self.host = host;
    m_window = std::make_unique<MeetingWindow>(admission.number, self, m_engine.get());
    m_window->show();
    m_engine->start();
    if (!QTest::qWaitFor([this] { return m_window->isJoined(); }))
        return nullptr;
    return m_window.get();
}

void MeetingWindowTest::galleryLayout_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("onLastPage");

    const int grid[17][2] = {{1, 1}, {2, 1}, {2, 2}, {2, 2}, {3, 2}, {3, 2}, {3, 3}, {3, 3}, {3, 3},
                             {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}};
    for (int total = 1; total <= 17; ++total) {
        QTest::addRow("%d", total) << total << grid[total - 1][0] << grid[total - 1][1]
                                   << (total > 16 ? 2 : 1) << (total > 16 ? 1 : total);
    }
}

void MeetingWindowTest::galleryLayout()
{
    QFETCH(int, total);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, onLastPage);

    const GalleryPage first = galleryPage(total, 0);
    QCOMPARE(first.pages, pages);
    QCOMPARE(galleryGrid(first.count).columns, columns);
    QCOMPARE(galleryGrid(first.count).rows, rows);
    const GalleryPage last = galleryPage(total, 99);
    QCOMPARE(last.page, pages - 1);
    QCOMPARE(last.count, onLastPage);
    QCOMPARE(last.first, (pages - 1) * kTilesPerPage);

    // Every cell the same 16:9 size, inside the area, none over another.
    const QSize area(1000, 560);
    const QVector<QRect> cells = galleryCells(area, first.count, 8);
    QCOMPARE(cells.size(), first.count);
    for (int i = 0; i < cells.size(); ++i) {
        QCOMPARE(cells[i].size(), cells[0].size());
        QVERIFY(qAbs(cells[i].width() * 9 - cells[i].height() * 16) <= 16);
        QVERIFY(QRect(QPoint(), area).contains(cells[i]));
        for (int j = 0; j < i; ++j)
            QVERIFY(!cells[i].intersects(cells[j]));
    }
}

void MeetingWindowTest::speakerLayout_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("others");
    QTest::addColumn<int>("shown");

    QTest::newRow("alone") << QSize(1000, 600) << 0 << 0;
    QTest::newRow("one other") << QSize(1000, 600) << 1 << 1;
    QTest::newRow("five others") << QSize(1000, 600) << 5 << 5;
    QTest::newRow("more than the strip holds") << QSize(1000, 600) << 12 << stripCapacity(1000, 8);
    QTest::newRow("narrow") << QSize(200, 400) << 3 << 1;
    QTest::newRow("low") << QSize(1600, 300) << 4 << 4;
}

void MeetingWindowTest::speakerLayout()
{
    QFETCH(QSize, area);
    QFETCH(int, others);
    QFETCH(int, shown);

    const SpeakerCells cells = talvora::zhumu::speakerLayout(area, others, 8);
    const QRect all(QPoint(0, 0), area);
    QCOMPARE(cells.small.size(), shown);
    QVERIFY(all.contains(cells.large));
    if (others == 0)
        QCOMPARE(cells.large, all);
    QRect previous;
    for (const QRect& cell : cells.small) {
        QVERIFY(cells.strip.contains(cell));
        QVERIFY(!cell.intersects(cells.large));
        QVERIFY(cell.height() <= kStripTileHeight);
        QVERIFY(qAbs(cell.width() * 9 - cell.height() * 16) <= 16); // 16:9
        QVERIFY(previous.isNull() || cell.left() > previous.right());
        previous = cell;
    }
    // The large tile keeps most of the room.
    QVERIFY(cells.large.height() * 2 > area.height());
}

void MeetingWindowTest::activeSpeakerNeedsASecondAndAMargin()
{
    ActiveSpeaker speakers;
    QSignalSpy changed(&speakers, &ActiveSpeaker::speakerChanged);
    const qint64 a = 11, b = 12, c = 13;
    // One voice after another, each level report at time t.
    auto say = [&](qint64 id, double dbfs, qint64 from, qint64 to) {
        for (qint64 t = from; t <= to; t += 250)
            speakers.setLevel(id, dbfs, t);
    };
    say(a, -20, 0, 750);
    QCOMPARE(speakers.speaker(), 0); // not a second yet
    say(a, -20, 1000, 1250);
    QCOMPARE(speakers.speaker(), a);

    // A louder burst of half a second does not take over, nor does a voice
    // about as loud for long.
    say(b, -8, 1500, 2000);
    say(b, -120, 2250, 2250);
    say(a, -20, 2250, 2250);
    say(b, -19, 2500, 6000);
    QCOMPARE(speakers.speaker(), a);
    // Louder by the margin for over a second does.
    say(b, -12, 6250, 7000);
    QCOMPARE(speakers.speaker(), a);
    speakers.update(7300);
    QCOMPARE(speakers.speaker(), b);

    // Silence keeps the last speaker; noise under the threshold is silence.
    say(b, -120, 7500, 7500);
    say(a, -60, 7500, 10000);
    QCOMPARE(speakers.speaker(), b);
    // Talking as Janus reports it counts when no level comes with it.
    speakers.setTalking(c, true, 10250);
    speakers.update(11300);
    QCOMPARE(speakers.speaker(), c);
    // The speaker leaving leaves nobody until the next has spoken a second.
    speakers.remove(c, 11500);
    QCOMPARE(speakers.speaker(), 0);
    QCOMPARE(changed.count(), 4);
    QCOMPARE(changed.last().front().toLongLong(), 0);
}

void MeetingWindowTest::initials_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("initials");
    QTest::newRow("two characters") << QStringLiteral("张三") << QStringLiteral("张三");
    QTest::newRow("four characters") << QStringLiteral("欧阳娜娜") << QStringLiteral("娜娜");
    QTest::newRow("latin") << QStringLiteral("john smith") << QStringLiteral("JS");
    QTest::newRow("e-mail") << QStringLiteral("li.si@example.com") << QStringLiteral("LS");
    QTest::newRow("blank") << QStringLiteral("  ") << QStringLiteral("?");
}

void MeetingWindowTest::initials()
{
    QFETCH(QString, name);
    QFETCH(QString, initials);
    QCOMPARE(initialsOf(name), initials);
}

void MeetingWindowTest::tilePaintsFrameKeepingItsShapeOrTheDisc()
{
    Participant someone = person(QStringLiteral("李四"));
    VideoTile tile(someone);
    tile.resize(400, 400);
    // No frame yet: the disc, in the middle, on the tile's own colour.
    QVERIFY(!tile.showsVideo());
    QImage shot = tile.grab().toImage();
    const QColor background = shot.pixelColor(5, 5);
    QVERIFY(shot.pixelColor(200, 190) != background);

    const QColor red(220, 30, 30);
    QImage wide(640, 360, QImage::Format_RGB32);
    wide.fill(red);
    tile.setFrame(wide);
    QVERIFY(tile.showsVideo());
    QCOMPARE(tile.frameRect(), QRect(0, 87, 400, 225));
    shot = tile.grab().toImage();
    QVERIFY(near(shot.pixelColor(200, 150), red));
    // Letterboxed, never stretched.
    QVERIFY(!near(shot.pixelColor(200, 40), red));

    QImage tall(360, 640, QImage::Format_RGB32);
    tall.fill(red);
    tile.setFrame(tall);
    QCOMPARE(tile.frameRect(), QRect(87, 0, 225, 400));

    someone.videoOff = true;
    tile.setParticipant(someone);
    QVERIFY(!tile.showsVideo());
    QVERIFY(!near(tile.grab().toImage().pixelColor(150, 40), red));
}

void MeetingWindowTest::tileMarksMutedAndTalking()
{
    VideoTile tile(person(QStringLiteral("李四")));
    tile.resize(320, 180);
    QCOMPARE(tile.accessibleName(), QStringLiteral("李四"));
    const QImage plain = tile.grab().toImage();

    tile.setParticipant(person(QStringLiteral("李四"), true, false));
    QCOMPARE(tile.accessibleName(), QStringLiteral("李四，已静音"));
    // The muted mark sits in the name bar, before the name.
    const QImage muted = tile.grab().toImage();
    QVERIFY(plain.copy(0, 140, 80, 40) != muted.copy(0, 140, 80, 40));
    tile.setParticipant(person(QStringLiteral("李四"), true, true));
    QCOMPARE(tile.accessibleName(), QStringLiteral("李四，已静音，视频已关闭"));

    QVERIFY(!near(tile.grab().toImage().pixelColor(1, 90), kTalkingBlue));
    tile.setTalking(true);
    QVERIFY(near(tile.grab().toImage().pixelColor(1, 90), kTalkingBlue));
    tile.setTalking(false);
    QVERIFY(!near(tile.grab().toImage().pixelColor(1, 90), kTalkingBlue));
}

void MeetingWindowTest::tilesFollowParticipantsInPages()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("会议 85000000001"));
    auto tiles = [window] { return window->findChildren<VideoTile*>(); };
    QCOMPARE(tiles().size(), 1);
    QVERIFY(tiles().front()->participant().self);

    const Participant lisi = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四")));
    EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("王五")));
    QCOMPARE(tiles().size(), 3);
    auto* participants = window->findChild<QToolButton*>(QStringLiteral("participantsButton"));
    QCOMPARE(participants->text(), QStringLiteral("参会者 (3)"));
    EngineDouble::removeParticipant(m_engine.get(), lisi.id);
    QCOMPARE(tiles().size(), 2);
    QCOMPARE(participants->text(), QStringLiteral("参会者 (2)"));
    for (VideoTile* tile : tiles())
        QVERIFY(tile->participantId() != lisi.id);

    // Seventeen on the first page's 16 tiles, the rest on the next.
    for (int i = 0; i < 16; ++i)
        EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("来宾%1").arg(i + 1)));
    auto visibleTiles = [&] {
        int count = 0;
        for (VideoTile* tile : tiles())
            count += tile->isVisible();
        return count;
    };
    QCOMPARE(visibleTiles(), 16);
    auto* next = window->findChild<QToolButton*>(QStringLiteral("nextPageButton"));
    QVERIFY(next->isVisible());
    next->click();
    QCOMPARE(visibleTiles(), 2);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("pageLabel"))->text(), QStringLiteral("2 / 2"));

    // The meeting time counts from the join.
    auto* clock = window->findChild<QLabel*>(QStringLiteral("meetingClock"));
    QCOMPARE(clock->text(), QStringLiteral("00:00"));
    QTRY_COMPARE_WITH_TIMEOUT(clock->text(), QStringLiteral("00:01"), 3000);
}

void MeetingWindowTest::onlyTheTileWithANewFrameRepaints()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    const Participant lisi = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四")));
    EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("王五")));
    QVERIFY(QTest::qWaitForWindowExposed(window));

    std::map<VideoTile*, std::unique_ptr<PaintCounter>> counters;
    for (VideoTile* tile : window->findChildren<VideoTile*>()) {
        counters[tile] = std::make_unique<PaintCounter>();
        tile->installEventFilter(counters[tile].get());
    }
    auto painted = [&counters] {
        int total = 0;
        for (auto& entry : counters)
            total += std::exchange(entry.second->count, 0);
        return total;
    };
    // Until the layout's own repaints are over.
    int rounds = 0;
    do {
        QTest::qWait(100);
    } while (painted() > 0 && ++rounds < 20);
    EngineDouble::pushFrame(m_engine.get(), lisi.id, EngineDouble::testFrame(QSize(320, 180), Qt::green));
    QTest::qWait(100);
    for (auto& [tile, counter] : counters)
        QCOMPARE(counter->count > 0, tile->participantId() == lisi.id);
}

void MeetingWindowTest::toolbarTogglesAndCommandsTheEngine()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    auto* mute = window->findChild<QToolButton*>(QStringLiteral("muteButton"));
    auto* video = window->findChild<QToolButton*>(QStringLiteral("videoButton"));
    auto selfTile = [window] { return window->findChildren<VideoTile*>().front(); };
    QCOMPARE(mute->text(), QStringLiteral("静音"));
    QCOMPARE(video->text(), QStringLiteral("停止视频"));

    mute->click();
    QVERIFY(m_engine->audioMuted());
    QCOMPARE(mute->text(), QStringLiteral("解除静音"));
    QCOMPARE(selfTile()->accessibleName(), QStringLiteral("张三，已静音"));
    video->click();
    QVERIFY(!m_engine->videoEnabled());
    QCOMPARE(video->text(), QStringLiteral("开启视频"));
    QVERIFY(!selfTile()->showsVideo());
    mute->click();
    video->click();
    QVERIFY(!m_engine->audioMuted());
    QVERIFY(m_engine->videoEnabled());
    QCOMPARE(mute->text(), QStringLiteral("静音"));
    QCOMPARE(video->text(), QStringLiteral("停止视频"));

    // Tab runs along the toolbar, the host's "结束会议" last.
    window->activateWindow();
    mute->setFocus(Qt::TabFocusReason);
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        order << qobject_cast<QToolButton*>(QApplication::focusWidget())->text();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order,
             QStringList({"静音", "停止视频", "参会者 (1)", "聊天", "共享屏幕", "离开会议", "结束会议"}));

    // "结束会议" asks first; "取消" keeps the meeting.
    QStringList asked;
    bool answer = false;
    setPromptHook([&](const QString& text, const QString& confirm) {
        asked << text + QLatin1Char('|') + confirm;
        return answer;
    });
    QSignalSpy over(window, &MeetingWindow::over);
    window->findChild<QToolButton*>(QStringLiteral("endMeetingButton"))->click();
    QCOMPARE(asked, QStringList(QStringLiteral("结束会议后，所有参会者都将离开会议。|结束会议")));
    QCOMPARE(over.count(), 0);
    QVERIFY(window->isVisible());
    answer = true;
    window->findChild<QToolButton*>(QStringLiteral("endMeetingButton"))->click();
    setPromptHook({});
    QCOMPARE(over.count(), 1);
    QCOMPARE(over.front().front().value<MeetingWindow::Outcome>(), MeetingWindow::Outcome::EndedByMe);
    QCOMPARE(EngineDouble::leaveCalls(m_engine.get()), 1);
    QVERIFY(!window->isVisible());
}

void MeetingWindowTest::withoutDevicesTheButtonsSaySo()
{
    EngineDouble::script().hasCamera = false;
    EngineDouble::script().hasMicrophone = false;
    MeetingWindow* window = openWindow(false);
    QVERIFY(window);
    auto* mute = window->findChild<QToolButton*>(QStringLiteral("muteButton"));
    auto* video = window->findChild<QToolButton*>(QStringLiteral("videoButton"));
    QCOMPARE(mute->text(), QStringLiteral("未检测到麦克风"));
    QCOMPARE(video->text(), QStringLiteral("未检测到摄像头"));
    QVERIFY(!mute->isEnabled());
    QVERIFY(!video->isEnabled());
    QVERIFY(!window->findChild<QToolButton*>(QStringLiteral("endMeetingButton"))->isVisible());
    const Participant self = window->findChildren<VideoTile*>().front()->participant();
    QVERIFY(self.audioMuted && self.videoOff);
}

void MeetingWindowTest::participantListMarksHostAndMe()
{
    MeetingWindow* window = openWindow(false);
    QVERIFY(window);
    Participant host = person(QStringLiteral("李四"), true, true);
    host.host = true;
    EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("王五")));
    EngineDouble::addParticipant(m_engine.get(), host);

    auto* panel = window->findChild<ParticipantsPanel*>();
    QVERIFY(!panel->isVisible());
    auto* button = window->findChild<QToolButton*>(QStringLiteral("participantsButton"));
    QCOMPARE(button->text(), QStringLiteral("参会者 (3)"));
    button->click();
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->rowNames(),
             QStringList({"张三(我)，麦克风已开启，视频已开启", "李四(主持人)，已静音，视频已关闭",
                          "王五，麦克风已开启，视频已开启"}));
    button->click();
    QVERIFY(!panel->isVisible());
}

void MeetingWindowTest::lostConnectionShowsBannerThenGivesUp()
{
    MeetingWindow::setConnectionGraceForTesting(200);
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    const Participant lisi = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四")));
    EngineDouble::pushFrame(m_engine.get(), lisi.id, EngineDouble::testFrame(QSize(320, 180), Qt::green));
    QSignalSpy over(window, &MeetingWindow::over);
    auto* banner = window->findChild<QLabel*>(QStringLiteral("meetingBanner"));

    QStringList notices;
    setPromptHook([&](const QString& text, const QString&) {
        notices << text;
        return true;
    });
    EngineDouble::loseConnection(m_engine.get());
    QVERIFY(banner->isVisible());
    QCOMPARE(banner->text(), QStringLiteral("网络连接已断开，正在重新连接…"));
    EngineDouble::restoreConnection(m_engine.get());
    QVERIFY(!banner->isVisible());
    QTest::qWait(300);
    QCOMPARE(over.count(), 0);

    EngineDouble::loseConnection(m_engine.get());
    QVERIFY(banner->isVisible());
    // The last frames stay under the banner.
    for (VideoTile* tile : window->findChildren<VideoTile*>())
        QCOMPARE(tile->showsVideo(), tile->participantId() == lisi.id);
    QTRY_COMPARE(over.count(), 1);
    QCOMPARE(over.front().front().value<MeetingWindow::Outcome>(), MeetingWindow::Outcome::ConnectionLost);
    QVERIFY(!window->isVisible());
    setPromptHook({});
    QCOMPARE(notices, QStringList(QStringLiteral("网络连接已断开，已离开会议")));
}

void MeetingWindowTest::mutedSpeechWaitsASecondThenRestsThirty()
{
    MutedSpeechDetector detector;
    const double loud = -30, quiet = -70;
    // (time ms, level, muted) -> shown
    const struct
    {
        qint64 at;
        double dbfs;
        bool muted;
        bool shown;
    } steps[] = {
        {0, loud, false, false},   {900, loud, false, false},  // not muted: never
        {1000, loud, true, false}, {1500, quiet, true, false}, // a pause starts the second again
        {1600, loud, true, false}, {2500, loud, true, false},  {2600, loud, true, true},
        {2700, loud, true, false}, {20000, loud, true, false}, // within 30 s of the last
        {32600, loud, true, true},
    };
    for (const auto& step : steps)
        QCOMPARE(detector.onLevel(step.at, step.dbfs, step.muted), step.shown);
}

void MeetingWindowTest::talkingWhileMutedShowsTheHintThatUnmutes()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    const qint64 self = EngineDouble::script().selfId;
    auto* hint = window->findChild<MutedHint*>();
    QVERIFY(hint && !hint->isVisible());
    auto talkFor = [this, self](int milliseconds, double dbfs) {
        for (int elapsed = 0; elapsed < milliseconds; elapsed += 100) {
            EngineDouble::setAudioLevel(m_engine.get(), self, dbfs);
            QTest::qWait(100);
        }
    };
    talkFor(1300, -25); // unmuted: talking is no reason for a hint
    QVERIFY(!hint->isVisible());
    auto* tileBar = window->findChildren<VideoTile*>().front()->findChild<LevelBar*>();
    QVERIFY(tileBar && tileBar->segments() >= 3);

    window->findChild<QToolButton*>(QStringLiteral("muteButton"))->click();
    QVERIFY(m_engine->audioMuted());
    talkFor(500, -25);
    QVERIFY(!hint->isVisible());
    talkFor(1000, -25);
    QVERIFY(hint->isVisible());
    QVERIFY(hint->findChildren<QLabel*>().front()->text() == QStringLiteral("您已静音，如需发言请解除静音"));
    QVERIFY(!window->isModal() && !hint->isWindow());
    hint->findChild<QPushButton*>(QStringLiteral("mutedHintUnmute"))->click();
    QVERIFY(!m_engine->audioMuted());
    QVERIFY(!hint->isVisible());
    QCOMPARE(window->findChild<QToolButton*>(QStringLiteral("muteButton"))->text(), QStringLiteral("静音"));
}

void MeetingWindowTest::lostMicrophoneMutesAndSaysSo()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    auto* notice = window->findChild<QLabel*>(QStringLiteral("deviceNotice"));
    QVERIFY(notice && !notice->isVisible());
    EngineDouble::loseMicrophone(m_engine.get());
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), QStringLiteral("麦克风已断开"));
    QCOMPARE(window->findChild<QToolButton*>(QStringLiteral("muteButton"))->text(),
             QStringLiteral("解除静音"));
    QVERIFY(window->isVisible()); // the meeting goes on
    emit m_engine->microphoneRestored();
    QVERIFY(!notice->isVisible());
}

void MeetingWindowTest::audioProcessingIsKeptAndReachesTheMeeting()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const auto defaults = AudioProcessingSettings::instance().load();
    QVERIFY(defaults.echoCancellation && defaults.autoGain);
    QCOMPARE(defaults.noiseSuppression, talvora::media::NoiseSuppression::Moderate);

    QVERIFY(openWindow());
    auto* dialog = new SettingsDialog;
    auto* noise = dialog->findChild<QComboBox*>(QStringLiteral("noiseSuppression"));
    QCOMPARE(noise->currentText(), QStringLiteral("中"));
    noise->setCurrentIndex(3);
    dialog->findChild<QCheckBox*>(QStringLiteral("echoCancellation"))->setChecked(false);
    delete dialog;

    // Taken by the meeting under way, and kept for the next.
    QCOMPARE(m_engine->audioProcessing().noiseSuppression, talvora::media::NoiseSuppression::High);
    QVERIFY(!m_engine->audioProcessing().echoCancellation);
    QSettings file(config.path() + QStringLiteral("/Talvora/zhumusdk.ini"), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("audio/noise_suppression")).toString(), QStringLiteral("high"));
    QCOMPARE(file.value(QStringLiteral("audio/echo_cancellation")).toBool(), false);
    qunsetenv("XDG_CONFIG_HOME");
}

void MeetingWindowTest::chatShowsPlainTextCountsUnreadAndAnnounces()
{
    MeetingWindow* window = openWindow(false);
    QVERIFY(window);
    ChatPanel* chat = window->chatPanel();
    QToolButton* button = window->toolbar()->chatButton();
    QVERIFY(!chat->isVisible());
    QCOMPARE(button->text(), QStringLiteral("聊天"));

    const QString markup = QStringLiteral("<b>粗体</b> <a href=\"x\">链接</a> &amp;");
    EngineDouble::receiveChat(m_engine.get(), QStringLiteral("<i>李四</i>"),
                              QDateTime(QDate(2030, 3, 7), QTime(9, 5, 42)), markup);
    EngineDouble::receiveChat(m_engine.get(), QStringLiteral("王五"),
                              QDateTime(QDate(2030, 3, 7), QTime(21, 0)), QStringLiteral("好"));

    // Markup shows as the characters it is made of, sender included.
    const QList<QLabel*> texts = chat->findChildren<QLabel*>(QStringLiteral("chatMessageText"));
    const QList<QLabel*> headers = chat->findChildren<QLabel*>(QStringLiteral("chatMessageHeader"));
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts.front()->text(), markup);
    QCOMPARE(texts.front()->textFormat(), Qt::PlainText);
    QCOMPARE(headers.front()->text(), QStringLiteral("<i>李四</i>  09:05"));
    QCOMPARE(headers.front()->textFormat(), Qt::PlainText);
    const QString spoken = QStringLiteral("<i>李四</i> 09:05：") + markup;
    QCOMPARE(chat->messageName(0), spoken);
    // What a screen reader reads of it (the alert itself needs a platform
    // bridge, which the offscreen platform has not).
    QWidget* first = chat->findChild<QWidget*>(QStringLiteral("chatMessage"));
    QCOMPARE(QAccessible::queryAccessibleInterface(first)->text(QAccessible::Name), spoken);

    // Unread while closed, read once opened, and not counted while open.
    QCOMPARE(button->text(), QStringLiteral("聊天 (2)"));
    QCOMPARE(button->accessibleName(), QStringLiteral("聊天，2 条未读"));
    button->click();
    QVERIFY(chat->isVisible());
    QCOMPARE(button->text(), QStringLiteral("聊天"));
    EngineDouble::receiveChat(m_engine.get(), QStringLiteral("王五"), QDateTime::currentDateTime(),
                              QStringLiteral("在吗"));
    QCOMPARE(chat->unreadCount(), 0);
    button->click();
    EngineDouble::receiveChat(m_engine.get(), QStringLiteral("王五"), QDateTime::currentDateTime(),
                              QStringLiteral("？"));
    QCOMPARE(button->text(), QStringLiteral("聊天 (1)"));
}

void MeetingWindowTest::chatInputSendsOnEnterAndHoldsAtMost2000()
{
    MeetingWindow* window = openWindow(false);
    QVERIFY(window);
    window->toolbar()->chatButton()->click();
    ChatPanel* chat = window->chatPanel();
    ChatInput* input = chat->input();
    QVERIFY(!chat->sendButton()->isEnabled());

    // Shift+Enter breaks the line, Enter sends; the room's echo shows it.
    QTest::keyClicks(input, QStringLiteral("ab"));
    QTest::keyClick(input, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(input, QStringLiteral("cd"));
    QTest::keyClick(input, Qt::Key_Return);
    QCOMPARE(EngineDouble::chatsSent(m_engine.get()), QStringList(QStringLiteral("ab\ncd")));
    QVERIFY(input->toPlainText().isEmpty());
    QCOMPARE(chat->messageCount(), 1);
    QCOMPARE(chat->findChild<QLabel*>(QStringLiteral("chatMessageText"))->text(), QStringLiteral("ab\ncd"));
    // Blank text is not sent.
    QTest::keyClicks(input, QStringLiteral("   "));
    QTest::keyClick(input, Qt::Key_Enter);
    QCOMPARE(EngineDouble::chatsSent(m_engine.get()).size(), 1);
    input->clear();

    // 2,000 characters and no more, pasted or typed; the count shows near it.
    QMimeData paste;
    paste.setText(QString(2500, QLatin1Char('x')));
    input->insertFromMimeData(&paste);
    QCOMPARE(input->toPlainText().size(), 2000);
    QTest::keyClicks(input, QStringLiteral("yz"));
    QTest::keyClick(input, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(input->toPlainText(), QString(2000, QLatin1Char('x')));
    QCOMPARE(chat->findChild<QLabel*>(QStringLiteral("chatCount"))->text(), QStringLiteral("2000/2000"));
    chat->sendButton()->click();
    QCOMPARE(EngineDouble::chatsSent(m_engine.get()).last(), QString(2000, QLatin1Char('x')));
}

void MeetingWindowTest::onlyTheHostModeratesOthers()
{
    MeetingWindow* window = openWindow(true);
    QVERIFY(window);
    const Participant lisi = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四")));
    const Participant muted =
        EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("王五"), true));
    ParticipantsPanel* panel = window->participantsPanel();
    window->toolbar()->participantsButton()->click();
    QVERIFY(!panel->muteButton(EngineDouble::script().selfId));
    QVERIFY(!panel->removeButton(EngineDouble::script().selfId));
    QVERIFY(panel->muteAllButton()->isVisible());
    QVERIFY(!panel->muteButton(muted.id)->isEnabled()); // muted already
    // A long name is shortened so that the actions stay inside the panel.
    const Participant longName = EngineDouble::addParticipant(
        m_engine.get(), person(QStringLiteral("Olivia Chen-Montgomery")));
    QTRY_VERIFY(panel->removeButton(longName.id));
    for (const qint64 id : {lisi.id, longName.id})
        QVERIFY(panel->removeButton(id)->parentWidget()->minimumSizeHint().width() < panel->width());

    QSignalSpy mute(window, &MeetingWindow::muteRequested);
    QSignalSpy muteAll(window, &MeetingWindow::muteAllRequested);
    QSignalSpy removal(window, &MeetingWindow::removeRequested);
    panel->muteButton(lisi.id)->click();
    panel->muteAllButton()->click();
    QCOMPARE(mute.count(), 1);
    QCOMPARE(mute.front().front().toLongLong(), lisi.id);
    QCOMPARE(muteAll.count(), 1);

    // "移出会议" asks first.
    QStringList asked;
    bool answer = false;
    setPromptHook([&](const QString& text, const QString& confirm) {
        asked << text + QLatin1Char('|') + confirm;
        return answer;
    });
    panel->removeButton(lisi.id)->click();
    QCOMPARE(removal.count(), 0);
    answer = true;
    panel->removeButton(lisi.id)->click();
    setPromptHook({});
    const QString question = QStringLiteral("确定将“李四”移出会议吗？|移出会议");
    QCOMPARE(asked, QStringList({question, question}));
    QCOMPARE(removal.count(), 1);
    QCOMPARE(removal.front().front().toLongLong(), lisi.id);

    // Someone else's meeting: nothing to moderate.
    m_window.reset();
    m_engine.reset();
    window = openWindow(false);
    QVERIFY(window);
    const Participant other = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四")));
    window->toolbar()->participantsButton()->click();
    QVERIFY(!window->participantsPanel()->muteButton(other.id));
    QVERIFY(!window->participantsPanel()->removeButton(other.id));
    QVERIFY(!window->participantsPanel()->muteAllButton()->isVisible());
}

void MeetingWindowTest::hostMuteAndRemovalReachThisParticipant()
{
    MeetingWindow* window = openWindow(false);
    QVERIFY(window);
    QStringList notices;
    setPromptHook([&](const QString& text, const QString&) {
        notices << text;
        return true;
    });
    auto* mute = window->toolbar()->muteButton();
    EngineDouble::muteByHost(m_engine.get());
    QCOMPARE(notices, QStringList(QStringLiteral("主持人已将您静音")));
    QCOMPARE(mute->text(), QStringLiteral("解除静音"));
    // Unmuting is the user's own choice.
    mute->click();
    QVERIFY(!m_engine->audioMuted());

    QSignalSpy over(window, &MeetingWindow::over);
    EngineDouble::kick(m_engine.get());
    setPromptHook({});
    QCOMPARE(notices.last(), QStringLiteral("您已被主持人移出会议"));
    QCOMPARE(over.count(), 1);
    QCOMPARE(over.front().front().value<MeetingWindow::Outcome>(), MeetingWindow::Outcome::Removed);
    QVERIFY(!window->isVisible());
    QCOMPARE(EngineDouble::leaveCalls(m_engine.get()), 0);
}

void MeetingWindowTest::speakerViewFollowsTheLoudestAndPins()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    GalleryView* gallery = window->gallery();
    const Participant lisi = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四")));
    const Participant wangwu = EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("王五")));
    QVERIFY(!gallery->largeTile());
    QCOMPARE(window->viewButton()->text(), QStringLiteral("演讲者视图"));

    window->viewButton()->click();
    QCOMPARE(gallery->mode(), GalleryView::Mode::Speaker);
    QCOMPARE(window->viewButton()->text(), QStringLiteral("宫格视图"));
    // Before anyone speaks: the first of the others, not oneself.
    QCOMPARE(gallery->largeTile()->participantId(), lisi.id);
    for (VideoTile* tile : gallery->tiles()) {
        if (tile != gallery->largeTile())
            QVERIFY(tile->width() < gallery->largeTile()->width() / 2);
    }
    // The engine's levels, as they come four times a second.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            EngineDouble::setAudioLevel(m_engine.get(), lisi.id, -40);
            EngineDouble::setAudioLevel(m_engine.get(), wangwu.id, -15);
            return gallery->largeTile()->participantId() == wangwu.id;
        }(),
        3000);

    // Enter on a tile pins it; "取消固定" or Enter again lets the speaker back.
    VideoTile* lisiTile = gallery->tile(lisi.id);
    QTest::keyClick(lisiTile, Qt::Key_Return);
    QCOMPARE(gallery->pinned(), lisi.id);
    QCOMPARE(gallery->largeTile(), lisiTile);
    QCOMPARE(lisiTile->accessibleDescription(), QStringLiteral("已固定"));
    QVERIFY(gallery->unpinButton()->isVisible());
    QCOMPARE(gallery->unpinButton()->text(), QStringLiteral("取消固定"));
    gallery->unpinButton()->click();
    QCOMPARE(gallery->pinned(), 0);
    QCOMPARE(gallery->largeTile()->participantId(), wangwu.id);
    QCOMPARE(gallery->largeTile()->accessibleDescription(), QStringLiteral("当前演讲者"));
    QCOMPARE(lisiTile->accessibleDescription(), QString());
    QVERIFY(!gallery->unpinButton()->isVisible());

    // In the gallery a double-click pins large too, and unpinning goes back.
    window->viewButton()->click();
    QVERIFY(!gallery->largeTile());
    QTest::mouseDClick(lisiTile, Qt::LeftButton);
    QCOMPARE(gallery->largeTile(), lisiTile);
    QTest::keyClick(lisiTile, Qt::Key_Enter);
    QVERIFY(!gallery->largeTile());
    // A pinned participant who leaves is unpinned.
    gallery->pin(wangwu.id);
    EngineDouble::removeParticipant(m_engine.get(), wangwu.id);
    QCOMPARE(gallery->pinned(), 0);
    QVERIFY(!gallery->largeTile());
}

void MeetingWindowTest::fullScreenWithF11AndEscape()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy over(window, &MeetingWindow::over);
    QCOMPARE(window->fullScreenButton()->text(), QStringLiteral("全屏"));
    QTest::keyClick(window, Qt::Key_F11);
    QTRY_VERIFY(window->isFullScreen());
    QCOMPARE(window->fullScreenButton()->text(), QStringLiteral("退出全屏"));
    QCOMPARE(window->fullScreenButton()->accessibleName(), QStringLiteral("退出全屏"));
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!window->isFullScreen());
    QCOMPARE(window->fullScreenButton()->text(), QStringLiteral("全屏"));
    // Escape out of full screen, or in a window, never leaves the meeting.
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(window->isVisible());
    QCOMPARE(over.count(), 0);
    window->fullScreenButton()->click();
    QVERIFY(window->isFullScreen());
    QTest::keyClick(window, Qt::Key_F11);
    QTRY_VERIFY(!window->isFullScreen());
}

void MeetingWindowTest::shortcutsAndTabOrder()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    const Participant lisi =
        EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("李四"), true, false));
    const Participant wangwu =
        EngineDouble::addParticipant(m_engine.get(), person(QStringLiteral("王五"), false, true));
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy share(window->toolbar(), &MeetingToolbar::shareClicked);

    QTest::keyClick(window, Qt::Key_A, Qt::AltModifier);
    QVERIFY(m_engine->audioMuted());
    QCOMPARE(window->toolbar()->muteButton()->accessibleName(), QStringLiteral("解除静音"));
    QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
    QVERIFY(!m_engine->videoEnabled());
    QCOMPARE(window->toolbar()->videoButton()->accessibleName(), QStringLiteral("开启视频"));
    QTest::keyClick(window, Qt::Key_U, Qt::AltModifier);
    QVERIFY(window->findChild<ParticipantsPanel*>()->isVisible());
    setPromptHook([](const QString&, const QString&) { return false; });
    QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(share.count(), 1);
    // Whatever the share opened (its chooser) goes; the meeting comes back.
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != window && other->isVisible())
            other->close();
    }
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_H, Qt::AltModifier);
    QVERIFY(window->chatPanel()->isVisible());
    QVERIFY(window->toolbar()->chatButton()->isChecked());
    QCOMPARE(window->focusWidget(), window->chatPanel()->input());
    QTest::keyClick(window, Qt::Key_H, Qt::AltModifier);
    QVERIFY(!window->chatPanel()->isVisible());
    QCOMPARE(window->focusWidget(), window->toolbar()->chatButton());
    // The host's Alt+Q asks to end the meeting for everyone.
    QStringList asked;
    setPromptHook([&](const QString& text, const QString&) {
        asked << text;
        return false;
    });
    QTest::keyClick(window, Qt::Key_Q, Qt::AltModifier);
    setPromptHook({});
    QCOMPARE(asked, QStringList(QStringLiteral("结束会议后，所有参会者都将离开会议。")));
    QVERIFY(window->isVisible());

    // Tiles are named with their state for screen readers.
    QCOMPARE(window->gallery()->tile(lisi.id)->accessibleName(), QStringLiteral("李四，已静音"));
    QCOMPARE(window->gallery()->tile(wangwu.id)->accessibleName(), QStringLiteral("王五，视频已关闭"));

    // Tab: the header's buttons, the tiles in their order, the toolbar.
    QTest::keyClick(window, Qt::Key_U, Qt::AltModifier);
    QVERIFY(!window->findChild<ParticipantsPanel*>()->isVisible());
    window->viewButton()->setFocus(Qt::TabFocusReason);
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        order << QApplication::focusWidget()->accessibleName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"演讲者视图", "全屏", "张三，已静音，视频已关闭", "李四，已静音",
                                 "王五，视频已关闭", "解除静音", "开启视频"}));
    // A tile in focus wears a white ring inside its edge.
    VideoTile* lisiTile = window->gallery()->tile(lisi.id);
    auto ringShows = [lisiTile] { return near(lisiTile->grab().toImage().pixelColor(4, 60), Qt::white); };
    QVERIFY(!ringShows());
    lisiTile->setFocus(Qt::TabFocusReason);
    QVERIFY(ringShows());

    // Someone else's Alt+Q just leaves.
    m_window.reset();
    m_engine.reset();
    window = openWindow(false);
    QVERIFY(window);
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy over(window, &MeetingWindow::over);
    QTest::keyClick(window, Qt::Key_Q, Qt::AltModifier);
    QCOMPARE(over.count(), 1);
    QCOMPARE(over.front().front().value<MeetingWindow::Outcome>(), MeetingWindow::Outcome::Left);
}

void MeetingWindowTest::iconsAtOneAndTwiceTheSize()
{
    // Drawn at the size asked for, at 1x, 2x and in between: solid strokes
    // that grow with the picture, not a resampled blur of one size.
    const QIcon icon = meetingIcon(MeetingIcon::FullScreen);
    auto drawn = [&icon](int side) {
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                count += qAlpha(image.pixel(x, y)) > 200;
        }
        return std::make_pair(image.size(), count);
    };
    const auto [once, onceCount] = drawn(24);
    const auto [twice, twiceCount] = drawn(48);
    QCOMPARE(once, QSize(24, 24));
    QCOMPARE(twice, QSize(48, 48));
    QCOMPARE(drawn(36).first, QSize(36, 36));
    QVERIFY(onceCount > 0);
    // Twice as long and twice as thick: about four times the solid pixels.
    QVERIFY2(twiceCount > onceCount * 3 && twiceCount < onceCount * 11 / 2,
             qPrintable(QStringLiteral("%1 vs %2").arg(twiceCount).arg(onceCount)));
}

QTEST_MAIN(MeetingWindowTest)
#include "MeetingWindowTest.moc"
