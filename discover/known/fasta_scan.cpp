// discover/known/fasta_scan.cpp: pieces of a FASTA file scanned in parallel batches and written in order.
#include "discover/known/fasta_scan.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <thread>

#include "util/fasta_stream.h"
#include "util/table_text.h"

namespace kalvo {
namespace {

// Where a site's q-value goes in a line that waits for it.
constexpr char kQValueMark = '\x01';
// Pieces gathered into one batch at most: many short sequences make a batch of many pieces.
constexpr std::size_t kBatchPieces = 4096;

// A p- or q-value in three significant digits, the same in every locale: "3.2e-05".
void AppendFigure(std::string& out, double value) { out += SignificantText(value, 3); }

void AppendFixed2(std::string& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    out.append(buffer, result.ptr);
}

void AppendField(std::string& out, std::string_view text) { out += TsvField(text); }

// A GFF3 attribute value: the characters GFF3 reserves, percent-encoded.
void AppendGffValue(std::string& out, std::string_view text)
{
    static const char* kHex = "0123456789ABCDEF";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == ';' || c == '=' || c == '&' || c == ',' || c == '%' || byte == 0x7f) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
}

// BED's score column, 0 to 1000: a hundred per factor of ten of the p-value.
int BedScore(double p) { return static_cast<int>(std::lround(std::clamp(-100.0 * std::log10(p), 0.0, 1000.0))); }

// Long by design: one line per format, each field in the order its format has it.
void AppendSiteLine(std::string& out, SiteFormat format, const ScanMotif& motif, std::string_view sequence,
                    const SiteHit& hit, std::string_view residues, bool withQValue)
{
    const std::string word = SiteWord(residues, hit.forward);
    const char strand = hit.forward ? '+' : '-';
    const long long end = hit.start + motif.width;
    switch (format) {
    case SiteFormat::Tsv:
        AppendField(out, motif.id);
        out += '\t';
        AppendField(out, motif.name);
        out += '\t';
        AppendField(out, sequence);
        out += '\t' + std::to_string(hit.start + 1) + '\t' + std::to_string(end) + '\t' + strand + '\t';
        AppendFixed2(out, hit.score * kScoreGridStep);
        out += '\t';
        AppendFigure(out, hit.p);
        if (withQValue) {
            out += '\t';
            out += kQValueMark;
        }
        out += '\t' + word + '\n';
        return;
    case SiteFormat::Bed:
        AppendField(out, sequence);
        out += '\t' + std::to_string(hit.start) + '\t' + std::to_string(end) + '\t';
        AppendField(out, motif.id);
        out += '\t' + std::to_string(BedScore(hit.p)) + '\t' + strand;
        if (withQValue)
            out += kQValueMark;  // BED shows no q-value: the mark only says which site this is
        out += '\n';
        return;
    case SiteFormat::Gff3:
        AppendField(out, sequence);
        out += "\tkalvo\tTF_binding_site\t" + std::to_string(hit.start + 1) + '\t' + std::to_string(end) + '\t';
        AppendFixed2(out, hit.score * kScoreGridStep);
        out += '\t';
        out += strand;
        out += "\t.\tName=";
        AppendGffValue(out, motif.name);
        out += ";motif_id=";
        AppendGffValue(out, motif.id);
        out += ";pvalue=";
        AppendFigure(out, hit.p);
        if (withQValue) {
            out += ";qvalue=";
            out += kQValueMark;
        }
        out += ";sequence=" + word + '\n';
        return;
    }
}

// One piece of a batch: its text (with the carry of the piece before), where its own starts end, its sites.
struct BatchItem {
    std::string text;
    std::string name;
    long long start = 0;
    long long end = 0;
    bool last = false;
    std::vector<SiteHit> hits;
    long long words = 0;
};

// Pieces read together and scanned in parallel, with what reading them counted.
struct Batch {
    std::vector<BatchItem> items = std::vector<BatchItem>(kBatchPieces);
    std::size_t count = 0;
    long long sequences = 0;
    long long residues = 0;
    long long longestSequence = 0;
};

// Reads batches of pieces, each piece with the carry of the piece before it in its sequence.
class BatchReader {
public:
    BatchReader(FastaStream& stream, std::size_t carryLength, std::size_t batchResidues)
        : m_stream(stream), m_carryLength(carryLength), m_batchResidues(batchResidues)
    {
    }

