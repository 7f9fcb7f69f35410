// The meeting window with nine participants whose cameras send 320 x 180,
// offscreen, on the engine's double: what the GUI thread spends on a new
// frame from everyone.
//
// BM_NineTilesNewFrames: each iteration hands every tile a new frame, as
// the engine does, and lets the window repaint. Its time is the whole GUI
// thread's work for that (frame hand-over, the tiles' painting, the flush
// of the window); the counters "paint_ms" and "paint_ms_per_tile" are the
// tiles' paint events alone, timed with QElapsedTimer around each.
// Argument 0 is the gallery (nine tiles of 320 x 180), 1 the speaker view
// (one frame scaled up large, eight in the strip).

#include "GalleryView.h"
#include "MeetingEngineDouble.h"
#include "MeetingWindow.h"
#include "VideoTile.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <memory>
#include <vector>

namespace {

using talvora::media::EngineDouble;
using talvora::media::MeetingEngine;
using talvora::media::Participant;

constexpr int kTiles = 9;
constexpr int kFramesEach = 8;
const QSize kFrameSize(320, 180);

// Times the paint events of the widgets it watches, by delivering them
// itself between the timer's reads.
class PaintTimer : public QObject
{
public:
    qint64 nanoseconds = 0;
    int paints = 0;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        QElapsedTimer timer;
        timer.start();
        // QObject::event is public: the widget paints as it would have.
        static_cast<QObject*>(watched)->event(event);
        nanoseconds += timer.nsecsElapsed();
        ++paints;
        return true;
    }
};

void BM_NineTilesNewFrames(benchmark::State& state)
{
    talvora::media::Admission admission;
    admission.number = QStringLiteral("85012345678");
    admission.displayName = QStringLiteral("张三");
    MeetingEngine engine(admission, talvora::media::MediaOptions());
    Participant self;
    self.displayName = admission.displayName;
    talvora::zhumu::MeetingWindow window(admission.number, self, &engine);
    // Three columns of 320 x 180 in the gallery.
    window.resize(1000, 800);
    window.show();
    window.setSpeakerView(state.range(0) == 1);
    EngineDouble::join(&engine);
    std::vector<qint64> ids{EngineDouble::script().selfId};
    for (int i = 1; i < kTiles; ++i) {
        Participant guest;
        guest.displayName = QStringLiteral("来宾%1").arg(i);
        ids.push_back(EngineDouble::addParticipant(&engine, guest).id);
    }
    std::vector<std::vector<QImage>> frames(kTiles);
    for (int t = 0; t < kTiles; ++t) {
        for (int f = 0; f < kFramesEach; ++f)
            frames[t].push_back(EngineDouble::testFrame(kFrameSize, QColor::fromHsv(t * 40, 160, 220), f));
    }
    for (int t = 0; t < kTiles; ++t)
        EngineDouble::pushFrame(&engine, ids[t], frames[t][0]);
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();

    PaintTimer paintTimer;
    const auto tiles = window.gallery()->tiles();
    for (talvora::zhumu::VideoTile* tile : tiles)
        tile->installEventFilter(&paintTimer);
    // A gallery tile, or the large one of the speaker view.
    const QSize tileSize =
        state.range(0) == 1 ? window.gallery()->largeTile()->size() : tiles.front()->size();

    int round = 1;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (int t = 0; t < kTiles; ++t)
            EngineDouble::pushFrame(&engine, ids[t], frames[t][round % kFramesEach]);
        QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QApplication::processEvents();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        ++round;
    }
    const double iterations = double(state.iterations());
    state.counters["paint_ms"] = double(paintTimer.nanoseconds) / 1e6 / iterations;
    state.counters["paint_ms_per_tile"] =
        double(paintTimer.nanoseconds) / 1e6 / std::max(1, paintTimer.paints);
    state.counters["tiles_painted"] = double(paintTimer.paints) / iterations;
    state.counters["tile_w"] = tileSize.width();
    state.counters["tile_h"] = tileSize.height();
    window.hide();
}
BENCHMARK(BM_NineTilesNewFrames)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
