// model/masking.cpp: start positions whose window is made almost entirely of two bases.
#include <cstdint>
#include <string_view>

#include "model/run_state.h"

namespace kalvo {

bool IsLowComplexity(std::string_view window, double threshold)
{
    int counts[4] = {0, 0, 0, 0};
    for (char letter : window) {
        switch (letter) {
        case 'A': ++counts[0]; break;
        case 'C': ++counts[1]; break;
        case 'G': ++counts[2]; break;
        case 'T': ++counts[3]; break;
        default: break;
        }
    }
    int top = 0;
    for (int b = 1; b < 4; ++b) {
        if (counts[b] > counts[top])
            top = b;
    }
    const int first = counts[top];
    counts[top] = 0;
    int second = 0;
    for (int b = 0; b < 4; ++b) {
        if (counts[b] > second)
            second = counts[b];
    }
    return static_cast<double>(first + second) / static_cast<double>(window.size()) > threshold;
}

void CMotifSampler::BuildMask()
{
    // Starts too close to the end for a whole window stay unmasked.
    m_mask.assign(m_seqs.TotalResidues(), 0);
    const auto window = static_cast<std::size_t>(m_maskWindow);
    for (std::size_t i = 0; i < m_seqs.size(); ++i) {
        const std::string_view sequence = m_seqs[i];
        std::uint8_t* mask = m_mask.data() + m_seqs.Start(i);
        for (std::size_t j = 0; j + window <= sequence.size(); ++j)
            mask[j] = IsLowComplexity(sequence.substr(j, window), m_maskThreshold) ? 1 : 0;
    }
}

}  // namespace kalvo
