// The connectivity watcher with an injected address source: the network
// error page, the way back to the create page, the hand-over to the GUI
// thread, one watcher per window, and the teardown that waits for it.

#include "SessionHarness.h"

#include "CreateConference.h"
#include "ZhumuSdkDouble.h"

#include <QStackedWidget>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Marks the end of the thread it was first touched on.
struct ExitMark
{
    ~ExitMark() { zhumu_double::recordCall("watcher.exit"); }
};

// What the watcher sees, switchable from the test.
struct FakeNetwork
{
    std::atomic<bool> online{true};
    std::atomic<int> polls{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;

    Talvora::AddressSource source()
    {
        return [this](std::string& address) {
            thread_local ExitMark mark;
            static_cast<void>(&mark);
            {
                std::lock_guard<std::mutex> lock(mutex);
                threads.insert(std::this_thread::get_id());
            }
            ++polls;
            if (!online) {
                return -1;
            }
            address = "192.0.2.10";
            return 0;
        };
    }

    size_t threadCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return threads.size();
    }
};

// A signed-in window whose watcher asks network; null when the sign-in failed.
std::unique_ptr<Talvora> watchedWindow(SessionHarness& harness, FakeNetwork& network)
{
    auto window = harness.makeWindow();
    window->setAddressSource(network.source());
    if (!SessionHarness::signIn(*window)) {
        return nullptr;
    }
    return window;
}

QStackedWidget* createPaneStack(Talvora& window)
{
    return window.m_pCreateConference->m_pStackedWidget;
}

} // namespace

class WatcherTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lostAddressShowsNetworkErrorPage();
    void addressBackShowsCreatePage();
    void addressWhileElsewhereChangesNothing();
    void findingsReachTheGuiThread();
    void secondLoginKeepsOneWatcher();
    void closingWaitsForSleepingWatcher();
};

void WatcherTest::initTestCase()
{
    Q_INIT_RESOURCE(Talvora);
}

void WatcherTest::lostAddressShowsNetworkErrorPage()
{
    SessionHarness harness;
    FakeNetwork network; // outlives the window and its watcher
    auto window = harness.makeWindow();
    network.online = false;
    window->setAddressSource(network.source());
    QVERIFY(SessionHarness::signIn(*window));

    QTRY_COMPARE_WITH_TIMEOUT(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNetError), 1500);
    QVERIFY(harness.errorBoxes.empty());
}

void WatcherTest::addressBackShowsCreatePage()
{
    SessionHarness harness;
    FakeNetwork network; // outlives the window and its watcher
    auto window = watchedWindow(harness, network);
    QVERIFY(window);

    // The booking tab was the create page's last pane and the join page is
    // current: the way back still lands on the instant tab.
    window->onChooseCreateMeet();
    createPaneStack(*window)->setCurrentIndex(1);
    window->onChooseJoinMeet();

    network.online = false;
    QTRY_COMPARE_WITH_TIMEOUT(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNetError), 2500);
    network.online = true;
    QTRY_COMPARE_WITH_TIMEOUT(window->m_pStackedWidget->currentIndex(), int(Talvora::PageCreate), 2500);
    QCOMPARE(createPaneStack(*window)->currentIndex(), 0);
}

void WatcherTest::addressWhileElsewhereChangesNothing()
{
    SessionHarness harness;
    FakeNetwork network; // outlives the window and its watcher
    auto window = watchedWindow(harness, network);
    QVERIFY(window);
    window->onChooseJoinMeet();

    const int pollsBefore = network.polls;
    QTRY_VERIFY_WITH_TIMEOUT(network.polls >= pollsBefore + 2, 3000);
    QCoreApplication::processEvents();
    QCOMPARE(window->m_pStackedWidget->currentIndex(), int(Talvora::PageJoin));
}

void WatcherTest::findingsReachTheGuiThread()
{
    SessionHarness harness;
    FakeNetwork network; // outlives the window and its watcher
    auto window = harness.makeWindow();
    network.online = false;
    window->setAddressSource(network.source());

    std::vector<bool> onGuiThread;
    connect(
        window->m_pStackedWidget, &QStackedWidget::currentChanged, this,
        [&onGuiThread] { onGuiThread.push_back(QThread::currentThread() == qApp->thread()); },
        Qt::DirectConnection);
    QVERIFY(SessionHarness::signIn(*window));
    QTRY_COMPARE_WITH_TIMEOUT(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNetError), 1500);
    network.online = true;
    QTRY_COMPARE_WITH_TIMEOUT(window->m_pStackedWidget->currentIndex(), int(Talvora::PageCreate), 2500);

    QVERIFY(onGuiThread.size() >= 2);
    for (bool onGui : onGuiThread) {
        QVERIFY(onGui);
    }
}

void WatcherTest::secondLoginKeepsOneWatcher()
{
    SessionHarness harness;
    FakeNetwork network; // outlives the window and its watcher
    auto window = watchedWindow(harness, network);
    QVERIFY(window);
    QVERIFY(SessionHarness::logIn());
    QTRY_VERIFY_WITH_TIMEOUT(network.polls >= 2, 3000);
    QCOMPARE(network.threadCount(), size_t(1));

    const int pollsBefore = network.polls;
    QTest::qWait(1200);
    // One watcher polls about once a second; two would poll twice as often.
    QVERIFY(network.polls - pollsBefore <= 2);

    window.reset();
    const auto calls = zhumu_double::calls();
    QCOMPARE(std::count(calls.begin(), calls.end(), "watcher.exit"), 1L);
}

void WatcherTest::closingWaitsForSleepingWatcher()
{
    SessionHarness harness;
    FakeNetwork network; // outlives the window and its watcher
    auto window = watchedWindow(harness, network);
    QVERIFY(window);
    QTRY_VERIFY(network.polls >= 1);
    // The watcher is now in its one-second sleep.
    QTest::qWait(100);

    window.reset();

    const auto calls = zhumu_double::calls();
    const auto exit = std::find(calls.begin(), calls.end(), "watcher.exit");
    const auto firstDestroy = std::find(calls.begin(), calls.end(), "Zhumu_DestroyMeetingService");
    QVERIFY(exit != calls.end());
    QVERIFY(firstDestroy != calls.end());
    QVERIFY(exit < firstDestroy);

    const int pollsAfterClose = network.polls;
    QTest::qWait(1200);
    QCOMPARE(network.polls.load(), pollsAfterClose);
}

QTEST_MAIN(WatcherTest)
#include "WatcherTest.moc"
