// discover/output_folder.cpp: a discovery's output folder written beside its place and renamed into it
// whole, the lock that keeps a second writer out, and the removal of what killed discoveries left.
#include "discover/output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/append_file.h"
#include "util/file_bytes.h"

namespace kalvo {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kPartialSuffix = ".kalvo-partial-";
constexpr std::string_view kLockSuffix = ".kalvo-lock";

Refusal NotAFolder(const std::string& path) { return Refusal{"output folder '" + path + "' is a file, not a folder"}; }

std::string ErrorText(int error) { return std::strerror(error); }

bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// A folder itself, not a link to one.
bool IsFolder(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(path, ec));
}

// The folder's real path: absolute, without "." or "..", a link to a folder followed, so
// that what is written beside it is on its file system, where a rename puts it in place.
fs::path RealTarget(const std::string& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    fs::path real = fs::weakly_canonical(absolute, ec);
    if (ec)
        real = absolute.lexically_normal();
    return real.has_filename() ? real : real.parent_path();
}

// The hidden name beside the folder for its lock file or a partial folder: ".NAME" and the suffix.
fs::path Beside(const fs::path& target, std::string_view suffix)
{
    std::string name(1, '.');
    name += target.filename().string();
    name += suffix;
    return target.parent_path() / name;
}

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

// Why a discovery may not take the folder at `target` (named `path` by the user), or nothing.
Outcome CheckClaim(const fs::path& target, const std::string& path, const std::string& inputPath,
                   const std::optional<std::string>& controlPath, bool force)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status))
        return std::nullopt;
    if (fs::is_symlink(status))  // a link to a folder was followed already
        return Refusal{"output folder '" + path + "' is a link that leads nowhere"};
    if (!fs::is_directory(status))
        return NotAFolder(path);
    // The user's files move out of it at the end: a folder that cannot be changed is refused now.
    if (::access(target.c_str(), W_OK | X_OK) != 0)
        return Refusal{"cannot write output folder '" + path + "': " + ErrorText(errno)};
    if (!force && HoldsFilesBesides(target, inputPath)) {
        if (Exists(target / kUnfinishedMarkName))
            return Refusal{"output folder '" + path + "' holds the files of an unfinished discovery (it has " +
                           std::string(kUnfinishedMarkName) + "): delete it, or replace it with --force"};
        return Refusal{"output folder '" + path +
                       "' already holds files: name another with --output-dir, or replace them with --force"};
    }
    if (auto input = InputInside(target, inputPath, controlPath))
        return Refusal{"output folder '" + path + "' holds the input file '" + *input +
                       "', which the discovery would overwrite: name another folder"};
    return std::nullopt;
}

// The lock file beside a folder, held for a whole discovery: its descriptor, or -1 with the
// error and, when another process holds it, that process's id as it wrote it in the file.
struct Lock {
    int fd = -1;
    int error = 0;
    long holder = 0;
};

Lock TakeLock(const fs::path& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return Lock{-1, errno, 0};
        // The holder's id may not be written yet when its lock is met: then the
        // refusal names no process (the file is truncated before the id goes in).
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            std::array<char, 32> text{};
            const ssize_t n = ::pread(fd, text.data(), text.size() - 1, 0);
            ::close(fd);
            return Lock{-1, error, n > 0 ? std::strtol(text.data(), nullptr, 10) : 0};
        }
        // A writer removes the file as it lets go: a lock on a file no longer there keeps nobody out.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
            opened.st_ino == named.st_ino) {
            const std::string pid = std::to_string(::getpid()) + "\n";
            const bool noted = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) > 0;
            static_cast<void>(noted);  // the id only makes a refusal of another writer clearer
            return Lock{fd, 0, 0};
        }
        ::close(fd);
    }
    return Lock{-1, EWOULDBLOCK, 0};
}

void SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Renames `from` to `to`: with `flags` where the file system knows them, as a plain rename where it does not.
int RenameWith(const fs::path& from, const fs::path& to, unsigned flags)
{
    const int done = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
    if (done == 0 || (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP))
        return done;
    if ((flags & RENAME_NOREPLACE) != 0 && Exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

// A second name for the file, or a copy where the file system has no links; the file stays where it is. 0 or the error.
int LinkOrCopy(const fs::path& from, const fs::path& to)
{
    if (::link(from.c_str(), to.c_str()) == 0)
        return 0;
    std::error_code ec;
    fs::copy_file(from, to, ec);
    return ec ? ec.value() : 0;
}

// Moves an entry, a link as a link. 0 or the error.
int MoveEntry(const fs::path& from, const fs::path& to)
{
    return RenameWith(from, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
}

// Moves each named entry from one folder to the other, never over anything, noting the names moved. 0 or the error.
int MoveEntries(const fs::path& from, const fs::path& to, const std::vector<std::string>& names,
                std::vector<std::string>& moved)
{
    for (const std::string& name : names) {
        if (RenameWith(from / name, to / name, RENAME_NOREPLACE) != 0)
            return errno;
        moved.push_back(name);
    }
    return 0;
}

// The program's working folder: a shell there would be left in a removed folder if it were replaced.
bool IsWorkingFolder(const fs::path& folder)
{
    std::error_code ec;
    const fs::path working = fs::current_path(ec);
    return !ec && fs::equivalent(folder, working, ec);
}

// Puts `staging` in the place of `target`. An earlier folder there goes to `earlier`: to the
// staging's name in one exchange where the file system can, else aside first, under a partial
// name that the next discovery clears if this one is killed between the two renames.
int PutInPlace(const fs::path& staging, const fs::path& target, bool replacing, fs::path& earlier)
{
    if (!replacing)
        return RenameWith(staging, target, RENAME_NOREPLACE);
    earlier = staging;
    if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
    earlier = staging.string() + "-old";
    if (::rename(target.c_str(), earlier.c_str()) != 0)
        return -1;
    if (::rename(staging.c_str(), target.c_str()) == 0)
        return 0;
    const int error = errno;
    ::rename(earlier.c_str(), target.c_str());
    errno = error;
    return -1;
}

}  // namespace

std::string SavedInputName(bool gzip) { return gzip ? "input.fa.gz" : "input.fa"; }

bool IsDiscoveryEntryName(const std::string& name)
{
    static constexpr std::array<std::string_view, 11> kNames = {
        "index.html", "summary.json", "enrich.tsv", "sites.tsv", "sites.bed", "motifs.meme",
        "motifs.jaspar", "runs", "input.fa", "input.fa.gz", kUnfinishedMarkName};
    if (std::find(kNames.begin(), kNames.end(), name) != kNames.end())
        return true;
    return name.size() > 9 && name.starts_with("logo-") && name.ends_with(".svg");
}

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

OutputFolder::OutputFolder(std::string path, std::string command)
    : m_path(std::move(path)), m_command(std::move(command))
{
}

OutputFolder::~OutputFolder() { Abandon(); }

std::string OutputFolder::PathOf(const std::string& name) const
{
    return ((m_staging.empty() ? fs::path(m_path) : m_staging) / name).string();
}

Outcome OutputFolder::Write(const std::string& name, std::string_view bytes) const
{
    if (auto problem = ReplaceWhole(PathOf(name), bytes))
        return Refusal{"cannot write '" + name + "' of output folder '" + m_path + "': " + *problem};
    return std::nullopt;
}

Outcome OutputFolder::SaveInput(const std::string& bytes, bool gzip, std::string& copyPath)
{
    const std::string name = SavedInputName(gzip);
    if (auto refusal = Take())
        return refusal;
    std::error_code ec;
    if (Exists(m_target) && !fs::is_directory(m_target, ec)) {
        Abandon();
        return NotAFolder(m_path);
    }
    if (Exists(m_target / name) && !HoldsBytes((m_target / name).string(), bytes)) {
        Abandon();
        return Refusal{"output folder '" + m_path + "' already holds '" + name +
                       "', the saved input of another discovery: name another folder with --output-dir"};
    }
    if (auto refusal = Start())
        return refusal;
    copyPath = (fs::path(m_path) / name).string();
    if (auto problem = CreateWithBytes((m_staging / name).string(), bytes)) {
        Abandon();
        return Refusal{"cannot save standard input as '" + copyPath + "': " + *problem};
    }
    m_savedInput = name;
    return std::nullopt;
}

std::string OutputFolder::Readable(const std::string& path) const
{
    if (!m_savedInput.empty() && !m_staging.empty() && path == (fs::path(m_path) / m_savedInput).string())
        return (m_staging / m_savedInput).string();
    return path;
}

Outcome OutputFolder::Claim(const std::string& inputPath, const std::optional<std::string>& controlPath, bool force,
                           bool withRuns)
{
    if (auto refusal = Take())
        return refusal;
    if (auto refusal = CheckClaim(m_target, m_path, inputPath, controlPath, force)) {
        Abandon();
        return refusal;
    }
    m_inputs = {inputPath, controlPath.value_or(std::string())};
    if (auto refusal = Start())
        return refusal;
    if (!withRuns)
        return std::nullopt;
    std::error_code ec;
    fs::create_directory(m_staging / "runs", ec);
    if (ec) {
        Abandon();
        return Refusal{"cannot write output folder '" + m_path + "': " + ec.message()};
    }
    return std::nullopt;
}

Outcome OutputFolder::Take()
{
    if (m_lock >= 0)
        return std::nullopt;
    m_target = RealTarget(m_path);
    if (!m_target.has_filename() || m_target.parent_path() == m_target)
        return Refusal{"output folder '" + m_path + "' cannot be replaced as a whole: name a folder inside it"};
    const fs::path parent = m_target.parent_path();
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec)
        return Refusal{"cannot create output folder '" + m_path + "': " + ec.message()};
    const fs::path lockPath = Beside(m_target, kLockSuffix);
    const Lock lock = TakeLock(lockPath);
    if (lock.fd < 0 && lock.error == EWOULDBLOCK)
        return Refusal{"output folder '" + m_path + "' is being written by another discovery" +
                       (lock.holder > 0 ? " (process " + std::to_string(lock.holder) + ")" : std::string()) +
                       ": wait for it, or name another folder"};
    if (lock.fd < 0)
        return Refusal{"cannot write beside output folder '" + m_path + "' (its lock file '" +
                       lockPath.filename().string() + "'): " + ErrorText(lock.error)};
    m_lock = lock.fd;
    // Under the lock, a partial folder of this folder is one a killed discovery left.
    const std::string prefix = Beside(m_target, kPartialSuffix).filename().string();
    std::vector<fs::path> partials;
    for (const auto& entry : fs::directory_iterator(parent, ec))
        if (entry.path().filename().string().starts_with(prefix) && IsFolder(entry.path()))
            partials.push_back(entry.path());
    for (const fs::path& partial : partials) {
        std::vector<std::string> theirs;
        for (const auto& entry : fs::directory_iterator(partial, ec))
            if (!IsDiscoveryEntryName(entry.path().filename().string()))
                theirs.push_back(entry.path().filename().string());
        Return(partial, theirs);
    }
    return std::nullopt;
}

Outcome OutputFolder::Start()
{
    if (!m_staging.empty())
        return std::nullopt;
    const std::string pid = std::to_string(::getpid());
    const fs::path staging = Beside(m_target, std::string(kPartialSuffix) + pid);
    if (::mkdir(staging.c_str(), 0777) != 0) {
        const int error = errno;
        Abandon();
        return Refusal{"cannot create output folder '" + m_path + "' (first as '" + staging.filename().string() +
                       "' beside it): " + ErrorText(error)};
    }
    m_staging = staging;
    const std::string mark = "This folder holds the unfinished output of " + m_command + " into '" +
                             m_target.filename().string() + "', by process " + pid +
                             "; it takes that name when whole, and once that process has ended it can be deleted.\n";
    if (auto problem = CreateWithBytes((m_staging / kUnfinishedMarkName).string(), mark)) {
        Abandon();
        return Refusal{"cannot write output folder '" + m_path + "': " + *problem};
    }
    return std::nullopt;
}

Outcome OutputFolder::Commit()
{
    const bool replacing = IsFolder(m_target);
    if (replacing && IsWorkingFolder(m_target))
        return CommitInPlace();
    if (replacing) {
        if (auto refusal = CarryOver()) {
            Abandon();
            return refusal;
        }
        struct stat mode {};
        if (::stat(m_target.c_str(), &mode) == 0)
            ::chmod(m_staging.c_str(), mode.st_mode & 07777);  // the folder keeps who may read and write it
    }
    std::error_code ec;
    fs::remove(m_staging / kUnfinishedMarkName, ec);
    SyncFolder(m_staging);
    fs::path earlier;
    if (PutInPlace(m_staging, m_target, replacing, earlier) != 0) {
        const int error = errno;
        Abandon();
        return Refusal{"cannot put output folder '" + m_path + "' in place: " + ErrorText(error)};
    }
    m_committed = true;
    SyncFolder(m_target.parent_path());
    if (!earlier.empty())
        fs::remove_all(earlier, ec);  // the earlier folder, under a partial name: Kalvo's files only
    m_staging.clear();
    Unlock();
    return std::nullopt;
}

Outcome OutputFolder::CarryOver()
{
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(m_target, ec))
        entries.push_back(entry.path());
    if (ec)
        return Refusal{"cannot read output folder '" + m_path + "': " + ec.message()};
    for (const fs::path& entry : entries) {
        const std::string name = entry.filename().string();
        const bool own = IsDiscoveryEntryName(name);
        if (Exists(m_staging / name) || (own && !IsInput(entry)))
            continue;
        // An input under one of Kalvo's names gets a second name rather than moving, so that it
        // stays where it is until the new folder takes its place; the user's own entries move,
        // links as links.
        const int error = own ? LinkOrCopy(entry, m_staging / name) : MoveEntry(entry, m_staging / name);
        if (error != 0)
            return Refusal{"cannot move '" + name + "' of output folder '" + m_path +
                           "' into the new folder, so the folder is left as it was: " + ErrorText(error)};
        if (!own)
            m_carried.push_back(name);
    }
    return std::nullopt;
}

