// fuzz/tiny_run_fuzz.cpp: a whole run on fuzzed inputs, kept tiny: never a crash, and a
// report without "nan" that is appended whole.
// The bytes are a parameter file, a NUL, a FASTA file and, after a second NUL, a background file.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "model/run_state.h"
#include "scratch_files.h"
#include "util/text_lines.h"

namespace {

// The seed follows the input, so an input always repeats its run.
std::uint32_t Fingerprint(std::string_view bytes)
{
    std::uint32_t hash = 2166136261u;
    for (char c : bytes)
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvo;
    const std::string_view bytes = fuzz::Bytes(data, size);
    const std::size_t firstNul = bytes.find('\0');
    if (firstNul == std::string_view::npos)
        return 0;
    const std::string_view parameters = bytes.substr(0, firstNul);
    std::string_view fasta = bytes.substr(firstNul + 1);
    std::string_view background;
    const std::size_t secondNul = fasta.find('\0');
    const bool hasBackground = secondNul != std::string_view::npos;
    if (hasBackground) {
        background = fasta.substr(secondNul + 1);
        fasta = fasta.substr(0, secondNul);
    }

    const fuzz::ScratchDir& scratch = fuzz::Scratch();
    CMotifSampler run;
    if (run.LoadParametersText(parameters, "fuzz.params"))
        return 0;
    // Our files instead of the ones named, and a run small enough to stay fast.
    run.m_inputPath = scratch.Write("sequences.fa", fasta);
    run.m_backgroundPath = hasBackground ? scratch.Write("background.txt", background) : std::string(kNoBackgroundFile);
    run.m_outputPath = scratch.File("report.txt");
    std::error_code ec;
    std::filesystem::remove(run.m_outputPath, ec);
    run.m_width = std::min(run.m_width, 10);
    run.m_iterations = std::min(run.m_iterations, 25);
    run.m_depMoves = std::clamp(run.m_depMoves, -1, 4);

    if (const Outcome refusal = run.Run(Fingerprint(bytes))) {
        fuzz::Require(!refusal->message.empty());
        fuzz::Require(!std::filesystem::exists(run.m_outputPath, ec));
        return 0;
    }
    const auto report = ReadWholeFile(run.m_outputPath);
    fuzz::Require(report && report->starts_with("\r\n\r\n*************\r\n"));
    fuzz::Require(report->find("Putative sites:\r\n") != std::string::npos);
    // Names are copied into the report as read; the numbers never show "nan".
    if (fasta.find("nan") == std::string_view::npos)
        fuzz::Require(report->find("nan") == std::string::npos);
    return 0;
}
