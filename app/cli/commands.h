// app/cli/commands.h: the commands of `kalvo`, each in a file of its own, as the dispatcher calls them.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/standard_input.h"

namespace kalvo {

// The streams a command talks through.
struct CommandStreams {
    std::ostream& out;        // help, the version, "Finished!" and the results asked for
    std::ostream& err;        // every other message, and the progress line
    bool errIsTerminal;       // the progress line is drawn only on a terminal
    const StandardInput& in;  // read only for the FASTA file `-`
};

// A command, given the words after its name; returns the program's exit status.
using CommandEntry = int (*)(const std::vector<std::string>& words, const CommandStreams& io);

int KalvoDiscover(const std::vector<std::string>& words, const CommandStreams& io);  // discover_command.cpp
int KalvoMatch(const std::vector<std::string>& words, const CommandStreams& io);     // match_command.cpp
int KalvoEnrich(const std::vector<std::string>& words, const CommandStreams& io);    // enrich_command.cpp
int KalvoScan(const std::vector<std::string>& words, const CommandStreams& io);      // scan_command.cpp
int KalvoFind(const std::vector<std::string>& words, const CommandStreams& io);      // find_command.cpp
int KalvoRun(const std::vector<std::string>& words, const CommandStreams& io);       // parameter_commands.cpp
int KalvoRepeat(const std::vector<std::string>& words, const CommandStreams& io);    // parameter_commands.cpp
int KalvoBatch(const std::vector<std::string>& words, const CommandStreams& io);     // parameter_commands.cpp

}  // namespace kalvo