Outcome OutputFolder::CommitInPlace()
{
    const fs::path mark = m_target / kUnfinishedMarkName;
    const fs::path earlier = m_staging.string() + "-old";
    std::error_code ec;
    fs::remove(mark, ec);  // left by a commit like this one that was killed
    const std::string text = "Kalvo's files in this folder are being replaced by " + m_command + ", process " +
                             std::to_string(::getpid()) + "; if this file is still here once that process has " +
                             "ended, they are unfinished: run the discovery again with --force.\n";
    const std::optional<std::string> problem = CreateWithBytes(mark.string(), text);
    if (problem || ::mkdir(earlier.c_str(), 0777) != 0) {
        const std::string why = problem ? *problem : ErrorText(errno);
        fs::remove(mark, ec);
        Abandon();
        return Refusal{"cannot write output folder '" + m_path + "': " + why};
    }
    std::vector<std::string> old;
    for (const auto& entry : fs::directory_iterator(m_target, ec)) {
        const std::string name = entry.path().filename().string();
        if (name != kUnfinishedMarkName && IsDiscoveryEntryName(name) &&
            (!IsInput(entry.path()) || Exists(m_staging / name)))
            old.push_back(name);
    }
    std::vector<std::string> fresh;
    for (const auto& entry : fs::directory_iterator(m_staging, ec))
        if (entry.path().filename() != kUnfinishedMarkName)
            fresh.push_back(entry.path().filename().string());
    std::vector<std::string> movedOut;
    std::vector<std::string> movedIn;
    int error = MoveEntries(m_target, earlier, old, movedOut);
    if (error == 0)
        error = MoveEntries(m_staging, m_target, fresh, movedIn);
    if (error != 0) {
        // Back as it was: the new entries to the folder being written, the earlier ones home.
        std::vector<std::string> back;
        const bool restored = MoveEntries(m_target, m_staging, movedIn, back) == 0 &&
                              MoveEntries(earlier, m_target, movedOut, back) == 0;
        if (restored)
            fs::remove(mark, ec);
        fs::remove_all(earlier, ec);
        Abandon();
        return Refusal{"cannot put the files of output folder '" + m_path + "' in place: " + ErrorText(error) +
                       (restored ? std::string() : "; it is marked unfinished (INCOMPLETE.txt)")};
    }
    fs::remove(mark, ec);
    SyncFolder(m_target);
    m_committed = true;
    fs::remove_all(earlier, ec);
    fs::remove_all(m_staging, ec);
    m_staging.clear();
    Unlock();
    return std::nullopt;
}

