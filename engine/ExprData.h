// The expression table and everything computed from it. Toolkit-free: the
// object reports through its virtual Print hook, the typed hooks OnProgress and
// OnMessage, and return values.
#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class cCEMatrix;
class cLineSource;

// A value is present exactly when it is finite; missing values are stored as +inf.
inline bool IsPresent(float v)
{
    return std::isfinite(v);
}

// Sum of n unsigned counts as a double (0 for n == 0).
double SumCounts(const unsigned* counts, int n);

// Why the last Load or LoadBuffer failed.
enum class cLoadError { None, CannotOpen, ReadError, NoHeader, NotEnoughMemory, TooLarge };

// The highest correlation power accepted (see CEParametersProblem).
constexpr int MaxCEPower = 1000;

// Empty when the power and threshold can be used; otherwise the message. The
// power must be a whole number from 1 to MaxCEPower: r^p is computed by
// repeated multiplication (the results are defined that way, bit for bit),
// which takes time in proportion to p for some r (|r| just below 1 needs
// about 2^52 steps before the product stops changing), so larger powers are
// refused rather than left to run for hours. Past about 1000 a power only
// lets |r| within 0.1% of 1 pass any usual threshold.
std::string CEParametersProblem(int p, double t);

class cExprData {
  public:
    static constexpr int IDLen = 32;    // 31 characters + terminating zero
    static constexpr int NameLen = 256; // 255 + 1
    static constexpr int ArrayLen = 64; // 63 + 1

    cExprData();
    virtual ~cExprData();
    cExprData(const cExprData&) = delete;
    cExprData& operator=(const cExprData&) = delete;

    // Progress and message hook. The base writes the text to standard output as
    // a printf format without arguments ("%%" prints one percent sign).
    virtual void Print(const char* text);

    // Typed progress of CalcCE and RenewCE: percent done (the value of Progress) and the running
    // count of co-expressed genes, called wherever the progress text is printed. May be called on
    // the thread that runs the calculation.
    std::function<void(float percent, int ceGenes)> OnProgress;
    // Each message for the user, that is every printed text that is not a
    // progress text, right after it went to Print. May be called on the thread
    // that runs the calculation; never from the destructor.
    std::function<void(const char* text)> OnMessage;

    void Alloc(int genes, int arrays);
    void Free();

    // Reads an expression table. Returns nGenes * nArrays, or -1 when no header
    // line is found (also for unreadable and empty files) or the table cannot
    // be held (TooLarge; NotEnoughMemory when it does not fit in the memory
    // available, see MemoryShortfall in Memory.h); LoadError and LoadMessage
    // then say why. A regular file is read twice in chunks, never held whole;
    // a pipe or device is read whole into memory first. Lines end at LF (or CR
    // LF); a text without any LF has CR line ends.
    int Load(const char* path);
    // The same parser over a text held in memory (used by tests and fuzzing).
    int LoadBuffer(const char* text, std::size_t length);
    // Bytes Load asks for in one read (a line longer than that is gathered
    // over several). A testing aid: small values make lines span reads.
    std::size_t LoadChunkBytes = std::size_t(1) << 20;

    void CalcStat();
    void NormArrays(bool center, bool scale);
    void NormGenes(bool center, bool scale);

    // Pearson correlation of two genes over their common present arrays.
    double Corr(int a, int b) const;
    // out[k] = Corr(g, k) for every gene k; out holds nGenes floats.
    void CorrProfile(int g, float* out) const;

    // Fills the co-expression matrix. Returns 1 when done, -1 when the matrix is
    // absent or the computation was cancelled through Stop.
    int CalcCE(cCEMatrix* M, int p, float t);
    // Re-filters the stored correlations with a new power and threshold.
    int RenewCE(cCEMatrix* M, int p, float t);

    void FindPatterns(const cCEMatrix* M);
    void SpreadPattern(int g, int label, const cCEMatrix* M);

    // Worker threads for CalcCE; 0 means every hardware thread.
    int nThreads = 0;

    // Set by every Load and LoadBuffer: None and empty after a success,
    // otherwise the reason and a sentence for the user (without the file name).
    cLoadError LoadError = cLoadError::None;
    std::string LoadMessage;

    int nGenes;
    int nArrays;
    char (*GeneID)[IDLen];
    char (*GeneName)[NameLen];
    char (*ArrayName)[ArrayLen];
    float Progress;
    int nCEGenes;
    std::int64_t MemUsed; // 64-bit: large tables must not overflow the count
    std::atomic<bool> Stop;
    float** Data;
    unsigned* nPresent;
    float* ArrayMean;
    float* GeneMean;
    float* ArraySD;
    float* GeneSD;
    int* nCE;
    float* CELevel;
    int* Pattern;
    int nPatterns;
    float TotalMean;
    float TotalSD;

  private:
    bool HasArrays() const;
    // Alloc, with the rows of Data left unset unless zeroRows (for the loader,
    // which writes every value of every row).
    void AllocTable(int genes, int arrays, bool zeroRows);
    // The two passes of Load and LoadBuffer over a source of lines.
    int LoadLines(cLineSource& src);
    int ParseLines(cLineSource& src);
    // What Alloc asks for, in bytes; above MaxAllocBytes it refuses at once, as
    // such a table could not be addressed at all.
    static double AllocBytes(double genes, double arrays);
    static constexpr double MaxAllocBytes = double(PTRDIFF_MAX) / 2;
    // Leaves the object empty and notes why the load failed; returns -1.
    int LoadFailed(cLoadError why, std::string message);
};

// The missing values of the table and their share, as "<count> (<percent>%)":
// total = nGenes * nArrays in 64 bits, missing = total - SumCounts(nPresent)
// truncated, percent = missing * 100 / total truncated; "0 (0%)" when total <= 0.
std::string MissingValuesText(const cExprData& d);
