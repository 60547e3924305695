// discover/known/motif_database.h: the known motifs discovered ones are named after: the bundled
// JASPAR 2024 collection, found without configuration, or motif files the user gives.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "discover/known/known_motif.h"
#include "discover/known/motif_readers.h"
#include "model/refusal.h"

namespace kalvo {

// The environment variable that names the bundled collection's folder for installs laid out otherwise.
inline constexpr const char* kMotifDatabaseVariable = "KALVO_MOTIF_DB";

// What the bundled collection is called where outputs say what motifs were named against.
inline constexpr const char* kBundledMotifsName = "JASPAR 2024 CORE (bundled)";

// Which known motifs to load.
struct MotifDatabaseChoice {
    std::vector<std::string> files;  // motif files or discovery folders (--db); none: the bundled collection
    std::vector<std::string> taxa;   // taxa to keep, each perhaps a comma list, any case; none: all
    std::string programPath;         // the running program (OwnProgramPath), to find the collection beside it
};

// The loaded motifs, ids unique over all of them, or why they could not be loaded.
struct MotifDatabase {
    std::vector<KnownMotif> motifs;
    std::vector<std::string> files;  // the files read, in order
    std::optional<Refusal> refusal;
};

// Loads the bundled collection or the chosen files and keeps the chosen taxa.
MotifDatabase LoadMotifDatabase(const MotifDatabaseChoice& choice);

// The running program's path: /proc/self/exe where the system has it, `argv0` otherwise.
std::string OwnProgramPath(const char* argv0);

// Where the bundled collection is, first found of: $KALVO_MOTIF_DB (which, once
// set, must exist), <program folder>/../share/kalvo/motifs/jaspar2024 (an
// installed program), the source tree the program was built from (a build tree).
// Refused, naming each place looked in, when there is none.
struct MotifFolderLookup {
    std::filesystem::path folder;  // a folder, or a single motif file named by the variable
    std::optional<Refusal> refusal;
};
MotifFolderLookup BundledMotifFolder(const std::string& programPath);

// The motifs of every file in a folder, in name order; files of no motif format
// (a licence, a notice) are passed over, a bad motif file refuses the whole folder.
MotifRead ReadMotifFolder(const std::filesystem::path& folder);

// The distinct taxa of the motifs, sorted; motifs without a taxon add none.
std::vector<std::string> MotifTaxa(const std::vector<KnownMotif>& motifs);

// Keeps the motifs of the taxa named (comma lists allowed, any case); a name no
// motif has is refused with the list of those there are.
std::optional<Refusal> KeepTaxa(std::vector<KnownMotif>& motifs, const std::vector<std::string>& taxa);

}  // namespace kalvo
