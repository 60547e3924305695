// discover/known/motif_database.cpp: finding the bundled collection, reading folders and files of motifs, taxa.
#include "discover/known/motif_database.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <system_error>

#include "discover/known/motif_file.h"
#include "discover/known/motif_text.h"
#include "util/text_lines.h"

#ifndef KALVO_SOURCE_MOTIF_DB
#define KALVO_SOURCE_MOTIF_DB ""
#endif
#ifndef KALVO_INSTALLED_MOTIF_DB
#define KALVO_INSTALLED_MOTIF_DB "../share/kalvo/motifs/jaspar2024"
#endif

namespace kalvo {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string Joined(const std::vector<std::string>& words, std::string_view separator)
{
    std::string out;
    for (const std::string& word : words)
        out += (out.empty() ? "" : std::string(separator)) + word;
    return out;
}

// A file or folder given as known motifs: a folder without summary.json is a folder of motif files.
MotifRead ReadGiven(const std::string& path)
{
    std::error_code error;
    if (fs::is_directory(path, error) && !fs::exists(fs::path(path) / "summary.json", error))
        return ReadMotifFolder(path);
    return ReadMotifFile(path);
}

// Adds `read` to the database; an id another file has already is refused, naming both files.
bool Merge(MotifDatabase& database, MotifRead read, std::map<std::string, std::string>& owners)
{
    for (KnownMotif& motif : read.motifs) {
        const auto [at, fresh] = owners.emplace(motif.id, motif.source);
        if (!fresh) {
            database.refusal = Refusal{"the motif id '" + motif.id + "' is in both '" + at->second + "' and '" +
                                       motif.source + "'; known motifs need distinct ids"};
            return false;
        }
        database.motifs.push_back(std::move(motif));
    }
    return true;
}

}  // namespace

std::string OwnProgramPath(const char* argv0)
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error && !self.empty())
        return self.string();
    return argv0 ? std::string(argv0) : std::string();
}

MotifFolderLookup BundledMotifFolder(const std::string& programPath)
{
    std::error_code error;
    if (const char* variable = std::getenv(kMotifDatabaseVariable); variable && *variable) {
        if (fs::exists(variable, error))
            return {variable, std::nullopt};
        return {{}, Refusal{std::string(kMotifDatabaseVariable) + " names '" + variable +
                            "', which does not exist; set it to the folder of the known motifs or unset it"}};
    }
    std::vector<fs::path> places;
    if (!programPath.empty()) {
        const fs::path program = fs::weakly_canonical(fs::absolute(programPath, error), error);
        places.push_back((program.parent_path() / KALVO_INSTALLED_MOTIF_DB).lexically_normal());
    }
    if (*KALVO_SOURCE_MOTIF_DB)
        places.emplace_back(KALVO_SOURCE_MOTIF_DB);
    std::vector<std::string> looked;
    for (const fs::path& place : places) {
        if (fs::is_directory(place, error))
            return {place, std::nullopt};
        looked.push_back(std::string("'").append(place.string()).append("'"));
    }
    return {{}, Refusal{"cannot find the bundled known motifs (looked in " + Joined(looked, ", ") + "); set " +
                        kMotifDatabaseVariable + " to their folder or give motif files"}};
}

MotifRead ReadMotifFolder(const fs::path& folder)
{
    MotifRead result;
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error))
            files.push_back(it->path());
    if (error) {
        result.refusal = Refusal{"cannot read the folder '" + folder.string() + "': " + error.message()};
        return result;
    }
    std::sort(files.begin(), files.end());
    MotifDatabase merged;
    std::map<std::string, std::string> owners;
    for (const fs::path& file : files) {
        const std::string path = file.string();
        std::optional<MotifRead> read = ReadFolderMotifFile(path);
        if (!read)
            continue;
        if (read->refusal) {
            result.refusal = read->refusal;
            return result;
        }
        if (!Merge(merged, std::move(*read), owners)) {
            result.refusal = merged.refusal;
            return result;
        }
    }
    if (merged.motifs.empty())
        result.refusal = Refusal{"the folder '" + folder.string() + "' holds no motif file"};
    else
        result.motifs = std::move(merged.motifs);
    return result;
}

std::vector<std::string> MotifTaxa(const std::vector<KnownMotif>& motifs)
{
    std::set<std::string> taxa;
    for (const KnownMotif& motif : motifs)
        if (!motif.taxon.empty())
            taxa.insert(motif.taxon);
    return {taxa.begin(), taxa.end()};
}

std::optional<Refusal> KeepTaxa(std::vector<KnownMotif>& motifs, const std::vector<std::string>& taxa)
{
    const std::vector<std::string> known = MotifTaxa(motifs);
    std::set<std::string> wanted;
    for (const std::string& given : taxa) {
        std::size_t start = 0;
        for (std::size_t comma = given.find(','); start <= given.size(); comma = given.find(',', start)) {
            const std::string name = Lower(Trimmed(std::string_view(given).substr(start, comma - start)));
            start = comma == std::string::npos ? given.size() + 1 : comma + 1;
            if (name.empty())
                continue;
            const auto match = std::find_if(known.begin(), known.end(), [&](const std::string& taxon) {
                return Lower(taxon) == name;
            });
            if (match == known.end())
                return Refusal{"unknown taxon '" + name + "': " +
                               (known.empty() ? std::string("the known motifs have no taxa")
                                              : "the known motifs' taxa are " + Joined(known, ", "))};
            wanted.insert(*match);
        }
    }
    if (wanted.empty())
        return std::nullopt;
    std::erase_if(motifs, [&](const KnownMotif& motif) { return !wanted.contains(motif.taxon); });
    return std::nullopt;
}

MotifDatabase LoadMotifDatabase(const MotifDatabaseChoice& choice)
{
    MotifDatabase database;
    std::vector<std::string> sources = choice.files;
    if (sources.empty()) {
        const MotifFolderLookup lookup = BundledMotifFolder(choice.programPath);
        if (lookup.refusal) {
            database.refusal = lookup.refusal;
            return database;
        }
        sources.push_back(lookup.folder.string());
    }
    std::map<std::string, std::string> owners;
    for (const std::string& source : sources) {
        MotifRead read = ReadGiven(source);
        if (read.refusal) {
            database.refusal = read.refusal;
            break;
        }
        for (const KnownMotif& motif : read.motifs)
            if (std::find(database.files.begin(), database.files.end(), motif.source) == database.files.end())
                database.files.push_back(motif.source);
        if (!Merge(database, std::move(read), owners))
            break;
    }
    if (!database.refusal)
        database.refusal = KeepTaxa(database.motifs, choice.taxa);
    if (database.refusal)
        database.motifs.clear();
    return database;
}

}  // namespace kalvo
