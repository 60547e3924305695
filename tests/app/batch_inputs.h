// tests/app/batch_inputs.h: tiny inputs (a whole run takes milliseconds) and a front end that records what the user is told.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/batch.h"
#include "model/parameter_limits.h"
#include "temp_files.h"

namespace kalvo::testing {

// Report blocks in a report file, counted by their separator line.
inline int CountReports(const std::string& bytes)
{
    const std::string separator = "\r\n*************\r\n";
    int n = 0;
    for (auto at = bytes.find(separator); at != std::string::npos; at = bytes.find(separator, at + separator.size()))
        ++n;
    return n;
}

// A scratch folder holding four short sequences with a planted TGTGACA.
class TinyInputs {
public:
    TinyInputs()
    {
        m_fasta = m_dir.Write("seqs.fa",
                              ">s1\nACGTTGTGACATTAGCCAGTAGC\n>s2\nGGCATTTGTGACAGCATCGATTA\n"
                              ">s3\nTTAGCATCGGATGTGACACCGTA\n>s4\nCATGTGACAAGGTCCATGACTAG\n");
    }
    // A parameter file that reads the sequences and appends to `output`, with `extra` lines at its end.
    std::string Params(const std::string& name, const std::string& output, const std::string& extra = "") const
    {
        return m_dir.Write(name, "-i\n" + m_fasta + "\n-o\n" + output + "\n-w\n6\n-n\n8\n-s\n1\n" + extra);
    }
    const TempDir& dir() const { return m_dir; }

    // Parameter lines of a run that takes seconds although it is allowed: 200 random
    // sequences of 200 bases, and one iteration of the most correlated moves a
    // parameter file may give. Later keys override Params' own.
    std::string SlowRunLines() const
    {
        std::string fasta;
        std::uint32_t x = 12345;
        for (int s = 0; s < 200; ++s) {
            fasta += ">r" + std::to_string(s) + "\n";
            for (int i = 0; i < 200; ++i) {
                x = x * 1664525u + 1013904223u;
                fasta += "ACGT"[x >> 30];
            }
            fasta += "\n";
        }
        return "-i\n" + m_dir.Write("many.fa", fasta) + "\n-n\n1\n-m\n" + std::to_string(kMostMoves) + "\n";
    }

private:
    TempDir m_dir;
    std::string m_fasta;
};

// Answers the file question with `file` (nothing: the user cancels) and logs
// events as "run 1/3 a.params", "refused" and the message texts.
struct FakeFrontEnd {
    explicit FakeFrontEnd(std::optional<std::string> chosen = std::nullopt) : file(std::move(chosen)) {}

    std::optional<std::string> file;
    bool abandonAtFirstProgress = false;
    std::vector<std::string> events;
    std::vector<PlannedRun> runs;
    std::vector<std::string> refusals;

    BatchFrontEnd Get()
    {
        BatchFrontEnd frontEnd;
        frontEnd.chooseFile = [this](BatchCommand) { return file; };
        frontEnd.message = [this](std::string_view text) { events.emplace_back(text); };
        frontEnd.runStarting = [this](const PlannedRun& run) {
            runs.push_back(run);
            events.push_back("run " + std::to_string(run.index + 1) + "/" + std::to_string(run.total) + " " +
                             std::filesystem::path(run.parameterFile).filename().string());
        };
        frontEnd.refused = [this](const Refusal& refusal) {
            refusals.push_back(refusal.message);
            events.push_back("refused");
        };
        frontEnd.progress = [this](const PlannedRun&, const RunProgress&) { return !abandonAtFirstProgress; };
        return frontEnd;
    }
    BatchResult Run(BatchCommand command, std::optional<std::uint32_t> seed = 1)
    {
        BatchOptions options;
        options.seed = seed;
        return RunBatchCommand(command, Get(), options);
    }
};

}  // namespace kalvo::testing
