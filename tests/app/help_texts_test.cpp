// tests/app/help_texts_test.cpp: the short program help, each command's own help, usage errors showing one usage.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli_invocation.h"

namespace kalvo::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kCommandNames[] = {"discover", "match", "enrich", "scan", "find", "run", "repeat", "batch"};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(HelpTexts, ProgramHelpIsShortAndListsDiscoverFirst)
{
    for (const char* flag : {"--help", "-h"}) {
        const Invocation k = Kalvo({flag});
        EXPECT_EQ(k.status, 0);
        EXPECT_EQ(k.err, "");
        const std::vector<std::string> lines = Lines(k.out);
        EXPECT_LE(lines.size(), 30u);
        for (const std::string& line : lines)
            EXPECT_LE(line.size(), 80u) << line;
        // The commands one line each, in the order of the table: the everyday one first.
        const auto table = std::find(lines.begin(), lines.end(), "Commands:");
        ASSERT_LE(table + 9, lines.end());
        for (int i = 0; i < 8; ++i)
            EXPECT_THAT(table[i + 1], StartsWith("  " + std::string(kCommandNames[i]) + " ")) << i;
        EXPECT_THAT(k.out, HasSubstr("Run 'kalvo COMMAND --help' for the options of a command.\n"));
    }
    const std::string version = Kalvo({"--version"}).out;
    EXPECT_THAT(Kalvo({"--help"}).out, StartsWith(version.substr(0, version.size() - 1) + ": "));
}

TEST(HelpTexts, EachCommandHelpEndsWithAnExampleOfThatCommand)
{
    for (const char* command : kCommandNames) {
        SCOPED_TRACE(command);
        const Invocation k = Kalvo({command, "--help"});
        EXPECT_EQ(k.status, 0);
        EXPECT_EQ(k.err, "");
        EXPECT_THAT(k.out, StartsWith("usage: kalvo " + std::string(command) + " "));
        const std::vector<std::string> lines = Lines(k.out);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "Example:");
        EXPECT_THAT(lines.back(), StartsWith("  kalvo " + std::string(command) + " "));
        // Only its own usage: no other command's usage line.
        for (const std::string other : kCommandNames) {
            if (other != command) {
                EXPECT_THAT(k.out, Not(HasSubstr("usage: kalvo " + other)));
            }
        }
    }
    // -o is a file for find and a folder for discover, and each help says which.
    EXPECT_THAT(Kalvo({"find", "--help"}).out, HasSubstr("-o, --output PATH   [-o]   a file, not a folder"));
    EXPECT_THAT(Kalvo({"discover", "--help"}).out, HasSubstr("-o, --output-dir DIR  a folder, not a file"));
}

TEST(HelpTexts, UsageErrorShowsTheMessageAndOnlyThatCommandsUsageOnStderr)
{
    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"find", "seqs.fa", "-w", "6", "--bogus"}, "unknown option '--bogus'"},
             {{"find", "seqs.fa"}, "find needs --width W, the motif width"},
             {{"discover", "seqs.fa", "--widths", "x"},
              "--widths takes widths from 2 to 1000 separated by commas, not 'x'"},
             {{"discover"}, "discover needs a FASTA file"},
             {{"run", "p", "--seed", "-1"}, "--seed takes a whole number from 0 to 4294967295, not '-1'"},
             {{"repeat", "a", "b"}, "repeat takes one file, not 2"},
             {{"batch", "--formats", "svg", "--width", "8"},
              "option '--width' belongs to `kalvo find` and `kalvo discover`"}}) {
        const std::string command = args.front();
        SCOPED_TRACE(command + ": " + message);
        const Invocation k = Kalvo(args);
        EXPECT_EQ(k.status, 2);
        EXPECT_EQ(k.out, "");
        EXPECT_THAT(k.err, StartsWith("kalvo: " + message + "\nusage: kalvo " + command + " "));
        EXPECT_THAT(k.err, EndsWith("\n       kalvo " + command + " --help | kalvo " + command +
                                    " --version\nTry 'kalvo " + command + " --help' for more.\n"));
        for (const std::string other : kCommandNames) {
            if (other != command) {
                EXPECT_THAT(k.err, Not(HasSubstr("kalvo " + other + " ")));
            }
        }
    }
    // No command, or one that does not exist: the program's short usage.
    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{}, "no command given"}, {{"sample", "p"}, "unknown command 'sample'"}}) {
        const Invocation k = Kalvo(args);
        EXPECT_EQ(k.status, 2);
        EXPECT_EQ(k.out, "");
        EXPECT_EQ(k.err, "kalvo: " + message +
                             "\nusage: kalvo discover|match|enrich|scan|find|run|repeat|batch FILE [OPTIONS]\n"
                             "       kalvo COMMAND --help | kalvo --help | kalvo --version\n"
                             "Try 'kalvo --help' for more.\n");
    }
}

}  // namespace
}  // namespace kalvo::testing
