// util/append_file.cpp: compose-then-commit appends: locked, journaled, cut back on failure.
#include "util/append_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "util/file_identity.h"
#include "util/text_lines.h"

namespace kalvo {
namespace fs = std::filesystem;

namespace {

// Tries to open a file whose name another process keeps replacing before giving up.
constexpr int kOpenAttempts = 100;

constexpr std::string_view kJournalHeader = "kalvo append journal 1";

// The longest file name most file systems take (NAME_MAX on Linux).
constexpr std::size_t kLongestName = 255;

// A journal is a few dozen bytes; a file of that name much larger is not one.
constexpr off_t kLongestJournal = 4096;

std::string ErrnoText(int error, const char* fallback)
{
    return error != 0 ? std::strerror(error) : fallback;
}

// Owns an open file descriptor; closing it also releases its lock.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// Writes every byte, going on after interrupted and partial writes; false with errno set.
bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes a created, renamed or removed name in the file's folder survive a power cut.
void SyncFolderOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    const Descriptor folder(::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
}

// What a journal records: which file, its size before the block, and the block's size.
struct JournalRecord {
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    std::uintmax_t oldSize = 0;
    std::uintmax_t blockSize = 0;
};

std::string JournalText(const JournalRecord& record)
{
    return std::string(kJournalHeader) + "\n" + std::to_string(record.device) + " " + std::to_string(record.inode) +
           " " + std::to_string(record.oldSize) + " " + std::to_string(record.blockSize) + "\nend\n";
}

// The record of a complete journal; nothing for anything else, which is then never acted on.
std::optional<JournalRecord> ParseJournal(std::string_view text)
{
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.size() != 3 || lines[0] != kJournalHeader || lines[2] != "end" || !text.ends_with("\nend\n"))
        return std::nullopt;
    JournalRecord record;
    const std::string& numbers = lines[1];
    const char* next = numbers.data();
    const char* end = numbers.data() + numbers.size();
    std::uintmax_t* fields[] = {&record.device, &record.inode, &record.oldSize, &record.blockSize};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (i > 0) {
            if (next == end || *next != ' ')
                return std::nullopt;
            ++next;
        }
        const auto [ptr, ec] = std::from_chars(next, end, *fields[i]);
        if (ec != std::errc() || ptr == next)
            return std::nullopt;
        next = ptr;
    }
    if (next != end)
        return std::nullopt;
    return record;
}

// Writes the journal under a unique temporary name, then links it to the
// journal's name, which never replaces a file of that name: a journal is
// complete or absent, and a file Kalvo did not write is never touched.
// False when there is no journal: the folder cannot take one, or the name is taken.
bool WriteJournal(const std::string& journal, const JournalRecord& record)
{
    const fs::path parent = fs::path(journal).parent_path();
    std::string temporary = (parent.empty() ? fs::path(".kalvo-journal-XXXXXX") : parent / ".kalvo-journal-XXXXXX").string();
    Descriptor out(::mkstemp(temporary.data()));
    if (!out)
        return false;
    const bool written = WriteAll(out.get(), JournalText(record)) && ::fsync(out.get()) == 0;
    out.Close();
    const bool linked = written && ::link(temporary.c_str(), journal.c_str()) == 0;
    ::unlink(temporary.c_str());
    if (linked)
        SyncFolderOf(journal);
    return linked;
}

void RemoveJournal(const std::string& journal)
{
    if (::unlink(journal.c_str()) == 0)
        SyncFolderOf(journal);
}

