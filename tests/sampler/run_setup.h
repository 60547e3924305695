// tests/sampler/run_setup.h: a run read from inline FASTA and parameter lines, ready for single steps.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_state.h"
#include "temp_files.h"
#include "util/random.h"
#include "util/sequence_text.h"

namespace kalvo::testing {

// A scratch folder with "seqs.fa" and "params.txt"; the parameter file names
// the sequence file and "out.txt" of the same folder by absolute path, then
// carries the given option lines.
struct RunFiles {
    RunFiles(std::string_view fasta, std::string_view options)
    {
        input = dir.Write("seqs.fa", fasta);
        output = dir.File("out.txt");
        params = dir.Write("params.txt", "-i\n" + input + "\n-o\n" + output + "\n" + std::string(options));
    }
    TempDir dir;
    std::string input;
    std::string output;
    std::string params;
};

// Every background probability 0.25, so any word of W letters has background 0.25^W.
inline void SetUniformBackground(CMotifSampler& run)
{
    run.m_bgFreq.fill(0.25);
    run.m_bgTrans.fill(0.25);
}

// A run whose parameters and sequences are read, with a uniform background,
// no sites, zero counts and its scoring tables prepared. Tests then set
// fields directly; after changing the background or the mask they call
// PrepareScoringTables again.
struct LoadedRun {
    LoadedRun(std::string_view fasta, std::string_view options) : files(fasta, options)
    {
        if (auto refusal = run.LoadParameters(files.params))
            throw std::runtime_error(refusal->message);
        if (auto refusal = run.ReadSequences())
            throw std::runtime_error(refusal->message);
        SetUniformBackground(run);
        run.PrepareScoringTables();
    }
    RunFiles files;
    CMotifSampler run;
};

// Counts of column c of the motif, A, C, G, T.
inline void SetColumnCounts(CMotifSampler& run, int column, std::array<int, 4> counts)
{
    std::copy(counts.begin(), counts.end(), run.m_counts.begin() + 4 * column);
}

// No pseudocounts, so a letter that a column has never seen scores 0 there.
inline void ClearPseudocounts(CMotifSampler& run)
{
    run.m_pseudo.fill(0.0);
    run.m_pseudoTotal = 0.0;
}

// The state of a stream that started at state and made draws draws.
inline std::uint32_t StateAfter(std::uint32_t state, int draws)
{
    RandomStream reference(state);
    for (int i = 0; i < draws; ++i)
        reference.Next();
    return reference.State();
}

// The first seed from 1 on whose first draw r satisfies the test.
template <typename Test>
std::uint32_t SeedWithFirstDraw(Test test)
{
    for (std::uint32_t seed = 1;; ++seed) {
        RandomStream probe(seed);
        if (test(probe.Next()))
            return seed;
    }
}

// Letter counts of every column, taken afresh from the current site words.
inline std::vector<int> CountsOfSites(const CMotifSampler& run)
{
    std::vector<int> counts(static_cast<std::size_t>(run.m_width) * 4, 0);
    for (const SiteList& sites : run.m_sites) {
        for (const SiteNode& site : sites) {
            for (std::size_t j = 0; j < site.word.size(); ++j) {
                if (IsBase(site.word[j]))
                    ++counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
            }
        }
    }
    return counts;
}

inline int NumberOfSites(const CMotifSampler& run)
{
    int sites = 0;
    for (const SiteList& list : run.m_sites)
        sites += static_cast<int>(list.size());
    return sites;
}

// count sequences of the given length, random letters from the given stream seed.
inline std::string RandomFasta(int count, int length, std::uint32_t seed)
{
    RandomStream random(seed);
    std::string fasta;
    for (int s = 0; s < count; ++s) {
        fasta += ">r" + std::to_string(s) + "\n";
        for (int i = 0; i < length; ++i)
            fasta += "ACGT"[random.Next() % 4];
        fasta += "\n";
    }
    return fasta;
}

}  // namespace kalvo::testing
