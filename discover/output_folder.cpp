// discover/output_folder.cpp: checks, creation and cleanup of a discovery's output folder.
#include "discover/output_folder.h"

#include <filesystem>

#include "util/append_file.h"
#include "util/file_bytes.h"

namespace kalvo {
namespace fs = std::filesystem;
namespace {

Refusal NotAFolder(const std::string& path) { return Refusal{"output folder '" + path + "' is a file, not a folder"}; }

// The saved input of standard input, when it is the discovery's input: the
// one file at the top of the folder the discovery neither writes nor counts.
bool IsSavedInput(const fs::path& entry, int depth, const std::string& inputPath)
{
    std::error_code ec;
    const std::string name = entry.filename().string();
    return depth == 0 && (name == SavedInputName(false) || name == SavedInputName(true)) &&
           fs::equivalent(entry, inputPath, ec);
}

// A folder that holds anything besides the discovery's saved input.
bool HoldsFilesBesides(const fs::path& folder, const std::string& inputPath)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (!IsSavedInput(entry.path(), 0, inputPath))
            return true;
    return false;
}

// The first input file found anywhere inside the folder, a saved input aside; nothing when there is none.
std::optional<std::string> InputInside(const fs::path& folder, const std::string& inputPath,
                                       const std::optional<std::string>& controlPath)
{
    std::error_code ec;
    std::error_code walk;
    for (auto entry = fs::recursive_directory_iterator(folder, walk);
         !walk && entry != fs::recursive_directory_iterator(); entry.increment(walk)) {
        if (IsSavedInput(entry->path(), entry.depth(), inputPath))
            continue;
        for (const std::string& input : {inputPath, controlPath.value_or(std::string())}) {
            if (!input.empty() && fs::equivalent(entry->path(), input, ec))
                return input;
        }
    }
    return std::nullopt;
}

}  // namespace

FolderState InspectFolder(const std::string& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        return FolderState::Absent;
    if (!fs::is_directory(path, ec))
        return FolderState::NotAFolder;
    return fs::directory_iterator(path, ec) == fs::directory_iterator() ? FolderState::Empty
                                                                         : FolderState::HoldsFiles;
}

std::string OutputFolder::PathOf(const std::string& name) const { return (fs::path(m_path) / name).string(); }

Outcome OutputFolder::Write(const std::string& name, std::string_view bytes) const
{
    const std::string path = PathOf(name);
    if (auto problem = ReplaceWhole(path, bytes))
        return Refusal{"cannot write '" + path + "': " + *problem};
    return std::nullopt;
}

void OutputFolder::NoteCreation()
{
    std::error_code ec;
    if (!fs::exists(m_path, ec))
        m_createdFolder = true;
}

Outcome OutputFolder::SaveInput(const std::string& bytes, bool gzip, std::string& copyPath)
{
    const std::string name = SavedInputName(gzip);
    const std::string copy = PathOf(name);
    std::error_code ec;
    if (HoldsBytes(copy, bytes)) {
        copyPath = copy;
        return std::nullopt;
    }
    if (fs::exists(fs::symlink_status(copy, ec)))
        return Refusal{"output folder '" + m_path + "' already holds '" + name +
                       "', the saved input of another discovery: name another folder with --output-dir"};
    if (fs::exists(m_path, ec) && !fs::is_directory(m_path, ec))
        return NotAFolder(m_path);
    NoteCreation();
    fs::create_directories(m_path, ec);
    if (ec)
        return Refusal{"cannot create output folder '" + m_path + "': " + ec.message()};
    if (auto problem = CreateWithBytes(copy, bytes)) {
        RemoveUnfinished();
        return Refusal{"cannot save standard input as '" + copy + "': " + *problem};
    }
    m_savedInput = copy;
    copyPath = copy;
    return std::nullopt;
}

Outcome OutputFolder::Claim(const std::string& inputPath, const std::optional<std::string>& controlPath, bool force)
{
    const fs::path folder(m_path);
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        if (!fs::is_directory(folder, ec))
            return NotAFolder(m_path);
        if (!force && HoldsFilesBesides(folder, inputPath))
            return Refusal{"output folder '" + m_path +
                           "' already holds files: name another with --output-dir, or replace them with --force"};
        if (auto input = InputInside(folder, inputPath, controlPath))
            return Refusal{"output folder '" + m_path + "' holds the input file '" + *input +
                           "', which the discovery would overwrite: name another folder"};
        for (const auto& entry : fs::directory_iterator(folder, ec))
            m_heldOtherFiles = m_heldOtherFiles || entry.path().string() != m_savedInput;
    }
    NoteCreation();
    fs::create_directories(folder / "runs", ec);
    if (ec)
        return Refusal{"cannot create output folder '" + (folder / "runs").string() + "': " + ec.message()};
    m_written = true;
    return std::nullopt;
}

bool OutputFolder::RemoveUnfinished()
{
    std::error_code ec;
    if (!m_written) {
        if (!m_savedInput.empty())
            fs::remove(m_savedInput, ec);
        if (m_createdFolder)
            fs::remove(m_path, ec);  // only when nothing else is in it
        m_savedInput.clear();
        m_createdFolder = false;
        return true;
    }
    if (m_heldOtherFiles)
        return false;  // files of an earlier discovery, or the user's own, are never removed
    for (const fs::directory_entry& entry : fs::directory_iterator(m_path, ec)) {
        std::error_code removal;
        fs::remove_all(entry.path(), removal);
    }
    if (m_createdFolder)
        fs::remove(m_path, ec);  // only when nothing else is in it
    return true;
}

}  // namespace kalvo
