// bench/perf_table.cpp: the performance table: time per iteration against the earlier implementation, against
// the least work an iteration must do and against its serial additions, scored positions per second, peak
// memory, and the speed-up of parallel batches.
//
// Each input size runs in a child process of its own, so that its peak resident
// memory is its own. Figures are medians of several repetitions; the earlier
// implementation (bench/reference_sweep.h) runs in the same process on the
// same input and seed, and must give the same report.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/batch.h"
#include "bench/planted_motif.h"
#include "bench/reference_sweep.h"
#include "model/parameter_text.h"
#include "model/run_state.h"
#include "util/random.h"
#include "util/vector_paths.h"
#include "util/sequence_text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 12;
constexpr const char* kMotif = "GATTACCGTGCA";
constexpr std::uint32_t kInputSeed = 20240601;
constexpr std::uint32_t kRunSeed = 12345;

struct InputSize {
    const char* name;
    int sequences;
    int length;
    int iterations;   // per repetition
    int repetitions;
};

constexpr InputSize kSizes[] = {
    {"S", 20, 200, 400, 5},
    {"M", 1000, 200, 40, 5},
    {"L", 10000, 500, 8, 3},
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A scratch folder removed with its contents.
struct Scratch {
    Scratch()
    {
        std::random_device device;
        do
            path = fs::temp_directory_path() / ("kalvo-perf-" + std::to_string(device()));
        while (!fs::create_directory(path));
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path / name, std::ios::binary) << bytes;
        return (path / name).string();
    }
    fs::path path;
};

// The parameters every case runs with: the correlated model, both strands; `repeats` runs when set.
std::string ParameterText(const std::string& fasta, const std::string& report, int iterations, bool oneSite,
                          std::optional<std::string> repeats = std::nullopt)
{
    kalvo::ParameterFileValues values = kalvo::CorrelatedRunValues(fasta, report, kWidth, iterations);
    values.oneSite = oneSite;
    values.repeats = std::move(repeats);
    return kalvo::ParameterFileText(values);
}

// The least work of one iteration, written as plainly as possible over the
// run's sequences: score every slot on both strands against a fixed motif
// table, and draw what an iteration must draw (one number per slot; in the
// default mode also the a + b uniforms of the Beta draw, their logs summed).
class Floor {
public:
    explicit Floor(const kalvo::CMotifSampler& run) : m_oneSite(run.m_oneSitePerSeq)
    {
        const auto width = static_cast<std::size_t>(kWidth);
        for (const std::string_view sequence : run.m_seqs) {
            m_starts.push_back(m_codes.size());
            m_lengths.push_back(sequence.size());
            for (std::size_t j = 0; j < sequence.size(); ++j) {
                m_codes.push_back(static_cast<std::uint8_t>(kalvo::BaseCode(sequence[j])));
                m_reverse.push_back(static_cast<std::uint8_t>(3 - kalvo::BaseCode(sequence[j])));
            }
            for (std::size_t i = 0; i + width <= sequence.size(); ++i) {
                double p = run.m_bgFreq[m_codes[m_starts.back() + i]];
                for (std::size_t k = 0; k + 1 < width; ++k)
                    p *= run.m_bgTrans[m_codes[m_starts.back() + i + k] * 4u + m_codes[m_starts.back() + i + k + 1]];
                m_background.push_back(p);
            }
            m_slots += 2 * (sequence.size() >= width ? sequence.size() - width + 1 : 0);
        }
        m_table = run.m_motifProb;
        for (int r = 0; r < 32768; ++r)
            m_logUniform[static_cast<std::size_t>(r)] = std::log((r + 1) / 32768.0);
    }

    long long Slots() const { return static_cast<long long>(m_slots); }

    // One pass; returns a value that depends on all the work, so none of it is skipped.
    double Pass(kalvo::RandomStream& random) const
    {
        const auto width = static_cast<std::size_t>(kWidth);
        double total = 0.0;
        std::size_t bg = 0;
        for (std::size_t s = 0; s < m_starts.size(); ++s) {
            const std::uint8_t* codes = &m_codes[m_starts[s]];
            const std::uint8_t* reverse = &m_reverse[m_starts[s]];
            const std::size_t starts = m_lengths[s] >= width ? m_lengths[s] - width + 1 : 0;
            for (std::size_t i = 0; i < starts; ++i, ++bg) {
                double forward = 1.0;
                double backward = 1.0;
                for (std::size_t c = 0; c < width; ++c) {
                    forward *= m_table[c * 4 + codes[i + c]];
                    backward *= m_table[c * 4 + reverse[i + width - 1 - c]];
                }
                total += forward / m_background[bg];
                total += backward / m_background[bg];
                if (!m_oneSite)
                    total += random.Next() + random.Next();
            }
            if (m_oneSite)
                total += random.Next();
        }
        if (!m_oneSite) {
            double logSum = 0.0;
            for (std::size_t k = 0; k < m_slots + 2; ++k)
                logSum += m_logUniform[static_cast<std::size_t>(random.Next())];
            total += logSum;
        }
        return total;
    }

private:
    bool m_oneSite;
    std::vector<std::size_t> m_starts;
    std::vector<std::size_t> m_lengths;
    std::vector<std::uint8_t> m_codes;
    std::vector<std::uint8_t> m_reverse;
    std::vector<double> m_background;
    std::vector<double> m_table;
    std::array<double, 32768> m_logUniform{};
    std::size_t m_slots = 0;
};

