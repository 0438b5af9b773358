// Text-file writers for the exported results. Every line ends with CR LF, each
// file is written through one buffered stream in binary mode, and 8-bit texts
// are written as stored.
//
// Each writer returns an empty string on success, otherwise a message for the
// user. A refused request (bad gene, pattern or parameter) creates no file. A
// file that cannot be created is reported with its name; an error while writing
// (a full disk) is reported too and the incomplete file is left in place.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

class cExprData;
class cCEMatrix;

// One output file: a single buffered stream in binary mode, every write and
// the close checked, so that a full disk is reported as a failure. The writers
// below and the batch tool's own files go through it.
class cOutputFile {
  public:
    cOutputFile() = default;
    cOutputFile(const cOutputFile&) = delete;
    cOutputFile& operator=(const cOutputFile&) = delete;
    ~cOutputFile();

    // Creates (or empties) the file; returns an empty text or the message for
    // the user, which names the file.
    std::string Create(const char* path);
    // The stream, for formatted writes; check Failed after them.
    std::FILE* Stream() const { return F; }
    // Writes n bytes; false once a write has come short.
    bool Write(const void* data, std::size_t n);
    // Writes line followed by CR LF; line keeps its capacity for the next one.
    void Line(std::string& line);
    // True after a failed write; the first failure's reason is kept.
    bool Failed();
    // Closes the file; returns an empty text or the message for the user (the
    // incomplete file is left in place). After a failed Create, its message.
    std::string Close();

  private:
    std::FILE* F = nullptr;
    std::unique_ptr<char[]> Buffer;
    std::string Path;
    std::string CreateError;
    int Errno = 0;
};

// Filtered expression table: the genes with nCE > 0, values as FormatFixed with
// 5 digits and 5 decimals (NA when missing), in the table format the loader reads.
std::string WriteFilteredTable(const char* path, const cExprData& d, char sep = '.');
// Every co-expressed pair (lower cell != 0), the earlier gene first. p and t are
// reported in the header (t with printf "%f", always a point).
std::string WritePairwiseCE(const char* path, const cExprData& d, const cCEMatrix& M, int p, double t);
// Genes whose correlation r with `gene` (0-based) has |r| > Pow(t, 1/p), r
// recomputed from the data as floats, with r and IntPower(r, p). Refused for a
// power outside 1..MaxCEPower and for a threshold that is not a number above 0.
std::string WriteGeneList(const char* path, const cExprData& d, int gene, int p, double t, char sep = '.');
// Genes of pattern `pattern`, shown relative to `gene` (0-based) when it carries
// that pattern, otherwise to the first gene that does; the stored matrix cells
// of each pair. Refused when no gene carries the pattern.
std::string WritePatternFile(const char* path, const cExprData& d, const cCEMatrix& M, int gene, int pattern,
                             int p, double t, char sep = '.');

// The text between " [" and the name's last character (empty without " [").
std::string RefSeqText(const char* name);
