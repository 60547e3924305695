// util/sequence_text.cpp: letters, reverse complements and word indexes.
#include "util/sequence_text.h"

namespace kalvo {

char ComplementLetter(char letter)
{
    switch (letter) {
    case 'A': return 'T';
    case 'T': return 'A';
    case 'C': return 'G';
    case 'G': return 'C';
    case 'R': return 'Y';
    case 'Y': return 'R';
    default: return letter;
    }
}

std::string ReverseComplement(std::string_view text)
{
    std::string result(text.size(), ' ');
    for (std::size_t i = 0; i < text.size(); ++i)
        result[text.size() - 1 - i] = ComplementLetter(text[i]);
    return result;
}

std::uint64_t WordIndex(std::string_view word)
{
    std::uint64_t index = 0;
    for (char letter : word)
        index = index * 4 + static_cast<std::uint64_t>(BaseCode(letter));
    return index;
}

std::string WordFromIndex(std::uint64_t index, int k)
{
    static constexpr char kLetters[] = {'A', 'C', 'G', 'T'};
    std::string word;
    word.reserve(static_cast<std::size_t>(k > 0 ? k : 0));
    for (int j = k - 1; j >= 0; --j)
        word += kLetters[(index >> (2 * j)) & 3u];
    return word;
}

}  // namespace kalvo