// The serial floor: the additions of one iteration that must follow each
// other because each adds to the sum before it, in the order that fixes every
// bit of the result (the Beta draw's sum of logs, one term per slot and two
// more, or in the one-site mode each sequence's running total of its slot
// scores). The terms come from a small table, so only the chain is timed.
double SerialFloorPass(long long additions)
{
    static const std::vector<double> terms = [] {
        std::vector<double> values(4096);
        kalvo::RandomStream random(7);
        for (double& value : values)
            value = std::log((random.Next() + 1) / 32768.0);
        return values;
    }();
    double sum = 0.0;
    for (long long i = 0; i < additions; ++i)
        sum += terms[static_cast<std::size_t>(i) & 4095u];
    return sum;
}

// One run through either implementation: its time per iteration and its report block.
struct TimedRun {
    double iteration = 0.0;
    std::string report;
};

template <typename SampleFunction>
TimedRun TimeRun(const std::string& params, std::uint32_t seed, int iterations, SampleFunction sample)
{
    TimedRun result;
    kalvo::CMotifSampler run;
    if (auto refusal = run.LoadParameters(params)) {
        std::cerr << refusal->message << "\n";
        std::exit(1);
    }
    Clock::time_point first;
    Clock::time_point last;
    auto refusal = sample(run, seed, [&](const kalvo::RunProgress& p) {
        if (p.withinIteration > 0.0)
            return true;  // a call from within an iteration, not at its end
        (p.iteration == 1 ? first : last) = Clock::now();
        return true;
    });
    if (refusal) {
        std::cerr << refusal->message << "\n";
        std::exit(1);
    }
    result.iteration = Seconds(last - first) / (iterations - 1);
    run.InstallBestState();
    result.report = run.ComposeReport();
    return result;
}

// The planted input of one size and its parameter file, in `scratch`; returns the parameter file.
std::string WriteCaseInput(const Scratch& scratch, const InputSize& size, bool oneSite)
{
    const std::string fasta = scratch.Write(
        "in.fa", kalvo::bench::MakePlantedMotifSet(size.sequences, size.length, kMotif, 2, kInputSeed).fasta);
    return scratch.Write("p.params", ParameterText(fasta, (scratch.path / "out.txt").string(), size.iterations, oneSite));
}

// The two samplers timed side by side: the current one and the reference.
kalvo::Outcome SampleCurrent(kalvo::CMotifSampler& run, std::uint32_t seed, const kalvo::ProgressCallback& progress)
{
    return run.Sample(seed, progress);
}

kalvo::Outcome SampleReference(kalvo::CMotifSampler& run, std::uint32_t seed, const kalvo::ProgressCallback& progress)
{
    return kalvo::bench::ReferenceSample(run, seed, progress);
}

