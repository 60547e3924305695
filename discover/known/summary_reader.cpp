// discover/known/summary_reader.cpp: the motifs of a Kalvo discovery read back from its summary.json.
#include <algorithm>
#include <cmath>

#include "discover/known/motif_readers.h"
#include "discover/known/motif_text.h"
#include "util/json_reader.h"

namespace kalvo {
namespace {

using Kind = JsonValue::Kind;

int LetterIndex(char c)
{
    const std::size_t at = std::string_view("ACGT").find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

class SummaryReader {
public:
    explicit SummaryReader(const std::string& source) : m_source(source) {}

    MotifRead Read(std::string_view text)
    {
        const JsonParse parse = ParseJson(text);
        if (!parse.problem.empty())
            Refuse(parse.line, parse.problem);
        else
            Document(parse.value);
        if (m_result.refusal)
            m_result.motifs.clear();
        return std::move(m_result);
    }

private:
    bool Refuse(int line, const std::string& problem)
    {
        if (!m_result.refusal)
            m_result.refusal = LineProblem(m_source, line, problem);
        return false;
    }

    void Document(const JsonValue& root)
    {
        const JsonValue* program = root.Find("program");
        if (!program || !program->Is(Kind::String) || program->text != "kalvo") {
            Refuse(root.line, "a JSON document that is not a Kalvo discovery's summary (no \"program\": \"kalvo\")");
            return;
        }
        if (const JsonValue* schema = root.Find("schema"); schema && schema->Is(Kind::Number) &&
                                                           schema->number > kReadableSummarySchema) {
            Refuse(schema->line, "written by a newer Kalvo (summary layout " + std::to_string(int(schema->number)) +
                                     "; this one reads up to " + std::to_string(kReadableSummarySchema) + ")");
            return;
        }
        const JsonValue* motifs = root.Find("motifs");
        if (!motifs || !motifs->Is(Kind::Array)) {
            Refuse(root.line, "the summary has no \"motifs\" list (is it a run's JSON file rather than a discovery's?)");
            return;
        }
        std::vector<int> lines;
        for (const JsonValue& item : motifs->items) {
            if (!Motif(item))
                return;
            lines.push_back(item.line);
        }
        m_result.refusal = CheckUniqueIds(m_result.motifs, lines, m_source);
    }

    const JsonValue* Member(const JsonValue& object, std::string_view key, Kind kind)
    {
        const JsonValue* value = object.Find(key);
        if (!value || !value->Is(kind)) {
            Refuse(value ? value->line : object.line, "a motif without its \"" + std::string(key) + "\" " +
                                                          (kind == Kind::Array ? "list" : kind == Kind::String ? "text" : "number"));
            return nullptr;
        }
        return value;
    }

    // The rows of "matrix" (shares) or "counts", four numbers each.
    bool Rows(const JsonValue& list, const std::string& id, ReadMatrix& matrix)
    {
        matrix.firstLine = list.line;
        for (const JsonValue& row : list.items) {
            if (!row.Is(Kind::Array) || row.items.size() != 4)
                return Refuse(row.line, "a row of motif '" + id + "' that is not a list of 4 numbers (A, C, G, T)");
            std::array<double, 4> column{};
            for (std::size_t b = 0; b < 4; ++b) {
                if (!row.items[b].Is(Kind::Number) || row.items[b].number < 0.0)
                    return Refuse(row.line, "a row of motif '" + id + "' holds a cell that is not a number of 0 or more");
                column[b] = row.items[b].number;
            }
            matrix.columns.push_back(column);
            matrix.lines.push_back(row.line);
        }
        return true;
    }

    bool Pair(const JsonValue& item, KnownMotif& motif)
    {
        const JsonValue* columns = Member(item, "columns", Kind::Array);
        const JsonValue* counts = columns ? Member(item, "counts", Kind::Object) : nullptr;
        if (!counts)
            return false;
        const int width = motif.Width();
        std::array<int, 2> at{};
        for (std::size_t k = 0; k < columns->items.size() && columns->items.size() == 2; ++k) {
            const JsonValue& column = columns->items[k];
            if (!column.Is(Kind::Number) || column.number != std::floor(column.number) || column.number < 1 ||
                column.number > width)
                return Refuse(column.line, "a pair of motif '" + motif.id + "' names a column outside 1 to " +
                                               std::to_string(width));
            at[k] = static_cast<int>(column.number) - 1;
        }
        if (columns->items.size() != 2 || at[0] == at[1])
            return Refuse(columns->line, "a correlated group of motif '" + motif.id + "' is not two distinct columns");
        KnownPair pair;
        pair.first = std::min(at[0], at[1]);
        pair.second = std::max(at[0], at[1]);
        const bool swapped = at[0] > at[1];
        double total = 0.0;
        for (std::size_t i = 0; i < counts->keys.size(); ++i) {
            const std::string& word = counts->keys[i];
            const JsonValue& count = counts->items[i];
            const int a = word.size() == 2 ? LetterIndex(word[0]) : -1;
            const int b = word.size() == 2 ? LetterIndex(word[1]) : -1;
            if (a < 0 || b < 0 || !count.Is(Kind::Number) || count.number < 0.0)
                return Refuse(count.line, "a pair of motif '" + motif.id + "' has the count \"" + word +
                                              "\", which is not two letters of ACGT with a number of 0 or more");
            pair.shares[static_cast<std::size_t>(swapped ? 4 * b + a : 4 * a + b)] += count.number;
            total += count.number;
        }
        if (!(total > 0.0))
            return Refuse(counts->line, "a pair of motif '" + motif.id + "' has no counts");
        for (double& share : pair.shares)
            share /= total;
        motif.pairs.push_back(pair);
        return true;
    }

    bool Motif(const JsonValue& item)
    {
        if (!item.Is(Kind::Object))
            return Refuse(item.line, "an item of \"motifs\" that is not an object");
        const JsonValue* id = Member(item, "id", Kind::String);
        const JsonValue* consensus = id ? Member(item, "consensus", Kind::String) : nullptr;
        if (!consensus)
            return false;
        KnownMotif motif;
        motif.id = id->text;
        motif.name = consensus->text.empty() ? id->text : consensus->text;
        motif.source = m_source;
        const JsonValue* rows = item.Find("matrix");
        if (!rows)
            rows = item.Find("counts");
        if (!rows || !rows->Is(Kind::Array))
            return Refuse(item.line, "motif '" + motif.id + "' has neither a \"matrix\" nor a \"counts\" list");
        ReadMatrix matrix;
        if (!Rows(*rows, motif.id, matrix))
            return false;
        if ((m_result.refusal = SetShares(motif, matrix, m_source)))
            return false;
        if (const JsonValue* sites = item.Find("matrix_sites"); sites && sites->Is(Kind::Number) && sites->number > 0)
            motif.sites = sites->number;
        if (const JsonValue* pairs = item.Find("pairs"); pairs && pairs->Is(Kind::Array))
            for (const JsonValue& pair : pairs->items)
                if (!Pair(pair, motif))
                    return false;
        m_result.motifs.push_back(std::move(motif));
        return true;
    }

    const std::string& m_source;
    MotifRead m_result;
};

}  // namespace

MotifRead ReadSummaryMotifs(std::string_view text, const std::string& source)
{
    return SummaryReader(source).Read(text);
}

}  // namespace kalvo
