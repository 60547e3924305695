// util/file_stem.h: what the outputs and motifs of an input file are named after.
#pragma once
#include <string>
#include <string_view>

namespace kalvo {

// The file name without its folders, ".gz" and then its last extension:
// peaks.fa and peaks.fa.gz give "peaks"; "-" (standard input) gives "stdin".
// A leading dot starts a hidden file's name, not an extension. Empty when the
// path names no file, as "dir/" does.
std::string FileStem(std::string_view path);

// FileStem as one word for motif names: a byte other than a letter, digit, '.',
// '_' or '-' becomes '_'; nothing left is "input".
std::string FileStemWord(std::string_view path);

}  // namespace kalvo
