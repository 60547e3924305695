// bench/reference_sweep.h: the sampler's iteration as it was before the vectorised sweep, to time the new one against.
#pragma once
#include <cstdint>

#include "model/run_progress.h"
#include "model/refusal.h"

namespace kalvo {
class CMotifSampler;
}

namespace kalvo::bench {

// Does what CMotifSampler::Sample does, with the earlier site step (scoring
// four start positions at a time, one draw and division per slot), the earlier
// model estimate, Beta draw and state score, so that both can be timed in one
// process on one input. The run ends in the same state, so the same report.
// The moves and steps that were not changed are called on the run itself.
Outcome ReferenceSample(CMotifSampler& run, std::uint32_t seed, const ProgressCallback& progress = {});

}  // namespace kalvo::bench
