// fuzz/sequence_file_fuzz.cpp: any bytes as a FASTA file are read or refused, never a crash;
// what is read keeps the invariants the sampler relies on.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/run_state.h"
#include "scratch_files.h"
#include "util/text_lines.h"

namespace {

// The line reader gives the same lines as splitting the whole text. Bytes
// that start as gzip does are decompressed instead: they are only read through.
void CheckLineReader(const std::string& path, std::string_view bytes)
{
    using namespace kalvo;
    LineReader reader(path);
    fuzz::Require(reader.IsOpen());
    std::string line;
    if (bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b') {
        while (reader.Next(line))
            fuzz::Require(reader.IsGzip() && reader.LineStart() >= 0);
        fuzz::Require(reader.Failed() == !reader.FaultText().empty());
        return;
    }
    const std::vector<std::string> expected = SplitLines(bytes);
    std::size_t count = 0;
    while (reader.Next(line)) {
        fuzz::Require(count < expected.size() && line == expected[count]);
        ++count;
    }
    fuzz::Require(!reader.Failed() && count == expected.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvo;
    const std::string_view bytes = fuzz::Bytes(data, size);
    const std::string path = fuzz::Scratch().Write("sequences.fa", bytes);
    CheckLineReader(path, bytes);

    CMotifSampler run;
    run.m_inputPath = path;
    run.m_width = size == 0 ? 1 : 1 + data[0] % 6;
    run.m_bothStrands = size % 2 == 0;
    run.m_priorOdds = -5.0;
    run.m_random.Seed(static_cast<std::uint32_t>(size));
    if (const Outcome refusal = run.ReadSequences()) {
        fuzz::Require(refusal->message.find(path) != std::string::npos);
        return 0;
    }
    fuzz::Require(run.m_numSeqs > 0);
    fuzz::Require(run.m_seqs.size() == static_cast<std::size_t>(run.m_numSeqs));
    fuzz::Require(run.m_sites.size() == run.m_seqs.size() && run.m_bestSites.size() == run.m_seqs.size());
    long long total = 0;
    for (std::size_t s = 0; s < run.m_seqs.size(); ++s) {
        fuzz::Require(run.m_seqs.Header(s).find('>') != std::string::npos);
        for (char letter : run.m_seqs[s])
            fuzz::Require(!(letter >= 'a' && letter <= 'z') && letter != '\n');
        total += static_cast<long long>(run.m_seqs[s].size());
    }
    fuzz::Require(total == run.m_totalLength);
    fuzz::Require(run.CandidatePositions() > 0);
    fuzz::Require(run.m_priorOdds >= 200.0 && run.m_priorOdds < 2000.0);

    // The setup steps that come right after reading.
    run.ComputeBackground();
    double sum = 0.0;
    for (double value : run.m_bgFreq) {
        fuzz::Require(std::isfinite(value) && value >= 0.0);
        sum += value;
    }
    fuzz::Require(std::fabs(sum - 1.0) < 1e-9);
    for (double value : run.m_bgTrans)
        fuzz::Require(std::isfinite(value) && value >= 0.0);
    run.RandomAlignment();
    run.Recount();
    run.PlaceStartSites();
    run.m_maskLowComplexity = size % 3 == 0;
    if (run.m_maskLowComplexity)
        run.BuildMask();
    run.PrepareScoringTables();
    for (std::size_t s = 0; s < run.m_sites.size(); ++s) {
        for (const SiteNode& site : run.m_sites[s]) {
            fuzz::Require(site.pos >= 0 && site.word.size() == static_cast<std::size_t>(run.m_width));
            fuzz::Require(static_cast<std::size_t>(site.pos) + site.word.size() <= run.m_seqs[s].size());
        }
    }
    return 0;
}