// Child process: one input size and mode; prints "reference iteration floor
// serialFloor slots peakKiB identical", times in seconds.
int MeasureCase(const InputSize& size, bool oneSite)
{
    Scratch scratch;
    const std::string params = WriteCaseInput(scratch, size, oneSite);
    long peakKiB = 0;
    std::vector<double> iterationTimes;
    std::vector<double> referenceTimes;
    std::vector<double> floorTimes;
    std::vector<double> serialTimes;
    long long slots = 0;
    bool identical = true;
    double sink = 0.0;
    for (int rep = 0; rep < size.repetitions; ++rep) {
        const std::uint32_t seed = kRunSeed + static_cast<std::uint32_t>(rep);
        TimedRun now;
        TimedRun before;
        // Alternate which goes first, so that neither always meets a warmer machine.
        if (rep % 2 == 0) {
            now = TimeRun(params, seed, size.iterations, SampleCurrent);
            if (rep == 0) {
                // The run's own peak, before the reference's and the floor's tables add theirs.
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                peakKiB = usage.ru_maxrss;
            }
            before = TimeRun(params, seed, size.iterations, SampleReference);
        } else {
            before = TimeRun(params, seed, size.iterations, SampleReference);
            now = TimeRun(params, seed, size.iterations, SampleCurrent);
        }
        iterationTimes.push_back(now.iteration);
        referenceTimes.push_back(before.iteration);
        identical = identical && now.report == before.report && !now.report.empty();

        kalvo::CMotifSampler run;
        if (run.LoadParameters(params) || run.ReadSequences())
            return 1;
        run.ComputeBackground();
        run.RandomAlignment();
        run.Recount();
        run.EstimateModel(true);
        const Floor floor(run);
        slots = floor.Slots();
        const long long additions = oneSite ? slots : slots + 2;
        kalvo::RandomStream random(kRunSeed);
        std::vector<double> passes;
        std::vector<double> serialPasses;
        for (int pass = 0; pass < 3; ++pass) {
            auto start = Clock::now();
            sink += floor.Pass(random);
            passes.push_back(Seconds(Clock::now() - start));
            start = Clock::now();
            sink += SerialFloorPass(additions);
            serialPasses.push_back(Seconds(Clock::now() - start));
        }
        floorTimes.push_back(Median(passes));
        serialTimes.push_back(Median(serialPasses));
    }
    std::cout << Median(referenceTimes) << " " << Median(iterationTimes) << " " << Median(floorTimes) << " "
              << Median(serialTimes) << " " << slots << " " << peakKiB << " " << (identical ? 1 : 0) << " "
              << (sink == 0.5 ? 1 : 0) << "\n";
    return 0;
}

// Child process: one input size and mode on every vector path this processor
// has, each against the reference in the same process; prints "reference
// portable avx2 avx512 identical", times in seconds, 0 for a path it lacks.
int MeasurePaths(const InputSize& size, bool oneSite)
{
    Scratch scratch;
    const std::string params = WriteCaseInput(scratch, size, oneSite);
    constexpr kalvo::VectorPath kPaths[] = {kalvo::VectorPath::Portable, kalvo::VectorPath::Avx2,
                                            kalvo::VectorPath::Avx512};
    std::vector<double> referenceTimes;
    std::array<std::vector<double>, 3> pathTimes;
    bool identical = true;
    for (int rep = 0; rep < size.repetitions; ++rep) {
        const std::uint32_t seed = kRunSeed + static_cast<std::uint32_t>(rep);
        const TimedRun before = TimeRun(params, seed, size.iterations, SampleReference);
        referenceTimes.push_back(before.iteration);
        for (std::size_t p = 0; p < 3; ++p) {
            if (!kalvo::VectorPathAvailable(kPaths[p]))
                continue;
            kalvo::LimitVectorPaths(kPaths[p]);
            const TimedRun now = TimeRun(params, seed, size.iterations, SampleCurrent);
            pathTimes[p].push_back(now.iteration);
            identical = identical && now.report == before.report;
        }
        kalvo::LimitVectorPaths(kalvo::VectorPath::Avx512);
    }
    std::cout << Median(referenceTimes);
    for (const std::vector<double>& times : pathTimes)
        std::cout << " " << (times.empty() ? 0.0 : Median(times));
    std::cout << " " << (identical ? 1 : 0) << "\n";
    return 0;
}

struct CaseResult {
    double reference = 0;
    double iteration = 0;
    double floor = 0;
    double serialFloor = 0;
    long long slots = 0;
    long peakKiB = 0;
    int identical = 0;
};

// Runs this program again for one case (`what`: "--case" or "--paths"), so
// that the peak memory it reports is that case's alone; returns what it printed.
std::string RunChildFor(const char* self, const char* what, const InputSize& size, bool oneSite)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        execl(self, self, what, size.name, oneSite ? "one-site" : "default", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "case " << size.name << " failed\n";
        std::exit(1);
    }
    return output;
}

CaseResult RunChild(const char* self, const InputSize& size, bool oneSite)
{
    CaseResult result;
    std::istringstream(RunChildFor(self, "--case", size, oneSite)) >> result.reference >> result.iteration >>
        result.floor >> result.serialFloor >> result.slots >> result.peakKiB >> result.identical;
    return result;
}

