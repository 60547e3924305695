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

}  // namespace kalvo::testing
