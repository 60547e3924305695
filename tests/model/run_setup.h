// tests/model/run_setup.h: runs whose sequences come from inline FASTA text, for the setup steps after reading.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "model/run_state.h"
#include "temp_files.h"

namespace kalvo::testing {

// Reads the FASTA text as the run's sequence file with motif width `width`.
// Wrap calls in ASSERT_NO_FATAL_FAILURE: a refused read stops the test.
inline void ReadFasta(CMotifSampler& run, const TempDir& dir, std::string_view fasta, int width)
{
    run.m_inputPath = dir.Write("seqs.fa", fasta);
    run.m_width = width;
    const Outcome refusal = run.ReadSequences();
    ASSERT_FALSE(refusal) << refusal->message;
}

// A count matrix in the run's layout, written column by column as {A, C, G, T}.
inline std::vector<int> Columns(std::initializer_list<std::array<int, 4>> columns)
{
    std::vector<int> counts;
    for (const auto& column : columns)
        counts.insert(counts.end(), column.begin(), column.end());
    return counts;
}

}  // namespace kalvo::testing
