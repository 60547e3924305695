// tests/app/inputs_once_outputs_safe_test.cpp: parameter and list files that are pipes are read
// once; reports go to pipes, links and long names as a shell user expects; a batch that runs out
// of memory refuses, naming the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "cli_invocation.h"
#include "temp_files.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::Kalvo;
using testing::ReadBytes;
using testing::TempDir;

constexpr std::string_view kFasta =
    ">s1\nACGTTGTGACATTAGCCAGTAGC\n>s2\nGGCATTTGTGACAGCATCGATTA\n"
    ">s3\nTTAGCATCGGATGTGACACCGTA\n>s4\nCATGTGACAAGGTCCATGACTAG\n";

std::size_t Blocks(const std::string& report)
{
    std::size_t blocks = 0;
    for (std::size_t at = report.find("*************"); at != std::string::npos; at = report.find("*************", at + 1))
        ++blocks;
    return blocks;
}

// A named pipe that a thread fills with `text` once, as a shell's process substitution would.
class FedPipe {
public:
    FedPipe(const std::string& path, std::string text) : m_path(path)
    {
        ::mkfifo(path.c_str(), 0600);
        m_writer = std::thread([this, text = std::move(text)] {
            const int fd = ::open(m_path.c_str(), O_WRONLY);
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
                ::close(fd);
            }
        });
    }
    ~FedPipe()
    {
        // Unblocks a writer whose reader never came.
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
        m_writer.join();
        if (fd >= 0)
            ::close(fd);
    }
    FedPipe(const FedPipe&) = delete;
    FedPipe& operator=(const FedPipe&) = delete;

private:
    std::string m_path;
    std::thread m_writer;
};

TEST(PipedInputs, ParameterAndListFilesThatArePipesAreReadOnceForEveryRun)
{
    TempDir dir;
    const std::string fasta = dir.Write("seqs.fa", kFasta);
    const std::string out = dir.File("out.txt");
    const std::string params = "-i\n" + fasta + "\n-o\n" + out + "\n-w\n6\n-n\n5\n-N\n3\n";
    {
        FedPipe pipe(dir.File("params.pipe"), params);
        const auto k = Kalvo({"repeat", dir.File("params.pipe"), "--seed", "1", "--quiet"});
        EXPECT_EQ(k.status, 0) << k.err;
        EXPECT_EQ(Blocks(ReadBytes(out)), 3u);
    }
    // A list on a pipe naming a parameter file on another pipe.
    const std::string listed = dir.File("listed.pipe");
    FedPipe parameterPipe(listed, params);
    FedPipe listPipe(dir.File("list.pipe"), "1\n" + listed + "\n");
    const auto k = Kalvo({"batch", dir.File("list.pipe"), "--seed", "1", "--quiet", "--jobs", "2"});
    EXPECT_EQ(k.status, 0) << k.err;
    EXPECT_EQ(Blocks(ReadBytes(out)), 6u);
}

TEST(ReportTargets, APipeALinkToNothingYetAndALongNameTakeTheReportAsTheShellWould)
{
    TempDir dir;
    const std::string fasta = dir.Write("seqs.fa", kFasta);
    auto params = [&](const std::string& output) {
        return dir.Write("run.params", "-i\n" + fasta + "\n-o\n" + output + "\n-w\n6\n-n\n5\n");
    };

    const std::string fifo = dir.File("report.pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    });
    auto k = Kalvo({"run", params(fifo), "--seed", "1", "--quiet"});
    reader.join();
    EXPECT_EQ(k.status, 0) << k.err;
    EXPECT_EQ(Blocks(received), 1u);

    fs::create_symlink(dir.File("made.txt"), dir.File("link.txt"));
    k = Kalvo({"run", params(dir.File("link.txt")), "--seed", "1", "--quiet"});
    EXPECT_EQ(k.status, 0) << k.err;
    EXPECT_EQ(Blocks(ReadBytes(dir.File("made.txt"))), 1u);

    const std::string longName = dir.File(std::string(246, 'r') + ".txt");
    k = Kalvo({"run", params(longName), "--seed", "1", "--quiet", "--formats", "json,bed"});
    EXPECT_EQ(k.status, 0) << k.err;
    EXPECT_EQ(Blocks(ReadBytes(longName)), 1u);
    EXPECT_THAT(ReadBytes(dir.File(std::string(246, 'r') + ".json")), HasSubstr("\"sites\""));
}

// AddressSanitizer maps far more address space than the limit this test sets.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST(OutOfMemory, ARepeatOfAParameterFileTooLargeForMemoryIsRefusedNamingIt)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "a memory limit cannot be set under AddressSanitizer";
    TempDir dir;
    const std::string huge = dir.File("huge.params");
    {
        // A sparse file: a gigabyte long, no disk used.
        const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 1LL << 30), 0);
        ::close(fd);
    }
    int capture[2];
    ASSERT_EQ(::pipe(capture), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit limit{512u << 20, 512u << 20};
        ::setrlimit(RLIMIT_AS, &limit);
        const auto k = Kalvo({"repeat", huge, "--seed", "1", "--quiet"});
        [[maybe_unused]] const ssize_t written = ::write(capture[1], k.err.data(), k.err.size());
        ::_exit(k.status);
    }
    ::close(capture[1]);
    std::string err;
    char buffer[4096];
    for (ssize_t n; (n = ::read(capture[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<std::size_t>(n));
    ::close(capture[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the program aborted: " << err;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_THAT(err, HasSubstr("parameter file '" + huge + "' is too large to read into the memory available"));
}

}  // namespace
}  // namespace kalvo
