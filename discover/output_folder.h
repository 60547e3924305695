// discover/output_folder.h: the one owner of a discovery's output folder, for every front end: the
// folder is written whole beside its place and renamed into it at the end, or it is left as it was.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/refusal.h"

namespace kalvo {

// The name a front end gives the copy of an input it read from standard input,
// at the top of the output folder, so that the folder keeps what repeats the
// discovery: "input.fa", or "input.fa.gz" for gzip data.
std::string SavedInputName(bool gzip);

// The file a folder being written holds from its first moment, saying what the folder is.
inline constexpr std::string_view kUnfinishedMarkName = "INCOMPLETE.txt";

// A name Kalvo gives an entry at the top of an output folder (index.html,
// summary.json, enrich.tsv, sites.tsv, sites.bed, motifs.meme, motifs.jaspar, logo-*.svg,
// runs, the saved input, the mark of an unfinished folder). Everything else
// in a folder is the user's, and a discovery with --force keeps it.
bool IsDiscoveryEntryName(const std::string& name);

// What is at a folder's path, for a front end's own check of the name the user
// gave before a discovery starts: any entry, hidden or not, counts as a file.
enum class FolderState { Absent, Empty, HoldsFiles, NotAFolder };
FolderState InspectFolder(const std::string& path);

// One discovery's output folder. Everything is written into a hidden folder
// beside it (".NAME.kalvo-partial-PID", marked by INCOMPLETE.txt), which
// Commit renames into its place; until then the folder itself is never
// touched. A lock file beside it (".NAME.kalvo-lock") keeps a second writer
// out from the claim until the commit or the abandon. A partial folder left
// by a killed process is removed by the next discovery into the same folder,
// after the user's files it was carrying went back.
class OutputFolder {
public:
    // `path` as the user named it; `command` is what the mark of the unfinished folder says made it.
    explicit OutputFolder(std::string path, std::string command = "kalvo discover");
    // An uncommitted folder is abandoned.
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Where the file of that name ("runs/round1.fa") is written and read while the discovery runs.
    std::string PathOf(const std::string& name) const;
    // Replaces the file of that name in the folder being written with the bytes, whole or not at all.
    Outcome Write(const std::string& name, std::string_view bytes) const;

    // Saves what was read from standard input as the folder's saved input.
    // `copyPath` is its path in the finished folder, which the discovery
    // records; Readable gives the path to read it from until then.
    Outcome SaveInput(const std::string& bytes, bool gzip, std::string& copyPath);
    // The path to read an input from now: the saved input's copy while the folder is written, else `path`.
    std::string Readable(const std::string& path) const;

    // Takes the folder for the discovery: refused when it is a file, when
    // another discovery writes it, when it holds files without `force` (a
    // saved input that is the input aside), or when it holds an input file
    // anywhere inside. Then starts the folder being written, with runs/ when `withRuns`.
    Outcome Claim(const std::string& inputPath, const std::optional<std::string>& controlPath, bool force,
                  bool withRuns = true);

    // Puts the written folder in the folder's place. The entries of an
    // earlier folder there that are not Kalvo's (and a saved input that is
    // this discovery's input) move into it first; the rest of the earlier
    // folder goes. A refusal leaves the earlier folder as it was. The
    // working folder is filled in place instead, so that it stays itself.
    Outcome Commit();
    // Removes the folder being written, the user's files it carries going back first;
    // the folder itself is left as it was. Does nothing once committed.
    void Abandon() noexcept;

private:
    // Resolves where the folder and the files beside it are, takes the lock, and clears
    // the partial folders that killed processes left.
    Outcome Take();
    // Creates the folder being written with its mark, once.
    Outcome Start();
    // Moves the user's entries of the earlier folder into the folder being written.
    Outcome CarryOver();
    // Commit into the working folder, which keeps its identity: Kalvo's earlier entries move
    // aside and the new ones in, under a mark in the folder while they move.
    Outcome CommitInPlace();
    // One of the discovery's inputs.
    bool IsInput(const std::filesystem::path& entry) const;
    // Moves the named entries of a partial folder (the user's) back into the folder, then
    // removes the partial folder unless one could not go back.
    void Return(const std::filesystem::path& partial, const std::vector<std::string>& names) noexcept;
    void Unlock() noexcept;

    std::string m_path;
    std::string m_command;
    std::filesystem::path m_target;   // the folder's real path, links resolved
    std::filesystem::path m_staging;  // the folder being written; empty until started
    std::string m_savedInput;         // the name of the saved input it holds, or empty
    std::vector<std::string> m_inputs;   // the discovery's input and control, which a commit never removes
    std::vector<std::string> m_carried;  // the user's entries moved into the folder being written
    int m_lock = -1;
    bool m_committed = false;
};

}  // namespace kalvo
