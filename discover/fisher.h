// discover/fisher.h: one-sided Fisher exact test of target enrichment, and E-values as text.
#pragma once
#include <string>

namespace kalvo {

// log10 of P(X >= targetHits) for X hypergeometric (population targets + controls, successes
// targetHits + controlHits, draws targets): the chance that targets hold at least this many of
// the hits. Computed in logs, so p-values far below the double range stay finite. Always <= 0;
// an impossible table (negative counts, hits above their totals) gives 0, never a small p.
double Log10FisherEnrichment(int targetHits, int targets, int controlHits, int controls);

// A value given by its log10 in the form of printf "%.1e": "3.2e-15", "1.0e+00", "2.0e-1234",
// also beyond the double range. -inf gives "0.0e+00", +inf "inf", NaN "nan".
std::string FormatEValue(double log10Value);

}  // namespace kalvo
