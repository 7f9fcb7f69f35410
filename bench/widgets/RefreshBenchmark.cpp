// "我的会议" in the main window with 50 meetings, offscreen, with the shipped
// style sheet: the list answer comes from the KelpNetUtils double, so what is
// timed is the client's own work (parse, build the cards and dots, place page
// 1).
//
// BM_RssGrowthOver1000Refreshes reports how much the resident size grows
// over 1000 refreshes after 100 to warm up: it should stay flat.
//
// BM_StallDuringHeldRefresh holds the answer back for 1 s and reports the
// longest gap between the ticks of a 1 ms GUI-thread timer during the whole
// refresh: with the exchange off the GUI thread, what remains is the work
// after the answer.

#include "ErrorBox.h"
#include "KelpNetUtilsDouble.h"
#include "MeetingJson.h"
#include "Talvora.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kMeetings = 50;

const std::string& answer()
{
    static const std::string text = talvora_test::listAnswer(kMeetings);
    return text;
}

// The main window as after its first query, shown offscreen.
std::unique_ptr<Talvora> makeWindow()
{
    kelp_double::reset();
    kelp_double::queueAnswer(answer());
    auto window = std::make_unique<Talvora>("zhangsan", "ZC10001");
    window->setEnabled(true);
    window->show();
    QApplication::processEvents();
    return window;
}

void BM_Refresh50(benchmark::State& state)
{
    auto window = makeWindow();
    for (auto _ : state) {
        kelp_double::queueAnswer(answer());
        window->onChooseMyMeet();
        // Polishing and layout happen on the way back to the event loop.
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Refresh50)->Unit(benchmark::kMillisecond);

// Resident set in KiB, from /proc/self/status.
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

void BM_RssGrowthOver1000Refreshes(benchmark::State& state)
{
    auto window = makeWindow();
    const auto refresh = [&window] {
        // The double records every exchange; that record is not the client's.
        kelp_double::reset();
        kelp_double::queueAnswer(answer());
        window->onChooseMyMeet();
        QApplication::processEvents();
        // Refreshes alternate with the second page, as a user's clicks would.
        window->onCBtnClickSlots(2);
    };
    long growth = 0;
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i)
            refresh();
        const long before = residentKiB();
        for (int i = 0; i < 1000; ++i)
            refresh();
        growth = residentKiB() - before;
    }
    state.counters["rss_growth_kib"] = static_cast<double>(growth);
}
BENCHMARK(BM_RssGrowthOver1000Refreshes)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StallDuringHeldRefresh(benchmark::State& state)
{
    auto window = makeWindow();
    kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(1000));
    qint64 longest = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 lastTick = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        });
        kelp_double::queueAnswer(answer());
        clock.start();
        ticker.start();
        window->onChooseMyMeet();
        QApplication::processEvents();
        longest = std::max(longest, clock.elapsed() - lastTick);
    }
    state.counters["longest_stall_ms"] = static_cast<double>(longest);
}
BENCHMARK(BM_StallDuringHeldRefresh)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(Talvora);
    QFile styleSheet(QStringLiteral(":/Talvora/Resources/Talvora.qss"));
    if (styleSheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    talvora::setErrorBoxHook([](QWidget*, const QString&, const QString&) {});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
