// discover/output_folder.h: the one owner of a discovery's output folder: the saved copy of
// standard input, the checks before anything is written, the folder's creation, and the
// removal of what an unfinished discovery left, for every front end.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/refusal.h"

namespace kalvo {

// The name a front end gives the copy of an input it read from standard input,
// at the top of the output folder, so that the folder keeps what repeats the
// discovery: "input.fa", or "input.fa.gz" for gzip data. The discovery writes
// no file of that name, so the folder may hold it when it is the input.
std::string SavedInputName(bool gzip);

// What is at a folder's path, for a front end's own check of the name the user
// gave before a discovery starts: any entry, hidden or not, counts as a file.
enum class FolderState { Absent, Empty, HoldsFiles, NotAFolder };
FolderState InspectFolder(const std::string& path);

// One discovery's output folder. It remembers what this discovery made (the
// folder, the saved input, the files of the run), so that a failure removes
// that and never a file someone else wrote.
class OutputFolder {
public:
    explicit OutputFolder(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }
    // The path of a file of the discovery, named inside the folder ("runs/round1.fa").
    std::string PathOf(const std::string& name) const;
    // Replaces the file of that name in the folder with the bytes, whole or not at all.
    Outcome Write(const std::string& name, std::string_view bytes) const;

    // Saves what was read from standard input as the folder's saved input,
    // creating the folder when it is missing; a copy with the same bytes
    // already there is used as it is, a different file of that name refused.
    // `copyPath` names the copy the discovery is to read.
    Outcome SaveInput(const std::string& bytes, bool gzip, std::string& copyPath);

    // Takes the folder for the discovery: refused when it is a file, when it
    // holds files without `force` (a saved input that is the input aside), or
    // when it holds an input file anywhere inside, which a discovery would
    // overwrite. Then creates it and its runs/ folder.
    Outcome Claim(const std::string& inputPath, const std::optional<std::string>& controlPath, bool force);

    // The discovery has begun to write: the folder was claimed. A discovery
    // refused while this is false has written nothing at all.
    bool Written() const { return m_written; }

    // After a failed or cancelled discovery. Before anything was written, it
    // removes the saved input this object made and the folder when it made it
    // and it is empty. Afterwards, everything in the folder is removed when
    // the folder held nothing else when it was claimed, with the folder when
    // this object made it; otherwise nothing is removed and it returns false.
    // True when nothing of the discovery is left.
    bool RemoveUnfinished();

private:
    // The folder does not exist: remember that creating it makes it this discovery's.
    void NoteCreation();

    std::string m_path;
    std::string m_savedInput;     // the copy this object wrote; empty when it wrote none
    bool m_createdFolder = false;
    bool m_heldOtherFiles = false;  // at the claim: files that are not this discovery's
    bool m_written = false;
};

}  // namespace kalvo
