// tests/app/word_motifs.h: small known-motif files made from words, for the commands that read motif files.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kalvo::testing {

// A JASPAR file of counts: each motif's word, 40 sites leaning 34 to its letter, named "ID_factor".
inline std::string JasparOf(const std::vector<std::pair<std::string, std::string>>& motifs)
{
    std::string text;
    for (const auto& [id, word] : motifs) {
        text += ">" + id + " " + id + "_factor\n";
        for (char letter : std::string("ACGT")) {
            text += letter;
            text += " [";
            for (char c : word)
                text += c == letter ? " 34" : " 2";
            text += " ]\n";
        }
    }
    return text;
}

}  // namespace kalvo::testing