    void Fill(Batch& batch)
    {
        batch.count = 0;
        batch.sequences = batch.residues = 0;
        std::size_t held = 0;
        while (batch.count < kBatchPieces && held < m_batchResidues && m_stream.Next(m_piece)) {
            if (m_piece.record != m_carryRecord) {
                m_carry.clear();
                m_carryRecord = m_piece.record;
            }
            const auto length = static_cast<long long>(m_piece.residues.size());
            batch.sequences += m_piece.first ? 1 : 0;
            batch.residues += length;
            if (m_piece.last)
                batch.longestSequence = std::max(batch.longestSequence, m_piece.start + length);
            BatchItem& item = batch.items[batch.count++];
            item.text = m_carry;
            item.text += m_piece.residues;
            item.name = m_piece.name;
            item.start = m_piece.start - static_cast<long long>(m_carry.size());
            item.last = m_piece.last;
            item.end = m_piece.start + length - static_cast<long long>(m_carryLength);
            if (m_piece.last)
                m_carry.clear();
            else
                m_carry.assign(item.text, item.text.size() - std::min(m_carryLength, item.text.size()));
            held += item.text.size();
        }
    }

private:
    FastaStream& m_stream;
    std::size_t m_carryLength;
    std::size_t m_batchResidues;
    FastaPiece m_piece;
    std::string m_carry;
    long long m_carryRecord = -1;
};

// Scans the batch on one thread per scanner; each scanner keeps its buffers from batch to batch.
void ScanBatch(Batch& batch, const std::vector<ScanMotif>& motifs, const SiteScanSettings& settings,
               std::vector<SiteScanner>& scanners)
{
    std::atomic<std::size_t> next{0};
    auto work = [&](SiteScanner& scanner) {
        for (std::size_t k = next++; k < batch.count; k = next++) {
            BatchItem& item = batch.items[k];
            item.hits.clear();
            item.words = 0;
            scanner.Scan(motifs, {item.text, item.start, item.end, item.last}, settings, item.hits, item.words);
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < std::min(scanners.size(), batch.count); ++t)
        pool.emplace_back(work, std::ref(scanners[t]));
    work(scanners[0]);
    for (std::thread& thread : pool)
        thread.join();
}

// Lines waiting for their q-values: in a temporary file, with their p-values in memory.
class WaitingLines {
public:
    bool Open() { return (m_file = std::unique_ptr<std::FILE, int (*)(std::FILE*)>(std::tmpfile(), std::fclose)) != nullptr; }
    bool Add(std::string_view lines) { return std::fwrite(lines.data(), 1, lines.size(), m_file.get()) == lines.size(); }
    std::vector<double>& PValues() { return m_pValues; }

    // Writes each line whose q-value is at most `maxQ`, its mark replaced by the q-value.
    bool Flush(long long tests, double maxQ, SiteFormat format, const ScanOutput& output, long long& written)
    {
        if (std::fflush(m_file.get()) != 0 || std::fseek(m_file.get(), 0, SEEK_SET) != 0)
            return false;
        const std::vector<double> q = QValuesOutOf(m_pValues, tests);
        std::string line;
        std::string out;
        std::size_t index = 0;
        for (int c = std::fgetc(m_file.get()); c != EOF; c = std::fgetc(m_file.get())) {
            line += static_cast<char>(c);
            if (c != '\n')
                continue;
            if (index < q.size() && q[index] <= maxQ) {
                const std::size_t mark = line.rfind(kQValueMark);
                std::string figure;
                if (format != SiteFormat::Bed)
                    AppendFigure(figure, q[index]);
                line.replace(mark, 1, figure);
                out += line;
                ++written;
            }
            ++index;
            line.clear();
            if (out.size() >= (std::size_t{1} << 20)) {
                if (!output(out))
                    return false;
                out.clear();
            }
        }
        return std::ferror(m_file.get()) == 0 && (out.empty() || output(out));
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file{nullptr, std::fclose};
    std::vector<double> m_pValues;
};

}  // namespace

std::string SiteHeader(SiteFormat format, bool withQValue)
{
    switch (format) {
    case SiteFormat::Tsv:
        return std::string("motif_id\tmotif_name\tsequence\tstart\tend\tstrand\tscore\tp_value") +
               (withQValue ? "\tq_value" : "") + "\tmatched_word\n";
    case SiteFormat::Bed:
        return std::string();
    case SiteFormat::Gff3:
        return "##gff-version 3\n";
    }
    return std::string();
}

std::vector<double> QValuesOutOf(const std::vector<double>& pValues, long long tests)
{
    const std::size_t n = pValues.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pValues[a] < pValues[b]; });
    const double m = static_cast<double>(std::max<long long>(tests, static_cast<long long>(n)));
    std::vector<double> q(n, 1.0);
    double least = 1.0;
    for (std::size_t r = n; r-- > 0;) {
        least = std::min(least, pValues[order[r]] * m / static_cast<double>(r + 1));
        q[order[r]] = least;
    }
    return q;
}