// Four runs of M, one at a time and two at a time, through the batch commands.
std::pair<double, double> ParallelSpeedup()
{
    Scratch scratch;
    const InputSize& m = kSizes[1];
    const auto set = kalvo::bench::MakePlantedMotifSet(m.sequences, m.length, kMotif, 2, kInputSeed);
    const std::string fasta = scratch.Write("in.fa", set.fasta);
    std::vector<double> one;
    std::vector<double> two;
    for (int rep = 0; rep < 3; ++rep) {
        for (int jobs : {1, 2}) {
            const std::string report = (scratch.path / ("out" + std::to_string(jobs) + ".txt")).string();
            fs::remove(report);
            const std::string params =
                scratch.Write("p.params", ParameterText(fasta, report, m.iterations, false, "4"));
            const auto start = Clock::now();
            kalvo::ExecuteBatch(kalvo::PlanRepeatedRun(params, kRunSeed), kalvo::BatchFrontEnd{}, jobs);
            (jobs == 1 ? one : two).push_back(Seconds(Clock::now() - start));
        }
    }
    return {Median(one), Median(two)};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && (std::string(argv[1]) == "--case" || std::string(argv[1]) == "--paths")) {
        for (const InputSize& size : kSizes) {
            if (size.name != std::string(argv[2]))
                continue;
            const bool oneSite = std::string(argv[3]) == "one-site";
            return std::string(argv[1]) == "--case" ? MeasureCase(size, oneSite) : MeasurePaths(size, oneSite);
        }
        return 2;
    }
    if (argc > 1) {
        std::cout << "usage: kalvo_perf\n"
                     "Prints the performance table: inputs S (20 x 200 bp), M (1,000 x 200 bp) and\n"
                     "L (10,000 x 500 bp) with a planted motif, W = 12, -c 2 -m 3, both strands, in the\n"
                     "default and the one-site mode, each also with the earlier implementation of the\n"
                     "sampling sweep (whose report must be the same); then 4 runs of M with 1 and 2 jobs.\n";
        return 0;
    }
    std::printf("| input | mode | reference ms / iteration | ms / iteration | speed-up | floor ms | × floor | "
                "serial floor ms | × serial floor | M slots / s | peak MB | MB allowed | same report |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    double mTime = 0;
    double lTime = 0;
    bool allIdentical = true;
    for (bool oneSite : {false, true}) {
        for (const InputSize& size : kSizes) {
            const CaseResult r = RunChild("/proc/self/exe", size, oneSite);
            const double residues = static_cast<double>(size.sequences) * size.length;
            std::printf("| %s | %s | %.3f | %.3f | %.2f | %.3f | %.2f | %.3f | %.2f | %.1f | %.1f | %.0f | %s |\n",
                        size.name, oneSite ? "-e" : "default", r.reference * 1e3, r.iteration * 1e3,
                        r.reference / r.iteration, r.floor * 1e3, r.iteration / r.floor, r.serialFloor * 1e3,
                        r.iteration / r.serialFloor, static_cast<double>(r.slots) / r.iteration / 1e6,
                        static_cast<double>(r.peakKiB) / 1024.0, 50 + 32 * residues / 1e6, r.identical ? "yes" : "NO");
            std::fflush(stdout);
            allIdentical = allIdentical && r.identical != 0;
            if (!oneSite && size.name == std::string("M"))
                mTime = r.iteration;
            if (!oneSite && size.name == std::string("L"))
                lTime = r.iteration;
        }
    }
    std::printf("\nLinearity (default mode): L / M time per iteration = %.2f for %.1f times the residues\n",
                lTime / mTime, (10000.0 * 500) / (1000.0 * 200));

    // What the vectors add to the rest: M on each path, each against the reference of the same process.
    std::printf("\nThe vector paths on M (widest on this processor: %s), ms per iteration and speed-up over the "
                "reference:\n\n",
                kalvo::VectorPathName(kalvo::BestVectorPath()));
    std::printf("| mode | reference | portable | AVX2 | AVX-512 | same report |\n|---|---:|---:|---:|---:|---|\n");
    for (bool oneSite : {false, true}) {
        double reference = 0;
        double paths[3] = {0, 0, 0};
        int identical = 0;
        std::istringstream(RunChildFor("/proc/self/exe", "--paths", kSizes[1], oneSite)) >> reference >> paths[0] >>
            paths[1] >> paths[2] >> identical;
        std::printf("| %s | %.3f |", oneSite ? "-e" : "default", reference * 1e3);
        for (double time : paths) {
            if (time > 0)
                std::printf(" %.3f (%.2f×) |", time * 1e3, reference / time);
            else
                std::printf(" n/a |");
        }
        std::printf(" %s |\n", identical ? "yes" : "NO");
        allIdentical = allIdentical && identical != 0;
    }
    std::printf("\n");
    const auto [one, two] = ParallelSpeedup();
    std::printf("Parallel batch, 4 runs of M (%d iterations each): %.2f s with 1 job, %.2f s with 2 jobs: %.2f×\n",
                kSizes[1].iterations, one, two, one / two);
    if (!allIdentical)
        std::printf("The reference and the current sampler gave different reports.\n");
    return allIdentical ? 0 : 1;
}
