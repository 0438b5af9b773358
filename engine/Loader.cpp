// Reader of the tab-separated expression table. The text is walked twice: once
// to find the header and count the genes, once to fill the table, so that the
// table is allocated (and checked against the memory available) before any
// value is stored. A regular file is read in chunks for each walk, never held
// whole; other files (pipes, devices) are read whole into memory first, and
// LoadBuffer walks a text already in memory. Both walks see the same lines in
// every case. No locale is consulted anywhere.
#include "ExprData.h"
#include "Memory.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "values are rounded to float by IEEE conversion, overflowing to infinity");

// Where the two walks take their lines from.
class cLineSource {
  public:
    struct cLine {
        const char* b;
        const char* e; // line end excluded: LF, CR LF, or CR in a text without LF
    };
    virtual ~cLineSource() = default;
    // The next line, valid until the next call; false at the end or after a
    // read error.
    virtual bool Next(cLine& line) = 0;
    // Notes the position after the last line returned; Rewind goes back there
    // (false when the source can no longer be read).
    virtual void Mark() = 0;
    virtual bool Rewind() = 0;
    // The errno of a failed read, 0 when every read succeeded.
    virtual int ReadError() const { return 0; }
};

namespace {

// Lines not longer than this are never genes.
constexpr std::ptrdiff_t ShortLine = 10;
// Characters of a value field that take part in the number conversion.
constexpr int ValueChars = 63;

using cLine = cLineSource::cLine;

// Splits off the next line; false at the end of the text. A line ends at a LF
// (a CR directly before it belongs to the line end), or, when crOnly, at a CR.
bool NextLine(const char*& p, const char* end, cLine& line, bool crOnly)
{
    if (p >= end) return false;
    const char* nl = static_cast<const char*>(std::memchr(p, crOnly ? '\r' : '\n', std::size_t(end - p)));
    line.b = p;
    if (!nl) {
        line.e = end;
        p = end;
    } else {
        line.e = (!crOnly && nl > p && nl[-1] == '\r') ? nl - 1 : nl;
        p = nl + 1;
    }
    return true;
}

// The lines of a text in memory. A text without any LF has CR line ends (a
// file written with CR alone); with a LF anywhere, a CR only ends a line
// directly before a LF.
class cBufferLines final : public cLineSource {
  public:
    cBufferLines(const char* text, std::size_t length)
        : P(text), End(text + length), MarkAt(text),
          CrOnly(length > 0 && !std::memchr(text, '\n', length))
    {
    }
    bool Next(cLine& line) override { return NextLine(P, End, line, CrOnly); }
    void Mark() override { MarkAt = P; }
    bool Rewind() override
    {
        P = MarkAt;
        return true;
    }

  private:
    const char* P;
    const char* End;
    const char* MarkAt;
    const bool CrOnly;
};

// The lines of a regular file, read with pread in chunks of at least `chunk`
// bytes; a line longer than the buffer grows it (doubling). A read may return
// fewer bytes than asked anywhere, not only at the end. Line ends follow the
// rule of cBufferLines, decided by a scan for a LF before the first line.
class cFileLines final : public cLineSource {
  public:
    // `size` is the file's size as last seen: a smaller file gets a buffer
    // just large enough to take it in one read.
    cFileLines(int fd, std::size_t chunk, std::size_t size)
        : Fd(fd), Buf(std::max<std::size_t>(std::min(chunk, size + 1), 1))
    {
    }

    // Reads from the start up to the first LF: a file without any has CR line
    // ends. False on a read error.
    bool FindLineEnds()
    {
        off_t at = 0;
        for (;;) {
            const ssize_t got = Read(Buf.data(), Buf.size(), at);
            if (got < 0) return false;
            if (got == 0) break;
            if (std::memchr(Buf.data(), '\n', std::size_t(got))) return true;
            at += got;
        }
        // No LF at all (an empty file has no lines either way).
        CrOnly = true;
        return true;
    }

