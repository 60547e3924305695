// tests/discover/planted_set.h: random sequences with a planted word at recorded places, for whole discoveries.
#pragma once
#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace kalvo::testing {

constexpr const char* kPlanted = "TTGACGTCAG";

// `n` random sequences of `length`; when `plant` is true, two of every three
// hold the planted word once, on either strand, at a recorded position.
struct TestSet {
    std::string fasta;
    std::vector<std::pair<int, int>> sites;  // sequence, leftmost position
};

inline TestSet MakeSet(int n, int length, bool plant, unsigned seed)
{
    std::mt19937 random(seed);
    TestSet set;
    const std::string word = kPlanted;
    for (int s = 0; s < n; ++s) {
        std::string sequence;
        for (int i = 0; i < length; ++i)
            sequence += "ACGT"[random() % 4];
        if (plant && s % 3 != 2) {
            const int at = static_cast<int>(random() % static_cast<unsigned>(length - 10));
            std::string site = word;
            if (random() % 2) {
                std::reverse(site.begin(), site.end());
                for (char& c : site)
                    c = c == 'A' ? 'T' : c == 'T' ? 'A' : c == 'C' ? 'G' : 'C';
            }
            sequence.replace(static_cast<std::size_t>(at), site.size(), site);
            set.sites.emplace_back(s, at);
        }
        set.fasta += ">s" + std::to_string(s) + "\n" + sequence + "\n";
    }
    return set;
}

}  // namespace kalvo::testing
