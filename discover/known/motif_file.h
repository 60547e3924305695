// discover/known/motif_file.h: one motif file of any format Kalvo reads, its format told by its content.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discover/known/motif_readers.h"

namespace kalvo {

enum class MotifFormat { Meme, Jaspar, Transfac, Homer, KalvoSummary };

// The format's name for messages: "MEME", "JASPAR", "TRANSFAC", "HOMER", "Kalvo summary.json".
std::string_view MotifFormatName(MotifFormat format);

// The format of a file's lines, told by what they hold rather than by the file's
// name; nothing when no format fits (or the lines are blank).
std::optional<MotifFormat> DetectMotifFormat(const std::vector<std::string>& lines);

// Every motif of a file: MEME, JASPAR (headed or a bare matrix), TRANSFAC, HOMER
// or a Kalvo summary.json, gzip-compressed or not; a Kalvo discovery folder gives
// the motifs of its summary.json. Refused, naming the file (and line): a file that
// cannot be read, is empty, is of no known format, or holds no motif or a bad one.
MotifRead ReadMotifFile(const std::string& path);

// ReadMotifFile for a file of a folder of motif files, which may hold a licence
// or a notice too: nothing for an empty file or one of no motif format.
std::optional<MotifRead> ReadFolderMotifFile(const std::string& path);

// The same for a text already read; `source` names it in messages and in each motif.
MotifRead ReadMotifText(std::string_view text, const std::string& source);

}  // namespace kalvo
