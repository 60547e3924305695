// util/sequence_text.h: letters, reverse complements and word indexes shared by every model step.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kalvo {

// A=0, C=1, G=2, T=3; any other character counts as A wherever a word index is taken.
inline int BaseCode(char letter)
{
    switch (letter) {
    case 'C': return 1;
    case 'G': return 2;
    case 'T': return 3;
    default: return 0;
    }
}

// True for the four letters that count in motif columns.
inline bool IsBase(char letter)
{
    return letter == 'A' || letter == 'C' || letter == 'G' || letter == 'T';
}

// A/T, C/G and R/Y swapped; every other character stays.
char ComplementLetter(char letter);

// The reverse of the text with each letter complemented.
std::string ReverseComplement(std::string_view text);

// Base-4 number of the word's letters, first letter most significant.
std::uint64_t WordIndex(std::string_view word);

// The k-letter word whose word index is index (inverse of WordIndex on ACGT words).
std::string WordFromIndex(std::uint64_t index, int k);

}  // namespace kalvo
