// The pieces that the fast and the plain co-expression calculation and the
// re-calculation share, so that all of them produce the same observable
// sequence: parameters, per-pair values, progress and the finishing step.
#pragma once

#include <cstddef>
#include <cstdint>

class cExprData;
class cCEMatrix;

// Power and threshold accepted by CalcCE and RenewCE: p >= 1, and t finite and
// above 0 (1 / p and the logarithm in Pow are then defined); the rule of
// CEParametersProblem.
bool CEParamsValid(int p, float t);
// Printed (through Print) when CEParamsValid fails.
extern const char* const CEParamsMessage;

// Effective threshold on |r|: Pow(t, 1 / p) with t widened from float.
double CEThreshold(int p, float t);
// r multiplied by r p - 1 times (r itself for p <= 1).
double CEPowerOf(double r, int p);
// trunc(100 x) as a matrix cell; x is within [-1, 1] for every caller.
inline std::int8_t CECell(double x)
{
    return static_cast<std::int8_t>(static_cast<int>(100.0 * x));
}
// The CELevel update: the float is widened, v added in double, rounded back.
inline void CEAddLevel(float& level, double v)
{
    level = static_cast<float>(static_cast<double>(level) + v);
}

// Prints a progress text, then reports Progress and nCEGenes to OnProgress.
void CEPrintProgress(cExprData& d, const char* text);
// Prints a message for the user, then passes it to OnMessage.
void CEPrintMessage(cExprData& d, const char* text);

// Rows between two progress reports, chosen by the number of arrays.
int CEReportStep(int nArrays);
// The common start of the calculation and the re-calculation: counts and
// strengths cleared, the progress line opened through Print.
void CEBegin(cExprData& d);
// The progress text for a whole percentage: three backspaces, at least two
// digits and a doubled percent sign (the text is printed as a format).
void CEProgressText(char* buffer, std::size_t size, int percent);
// Progress after row i of n, the share of pairs done.
float CEProgressAt(int i, int n);
// The common end of a completed calculation: nCEGenes recounted from nCE, each
// summed strength divided by the number of genes, Progress 100 and the last
// progress text printed again.
void CEFinish(cExprData& d, const char* last);

// A matrix that CalcCE, RenewCE and pattern detection can use with d.
bool CEMatrixFits(const cExprData& d, const cCEMatrix* M);
// Brings a matrix about to be filled into its state after Alloc (diagonal
// 100, every other cell 0), so that no cell of a previous use survives.
void CEPrepareMatrix(cCEMatrix& M);

// Threads to use for a request of n (0: every hardware thread).
int CEThreadCount(int n);
