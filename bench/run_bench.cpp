// bench/run_bench.cpp: times whole sampler runs (parameter file to appended report) on planted-motif inputs.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/planted_motif.h"
#include "model/parameter_text.h"
#include "model/run_state.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for one benchmark's input, parameter and report files.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device device;
        for (;;) {
            m_path = fs::temp_directory_path() / ("kalvo-bench-" + std::to_string(device()));
            if (fs::create_directory(m_path))
                break;
        }
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const fs::path file = m_path / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

constexpr int kSequenceLength = 200;
constexpr int kWidth = 12;
constexpr int kIterations = 200;
constexpr std::uint32_t kInputSeed = 20240601;
constexpr std::uint32_t kRunSeed = 12345;

// One whole run per benchmark iteration: correlated model on ("-c 2", "-m 3"), both strands.
void BM_WholeRun(benchmark::State& state)
{
    const int numSeqs = static_cast<int>(state.range(0));
    ScratchFolder folder;
    const auto set = kalvo::bench::MakePlantedMotifSet(numSeqs, kSequenceLength, "GATTACCGTGCA", 2, kInputSeed);
    const std::string fasta = folder.Write("planted.fa", set.fasta);
    const std::string report = folder.File("report.txt");
    const std::string params = folder.Write(
        "planted.params", kalvo::ParameterFileText(kalvo::CorrelatedRunValues(fasta, report, kWidth, kIterations)));

    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(report);  // every run appends to the same size of file
        state.ResumeTiming();
        kalvo::CMotifSampler sampler;
        auto refusal = sampler.LoadParameters(params);
        if (!refusal)
            refusal = sampler.Run(kRunSeed);
        if (refusal) {
            state.SkipWithError(refusal->message.c_str());
            break;
        }
    }
    state.counters["residues"] = static_cast<double>(numSeqs) * kSequenceLength;
    state.counters["iterations/s"] =
        benchmark::Counter(static_cast<double>(kIterations), benchmark::Counter::kIsIterationInvariantRate);
}

// 20 sequences for a quick look; 1,000 sequences of 200 bp is the reference size.
BENCHMARK(BM_WholeRun)->ArgName("sequences")->Arg(20)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
