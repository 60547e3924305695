// sampler/slot_model.h: the motif and the stretch of start positions the slot-score loops read, as plain views.
// Apart from the loops' entry points, so that every path's code sees the same layout.
#pragma once
#include <cstddef>
#include <cstdint>

#include "model/run_state.h"

namespace kalvo {

// The motif as one sampling step scores with it; it stays fixed for the step.
struct SlotModel {
    const double* columnProbs = nullptr;  // column c, letter b at 4c + b
    const int* freeColumns = nullptr;     // columns outside every group, ascending
    std::size_t numFree = 0;
    const GroupNode* groups = nullptr;    // in list order, with their probabilities estimated
    std::size_t numGroups = 0;
    int width = 0;
    bool bothStrands = true;
};

// Entries the run's flat tables hold past their last residue, so that a
// vector path may read a whole vector at the end of a stretch; what it reads
// there is never stored.
inline constexpr std::size_t kSlotTablePadding = 8;

// Doubles an output of the functions below holds past its 2·count slots: a
// vector path stores its last vector with the lanes past the end masked off,
// and reads that far when it compares.
inline constexpr std::size_t kSlotOutputPadding = 16;

// Start positions first..first + count − 1 of one sequence, as pointers to the
// first of them in the run's tables (each readable kSlotTablePadding entries
// past the last residue of all).
struct SlotStretch {
    const std::uint8_t* codes = nullptr;         // count + width − 1 letter codes
    const std::uint8_t* reverseCodes = nullptr;  // codes of their complements, same span
    const std::uint8_t* blocked = nullptr;       // per start: the window holds N or is masked
    // Per start, the background probability of the word and of its reverse
    // complement: exactly, for the scores of the one-site draw ...
    const double* bgForward = nullptr;
    const double* bgReverse = nullptr;
    // ... and approximately (ApproximateBackground), for the many-site draw's
    // thresholds, which only settle clear rejections. Half the bytes of the
    // exact tables: on a large input the sweep streams these from memory.
    const float* approxBgForward = nullptr;
    const float* approxBgReverse = nullptr;
    std::size_t count = 0;
};

}  // namespace kalvo
