// Screen sharing in the meeting window on the engine's double: the share
// layout's arithmetic, the chooser over a fake desktop, the sharer's bar,
// another's share shown large, and the texts that refuse a share.

#include "GalleryView.h"
#include "MeetingEngineDouble.h"
#include "MeetingPrompts.h"
#include "MeetingShare.h"
#include "MeetingToolbar.h"
#include "MeetingWindow.h"
#include "ShareChooser.h"
#include "ShareLayout.h"
#include "VideoTile.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace talvora::zhumu;
using talvora::media::EngineDouble;
using talvora::media::MeetingEngine;
using talvora::media::Participant;

namespace {

class FakeDesktop : public ShareSources
{
public:
    QVector<ShareCandidate> screens() override
    {
        ShareCandidate first{QStringLiteral("屏幕 1"), EngineDouble::testFrame({320, 180}, Qt::red), {}};
        first.source.area = QRect(0, 0, 1920, 1080);
        ShareCandidate second{QStringLiteral("屏幕 2"), EngineDouble::testFrame({320, 180}, Qt::blue), {}};
        second.source.area = QRect(1920, 0, 2560, 1440);
        return {first, second};
    }
    QVector<ShareCandidate> windows() override
    {
        ShareCandidate editor{QStringLiteral("报告.txt - 编辑器"), {}, {}};
        editor.source.window = 0x1200007;
        ShareCandidate browser{QStringLiteral("浏览器"), {}, {}};
        browser.source.window = 0x1400003;
        return {editor, browser};
    }
};

} // namespace

class ShareWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void arrangement_data();
    void arrangement();
    void chooserListsScreensAndWindowsThenTheBarStops();
    void anothersShareShowsLargeAndRefusesASecond();
    void waylandSaysItCannotShare();

private:
    MeetingWindow* openWindow();

    FakeDesktop m_desktop;
    QTemporaryDir m_config; // the SDK's settings file
    QStringList m_notices;
    std::unique_ptr<MeetingEngine> m_engine;
    std::unique_ptr<MeetingWindow> m_window;
};

void ShareWindowTest::init()
{
    MeetingShare::setSourcesForTesting(&m_desktop);
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    QFile::remove(m_config.filePath(QStringLiteral("Talvora/zhumusdk.ini")));
    m_notices.clear();
    setPromptHook([this](const QString& text, const QString&) {
        m_notices << text;
        return true;
    });
}

void ShareWindowTest::cleanup()
{
    m_window.reset();
    m_engine.reset();
    EngineDouble::reset();
    MeetingShare::setSourcesForTesting(nullptr);
    setPromptHook({});
}

MeetingWindow* ShareWindowTest::openWindow()
{
    talvora::media::Admission admission;
    admission.number = QStringLiteral("85000000002");
    admission.displayName = QStringLiteral("张三");
    m_engine = std::make_unique<MeetingEngine>(admission, talvora::media::MediaOptions());
    Participant self;
    self.displayName = admission.displayName;
    m_window = std::make_unique<MeetingWindow>(admission.number, self, m_engine.get());
    m_window->resize(1120, 700);
    m_window->show();
    m_engine->start();
    return QTest::qWaitFor([this] { return m_window->isJoined(); }) ? m_window.get() : nullptr;
}

void ShareWindowTest::arrangement_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("people");
    QTest::addColumn<QRect>("share");
    QTest::addColumn<int>("stripTiles");
    QTest::addColumn<QRect>("firstTile");

    // A fifth of 1000 is 200 wide, 112 high: five fit in 600 with 8 between.
    QTest::newRow("three beside") << QSize(1000, 600) << 3 << QRect(0, 0, 792, 600) << 3
                                  << QRect(800, 0, 200, 112);
    QTest::newRow("more than fit") << QSize(1000, 600) << 9 << QRect(0, 0, 792, 600) << 5
                                   << QRect(800, 0, 200, 112);
    QTest::newRow("strip at its widest")
        << QSize(2000, 1000) << 2 << QRect(0, 0, 1672, 1000) << 2 << QRect(1680, 0, 320, 180);
    QTest::newRow("nobody else") << QSize(1000, 600) << 0 << QRect(0, 0, 1000, 600) << 0 << QRect();
    QTest::newRow("too narrow for a strip") << QSize(300, 600) << 2 << QRect(0, 0, 300, 600) << 0 << QRect();
}

void ShareWindowTest::arrangement()
{
    QFETCH(QSize, area);
    QFETCH(int, people);
    QFETCH(QRect, share);
    QFETCH(int, stripTiles);
    QFETCH(QRect, firstTile);
    const ShareArrangement cells = shareArrangement(area, people, 8);
    QCOMPARE(cells.share, share);
    QCOMPARE(cells.strip.size(), stripTiles);
    if (stripTiles > 0) {
        QCOMPARE(cells.strip.first(), firstTile);
        QVERIFY(QRect(QPoint(0, 0), area).contains(cells.strip.last()));
        QVERIFY(!cells.strip.last().intersects(cells.share));
    }
}