// The text of a file of the journal's name when it is a journal Kalvo wrote:
// a small regular file, not reached through a link, that starts with the
// journal header. Nothing for anything else, which is then left alone.
std::optional<std::string> ReadOwnJournal(const std::string& journal)
{
    const Descriptor in(::open(journal.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kLongestJournal)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(in.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    if (!text.starts_with(std::string(kJournalHeader) + "\n"))
        return std::nullopt;
    return text;
}

// Cuts off what an append that was killed mid-way left of its block, then
// drops its journal. Acts only when the journal names this very file and the
// file's size lies between the recorded size and that size plus the block.
// A journal naming another file is stale and goes; a file of that name that
// is no journal of Kalvo's stays as it is.
void RecoverInterruptedAppend(int fd, const struct stat& info, const std::string& journal)
{
    const auto text = ReadOwnJournal(journal);
    if (!text)
        return;
    const auto record = ParseJournal(*text);
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (record && record->device == static_cast<std::uintmax_t>(info.st_dev) &&
        record->inode == static_cast<std::uintmax_t>(info.st_ino) && size >= record->oldSize &&
        size - record->oldSize <= record->blockSize && size != record->oldSize) {
        if (::ftruncate(fd, static_cast<off_t>(record->oldSize)) == 0)
            ::fsync(fd);
        else
            return;  // keep the journal: the next append tries again
    }
    RemoveJournal(journal);
}

// The file opened for appending (created when missing) and locked against
// other appends. After locking, the name must still lead to the locked file:
// one removed or replaced meanwhile is opened anew.
Descriptor OpenLocked(const std::string& path, bool& created, struct stat& info, std::string& problem)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        created = false;
        Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
        if (!fd && errno == ENOENT) {
            fd = Descriptor(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            created = static_cast<bool>(fd);
            if (!fd && errno == EEXIST)
                continue;
        }
        if (!fd) {
            problem = ErrnoText(errno, "cannot be opened for appending");
            return Descriptor();
        }
        // A file system without locks still gets the append, just unguarded.
        while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        if (::fstat(fd.get(), &info) != 0) {
            problem = ErrnoText(errno, "cannot be examined");
            return Descriptor();
        }
        if (!S_ISREG(info.st_mode))
            return fd;
        struct stat named {};
        if (::stat(path.c_str(), &named) == 0 && named.st_dev == info.st_dev && named.st_ino == info.st_ino)
            return fd;
    }
    problem = "it keeps being replaced by another program";
    return Descriptor();
}

}  // namespace

std::optional<std::string> CheckAppendable(const std::string& given)
{
    if (given.empty())
        return std::string("no output file name given");
    if (given.find('\0') != std::string::npos)
        return std::string("the file name holds a NUL byte");
    const std::string path = CreationTarget(given);
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (fs::exists(status)) {
        if (fs::is_directory(status))
            return std::string("it is a directory");
        // A pipe or a device is never opened to look: opening a pipe and
        // closing it again would end its reader's input.
        if (!fs::is_regular_file(status)) {
            if (::access(path.c_str(), W_OK) != 0)
                return ErrnoText(errno, "cannot be opened for writing");
            return std::nullopt;
        }
        // Opening for appending changes nothing in the file.
        const Descriptor probe(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
        if (!probe)
            return ErrnoText(errno, "cannot be opened for appending");
        return std::nullopt;
    }
    // Never create and remove a probe file: another run of the same batch may be
    // appending its report to that very path at this moment.
    const fs::path parent = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
    const std::string quotedParent = std::string("'").append(parent.string()).append("'");
    const auto parentStatus = fs::status(parent, ec);
    if (!fs::exists(parentStatus))
        return std::string("folder ").append(quotedParent).append(" does not exist");
    if (!fs::is_directory(parentStatus))
        return std::string(quotedParent).append(" is not a folder");
    if (::access(parent.c_str(), W_OK) != 0)
        return std::string("folder ").append(quotedParent).append(" is not writable");
    return std::nullopt;
}

std::string SideFileName(const std::string& path, std::string_view suffix)
{
    const fs::path file(path);
    const std::string name = file.filename().string();
    std::string side = name + std::string(suffix);
    if (side.size() > kLongestName) {
        // As much of the name as fits, and a hash of all of it to keep names apart.
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(std::hash<std::string>{}(name)));
        const std::size_t keep = kLongestName - suffix.size() - 17;
        side = name.substr(0, keep) + "~" + hash + std::string(suffix);
    }
    return (file.parent_path() / side).string();
}

