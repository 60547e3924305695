// app/cli/main.cpp: entry point of the `kalvo` program.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/cli/command_line.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return kalvo::RunCommandLine(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
