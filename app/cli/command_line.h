// app/cli/command_line.h: the `kalvo` program as a function of its arguments and streams.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/exit_status.h"
#include "app/cli/standard_input.h"

namespace kalvo {

// Runs `kalvo` with the arguments that follow the program name. Stdout gets
// only help, the version and "Finished!"; everything else goes to `err`.
// Progress is drawn on `err` only when it is a terminal. `in` is read only for
// the FASTA file `-` of find and discover.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal,
                   const StandardInput& in = {});

}  // namespace kalvo
