// app/cli/main.cpp: entry point of the `kalvo` program.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/cli/command_line.h"

int main(int argc, char** argv)
{
    // The commands turn every failure of a run into a message; this is the
    // last guard, so that nothing ends in an abort and a core dump.
    try {
        const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        const kalvo::StandardInput in{&std::cin, isatty(STDIN_FILENO) != 0};
        return kalvo::RunCommandLine(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0, in);
    } catch (const std::bad_alloc&) {
        std::cerr << "kalvo: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "kalvo: " << e.what() << "\n";
    }
    return 1;
}
