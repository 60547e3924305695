// tests/app/cli_invocation.h: the `kalvo` program run in-process, with its streams and exit status captured.
#pragma once
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/command_line.h"

namespace kalvo::testing {

struct Invocation {
    int status = -1;
    std::string out;
    std::string err;
};

inline Invocation Kalvo(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(args, out, err, false);
    return Invocation{status, out.str(), err.str()};
}

// As above, with `input` piped into standard input (or typed at a terminal: the program must not read it).
inline Invocation KalvoWithInput(const std::vector<std::string>& args, const std::string& input,
                                 bool inputIsTerminal = false)
{
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(args, out, err, false, StandardInput{&in, inputIsTerminal});
    return Invocation{status, out.str(), err.str()};
}

}  // namespace kalvo::testing