std::optional<std::string> AppendWhole(const std::string& given, std::string_view bytes)
{
    if (auto problem = CheckAppendable(given))
        return problem;
    const std::string path = CreationTarget(given);
    bool created = false;
    struct stat info {};
    std::string problem;
    Descriptor fd = OpenLocked(path, created, info, problem);
    if (!fd)
        return problem;

    // Pipes and devices cannot be cut back: the bytes just go out.
    if (!S_ISREG(info.st_mode)) {
        if (!WriteAll(fd.get(), bytes))
            return ErrnoText(errno, "write failed");
        return std::nullopt;
    }

    const std::string journal = SideFileName(path, kAppendJournalSuffix);
    RecoverInterruptedAppend(fd.get(), info, journal);
    if (::fstat(fd.get(), &info) != 0)
        return ErrnoText(errno, "cannot be examined");
    const auto oldSize = static_cast<std::uintmax_t>(info.st_size);
    // Another program may have appended between our create and our lock: then
    // the file is no longer ours alone to remove.
    const bool removeOnFailure = created && oldSize == 0;

    // Where the folder cannot take the journal, the append goes on without
    // it: still locked, and still cut back on a failed write.
    const bool journaled = WriteJournal(journal, JournalRecord{static_cast<std::uintmax_t>(info.st_dev),
                                                               static_cast<std::uintmax_t>(info.st_ino), oldSize,
                                                               static_cast<std::uintmax_t>(bytes.size())});
    if (WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0) {
        if (journaled)
            RemoveJournal(journal);
        return std::nullopt;
    }

    const int error = errno;
    if (removeOnFailure) {
        ::unlink(path.c_str());
    } else if (::ftruncate(fd.get(), static_cast<off_t>(oldSize)) == 0) {
        ::fsync(fd.get());
    } else {
        // The journal stays, so the next append cuts the block off.
        return ErrnoText(error, "write failed");
    }
    if (journaled)
        RemoveJournal(journal);
    return ErrnoText(error, "write failed");
}

// Long by design: the checks of the target, then the temporary file beside it, each with its reason.
std::optional<std::string> ReplacingWriter::Open(const std::string& given)
{
    Abandon();
    if (given.empty())
        return std::string("no file name given");
    if (given.find('\0') != std::string::npos)
        return std::string("the file name holds a NUL byte");
    // Through a link the file it leads to is replaced, as the shell's ">" does.
    std::error_code ec;
    std::string path = CreationTarget(given);
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path target = fs::canonical(path, ec);
        if (!ec)
            path = target.string();
    }
    if (fs::is_directory(path, ec))
        return std::string("it is a directory");
    if (const auto kind = SpecialFileKind(path))
        return "it is " + *kind;
    std::string temporary = SideFileName(path, ".kalvo-XXXXXX");
    errno = 0;
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return ErrnoText(errno, "cannot be created");
    ::fchmod(fd, 0644);
    m_fd = fd;
    m_path = path;
    m_temporary = temporary;
    m_failure.clear();
    return std::nullopt;
}

bool ReplacingWriter::Write(std::string_view bytes)
{
    if (m_fd < 0 || !m_failure.empty())
        return false;
    errno = 0;
    if (!WriteAll(m_fd, bytes))
        m_failure = ErrnoText(errno, "write failed");
    return m_failure.empty();
}

std::optional<std::string> ReplacingWriter::Commit()
{
    if (m_fd < 0)
        return m_failure.empty() ? std::string("no file is open") : m_failure;
    errno = 0;
    if (m_failure.empty() && ::fsync(m_fd) != 0)
        m_failure = ErrnoText(errno, "write failed");
    ::close(std::exchange(m_fd, -1));
    if (m_failure.empty() && ::rename(m_temporary.c_str(), m_path.c_str()) == 0) {
        SyncFolderOf(m_path);
        m_temporary.clear();
        return std::nullopt;
    }
    if (m_failure.empty())
        m_failure = ErrnoText(errno, "cannot be replaced");
    ::unlink(m_temporary.c_str());
    m_temporary.clear();
    return m_failure;
}

void ReplacingWriter::Abandon()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

std::optional<std::string> ReplaceWhole(const std::string& given, std::string_view bytes)
{
    ReplacingWriter writer;
    if (auto problem = writer.Open(given))
        return problem;
    writer.Write(bytes);
    return writer.Commit();
}

}  // namespace kalvo
