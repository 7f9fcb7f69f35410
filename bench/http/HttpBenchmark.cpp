// Round trip of ListMeetings (50 meetings, loopback HTTPS) through the
// client and the libcurl stand-in, over a kept connection (warm) and over a
// new connection with a full TLS handshake each time (cold), beside the curl
// command-line tool fetching the same URL with the same CA. Prints the ratios
// of the medians: a warm request should be at least 3 times faster than a
// cold one, and a cold one no slower than one curl process per request.

#include "ErrorBox.h"
#include "HttpRequest.h"
#include "HttpsClient.h"
#include "ServiceProcess.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kMeetings = 50;
const char* const kZcode = "ZC10001";

std::string listUrl()
{
    return "https://127.0.0.1:" + std::to_string(BENCH_SERVICE_PORT) +
           "/v3/meeting/"
           "list?api_key=5D2E8A41C07B93F6E1A04C8B7D3F2619&api_secret=9B47E0C3A5D1286F4E0B7A93C6D85F12"
           "&page_size=50&page_number=1&zcode=" +
           kZcode;
}

void listMeetings(benchmark::State& state, bool cold)
{
    std::string answer;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            talvora::https::closeConnections();
            state.ResumeTiming();
        }
        if (!ListMeetings(kZcode, &answer)) {
            state.SkipWithError("ListMeetings failed");
            break;
        }
        benchmark::DoNotOptimize(answer.data());
    }
    state.counters["answer_bytes"] = static_cast<double>(answer.size());
}

void BM_ListMeetingsWarm(benchmark::State& state)
{
    listMeetings(state, false);
}

void BM_ListMeetingsCold(benchmark::State& state)
{
    listMeetings(state, true);
}

// The peer: one curl process per request, as a shell script would do it.
void BM_CurlProcess(benchmark::State& state)
{
    const std::string url = listUrl();
    const std::string ca = std::string(DEVSERVICE_CERT_DIR) + "/ca.pem";
    std::vector<const char*> args = {
        "curl", "-sS", "--fail-with-body",  "-o",        "/dev/null", "--cacert", ca.c_str(), "-X",
        "POST", "-H",  "Content-Length: 0", url.c_str(), nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(args.data()), environ) !=
            0) {
            state.SkipWithError("cannot start curl");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
}

// Every request is timed on its own (one iteration per repetition), so that
// the median is that of single requests: on a loaded machine it is steadier
// than the mean of a batch, and over a kept connection it is not mixed with
// the new connection the service asks for after every 20 requests.
BENCHMARK(BM_ListMeetingsWarm)
    ->Iterations(1)
    ->Repetitions(300)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListMeetingsCold)
    ->Iterations(1)
    ->Repetitions(300)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlProcess)
    ->Iterations(1)
    ->Repetitions(30)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Keeps the medians of each benchmark (real time, and the CPU time of the
// calling thread) while printing as usual.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    struct Median
    {
        double real = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.aggregate_name == "median")
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, Median> medians;
};

bool seedMeetings()
{
    talvora::setErrorBoxHook([](QWidget*, const QString&, const QString& text) {
        std::fprintf(stderr, "bench_http: %s\n", text.toUtf8().constData());
    });
    for (int i = 0; i < kMeetings; ++i) {
        std::string id;
        const std::string start = "2030-06-" + std::string(i % 28 < 9 ? "0" : "") +
                                  std::to_string(i % 28 + 1) + " " + std::to_string(8 + i % 10) + ":30:00";
        if (!CreateMeeting(kZcode, "基准会议 " + std::to_string(i + 1), i % 2 ? "true" : "false", start, "45",
                           &id))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);

    char pattern[] = "/tmp/bench-http-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    devservice_test::ServiceProcess service(DEVSERVICE_BINARY, directory + "/bench.db", DEVSERVICE_CERT_DIR,
                                            BENCH_SERVICE_PORT);
    std::string error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "bench_http: %s\n", error.c_str());
        return 1;
    }
    if (!seedMeetings()) {
        std::fprintf(stderr, "bench_http: could not book the %d meetings\n", kMeetings);
        return 1;
    }

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    service.stop();
    std::system(("rm -rf '" + directory + "'").c_str());

    const MedianReporter::Median warm = reporter.medians["BM_ListMeetingsWarm"];
    const MedianReporter::Median cold = reporter.medians["BM_ListMeetingsCold"];
    const double curl = reporter.medians["BM_CurlProcess"].real;
    if (warm.real > 0 && warm.cpu > 0 && cold.real > 0 && curl > 0) {
        std::printf("\nListMeetings (%d meetings), medians of single requests:\n"
                    "  warm connection %.3f ms, cold %.3f ms, cold/warm %.2f (target: at least 3.00)\n"
                    "  CPU of the client: warm %.3f ms, cold %.3f ms, cold/warm %.2f\n"
                    "  curl process %.3f ms, cold ListMeetings/curl %.2f (target: at most 1.00)\n",
                    kMeetings, warm.real, cold.real, cold.real / warm.real, warm.cpu, cold.cpu,
                    cold.cpu / warm.cpu, curl, cold.real / curl);
    }
    return 0;
}
