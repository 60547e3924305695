// model/parameter_text.h: a parameter file written from settings, in the form LoadParameters reads.
#pragma once
#include <optional>
#include <string>

namespace kalvo {

// The values of a parameter file, each as the text of its line. A front end may
// pass a user's text through as it was typed: the reader checks it and names the
// key when it is wrong. A key is written only when it is set.
struct ParameterFileValues {
    std::optional<std::string> inputPath;       // -i, the sequence file
    std::optional<std::string> outputPath;      // -o, the report file
    std::optional<std::string> backgroundPath;  // -b
    std::optional<std::string> width;           // -w
    std::optional<std::string> iterations;      // -n
    std::optional<std::string> moves;           // -m, correlation moves per iteration
    std::optional<std::string> correlation;     // -c, correlation level
    bool oneSite = false;                       // -e, exactly one site per sequence
    bool givenStrand = false;                   // -r 0, the given strand only
    std::optional<std::string> pseudocount;     // -s
    std::optional<std::string> seedWord;        // -A
    bool mask = false;                          // -k, low-complexity windows masked
    std::optional<std::string> repeats;         // -N, runs of a repeated run
};

// A run of the correlated model with its usual settings (-m 3, -c 2, -s 1), on
// both strands: what a discovery's restarts and the benchmarks run.
ParameterFileValues CorrelatedRunValues(const std::string& inputPath, const std::string& outputPath, int width,
                                        int iterations);

// The file's text, one key or value a line, keys in the order the reader
// documents: -i -o -b -w -n -m -c -e -r -s -A -k -N.
std::string ParameterFileText(const ParameterFileValues& values);

}  // namespace kalvo
