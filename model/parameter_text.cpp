// model/parameter_text.cpp: the one writer of parameter files, for the front ends, discover and the benchmarks.
#include "model/parameter_text.h"

namespace kalvo {
namespace {

void AppendKey(std::string& text, const char* key, const std::optional<std::string>& value)
{
    if (value)
        text.append(key).append("\n").append(*value).append("\n");
}

void AppendFlag(std::string& text, const char* key, bool set)
{
    if (set)
        text.append(key).append("\n");
}

}  // namespace

ParameterFileValues CorrelatedRunValues(const std::string& inputPath, const std::string& outputPath, int width,
                                        int iterations)
{
    ParameterFileValues values;
    values.inputPath = inputPath;
    values.outputPath = outputPath;
    values.width = std::to_string(width);
    values.iterations = std::to_string(iterations);
    values.moves.emplace("3");
    values.correlation.emplace("2");
    values.pseudocount.emplace("1");
    return values;
}

std::string ParameterFileText(const ParameterFileValues& values)
{
    std::string text;
    AppendKey(text, "-i", values.inputPath);
    AppendKey(text, "-o", values.outputPath);
    AppendKey(text, "-b", values.backgroundPath);
    AppendKey(text, "-w", values.width);
    AppendKey(text, "-n", values.iterations);
    AppendKey(text, "-m", values.moves);
    AppendKey(text, "-c", values.correlation);
    AppendFlag(text, "-e", values.oneSite);
    AppendKey(text, "-r", values.givenStrand ? std::optional<std::string>("0") : std::nullopt);
    AppendKey(text, "-s", values.pseudocount);
    AppendKey(text, "-A", values.seedWord);
    AppendFlag(text, "-k", values.mask);
    AppendKey(text, "-N", values.repeats);
    return text;
}

}  // namespace kalvo