bool OutputFolder::IsInput(const fs::path& entry) const
{
    return std::any_of(m_inputs.begin(), m_inputs.end(), [&entry](const std::string& path) {
        std::error_code ec;
        return !path.empty() && fs::equivalent(entry, path, ec);
    });
}

void OutputFolder::Abandon() noexcept
{
    if (!m_committed && !m_staging.empty())
        Return(m_staging, m_carried);
    m_staging.clear();
    m_carried.clear();
    m_savedInput.clear();
    Unlock();
}

void OutputFolder::Return(const fs::path& partial, const std::vector<std::string>& names) noexcept
{
    std::error_code ec;
    bool kept = false;
    for (const std::string& name : names) {
        if (!Exists(partial / name))
            continue;
        fs::create_directory(m_target, ec);
        // Never over anything: an entry whose name was taken since stays in the partial folder.
        kept = RenameWith(partial / name, m_target / name, RENAME_NOREPLACE) != 0 || kept;
    }
    if (!kept)
        fs::remove_all(partial, ec);
}

void OutputFolder::Unlock() noexcept
{
    if (m_lock < 0)
        return;
    // Removed before it is let go, so that a writer waiting on this file sees it is gone and takes a new one.
    ::unlink(Beside(m_target, kLockSuffix).c_str());
    ::close(m_lock);
    m_lock = -1;
}

}  // namespace kalvo
