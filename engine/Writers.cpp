#include "Writers.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "Format.h"
#include "Numeric.h"

namespace {

// Fixed-width slots need not hold their terminating zero; never read past them.
void AppendText(std::string& s, const char* text, std::size_t width)
{
    s.append(text, strnlen(text, width));
}

void AppendQuoted(std::string& s, const char* text, std::size_t width)
{
    s += '"';
    AppendText(s, text, width);
    s += '"';
}

void AppendInt(std::string& s, long long v)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, res.ptr);
}

// printf "%f": six decimals, always with a point, whatever the process locale.
void AppendPrintfF(std::string& s, double v)
{
    if (std::isnan(v)) {
        s += std::signbit(v) ? "-nan" : "nan";
        return;
    }
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    s.append(buf, res.ptr);
}

void AppendFixed(std::string& s, double v, int P, int D, char sep)
{
    char buf[FormatBufSize];
    s.append(buf, static_cast<std::size_t>(FormatFixedTo(buf, v, P, D, sep)));
}

std::string GeneMissing(int gene, const cExprData& d)
{
    return "Gene " + std::to_string(static_cast<long long>(gene) + 1) + " does not exist (the table has " +
           std::to_string(d.nGenes) + " genes).";
}

bool MatrixFits(const cExprData& d, const cCEMatrix& M)
{
    return M.Size() == d.nGenes && (d.nGenes == 0 || !M.Empty());
}

const char* const MatrixMismatch = "The co-expression matrix does not belong to this table.";

// The two header lines naming the filter the result was cut with.
void WriteFilterLines(cOutputFile& f, std::string& line, int p, double t)
{
    line = "\"Filtering power:\"\t";
    AppendInt(line, p);
    f.Line(line);
    line = "\"Filtering threshold:\"\t";
    AppendPrintfF(line, t);
    f.Line(line);
}

// The header shared by the gene list and the pattern file, after its first line.
void WriteGeneHeader(cOutputFile& f, std::string& line, const cExprData& d, int gene, int p, double t)
{
    line = "\"ID:\"\t";
    AppendQuoted(line, d.GeneID[gene], cExprData::IDLen);
    f.Line(line);
    line = "\"Name:\"\t";
    AppendQuoted(line, d.GeneName[gene], cExprData::NameLen);
    f.Line(line);
    WriteFilterLines(f, line, p, t);
    line = "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"";
    f.Line(line);
}

// ID, reference sequence and name of a gene, each followed by a tab.
void AppendGeneColumns(std::string& line, const cExprData& d, int k)
{
    AppendText(line, d.GeneID[k], cExprData::IDLen);
    line += '\t';
    line += RefSeqText(d.GeneName[k]);
    line += '\t';
    AppendText(line, d.GeneName[k], cExprData::NameLen);
    line += '\t';
}

} // namespace

cOutputFile::~cOutputFile()
{
    if (F) std::fclose(F);
}

std::string cOutputFile::Create(const char* path)
{
    constexpr std::size_t BufferSize = 1 << 20;
    Path = path ? path : "";
    if (Path.empty()) return CreateError = "No file name was given.";
    F = std::fopen(path, "wb");
    if (!F) return CreateError = "Cannot create the file '" + Path + "' (" + std::strerror(errno) + ").";
    Buffer.reset(new (std::nothrow) char[BufferSize]);
    if (Buffer) std::setvbuf(F, Buffer.get(), _IOFBF, BufferSize);
    // Whatever errno says from now on comes from a write.
    errno = 0;
    return {};
}

bool cOutputFile::Write(const void* data, std::size_t n)
{
    if (std::fwrite(data, 1, n, F) != n && !Errno) Errno = errno ? errno : EIO;
    return Errno == 0;
}

void cOutputFile::Line(std::string& line)
{
    // Lines end in CR LF explicitly: there is no text mode to add them.
    line += "\r\n";
    Write(line.data(), line.size());
    line.clear();
}

bool cOutputFile::Failed()
{
    if (F && std::ferror(F) && !Errno) Errno = errno ? errno : EIO;
    return Errno != 0;
}

std::string cOutputFile::Close()
{
    if (!F) return CreateError;
    Failed();
    errno = 0;
    if (std::fclose(F) != 0 && !Errno) Errno = errno ? errno : EIO;
    F = nullptr;
    if (!Errno) return {};
    return "Error while writing the file '" + Path + "' (" + std::strerror(Errno) +
           "); the file is incomplete.";
}

std::string RefSeqText(const char* name)
{
    if (!name) return {};
    const std::size_t len = strnlen(name, cExprData::NameLen);
    const char* open = nullptr;
    for (std::size_t i = 0; i + 1 < len; ++i)
        if (name[i] == ' ' && name[i + 1] == '[') {
            open = name + i;
            break;
        }
    if (!open) return {};
    const char* start = open + 2;
    const char* end = name + len - 1; // the last character is left out
    return end > start ? std::string(start, end) : std::string();
}

std::string WriteFilteredTable(const char* path, const cExprData& d, char sep)
{
    cOutputFile f;
    if (std::string why = f.Create(path); !why.empty()) return why;
    std::string line = "\"ID\"\t\"Name\"";
    for (int a = 0; a < d.nArrays; ++a) {
        line += '\t';
        AppendQuoted(line, d.ArrayName[a], cExprData::ArrayLen);
    }
    f.Line(line);
    for (int g = 0; g < d.nGenes; ++g) {
        if (d.nCE[g] <= 0) continue;
        AppendQuoted(line, d.GeneID[g], cExprData::IDLen);
        line += '\t';
        AppendQuoted(line, d.GeneName[g], cExprData::NameLen);
        const float* row = d.Data[g];
        for (int a = 0; a < d.nArrays; ++a) {
            line += '\t';
            if (IsPresent(row[a]))
                AppendFixed(line, row[a], 5, 5, sep);
            else
                line += "NA";
        }
        f.Line(line);
    }
    return f.Close();
}

