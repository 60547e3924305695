// sampler/beta_sampler.h: Beta variates from the run's stream, for the prior odds' posterior.
#pragma once
#include "util/random.h"

namespace kalvo {

// x / (x + y), where x and y are sums of ln u over a and b uniforms
// u = (r + 1)/32768; −x and −y are Gamma(a) and Gamma(b) variates, so the
// result is Beta(a, b). Consumes exactly max(a, 0) + max(b, 0) draws.
class CBetaSampler {
public:
    virtual ~CBetaSampler() = default;
    double DrawBetaVariate(long long a, long long b, RandomStream& random) const;
};

}  // namespace kalvo