    bool Next(cLine& line) override
    {
        const char sep = CrOnly ? '\r' : '\n';
        for (;;) {
            char* const b = Buf.data() + Pos;
            // Bytes before Scan hold no separator of the current line.
            if (const void* hit = std::memchr(Buf.data() + Scan, sep, Fill - Scan)) {
                const char* nl = static_cast<const char*>(hit);
                line.b = b;
                line.e = (!CrOnly && nl > b && nl[-1] == '\r') ? nl - 1 : nl;
                Pos = Scan = std::size_t(nl - Buf.data()) + 1;
                return true;
            }
            Scan = Fill;
            if (Eof) {
                if (Pos >= Fill) return false;
                line.b = b;
                line.e = Buf.data() + Fill;
                Pos = Scan = Fill;
                return true;
            }
            // Keep the partial line, at the front of a buffer with room.
            if (Pos > 0) {
                std::memmove(Buf.data(), b, Fill - Pos);
                Fill -= Pos;
                Scan -= Pos;
                Pos = 0;
            }
            if (Fill == Buf.size()) Buf.resize(Buf.size() * 2); // may throw std::bad_alloc
            const ssize_t got = Read(Buf.data() + Fill, Buf.size() - Fill, At);
            if (got < 0) {
                Eof = true;
                Pos = Scan = Fill = 0;
                return false;
            }
            if (got == 0) Eof = true;
            Fill += std::size_t(got);
            At += got;
        }
    }
    // The file offset just after the last line returned.
    void Mark() override { MarkAt = At - off_t(Fill - Pos); }
    bool Rewind() override
    {
        At = MarkAt;
        Pos = Scan = Fill = 0;
        Eof = false;
        return Error == 0;
    }
    int ReadError() const override { return Error; }

  private:
    ssize_t Read(char* to, std::size_t n, off_t at)
    {
        for (;;) {
            const ssize_t got = ::pread(Fd, to, n, at);
            if (got >= 0) return got;
            if (errno == EINTR) continue;
            Error = errno ? errno : EIO;
            return -1;
        }
    }