void ShareWindowTest::chooserListsScreensAndWindowsThenTheBarStops()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    auto* toolbar = window->findChild<MeetingToolbar*>();
    QToolButton* button = toolbar->shareButton();
    QCOMPARE(button->text(), QStringLiteral("共享屏幕"));
    button->click();
    ShareChooser* chooser = window->share()->chooser();
    QVERIFY(chooser);
    QTRY_VERIFY(chooser->isVisible());
    QCOMPARE(chooser->windowTitle(), QStringLiteral("共享屏幕"));
    QStringList titles;
    for (int i = 0; i < chooser->list()->count(); ++i)
        titles << chooser->list()->item(i)->text();
    QCOMPARE(titles, (QStringList{QStringLiteral("屏幕 1"), QStringLiteral("屏幕 2"),
                                  QStringLiteral("报告.txt - 编辑器"), QStringLiteral("浏览器")}));
    QVERIFY(!chooser->list()->item(0)->icon().isNull());

    // A frame rate kept in the settings file, taken as the share starts.
    QSettings(m_config.filePath(QStringLiteral("Talvora/zhumusdk.ini")), QSettings::IniFormat)
        .setValue(QStringLiteral("share/fps"), 5);
    // Chosen from the keyboard: Return on the list shares once.
    chooser->list()->setCurrentRow(2);
    QTest::keyClick(chooser->list(), Qt::Key_Return);
    const QVector<talvora::media::ShareSource> asked = EngineDouble::shareRequests(m_engine.get());
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].window, quint64(0x1200007));
    QCOMPARE(asked[0].fps, 5);

    QWidget* bar = window->share()->bar();
    QTRY_VERIFY(bar->isVisible());
    QVERIFY(bar->findChild<QLabel*>()->text() == QStringLiteral("您正在共享屏幕"));
    QVERIFY(button->isChecked());
    QVERIFY(bar->geometry().top() == 0 && bar->height() < 48);
    QCOMPARE(window->share()->stopButton()->text(), QStringLiteral("停止共享"));
    window->share()->stopButton()->click();
    QVERIFY(!m_engine->isSharing());
    QVERIFY(!bar->isVisible());
    QVERIFY(!button->isChecked());
    QVERIFY(m_notices.isEmpty());
}

void ShareWindowTest::anothersShareShowsLargeAndRefusesASecond()
{
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    // The share may come before its owner, in one answer.
    Participant lisi;
    lisi.id = 7007;
    lisi.displayName = QStringLiteral("李四");
    EngineDouble::startRemoteShare(m_engine.get(), lisi.id);
    EngineDouble::addParticipant(m_engine.get(), lisi);
    auto* gallery = window->findChild<GalleryView*>();
    QTRY_COMPARE(gallery->tiles().size(), 2);
    VideoTile* stage = window->share()->stage();
    QVERIFY(stage && gallery->stage() == stage && stage->isVisible());
    QVERIFY(stage->accessibleName().startsWith(QStringLiteral("李四")));
    EngineDouble::pushShareFrame(m_engine.get(), EngineDouble::testFrame({1920, 1080}, Qt::darkCyan));
    QVERIFY(stage->showsVideo());
    for (VideoTile* tile : gallery->tiles()) {
        QVERIFY(tile->isVisible());
        QVERIFY(tile->width() <= 320 && tile->x() > stage->geometry().right());
    }
    QVERIFY(stage->width() > 3 * gallery->tiles().first()->width());

    window->startShareFlow();
    QCOMPARE(m_notices, QStringList{QStringLiteral("李四 正在共享，请稍后再试")});
    QVERIFY(!window->share()->chooser());
    QVERIFY(EngineDouble::shareRequests(m_engine.get()).isEmpty());

    EngineDouble::stopRemoteShare(m_engine.get());
    QVERIFY(!gallery->stage() && !window->share()->stage());
    QVERIFY(gallery->tiles().first()->width() > 320);
}

void ShareWindowTest::waylandSaysItCannotShare()
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray session = qgetenv("XDG_SESSION_TYPE");
    qunsetenv("DISPLAY");
    qputenv("XDG_SESSION_TYPE", "wayland");
    MeetingWindow* window = openWindow();
    QVERIFY(window);
    window->startShareFlow();
    qputenv("XDG_SESSION_TYPE", session);
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
    QCOMPARE(m_notices, QStringList{QStringLiteral("当前桌面不支持屏幕共享")});
    QVERIFY(!window->share()->chooser());
}

QTEST_MAIN(ShareWindowTest)
#include "ShareWindowTest.moc"
