// discover/discovery_names.cpp: motif ids and names, logo file names and the commands that repeat a discovery.
#include "discover/discovery_names.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "util/file_stem.h"
#include "util/json_writer.h"

namespace kalvo {
namespace {

// The header's first word, without the '>' that starts a header line.
std::string_view HeaderWord(std::string_view header)
{
    if (!header.empty() && header.front() == '>')
        header.remove_prefix(1);
    return header.substr(0, std::min(header.find_first_of(" \t"), header.size()));
}

// At most `bytes` bytes from the start of text, ending where a UTF-8 character starts.
std::size_t CharacterStart(std::string_view text, std::size_t bytes)
{
    while (bytes > 0 && bytes < text.size() && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    return bytes;
}

}  // namespace

std::vector<std::string> SequenceNames(const std::vector<std::string>& headers)
{
    std::vector<std::string> names(headers.size());
    std::vector<std::size_t> cut;
    for (std::size_t i = 0; i < headers.size(); ++i) {
        const std::string_view word = HeaderWord(headers[i]);
        if (word.size() > kSequenceNameBytes) {
            cut.push_back(i);
            continue;
        }
        names[i] = word.empty() ? std::string("seq").append(std::to_string(i + 1)) : std::string(word);
    }
    if (cut.empty())
        return names;
    // A cut name ends in its own number, so no two cut names are alike; one is
    // shortened further only when the input itself holds a word just like it.
    std::unordered_set<std::string_view> taken;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!names[i].empty())
            taken.insert(names[i]);
    for (std::size_t i : cut) {
        const std::string_view word = HeaderWord(headers[i]);
        const std::string suffix = std::string("~").append(std::to_string(i + 1));
        std::size_t keep = kSequenceNameBytes - suffix.size();
        for (;;) {
            keep = CharacterStart(word, keep);
            names[i] = std::string(word.substr(0, keep)) + suffix;
            if (keep == 0 || taken.count(names[i]) == 0)
                break;
            --keep;
        }
        taken.insert(names[i]);
    }
    return names;
}

std::vector<std::string> DiscoveryMotifIds(const Discovery& discovery)
{
    std::vector<std::string> ids;
    std::set<std::string> used;
    for (std::size_t i = 0; i < discovery.motifs.size(); ++i) {
        std::string id = discovery.motifs[i].id;
        // Blanks end a name in MEME and JASPAR headers; control characters have no place in one.
        std::replace_if(id.begin(), id.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; }, '_');
        const std::string position = std::to_string(i + 1);
        if (id.empty())
            id = std::string("motif-").append(position);
        while (used.count(id) > 0)
            id.append("-").append(position);
        used.insert(id);
        ids.push_back(std::move(id));
    }
    return ids;
}

std::vector<std::string> DiscoveryMotifNames(const Discovery& discovery)
{
    const std::string stem = FileStemWord(discovery.settings.inputPath);
    std::vector<std::string> names;
    for (const DiscoveredMotif& motif : discovery.motifs)
        names.push_back(stem + ".rank" + std::to_string(motif.rank));
    return names;
}

long long TargetLength(const Discovery& discovery, int seqIndex)
{
    const auto index = static_cast<std::size_t>(seqIndex);
    return seqIndex >= 0 && index < discovery.targetLengths.size() ? discovery.targetLengths[index] : 0;
}

std::string LogoName(std::size_t position, bool reverse)
{
    return "logo-" + std::to_string(position + 1) + (reverse ? "-rc.svg" : ".svg");
}

std::string ShellQuoted(std::string_view text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("_./,:=@%+-").find(c) != std::string_view::npos;
    });
    if (plain)
        return std::string(text);
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ShellPath(std::string_view path)
{
    // A leading dash would make kalvo or cd read the name as an option, and
    // "cd -" goes back to the previous folder.
    return ShellQuoted(path.starts_with('-') ? "./" + std::string(path) : std::string(path));
}

std::string JoinedWidths(const std::vector<int>& widths, const std::string& separator)
{
    std::string out;
    for (std::size_t i = 0; i < widths.size(); ++i)
        out += (i == 0 ? "" : separator) + std::to_string(widths[i]);
    return out;
}

std::string RepeatCommand(const RestartRecord& restart)
{
    return "kalvo run " + ShellPath(restart.parameterFile) + " --seed " + std::to_string(restart.seed);
}

std::string RepeatInFolderCommand(const std::string& outputDir, const RestartRecord& restart)
{
    return "cd " + ShellPath(outputDir.empty() ? "." : outputDir) + " && " + RepeatCommand(restart);
}

std::string DiscoverCommand(const DiscoverSettings& settings)
{
    std::string out = "kalvo discover " + ShellPath(settings.inputPath);
    if (!settings.widths.empty())
        out += " --widths " + JoinedWidths(settings.widths, ",");
    if (settings.controlPath)
        out += " --control " + ShellPath(*settings.controlPath);
    out += " --motifs " + std::to_string(settings.motifs) + " --restarts " + std::to_string(settings.restarts) +
           " --iterations " + std::to_string(settings.iterations) + " --evalue " +
           JsonNumber(settings.evalueThreshold);
    out += settings.mask ? "" : " --no-mask";
    out += settings.keepLowComplexity ? " --keep-low-complexity" : "";
    out += settings.oneSite ? " --one-site" : "";
    out += settings.bothStrands ? "" : " --given-strand";
    if (!settings.nameMotifs)
        out += " --no-match";
    if (!settings.knownSection)
        out += " --no-known";
    for (const std::string& file : settings.knownMotifs.files)
        out += " --db " + ShellPath(file);
    for (const std::string& taxon : settings.knownMotifs.taxa)
        out += " --taxon " + ShellQuoted(taxon);
    return out + " --seed " + std::to_string(settings.seed);
}

std::string SequenceFileStem(const std::string& inputPath)
{
    std::string stem = FileStem(inputPath);
    return stem.empty() ? std::string("sequences") : stem;
}

}  // namespace kalvo