    const int Fd;
    std::vector<char> Buf;
    std::size_t Pos = 0;  // start of the next line in Buf
    std::size_t Scan = 0; // where the search for its end goes on
    std::size_t Fill = 0; // bytes held
    off_t At = 0;         // file offset of Buf[Fill]
    off_t MarkAt = 0;
    bool Eof = false;
    bool CrOnly = false;
    int Error = 0;
};

bool IsHeader(const cLine& l)
{
    const std::string_view s(l.b, std::size_t(l.e - l.b));
    return s.find("ID") != s.npos && s.find("Name") != s.npos;
}

const char* FindTab(const char* p, const char* e)
{
    const void* t = std::memchr(p, '\t', std::size_t(e - p));
    return t ? static_cast<const char*>(t) : e;
}

// Copies a field to a zero-terminated slot of max + 1 chars, dropping quotes
// (and blanks for array names). A NUL byte ends the text; so does the limit.
void CopyText(const char* p, const char* e, char* dst, int max, bool dropBlanks)
{
    int kept = 0;
    for (; p < e && kept < max; ++p) {
        const char c = *p;
        if (c == '\0') break;
        if (c == '"' || (dropBlanks && (c == ' ' || c == '\t'))) continue;
        dst[kept++] = c;
    }
    dst[kept] = '\0';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Converts the longest prefix of s (after white space) matching
// [+|-](digits[.digits]|.digits)[(e|E)[+|-]digits] to the nearest double and
// rounds that to float. No match gives 0; a magnitude beyond the float range
// gives infinity.
float ParseNumber(const char* s, int n)
{
    int i = 0;
    while (i < n && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const int start = i;
    // Decimal position of the leading significant digit, used only to tell an
    // overflow from an underflow when the double range is left.
    long magnitude = 0;
    bool nonzero = false;
    int intDigits = 0, fracDigits = 0;
    for (; i < n && IsDigit(s[i]); ++i, ++intDigits) {
        if (nonzero)
            ++magnitude;
        else if (s[i] != '0')
            nonzero = true, magnitude = 1;
    }
    if (i < n && s[i] == '.') {
        int j = i + 1;
        for (; j < n && IsDigit(s[j]); ++j, ++fracDigits) {
            if (!nonzero) {
                if (s[j] != '0')
                    nonzero = true;
                else
                    --magnitude;
            }
        }
        if (intDigits + fracDigits > 0) i = j;
    }
    if (intDigits + fracDigits == 0) return 0.0f;
    long exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        int j = i + 1;
        bool expNegative = false;
        if (j < n && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
        if (j < n && IsDigit(s[j])) {
            for (; j < n && IsDigit(s[j]); ++j)
                if (exponent < 100000000) exponent = exponent * 10 + (s[j] - '0');
            if (expNegative) exponent = -exponent;
            i = j;
        }
    }
    double d = 0;
    const auto r = std::from_chars(s + start, s + i, d, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        d = (nonzero && magnitude + exponent > 0) ? std::numeric_limits<double>::infinity() : 0.0;
    else if (r.ec != std::errc())
        d = 0;
    const float f = static_cast<float>(d);
    return negative ? -f : f;
}

// Reads one value field [p, e) into *out; false when it is missing.
bool ParseValue(const char* p, const char* e, float* out)
{
    char kept[ValueChars + 1];
    int n = 0;
    for (; p < e; ++p) {
        const char c = *p;
        if (c == '\0') break;
        if (c == 'N') {
            *out = std::numeric_limits<float>::infinity();
            return false;
        }
        if (c == '"' || n >= ValueChars) continue;
        kept[n++] = c;
    }
    if (char* comma = static_cast<char*>(std::memchr(kept, ',', std::size_t(n)))) *comma = '.';
    *out = ParseNumber(kept, n);
    return true;
}

std::string Because(const char* what, int error)
{
    return std::string(what) + " (" + std::strerror(error ? error : EIO) + ").";
}

std::string NotEnoughMemory(double bytes)
{
    return "Not enough memory to load the table (" + std::to_string(static_cast<long long>(bytes)) +
           " bytes needed).";
}

const char* const TooLargeMessage = "The table is too large to be held in memory.";

} // namespace

int cExprData::LoadFailed(cLoadError why, std::string message)
{
    Free();
    nGenes = 0;
    nArrays = 0;
    LoadError = why;
    LoadMessage = std::move(message);
    return -1;
}

int cExprData::LoadBuffer(const char* text, std::size_t length)
{
    if (!text) length = 0;
    cBufferLines lines(text, length);
    return LoadLines(lines);
}

int cExprData::LoadLines(cLineSource& src)
{
    LoadError = cLoadError::None;
    LoadMessage.clear();
    nCEGenes = 0;
    nPatterns = 0;
    Progress = 0;
    try {
        return ParseLines(src);
    } catch (const std::bad_alloc&) {
        // A line longer than the read buffer, or the header's copy, did not fit.
        return LoadFailed(cLoadError::NotEnoughMemory, "Not enough memory to load the table.");
    } catch (const std::exception&) {
        return LoadFailed(cLoadError::TooLarge, TooLargeMessage);
    }
}

int cExprData::ParseLines(cLineSource& src)
{
    auto readFailed = [&] {
        return LoadFailed(cLoadError::ReadError, Because("The file cannot be read", src.ReadError()));
    };

    // First pass: the header, then the number of genes.
    cLine line{};
    bool found = false;
    while (src.Next(line))
        if (IsHeader(line)) {
            found = true;
            break;
        }
    if (src.ReadError()) return readFailed();
    if (!found)
        return LoadFailed(cLoadError::NoHeader, "No header line holding \"ID\" and \"Name\" was found.");
    // The source may reuse the line's bytes: the header is kept as a copy.
    const std::string header(line.b, line.e);
    src.Mark();
    const char* const headerEnd = header.data() + header.size();
    const char* afterName = header.data() + header.find("Name") + 4;
    long long arrays = 0;
    for (const char* q = afterName; q < headerEnd; ++q)
        arrays += *q == '\t';
    long long genes = 0;
    while (src.Next(line))
        genes += line.e - line.b > ShortLine;
    if (src.ReadError()) return readFailed();
    if (genes > INT_MAX || arrays > INT_MAX || AllocBytes(double(genes), double(arrays)) > MaxAllocBytes)
        return LoadFailed(cLoadError::TooLarge, TooLargeMessage);

    // A table that does not fit in the memory left is refused before any of it
    // is allocated (the system would otherwise kill the process part-way).
    const double bytes = AllocBytes(double(genes), double(arrays));
    if (!MemoryShortfall(static_cast<std::uint64_t>(bytes), "the table").empty())
        return LoadFailed(cLoadError::NotEnoughMemory, NotEnoughMemory(bytes));
    // The rows are not zeroed: the second pass writes every value of each.
    AllocTable(int(genes), int(arrays), false);
    if (!HasArrays()) return LoadFailed(cLoadError::NotEnoughMemory, NotEnoughMemory(bytes));

    // Array names: the columns after the first tab that follows "Name".
    {
        const char* q = FindTab(afterName, headerEnd);
        for (int a = 0; a < nArrays; ++a) {
            const char* b = q + 1;
            q = FindTab(b, headerEnd);
            CopyText(b, q, ArrayName[a], ArrayLen - 1, true);
        }
    }

    // Second pass: one gene per long line.
    if (!src.Rewind()) return readFailed();
    int g = 0;
    while (g < nGenes && src.Next(line)) {
        if (line.e - line.b <= ShortLine) continue;
        const char* q = FindTab(line.b, line.e);
        CopyText(line.b, q, GeneID[g], IDLen - 1, false);
        const char* nameEnd = q < line.e ? FindTab(q + 1, line.e) : q;
        if (q < line.e)
            CopyText(q + 1, nameEnd, GeneName[g], NameLen - 1, false);
        else
            GeneName[g][0] = '\0';
        float* row = Data[g];
        unsigned present = 0;
        q = nameEnd;
        int a = 0;
        // Fields start after a tab; without one there are no more fields.
        for (; a < nArrays && q < line.e; ++a) {
            const char* b = q + 1;
            q = FindTab(b, line.e);
            present += ParseValue(b, q, &row[a]);
        }
        // A line with fewer fields: the rest read as empty fields, 0 and present.
        present += unsigned(nArrays - a);
        for (; a < nArrays; ++a)
            row[a] = 0.0f;
        nPresent[g] = present;
        ++g;
    }
    if (src.ReadError()) return readFailed();
    // Only a file that changed between the passes can end early; its rows
    // would be left unwritten.
    if (g < nGenes) return LoadFailed(cLoadError::ReadError, "The file changed while it was being read.");
    CalcStat();
    const long long values = static_cast<long long>(nGenes) * nArrays;
    return values > INT_MAX ? INT_MAX : static_cast<int>(values);
}

int cExprData::Load(const char* path)
{
    LoadError = cLoadError::None;
    LoadMessage.clear();
    if (!path) {
        nCEGenes = 0;
        return LoadFailed(cLoadError::CannotOpen, "No file name was given.");
    }
    errno = 0;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        nCEGenes = 0;
        return LoadFailed(cLoadError::CannotOpen, Because("The file cannot be opened", errno));
    }
    struct stat st {};
    int rc = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // Two passes over the file itself.
        cFileLines lines(fd, LoadChunkBytes, std::size_t(st.st_size > 0 ? st.st_size : 0));
        if (!lines.FindLineEnds()) {
            nCEGenes = 0;
            rc = LoadFailed(cLoadError::ReadError, Because("The file cannot be read", lines.ReadError()));
        } else {
            rc = LoadLines(lines);
        }
    } else {
        // A pipe or device cannot be read twice: it is held in memory.
        std::vector<char> text;
        cLoadError why = cLoadError::None;
        std::string message;
        try {
            const std::size_t chunk = std::max<std::size_t>(LoadChunkBytes, 1);
            for (;;) {
                const std::size_t had = text.size();
                text.resize(had + chunk);
                const ssize_t got = ::read(fd, text.data() + had, chunk);
                const int error = got < 0 ? errno : 0;
                if (got < 0 && error == EINTR) {
                    text.resize(had);
                    continue;
                }
                text.resize(had + std::size_t(got > 0 ? got : 0));
                if (got < 0) {
                    why = cLoadError::ReadError;
                    message = Because("The file cannot be read", error);
                }
                if (got <= 0) break;
            }
        } catch (const std::bad_alloc&) {
            why = cLoadError::NotEnoughMemory;
            message = "Not enough memory to load the table.";
        } catch (const std::exception&) {
            // More than a vector can hold.
            why = cLoadError::TooLarge;
            message = TooLargeMessage;
        }
        if (why != cLoadError::None) {
            nCEGenes = 0;
            rc = LoadFailed(why, std::move(message));
        } else {
            rc = LoadBuffer(text.data(), text.size());
        }
    }
    ::close(fd);
    return rc;
}
