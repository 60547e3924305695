// sampler/beta_sampler.h: Beta variates from the run's stream, for the prior odds' posterior.
#pragma once
#include "model/run_progress.h"
#include "util/random.h"

namespace kalvo {

// Draws summed between two reports to the pacer, and draws per unit of work it is told.
inline constexpr long long kDrawsPerBlock = 4096;
inline constexpr long long kDrawsPerWorkUnit = 16;

// x / (x + y), where x and y are sums of ln u over a and b uniforms
// u = (r + 1)/32768; −x and −y are Gamma(a) and Gamma(b) variates, so the
// result is Beta(a, b). Consumes exactly max(a, 0) + max(b, 0) draws, unless
// the pacer abandons the run part way, when the result means nothing.
class CBetaSampler {
public:
    virtual ~CBetaSampler() = default;
    double DrawBetaVariate(long long a, long long b, RandomStream& random, ProgressPacer* pacer = nullptr) const;
};

}  // namespace kalvo
