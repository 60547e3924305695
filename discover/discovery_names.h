// discover/discovery_names.h: what the files and the page of a discovery call its motifs, logos and commands.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "discover/discovery.h"

namespace kalvo {

// The motif names every file uses, in rank order: the motifs' ids made safe for
// the matrix formats (no blanks, never empty) and distinct.
std::vector<std::string> DiscoveryMotifIds(const Discovery& discovery);

// Where each motif came from, in rank order, as the matrix formats' second
// name: the input file's stem and the rank, "peaks.rank1".
std::vector<std::string> DiscoveryMotifNames(const Discovery& discovery);

// Bytes a sequence's name in the tables and the round inputs has at most.
inline constexpr std::size_t kSequenceNameBytes = 100;

// The names the tables (sites.tsv, sites.bed, the page) and the restarts' inputs give the
// sequences of these header lines (with or without '>'), in order: each header's first word
// (up to a blank or tab), "seqN" when it has none (N its number from 1), and a word above
// kSequenceNameBytes cut to its first bytes plus "~N", never inside a UTF-8 character, and
// shorter still where that would give the name of another sequence. A header can be
// megabytes long; summary.json keeps it whole, once.
std::vector<std::string> SequenceNames(const std::vector<std::string>& headers);

// The length of target seqIndex, 0 for an index the discovery does not know.
long long TargetLength(const Discovery& discovery, int seqIndex);

// The logo file of the motif at `position` in rank order, or of its reverse
// complement: named by position, so that two motifs never share a file.
std::string LogoName(std::size_t position, bool reverse);

// The name outputs of a sequence file are named after: its FileStem (peaks.fa
// and peaks.fa.gz give "peaks", "-" gives "stdin"), or "sequences" when the path names no file.
std::string SequenceFileStem(const std::string& inputPath);

// A word the shell passes on as it is; anything else in single quotes.
std::string ShellQuoted(std::string_view text);

// A path as a shell word that no command takes for an option: "./-peaks.fa" for "-peaks.fa".
std::string ShellPath(std::string_view path);

// The widths as text with separator between them: "8,12".
std::string JoinedWidths(const std::vector<int>& widths, const std::string& separator);

// The shell command, run in the output folder, that repeats a restart.
std::string RepeatCommand(const RestartRecord& restart);

// The shell command, run where the discovery was, that repeats a restart in its output folder.
std::string RepeatInFolderCommand(const std::string& outputDir, const RestartRecord& restart);

// The `kalvo discover` command that repeats the discovery (the output folder aside), shell-quoted.
std::string DiscoverCommand(const DiscoverSettings& settings);

}  // namespace kalvo