// Long by design: the read-scan-write loop, with the carry between the pieces of one sequence.
Outcome ScanFasta(const FastaScanRequest& request, const ScanOutput& output, FastaScanTally& tally,
                  const FastaScanProgress& progress)
{
    FastaStream stream(request.fastaPath, request.pieceResidues);
    if (auto problem = stream.OpenProblem())
        return Refusal{*problem};
    const std::vector<ScanMotif> motifs = PrepareScanMotifs(request.motifs, request.settings);
    int widest = 1;
    for (const ScanMotif& motif : motifs)
        widest = std::max(widest, motif.width);
    const auto carryLength = static_cast<std::size_t>(widest - 1);
    const bool withQ = request.maxQValue.has_value();
    WaitingLines waiting;
    if (withQ && !waiting.Open())
        return Refusal{"cannot make a temporary file for the sites waiting for their q-values"};
    if (!output(SiteHeader(request.format, withQ)))
        return Refusal{"the sites could not be written"};

    const auto jobs = static_cast<std::size_t>(std::max(1, request.jobs));
    std::vector<SiteScanner> scanners(jobs);
    BatchReader reader(stream, carryLength, jobs * request.pieceResidues);
    // Two batches: the next is read while the current one is scanned.
    Batch current;
    Batch next;
    reader.Fill(current);
    std::string lines;
    while (current.count > 0 && !stream.Problem()) {
        std::thread reading([&] { reader.Fill(next); });
        ScanBatch(current, motifs, request.settings, scanners);
        reading.join();
        tally.sequences += current.sequences;
        tally.residues += current.residues;
        tally.longestSequence = std::max(tally.longestSequence, current.longestSequence);
        lines.clear();
        for (std::size_t k = 0; k < current.count; ++k) {
            const BatchItem& item = current.items[k];
            tally.words += item.words;
            for (const SiteHit& hit : item.hits) {
                const ScanMotif& motif = motifs[static_cast<std::size_t>(hit.motif)];
                const std::string_view word(item.text.data() + (hit.start - item.start),
                                            static_cast<std::size_t>(motif.width));
                AppendSiteLine(lines, request.format, motif, item.name, hit, word, withQ);
                if (withQ)
                    waiting.PValues().push_back(hit.p);
            }
            tally.sites += static_cast<long long>(item.hits.size());
        }
        if (!(withQ ? waiting.Add(lines) : output(lines)))
            return Refusal{withQ ? "the temporary file of the sites could not be written" : "the sites could not be written"};
        if (!withQ)
            tally.sitesWritten = tally.sites;
        tally.gzip = stream.IsGzip();
        if (progress && !progress(tally))
            return Refusal{"scan stopped"};
        std::swap(current, next);
    }
    if (stream.Problem())
        return Refusal{*stream.Problem()};
    if (withQ && !waiting.Flush(tally.words, *request.maxQValue, request.format, output, tally.sitesWritten))
        return Refusal{"the sites could not be written"};
    return std::nullopt;
}

}  // namespace kalvo
