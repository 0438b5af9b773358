// Text-file writers for the exported results. Every line ends with CR LF, each
// file is written through one buffered stream in binary mode, and 8-bit texts
// are written as stored.
//
// Each writer returns an empty string on success, otherwise a message for the
// user. A refused request (bad gene, pattern or parameter) creates no file. A
// file that cannot be created is reported with its name; an error while writing
// (a full disk) is reported too and leaves an earlier file of that name as it
// was (see cOutputFile).
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
//
// A regular file is never written in place: the text goes to a temporary file
// (".NAME.XXXXXX" in the target's folder), which is flushed to the disk and
// renamed over the target only when all of it was written and closed without
// error; otherwise it is removed and an earlier file stays as it was. The new
// file gets the mode of the one it replaces, or what a plain create gives.
// A symbolic link is followed: the file it points at is replaced and the link
// stays. A hard-linked target is replaced under this name only; its other
// names keep the earlier content. An existing file that is neither a regular
// file nor a folder (a device, a pipe) has nothing to replace and is written
// directly.
class cOutputFile {
  public:
    cOutputFile() = default;
    cOutputFile(const cOutputFile&) = delete;
    cOutputFile& operator=(const cOutputFile&) = delete;
    // Without a successful Close, the temporary file is removed.
    ~cOutputFile();

    // Opens the file for writing; returns an empty text or the message for
    // the user, which names the file. An existing target is not touched yet.
    std::string Create(const char* path);
    // The stream, for formatted writes; check Failed after them.
    std::FILE* Stream() const { return F; }
    // Writes n bytes; false once a write has come short.
    bool Write(const void* data, std::size_t n);
    // Writes line followed by CR LF; line keeps its capacity for the next one.
    void Line(std::string& line);
    // True after a failed write; the first failure's reason is kept.
    bool Failed();
    // Finishes the file and puts it in place; returns an empty text or the
    // message for the user. After a failed Create, its message.
    std::string Close();

  private:
    std::string Discard();

    std::FILE* F = nullptr;
    std::unique_ptr<char[]> Buffer;
    std::string Path;
    std::string Target; // the file replaced: Path with its links followed
    std::string Temp;   // empty when written directly
    bool Existed = false;
    std::string CreateError;
    int Errno = 0;
};

// Which file a path names, for telling whether two paths are one file: the
// device and inode of an existing file (links followed), otherwise the real
// path of its folder with the name (a dangling link followed to its target).
struct cFileIdentity {
    std::string Key;
    // An existing file that is not a regular file nor a folder (a device, a
    // pipe): written as a stream, nothing in it is replaced.
    bool Stream = false;
};
cFileIdentity IdentifyFile(const char* path);

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
