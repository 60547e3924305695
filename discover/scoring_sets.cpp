// discover/scoring_sets.cpp: reading a discovery's sequences, splitting the targets, encoding both sets.
#include "discover/scoring_sets.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "discover/motif_scan.h"
#include "discover/shuffle.h"
#include "discover/usable_stretches.h"
#include "model/run_state.h"

namespace kalvo {

namespace {

// The UTF-8 byte order mark some editors put before the first line.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Reads U as T, and says how many there were: RNA holds the same motifs, and
// the restarts read only A, C, G and T as bases.
std::optional<std::string> ReadUracilAsThymine(std::vector<std::string>& sequences, const std::string& path)
{
    long long uracils = 0;
    for (std::string& sequence : sequences) {
        for (char& letter : sequence) {
            if (letter == 'U') {
                letter = 'T';
                ++uracils;
            }
        }
    }
    if (uracils == 0)
        return std::nullopt;
    return "sequence file '" + path + "': " + std::to_string(uracils) +
           " U read as T (RNA is searched as DNA; motifs and sites are written with T)";
}

}  // namespace

Outcome ReadSequenceTexts(const std::string& path, SequenceTexts& set)
{
    CMotifSampler reader;
    reader.m_inputPath = path;
    // Width 0 fits every sequence, an empty one too: the discovery checks the
    // lengths against its own widths, and names them.
    reader.m_width = 0;
    if (auto refusal = reader.ReadSequences())
        return refusal;
    set.warnings = std::move(reader.m_warnings);
    set.names.reserve(reader.m_seqs.size());
    set.sequences.reserve(reader.m_seqs.size());
    for (std::size_t s = 0; s < reader.m_seqs.size(); ++s) {
        std::string_view header = reader.m_seqs.Header(s);
        if (header.starts_with(kUtf8Mark))
            header.remove_prefix(kUtf8Mark.size());
        if (!header.empty() && header.front() == '>')
            header.remove_prefix(1);
        set.names.emplace_back(header);
        set.sequences.emplace_back(reader.m_seqs[s]);
    }
    set.residues = reader.m_totalLength;
    if (auto warning = ReadUracilAsThymine(set.sequences, path))
        set.warnings.push_back(std::move(*warning));
    return std::nullopt;
}

int ControlCopies(std::size_t targets, long long residues)
{
    constexpr std::size_t kWantedControls = 1000;
    constexpr std::size_t kMostCopies = 10;
    const std::size_t copies = (kWantedControls + targets - 1) / std::max<std::size_t>(targets, 1);
    const auto affordable = static_cast<std::size_t>(kControlResidues / std::max(residues, 1LL));
    return static_cast<int>(std::clamp<std::size_t>(std::min(copies, affordable), 1, kMostCopies));
}

std::vector<int> AllIndexes(std::size_t n)
{
    std::vector<int> all(n);
    for (std::size_t i = 0; i < n; ++i)
        all[i] = static_cast<int>(i);
    return all;
}

TargetSplit SplitTargets(const SequenceTexts& targets, std::uint64_t seed)
{
    const int n = static_cast<int>(targets.sequences.size());
    std::vector<int> order = AllIndexes(static_cast<std::size_t>(n));
    if (n < kMinSequencesForHoldOut)
        return TargetSplit{order, order, order};
    ShuffleRandom random(seed);
    for (int i = n - 1; i > 0; --i)
        std::swap(order[static_cast<std::size_t>(i)], order[random.Below(static_cast<std::uint64_t>(i) + 1)]);
    const int training = std::max(1, 2 * n / 3);
    long long residues = 0;
    int sampled = 0;
    while (sampled < training) {
        const auto index = static_cast<std::size_t>(order[static_cast<std::size_t>(sampled)]);
        const long long length = UsableLength(targets.sequences[index]);
        if (sampled >= kMinSequencesForHoldOut / 2 && residues + length > kSampledResidues)
            break;
        residues += length;
        ++sampled;
    }
    TargetSplit split;
    split.sampled.assign(order.begin(), order.begin() + sampled);
    split.training.assign(order.begin(), order.begin() + training);
    split.test.assign(order.begin() + training, order.end());
    for (auto* part : {&split.sampled, &split.training, &split.test})
        std::sort(part->begin(), part->end());
    return split;
}

ScoringSets MakeScoringSets(SequenceTexts targets, const std::vector<std::string>& controls, bool controlFile,
                            bool bothStrands, std::uint64_t seed)
{
    ScoringSets sets;
    sets.bothStrands = bothStrands;
    sets.targetCodes.reserve(targets.sequences.size());
    for (const std::string& sequence : targets.sequences)
        sets.targetCodes.push_back(EncodeSequence(sequence));
    for (const std::string& sequence : controls)
        sets.controlCodes.push_back(EncodeSequence(sequence));
    sets.allControls = AllIndexes(sets.controlCodes.size());
    TargetSplit split = SplitTargets(targets, seed);
    sets.sampled = std::move(split.sampled);
    sets.training = std::move(split.training);
    sets.test = std::move(split.test);
    // Shuffled controls are tested against the targets they were shuffled from,
    // so a motif never separates the two sets by their letter composition alone;
    // a control file is split in two.
    std::vector<char> inTest(targets.sequences.size(), 0);
    for (int i : sets.test)
        inTest[static_cast<std::size_t>(i)] = 1;
    for (int k : sets.allControls) {
        const bool testing = controlFile ? k % 2 == 1
                                         : inTest[static_cast<std::size_t>(k) % targets.sequences.size()] != 0;
        (testing ? sets.testingControls : sets.choosingControls).push_back(k);
    }
    sets.targets = std::move(targets);
    return sets;
}

namespace {

// Stretches between runs of N shorter than this hold too few windows to be worth a record of their own.
constexpr long long kShortestSampledStretch = 10;

// The pieces of a target that holds runs of N: its stretches between them whole
// while `windows` windows would cover them, else `windows` windows evenly spaced
// over the stretches as if they were joined, each cut where a run of N falls in it.
// Every piece is named by where it lies in the target, so sites keep their coordinates.
void AppendUsablePieces(int seqIndex, const std::string& sequence, long long windows,
                        std::vector<SampledPiece>& pieces)
{
    std::vector<Stretch> stretches = UsableStretches(sequence);
    std::erase_if(stretches, [](const Stretch& s) { return s.Length() < kShortestSampledStretch; });
    long long usable = 0;
    for (const Stretch& stretch : stretches)
        usable += stretch.Length();
    if (windows * kSampledWindow >= usable) {
        for (const Stretch& stretch : stretches)
            pieces.push_back(SampledPiece{seqIndex, stretch.start, stretch.Length(), false});
        return;
    }
    // Window w covers joined residues [from, from + kSampledWindow), walked stretch by stretch.
    std::size_t at = 0;
    long long joinedBefore = 0;  // joined residues of the stretches before stretches[at]
    for (long long w = 0; w < windows; ++w) {
        long long from = windows == 1 ? (usable - kSampledWindow) / 2 : w * (usable - kSampledWindow) / (windows - 1);
        long long left = kSampledWindow;
        while (left > 0 && at < stretches.size()) {
            const Stretch& stretch = stretches[at];
            if (from >= joinedBefore + stretch.Length()) {
                joinedBefore += stretch.Length();
                ++at;
                continue;
            }
            const long long start = stretch.start + (from - joinedBefore);
            const long long length = std::min(left, stretch.end - start);
            pieces.push_back(SampledPiece{seqIndex, start, length, false});
            from += length;
            left -= length;
        }
    }
}

}  // namespace

std::vector<SampledPiece> SampledPieces(const ScoringSets& sets)
{
    // Shares and windows count only residues outside runs of N: masked sequence is never sampled.
    long long residues = 0;
    for (int i : sets.sampled)
        residues += UsableLength(sets.targets.sequences[static_cast<std::size_t>(i)]);
    std::vector<SampledPiece> pieces;
    for (int i : sets.sampled) {
        const std::string& sequence = sets.targets.sequences[static_cast<std::size_t>(i)];
        const auto length = static_cast<long long>(sequence.size());
        const long long usable = UsableLength(sequence);
        // The target's share of the residues sampled, in whole windows; a share that
        // covers the target takes it whole, so a set that fits is sampled as it is.
        const double part = residues > 0 ? static_cast<double>(usable) / static_cast<double>(residues) : 0.0;
        const long long share = residues <= kSampledResidues
                                    ? usable
                                    : static_cast<long long>(static_cast<double>(kSampledResidues) * part);
        const long long windows = std::max(1LL, (share + kSampledWindow - 1) / kSampledWindow);
        if (usable < length) {
            AppendUsablePieces(i, sequence, windows, pieces);
            continue;
        }
        if (windows * kSampledWindow >= length) {
            pieces.push_back(SampledPiece{i, 0, length, true});
            continue;
        }
        // First window at the start, last at the end, the others evenly between.
        for (long long w = 0; w < windows; ++w) {
            const long long start = windows == 1 ? (length - kSampledWindow) / 2
                                                 : w * (length - kSampledWindow) / (windows - 1);
            pieces.push_back(SampledPiece{i, start, kSampledWindow, false});
        }
    }
    return pieces;
}

}  // namespace kalvo
