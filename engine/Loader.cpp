// Reader of the tab-separated expression table. The whole text is held in
// memory and walked twice: once to find the header and count the genes, once to
// fill the table. No locale is consulted anywhere.
#include "ExprData.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "values are rounded to float by IEEE conversion, overflowing to infinity");

namespace {

// Lines not longer than this are never genes.
constexpr std::ptrdiff_t ShortLine = 10;
// Characters of a value field that take part in the number conversion.
constexpr int ValueChars = 63;

struct cLine {
    const char* b;
    const char* e; // line end excluded: LF, or CR LF
};

// Splits off the next line; false at the end of the text.
bool NextLine(const char*& p, const char* end, cLine& line)
{
    if (p >= end) return false;
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
    line.b = p;
    if (!nl) {
        line.e = end;
        p = end;
    } else {
        // Only a CR directly before the LF belongs to the line end.
        line.e = (nl > p && nl[-1] == '\r') ? nl - 1 : nl;
        p = nl + 1;
    }
    return true;
}

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
    LoadError = cLoadError::None;
    LoadMessage.clear();
    nCEGenes = 0;
    nPatterns = 0;
    Progress = 0;
    if (!text) length = 0;
    const char* const end = text + length;

    // First pass: the header, then the number of genes.
    const char* p = text;
    cLine line{};
    bool found = false;
    while (NextLine(p, end, line))
        if (IsHeader(line)) {
            found = true;
            break;
        }
    if (!found)
        return LoadFailed(cLoadError::NoHeader, "No header line holding \"ID\" and \"Name\" was found.");
    const cLine header = line;
    const char* const body = p;
    const std::string_view hs(header.b, std::size_t(header.e - header.b));
    const char* afterName = header.b + hs.find("Name") + 4;
    long long arrays = 0;
    for (const char* q = afterName; q < header.e; ++q)
        arrays += *q == '\t';
    long long genes = 0;
    while (NextLine(p, end, line))
        genes += line.e - line.b > ShortLine;
    if (genes > INT_MAX || arrays > INT_MAX || AllocBytes(double(genes), double(arrays)) > MaxAllocBytes)
        return LoadFailed(cLoadError::TooLarge, TooLargeMessage);

    Alloc(int(genes), int(arrays));
    if (!HasArrays())
        return LoadFailed(cLoadError::NotEnoughMemory,
                          NotEnoughMemory(AllocBytes(double(genes), double(arrays))));

    // Array names: the columns after the first tab that follows "Name".
    {
        const char* q = FindTab(afterName, header.e);
        for (int a = 0; a < nArrays; ++a) {
            const char* b = q + 1;
            q = FindTab(b, header.e);
            CopyText(b, q, ArrayName[a], ArrayLen - 1, true);
        }
    }

    // Second pass: one gene per long line.
    p = body;
    int g = 0;
    while (g < nGenes && NextLine(p, end, line)) {
        if (line.e - line.b <= ShortLine) continue;
        const char* q = FindTab(line.b, line.e);
        CopyText(line.b, q, GeneID[g], IDLen - 1, false);
        const char* nameEnd = q < line.e ? FindTab(q + 1, line.e) : q;
        if (q < line.e) CopyText(q + 1, nameEnd, GeneName[g], NameLen - 1, false);
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
    CalcStat();
    const long long values = static_cast<long long>(nGenes) * nArrays;
    return values > INT_MAX ? INT_MAX : static_cast<int>(values);
}

int cExprData::Load(const char* path)
{
    LoadError = cLoadError::None;
    LoadMessage.clear();
    std::vector<char> text;
    errno = 0;
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    cLoadError why = cLoadError::None;
    std::string message;
    if (!f) {
        why = cLoadError::CannotOpen;
        message = path ? Because("The file cannot be opened", errno) : "No file name was given.";
    } else {
        double size = -1; // unknown
        try {
            // Size a regular file in one go; anything else is read in chunks.
            std::error_code ec;
            if (std::filesystem::is_regular_file(path, ec)) {
                const auto bytes = std::filesystem::file_size(path, ec);
                if (!ec) size = double(bytes);
                if (!ec && bytes > 0) text.resize(std::size_t(bytes));
                if (!text.empty()) text.resize(std::fread(text.data(), 1, text.size(), f));
            }
            char chunk[1 << 16];
            std::size_t got;
            while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
                text.insert(text.end(), chunk, chunk + got);
            if (std::ferror(f)) {
                why = cLoadError::ReadError;
                message = Because("The file cannot be read", errno);
            }
        } catch (const std::bad_alloc&) {
            why = cLoadError::NotEnoughMemory;
            message = size >= 0 ? NotEnoughMemory(size) : "Not enough memory to load the table.";
        } catch (const std::exception&) {
            // More than a vector can hold.
            why = cLoadError::TooLarge;
            message = TooLargeMessage;
        }
        std::fclose(f);
    }
    if (why != cLoadError::None) {
        nCEGenes = 0;
        return LoadFailed(why, std::move(message));
    }
    return LoadBuffer(text.data(), text.size());
}
