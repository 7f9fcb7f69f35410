// The microphone's branch at 48 kHz mono with and without the voice
// processor (echo cancellation against a far-end tone through its probe,
// noise suppression, gain control), in one run:
//   - CPU: 10 s of audio pushed through as fast as it goes; the counter
//     core_percent is the CPU time over the audio's duration, i.e. the
//     share of one core that one participant's processing takes in real
//     time.
//   - delay: the latency the live branch reports with the processor less
//     without it; and where tone bursts start after the processor against
//     where they start before it (sample-exact, median and worst).

#include <gst/gst.h>

#include "AudioProcessing.h"
#include "ToneBursts.h"

#include <QString>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

using talvora::media::AudioProcessing;

namespace {

constexpr int kSeconds = 10;
constexpr const char* kCaps = "audio/x-raw,format=S16LE,rate=48000,channels=1,layout=interleaved";

double processSeconds()
{
    timespec spent{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
    return double(spent.tv_sec) + double(spent.tv_nsec) / 1e9;
}

// far tone -> probe -> fakesink, and near (pink noise with the far tone's
// echo) -> [processor] -> fakesink, in one pipeline.
GstElement* makePipeline(bool processed, bool live, int serial)
{
    const QString probe = QStringLiteral("bench-probe-%1").arg(serial);
    const QString buffers = live ? QString() : QStringLiteral("num-buffers=%1").arg(kSeconds * 100);
    const QString description =
        QStringLiteral("audiotestsrc is-live=%1 freq=660 volume=0.1 samplesperbuffer=480 %2 ! %3 ! "
                       "webrtcechoprobe name=%4 ! fakesink sync=%1 "
                       "audiotestsrc is-live=%1 wave=pink-noise volume=0.05 samplesperbuffer=480 %2 ! %3 ! "
                       "identity name=near ! fakesink name=out sync=%1")
            .arg(live ? QStringLiteral("true") : QStringLiteral("false"), buffers, QLatin1String(kCaps),
                 probe);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    g_clear_error(&error);
    if (!pipeline || !processed)
        return pipeline;
    GstElement* near = gst_bin_get_by_name(GST_BIN(pipeline), "near");
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    GstElement* dsp = talvora::media::createVoiceProcessor(AudioProcessing{}, probe.toUtf8().constData());
    gst_element_unlink(near, out);
    gst_bin_add(GST_BIN(pipeline), dsp);
    gst_element_link_many(near, dsp, out, nullptr);
    gst_object_unref(near);
    gst_object_unref(out);
    return pipeline;
}

void runToEnd(GstElement* pipeline)
{
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    // Both branches end; the first EOS is enough (the pipeline posts one
    // when every sink has it).
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
}

void BM_MicrophoneBranch(benchmark::State& state)
{
    const bool processed = state.range(0) != 0;
    static int serial = 0;
    double cpu = 0;
    for (auto _ : state) {
        GstElement* pipeline = makePipeline(processed, false, ++serial);
        const double before = processSeconds();
        runToEnd(pipeline);
        cpu += processSeconds() - before;
        gst_object_unref(pipeline);
    }
    state.counters["core_percent"] = 100.0 * cpu / (double(state.iterations()) * kSeconds);
    state.SetLabel(processed ? "with webrtcdsp" : "without");
}
BENCHMARK(BM_MicrophoneBranch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AddedDelay(benchmark::State& state)
{
    static int serial = 1000;
    double added = 0;
    for (auto _ : state) {
        GstClockTime latency[2] = {0, 0};
        for (int processed = 0; processed < 2; ++processed) {
            GstElement* pipeline = makePipeline(processed, true, ++serial);
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
            gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND);
            g_usleep(300000);
            GstQuery* query = gst_query_new_latency();
            if (gst_element_query(pipeline, query))
                gst_query_parse_latency(query, nullptr, &latency[processed], nullptr);
            gst_query_unref(query);
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
        added = double(GST_CLOCK_DIFF(latency[0], latency[1])) / GST_MSECOND;
    }
    state.counters["added_delay_ms"] = added;
}
BENCHMARK(BM_AddedDelay)->Iterations(1)->Unit(benchmark::kMillisecond);

// Where sound starts after a lull, in samples counted on a pad.
struct Onsets
{
    qint64 samples = 0;
    qint64 lastLoud = -48000;
    std::vector<qint64> at;

    static GstPadProbeReturn count(GstPad*, GstPadProbeInfo* info, gpointer self)
    {
        auto* onsets = static_cast<Onsets*>(self);
        GstMapInfo map;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ))
            return GST_PAD_PROBE_OK;
        const auto* samples = reinterpret_cast<const gint16*>(map.data);
        for (gsize i = 0; i < map.size / 2; ++i, ++onsets->samples) {
            if (std::abs(int(samples[i])) < 1036) // -30 dBFS
                continue;
            if (onsets->samples - onsets->lastLoud > 48000 * 3 / 10)
                onsets->at.push_back(onsets->samples);
            onsets->lastLoud = onsets->samples;
        }
        gst_buffer_unmap(buffer, &map);
        return GST_PAD_PROBE_OK;
    }
};

// The delay the processor itself adds, sample-exact: a tone in 200 ms
// bursts (on the system clock, as meeting-participant --tone-bursts sends)
// through webrtcdsp as a meeting sets it up by default (and with echo
// cancellation only, and with nothing but the high-pass filter), with a
// far-end tone on its probe; each burst's start is found before and after the
// processor. As fast as it goes, so the machine's load does not enter.
void BM_AddedDelayAtOnsets(benchmark::State& state)
{
    static int serial = 2000;
    std::vector<double> delays;
    for (auto _ : state) {
        const QString probe = QStringLiteral("bench-probe-%1").arg(++serial);
        const QString description =
            QStringLiteral("audiotestsrc freq=440 volume=0.1 samplesperbuffer=960 num-buffers=%1 ! %2 ! "
                           "webrtcechoprobe name=%3 ! fakesink "
                           "audiotestsrc name=near freq=660 volume=0.1 samplesperbuffer=960 num-buffers=%1 ! "
                           "%2 ! identity name=before ! identity name=after ! fakesink")
                .arg(kSeconds * 50)
                .arg(QLatin1String(kCaps), probe);
        GError* error = nullptr;
        GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
        g_clear_error(&error);
        if (!pipeline) {
            state.SkipWithError("no pipeline");
            return;
        }
        GstElement* near = gst_bin_get_by_name(GST_BIN(pipeline), "near");
        GstElement* before = gst_bin_get_by_name(GST_BIN(pipeline), "before");
        GstElement* after = gst_bin_get_by_name(GST_BIN(pipeline), "after");
        talvora::media::cutIntoBursts(near);
        AudioProcessing processing; // 0: as a meeting sets it up by default
        if (state.range(0) >= 1) {   // 1: echo cancellation only; 2: nothing but the high-pass filter
            processing.noiseSuppression = talvora::media::NoiseSuppression::Off;
            processing.autoGain = false;
            processing.echoCancellation = state.range(0) == 1;
        }
        GstElement* dsp = talvora::media::createVoiceProcessor(processing, probe.toUtf8().constData());
        gst_element_unlink(before, after);
        gst_bin_add(GST_BIN(pipeline), dsp);
        gst_element_link_many(before, dsp, after, nullptr);
        Onsets in, out;
        GstPad* inPad = gst_element_get_static_pad(before, "src");
        GstPad* outPad = gst_element_get_static_pad(after, "src");
        gst_pad_add_probe(inPad, GST_PAD_PROBE_TYPE_BUFFER, &Onsets::count, &in, nullptr);
        gst_pad_add_probe(outPad, GST_PAD_PROBE_TYPE_BUFFER, &Onsets::count, &out, nullptr);
        gst_object_unref(inPad);
        gst_object_unref(outPad);
        for (GstElement* element : {near, before, after})
            gst_object_unref(element);
        runToEnd(pipeline);
        gst_object_unref(pipeline);
        // Each burst's start after the processor, against the same burst's
        // before it (one a burst missed after it would pair wrongly: none
        // further than half a burst).
        for (qint64 start : in.at) {
            const auto found = std::lower_bound(out.at.begin(), out.at.end(), start);
            if (found != out.at.end() && *found - start < 4800)
                delays.push_back(double(*found - start) / 48.0);
        }
    }
    std::sort(delays.begin(), delays.end());
    state.counters["bursts"] = double(delays.size());
    state.counters["median_ms"] = delays.empty() ? -1 : delays[delays.size() / 2];
    state.counters["worst_ms"] = delays.empty() ? -1 : delays.back();
}
BENCHMARK(BM_AddedDelayAtOnsets)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    gst_init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
