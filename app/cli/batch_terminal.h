// app/cli/batch_terminal.h: what find shares with run, repeat and batch: help on their runs, a batch on the terminal.
#pragma once
#include <ostream>
#include <string>
#include <string_view>

#include "app/batch.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"

namespace kalvo {

// Help blocks of the commands that run parameter files.
extern const std::string_view kRunOptionsHelp;     // the options of every run: seed, jobs, formats, ...
extern const std::string_view kParameterFileHelp;  // the keys of a parameter file
extern const std::string_view kBatchOutputHelp;    // what a batch prints, and its exit status

// The files besides each report that the options ask for.
ExtraOutputs ExtraOutputsOf(const ParsedArguments& parsed);

// A batch on the terminal: "Finished!" on stdout, one line per run, refusal and warning on
// stderr, and the progress line, wiped before each of them. `findInput` names the runs that
// have no parameter file (those of `kalvo find`); null for the other commands.
BatchFrontEnd TerminalFrontEnd(const std::string& operand, std::ostream& out, std::ostream& err,
                               ProgressLine& progressLine, const std::string* findInput = nullptr);

// The exit status of a finished batch.
int BatchExitStatus(const BatchResult& result);

}  // namespace kalvo