std::string WritePairwiseCE(const char* path, const cExprData& d, const cCEMatrix& M, int p, double t)
{
    if (!MatrixFits(d, M)) return MatrixMismatch;
    cOutputFile f;
    if (std::string why = f.Create(path); !why.empty()) return why;
    std::string line = "\"Gene coexpression detected (correlation is given for filtered genes)\"";
    f.Line(line);
    WriteFilterLines(f, line, p, t);
    line = "\"ID1\"\t\"Name1\"\t\"ID2\"\t\"Name2\"\t\"Correlation(*100)\"\t\"CE Pattern\"";
    f.Line(line);

    // The pairs are listed by column a of the lower triangle, but rows are
    // contiguous: scan a band of columns row by row and collect each column's
    // partners, already in ascending order.
    const int n = d.nGenes;
    constexpr int Band = 256;
    std::vector<std::vector<int>> partners(Band);
    std::string prefix;
    for (int a0 = 0; a0 < n - 1; a0 += Band) {
        const int a1 = a0 + Band < n - 1 ? a0 + Band : n - 1;
        for (auto& v : partners)
            v.clear();
        for (int b = a0 + 1; b < n; ++b) {
            const std::int8_t* row = M.Row(b);
            const int end = b < a1 ? b : a1;
            int a = a0;
            for (; a + 8 <= end; a += 8) {
                std::uint64_t word;
                std::memcpy(&word, row + a, 8);
                if (word == 0) continue;
                for (int k = a; k < a + 8; ++k)
                    if (row[k] != 0) partners[static_cast<std::size_t>(k - a0)].push_back(b);
            }
            for (; a < end; ++a)
                if (row[a] != 0) partners[static_cast<std::size_t>(a - a0)].push_back(b);
        }
        for (int a = a0; a < a1; ++a) {
            const auto& list = partners[static_cast<std::size_t>(a - a0)];
            if (list.empty()) continue;
            prefix.clear();
            AppendText(prefix, d.GeneID[a], cExprData::IDLen);
            prefix += '\t';
            AppendText(prefix, d.GeneName[a], cExprData::NameLen);
            prefix += '\t';
            for (int b : list) {
                line = prefix;
                AppendText(line, d.GeneID[b], cExprData::IDLen);
                line += '\t';
                AppendText(line, d.GeneName[b], cExprData::NameLen);
                line += '\t';
                AppendInt(line, M.At(a, b));
                line += '\t';
                AppendInt(line, d.Pattern[a]);
                f.Line(line);
            }
        }
    }
    return f.Close();
}

std::string WriteGeneList(const char* path, const cExprData& d, int gene, int p, double t, char sep)
{
    // The power by the engine's rule (its limit bounds the time of IntPower).
    if (std::string why = CEParametersProblem(p, 1.0); !why.empty()) return why;
    if (!(std::isfinite(t) && t > 0)) return "The filtering threshold must be a number above 0.";
    if (gene < 0 || gene >= d.nGenes) return GeneMissing(gene, d);
    const double cutoff = Pow(t, 1.0 / p);
    std::unique_ptr<float[]> r(new (std::nothrow) float[static_cast<std::size_t>(d.nGenes)]());
    if (!r) return "Not enough memory for the correlations of the gene list.";
    d.CorrProfile(gene, r.get());

    cOutputFile f;
    if (std::string why = f.Create(path); !why.empty()) return why;
    std::string line = "\"The list of genes, coexpressed with:\"";
    f.Line(line);
    WriteGeneHeader(f, line, d, gene, p, t);
    for (int k = 0; k < d.nGenes; ++k) {
        const double rk = r[k];
        if (!(std::fabs(rk) > cutoff)) // NaN never passes
            continue;
        AppendGeneColumns(line, d, k);
        AppendFixed(line, rk, 4, 4, sep);
        line += '\t';
        AppendFixed(line, IntPower(rk, p), 4, 4, sep);
        f.Line(line);
    }
    return f.Close();
}

std::string WritePatternFile(const char* path, const cExprData& d, const cCEMatrix& M, int gene, int pattern,
                             int p, double t, char sep)
{
    if (!MatrixFits(d, M)) return MatrixMismatch;
    if (gene < 0 || gene >= d.nGenes) return GeneMissing(gene, d);
    int i = gene;
    if (d.Pattern[i] != pattern) {
        i = -1;
        for (int k = 0; k < d.nGenes && i < 0; ++k)
            if (d.Pattern[k] == pattern) i = k;
        if (i < 0) return "No gene belongs to pattern " + std::to_string(pattern) + ".";
    }

    cOutputFile f;
    if (std::string why = f.Create(path); !why.empty()) return why;
    std::string line = "\"The list of genes from the same pattern (";
    AppendInt(line, pattern);
    line += ") as gene:\"";
    f.Line(line);
    WriteGeneHeader(f, line, d, i, p, t);
    for (int k = 0; k < d.nGenes; ++k) {
        if (d.Pattern[k] != pattern) continue;
        const int lo = k < i ? k : i;
        const int hi = k < i ? i : k;
        AppendGeneColumns(line, d, k);
        AppendFixed(line, M.At(lo, hi), 4, 4, sep);
        line += '\t';
        AppendFixed(line, M.At(hi, lo), 4, 4, sep);
        f.Line(line);
    }
    return f.Close();
}
