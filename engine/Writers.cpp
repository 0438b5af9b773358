#include "Writers.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>
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

// The file that writing `path` would create or replace: symbolic links are
// followed as far as they lead, to a file that need not exist yet.
std::string FollowLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) break;
        link.resize(static_cast<std::size_t>(n));
        if (link[0] != '/')
            link = path.substr(0, path.rfind('/') + 1) + link; // relative to the link's folder
        path = link;
    }
    return path;
}

// Folder (with its final slash, empty for the current one) and name of a path.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Six characters that differ between processes, threads and calls.
std::string UniqueSuffix()
{
    static std::atomic<std::uint64_t> serial{0};
    std::uint64_t x = static_cast<std::uint64_t>(::getpid()) << 32 ^ serial.fetch_add(1) ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // splitmix64, so that neighbouring inputs give unrelated names
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    x ^= x >> 31;
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(6, ' ');
    for (char& c : s) {
        c = digits[x % 62];
        x /= 62;
    }
    return s;
}

std::string CannotCreate(const std::string& path, int error)
{
    return "Cannot create the file '" + path + "' (" + std::strerror(error) + ").";
}

} // namespace

cOutputFile::~cOutputFile()
{
    if (F) std::fclose(F);
    Discard();
}

std::string cOutputFile::Discard()
{
    if (!Temp.empty()) ::unlink(Temp.c_str());
    Temp.clear();
    return Existed ? "the earlier file is left as it was." : "no file was created.";
}

std::string cOutputFile::Create(const char* path)
{
    constexpr std::size_t BufferSize = 1 << 20;
    Path = path ? path : "";
    if (Path.empty()) return CreateError = "No file name was given.";

    struct stat st;
    Existed = ::stat(path, &st) == 0;
    // Only a missing file may be created; a loop of links or a bad folder fails as a create would.
    if (!Existed && errno != ENOENT) return CreateError = CannotCreate(Path, errno);
    std::string folder, name;
    if (Existed && S_ISREG(st.st_mode)) {
        // Replacing a file needs the right to write it, as writing it in place would.
        if (::access(path, W_OK) != 0) return CreateError = CannotCreate(Path, errno);
        char* real = ::realpath(path, nullptr);
        Target = real ? real : Path;
        std::free(real);
        std::tie(folder, name) = SplitPath(Target);
    } else if (!Existed) {
        Target = FollowLinks(Path);
        std::tie(folder, name) = SplitPath(Target);
    }

    if (name.empty()) {
        // A device, a pipe, a folder or a name ending in a slash: opened as it
        // is, which gives a folder its own reason for failing.
        Existed = false;
        F = std::fopen(path, "wb");
        if (!F) return CreateError = CannotCreate(Path, errno);
    } else {
        // Keep the temporary name within the longest name a folder takes.
        const std::string stem = folder + "." + name.substr(0, 200) + ".";
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            Temp = stem + UniqueSuffix();
            // 0666: the kernel applies the umask (and a default ACL) as for a plain create.
            fd = ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            const int error = errno;
            Temp.clear();
            return CreateError = CannotCreate(Path, error);
        }
        if (Existed) {
            // The replacement keeps the owner (where allowed) and the mode of the file it replaces.
            // Where that is not allowed, the new file stays ours with the mode a create gives.
            if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
                const int chowned = ::fchown(fd, st.st_uid, st.st_gid);
                (void)chowned;
            }
            const int chmoded = ::fchmod(fd, st.st_mode & 07777);
            (void)chmoded;
        }
        F = ::fdopen(fd, "wb");
        if (!F) {
            const int error = errno;
            ::close(fd);
            Discard();
            return CreateError = CannotCreate(Path, error);
        }
    }
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
    if (!Errno && std::fflush(F) != 0) Errno = errno ? errno : EIO;
    // On the disk before it takes the place of the earlier file.
    if (!Errno && !Temp.empty() && ::fsync(::fileno(F)) != 0) Errno = errno ? errno : EIO;
    errno = 0;
    if (std::fclose(F) != 0 && !Errno) Errno = errno ? errno : EIO;
    F = nullptr;
    if (Temp.empty()) {
        if (!Errno) return {};
        return "Error while writing the file '" + Path + "' (" + std::strerror(Errno) +
               "); the file is incomplete.";
    }
    if (Errno)
        return "Error while writing the file '" + Path + "' (" + std::strerror(Errno) + "); " + Discard();
    if (::rename(Temp.c_str(), Target.c_str()) != 0) {
        Errno = errno;
        return "Cannot replace the file '" + Path + "' (" + std::strerror(Errno) + "); " + Discard();
    }
    Temp.clear();
    return {};
}

cFileIdentity IdentifyFile(const char* path)
{
    cFileIdentity id;
    if (!path || !*path) return id;
    struct stat st;
    if (::stat(path, &st) == 0) {
        id.Key = "inode " + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
                 std::to_string(static_cast<unsigned long long>(st.st_ino));
        id.Stream = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
        return id;
    }
    const auto [folder, name] = SplitPath(FollowLinks(path));
    std::string where;
    if (char* real = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr)) {
        where = real;
        std::free(real);
    } else {
        // A folder that does not exist (yet): its spelling, made absolute.
        std::error_code ec;
        where = std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal().string();
        if (ec) where = folder;
    }
    if (where.empty() || where.back() != '/') where += '/';
    id.Key = "path " + where + name;
    return id;
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
