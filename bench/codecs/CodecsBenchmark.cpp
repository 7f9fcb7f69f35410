// The record binding against the bare cJSON parse it builds on, and the
// password path of the sign-in (Base64, then AES-128-CBC).
//
// After the runs, prints how many times the bare parse ParseJsonText costs;
// the binding is meant to stay within 2x.
#include "Config.h"
#include "MeetingJson.h"
#include "crypto/AESCipher.h"
#include "crypto/Base64.h"
#include "protocol/ParseJsonText.h"
#include "protocol/Ss.h"

#include <benchmark/benchmark.h>
#include <cJSON.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const std::string& answer()
{
    static const std::string text = talvora_test::listAnswer(50);
    return text;
}

void BM_BareCjsonParse(benchmark::State& state)
{
    for (auto _ : state) {
        cJSON* root = cJSON_Parse(answer().c_str());
        benchmark::DoNotOptimize(root);
        cJSON_Delete(root);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer().size()));
}
BENCHMARK(BM_BareCjsonParse);

void BM_ParseJsonTextList(benchmark::State& state)
{
    for (auto _ : state) {
        auto page = std::make_shared<protocol::Ss>();
        const bool ok = protocol::ParseJsonText(page, answer());
        benchmark::DoNotOptimize(ok);
        if (!ok || page->meetings.size() != 50)
            state.SkipWithError("the list answer did not parse");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer().size()));
}
BENCHMARK(BM_ParseJsonTextList);

// demo2's password "LiSi-Password-16" with its full PKCS#7 block, under the
// key piece and the token's last eight characters.
void BM_PasswordBase64CbcDecrypt(benchmark::State& state)
{
    const std::string encoded = "Q2BwjRBs53iDJoPckfl/TNOz5B373NzsgKSS9AB1Gp4=";
    const std::string key = std::string(talvora::config::kKeyPiece) + "e5f6g7h8";
    for (auto _ : state) {
        unsigned char cipherText[48];
        const int cipherLength =
            base64_decode(encoded.data(), static_cast<int>(encoded.size()), cipherText, sizeof cipherText);
        AESCipher cipher;
        cipher.setKey(reinterpret_cast<const unsigned char*>(key.data()));
        cipher.setMode(AESCipher::CBC);
        cipher.setIV(talvora::config::kAesIv);
        unsigned char plain[48];
        const int plainLength = cipher.decrypt(cipherText, cipherLength, plain);
        benchmark::DoNotOptimize(plain);
        if (cipherLength != 32 || plainLength != 32 || plain[16] != 16)
            state.SkipWithError("the password did not decrypt");
    }
}
BENCHMARK(BM_PasswordBase64CbcDecrypt);

// Averages the CPU time per iteration of each benchmark over its repetitions
// (or takes the mean aggregate when only aggregates are reported) for the
// closing ratio. CPU time, because the wall clock of a shared machine says more
// about its other users.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal, so that saved output stays plain text.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool counts = run.run_type == Run::RT_Iteration || run.aggregate_name == "mean";
            if (counts && run.iterations > 0 && !run.error_occurred) {
                Sum& sum = m_cpuNanoseconds[run.run_name.function_name];
                sum.total += run.GetAdjustedCPUTime();
                ++sum.count;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatio() const
    {
        const double floor = mean("BM_BareCjsonParse");
        const double binding = mean("BM_ParseJsonTextList");
        if (floor <= 0 || binding <= 0)
            return;
        const double ratio = binding / floor;
        std::printf("ParseJsonText / bare cJSON parse (CPU time): %.2fx (target <= 2x)%s\n", ratio,
                    ratio <= 2.0 ? "" : "  ABOVE TARGET");
    }

private:
    struct Sum
    {
        double total = 0;
        int count = 0;
    };

    double mean(const std::string& name) const
    {
        const auto found = m_cpuNanoseconds.find(name);
        return found == m_cpuNanoseconds.end() ? 0 : found->second.total / found->second.count;
    }

    std::map<std::string, Sum> m_cpuNanoseconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    return 0;
}
