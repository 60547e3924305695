// util/file_stem.cpp: the one rule that names outputs after their input file.
#include "util/file_stem.h"

#include <filesystem>

namespace kalvo {

std::string FileStem(std::string_view path)
{
    if (path == "-")
        return "stdin";
    std::filesystem::path name = std::filesystem::path(std::string(path)).filename();
    if (name.extension() == ".gz")
        name = name.stem();
    return name.stem().string();
}

std::string FileStemWord(std::string_view path)
{
    std::string stem = FileStem(path);
    for (char& c : stem) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '_' || c == '-';
        if (!kept)
            c = '_';
    }
    return stem.empty() ? std::string("input") : stem;
}

}  // namespace kalvo
