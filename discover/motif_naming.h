// discover/motif_naming.h: the known motifs each discovered motif resembles, so that a
// reported motif comes with the factor it most likely is ("KLF12 MA0742.2 q 4e-4"),
// or with the plain answer that nothing known resembles it.
#pragma once
#include <string>
#include <vector>

#include "discover/discovery.h"
#include "discover/known/known_motif.h"

namespace kalvo {

// A known motif names a discovered one up to this q-value: one false name in twenty at most.
inline constexpr double kNamingQValue = 0.05;
// Known motifs kept per discovered motif, best first.
inline constexpr int kNamesKept = 5;

// What the terminal and the page say of a motif that nothing known resembles.
inline constexpr const char* kNoKnownMatch = "no known match";

// A discovered motif as motif comparison takes it: the shares its motif files
// carry (so that `kalvo match` on the folder agrees), its sites, its id.
KnownMotif AsKnownMotif(const DiscoveredMotif& motif, const std::string& id);

// Fills each motif's knownMatches with its best matches among `known` at q <= kNamingQValue,
// the motifs compared `jobs` at a time; the same whatever `jobs` is.
void NameMotifs(std::vector<DiscoveredMotif>& motifs, const std::vector<std::string>& ids,
                const std::vector<KnownMotif>& known, int jobs);

// The best match in a few words, "KLF12 MA0742.2 q 4e-4", or kNoKnownMatch.
std::string BestMatchLabel(const DiscoveredMotif& motif);

// A p-, E- or q-value in `digits` significant digits, the same in every locale: "0.05", "4e-4".
std::string ShortFigure(double value, int digits);

// The address of a profile's page in the JASPAR database for a JASPAR id ("MA0139.2"); empty for other ids.
std::string JasparPageAddress(const std::string& id);

}  // namespace kalvo
