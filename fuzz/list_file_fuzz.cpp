// fuzz/list_file_fuzz.cpp: any bytes as a list file are planned and run, never a crash.
// The list may name the files of the scratch folder: two parameter files and itself.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/batch.h"
#include "scratch_files.h"
#include "util/text_lines.h"

namespace {

// Counts the report blocks in a file by their separator line.
std::int64_t Blocks(const std::string& path)
{
    const auto text = kalvo::ReadWholeFile(path);
    std::int64_t blocks = 0;
    for (std::size_t at = text ? text->find("*************") : std::string::npos; at != std::string::npos;
         at = text->find("*************", at + 1))
        ++blocks;
    return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvo;
    const fuzz::ScratchDir& scratch = fuzz::Scratch();
    static const bool prepared = [&] {
        // Relative names in the list are read from the scratch folder.
        fuzz::Require(::chdir(scratch.path().c_str()) == 0);
        scratch.Write("seqs.fa", ">a\nACGTTGCAACGT\n>b\nTTGCAACG\n>c\nacgtnnacgt\n");
        scratch.Write("p", "-i\nseqs.fa\n-o\nout.txt\n-w\n4\n-n\n3\n-N\n2\n");
        scratch.Write("q", "-w\n0\n");
        return true;
    }();
    fuzz::Require(prepared);
    const std::string list = scratch.Write("list", fuzz::Bytes(data, size));
    // Each input starts from the same files: no report left by the one before.
    std::error_code ec;
    std::filesystem::remove("out.txt", ec);

    const BatchPlan plan = PlanMultipleInputs("list", 5);
    std::int64_t planned = 0;
    for (const PlannedStep& step : plan.steps) {
        fuzz::Require(step.refusal ? step.runs == 0 : step.runs >= 1);
        fuzz::Require(step.firstRun == planned || step.refusal);
        planned += step.runs;
    }
    fuzz::Require(planned == plan.totalRuns);
    // Long batches are planned above; only short ones are worth running here.
    if (plan.totalRuns > 40)
        return 0;

    BatchFrontEnd frontEnd;
    frontEnd.chooseFile = [](BatchCommand) { return std::optional<std::string>("list"); };
    std::int64_t refusals = 0;
    frontEnd.refused = [&](const Refusal& refusal) {
        fuzz::Require(!refusal.message.empty());
        ++refusals;
    };
    const BatchResult result = ExecuteBatch(plan, frontEnd, 1);
    fuzz::Require(result.runsDone + result.runsRefused >= plan.totalRuns || result.askedForRunCount);
    fuzz::Require(refusals == result.runsRefused);
    // Every finished run appended exactly one whole block.
    fuzz::Require(Blocks("out.txt") == result.runsDone);
    return 0;
}
