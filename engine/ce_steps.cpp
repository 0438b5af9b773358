#include "ce_steps.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "CEMatrix.h"
#include "ExprData.h"
#include "Numeric.h"

const char* const CEParamsMessage =
    "The correlation power must be from 1 to 1000 and the filtering threshold a number above 0.\n";
static_assert(MaxCEPower == 1000, "CEParamsMessage names the limit");

std::string CEParametersProblem(int p, double t)
{
    if (p < 1) return "The correlation power must be a whole number of at least 1.";
    if (p > MaxCEPower)
        return "The correlation power must be at most " + std::to_string(MaxCEPower) +
               ": higher powers would take too long to compute.";
    // The calculation takes the threshold as a float.
    const float tf = static_cast<float>(t);
    if (!(std::isfinite(tf) && tf > 0.0f)) return "The filtering threshold must be a number above 0.";
    return {};
}

bool CEParamsValid(int p, float t)
{
    return CEParametersProblem(p, t).empty();
}

double CEThreshold(int p, float t)
{
    return Pow(static_cast<double>(t), 1.0 / p);
}

// The definition is the plain loop v_1 = r, v_(k+1) = v_k * r (each product
// rounded), up to v_p. The loop below stops early only where every later
// product is known, so the result has the same bits:
//  - |r| == 1: every product is exactly +1 or -1; its sign is r's sign to the
//    power p (negative exactly for r == -1 and p odd).
//  - v_(k+1) == v_k with v_k neither 0 nor infinite: the next product is
//    again v_k * r, the same operation on the same operands, so every later
//    product equals v_k (a nonzero value has one sign, so the bits agree).
//  - v_k == 0 or v_k infinite (r finite and nonzero): every later product is a
//    zero or an infinity again, with the sign flipped by each negative factor;
//    v_p has the magnitude of v_k and the sign of v_k times sign(r)^(p - k).
//    (The plain loop's own test next == v would stop at +0 where -0 is due.)
// Time: at most p - 1 products, and CEParametersProblem bounds p by
// MaxCEPower. No bound independent of p exists for this definition: for r
// just below 1 (1 - 2^-52, say) the product falls by about an ulp per step and
// takes some 2^52 steps to settle, and no shortcut such as repeated squaring
// gives the same roundings. Hence the limit on p rather than a faster formula.
double CEPowerOf(double r, int p)
{
    if (p <= 1) return r;
    if (std::fabs(r) == 1.0) return (r < 0 && (p & 1)) ? -1.0 : 1.0;
    double v = r;
    for (int q = 1; q < p; ++q) {
        // v is v_q here.
        if (v == 0 || std::isinf(v)) {
            const bool flip = std::signbit(r) && ((p - q) & 1);
            return flip ? -v : v;
        }
        const double next = v * r;
        if (next == v) break;
        v = next;
    }
    return v;
}

int CEReportStep(int nArrays)
{
    if (nArrays < 20) return 100;
    if (nArrays < 100) return 50;
    if (nArrays < 500) return 20;
    return 10;
}

void CEProgressText(char* buffer, std::size_t size, int percent)
{
    const int len = std::snprintf(buffer, size, "\b\b\b%.2d  ", percent);
    if (len >= 2 && static_cast<std::size_t>(len) < size) {
        buffer[len - 2] = '%';
        buffer[len - 1] = '%';
    }
}

float CEProgressAt(int i, int n)
{
    const double di = i, dn = n;
    return static_cast<float>(100.0 * di * (2.0 * dn - di) / (dn * dn));
}

void CEFinish(cExprData& d, const char* last)
{
    const int n = d.nGenes;
    d.nCEGenes = 0;
    for (int g = 0; g < n; ++g) {
        if (d.nCE[g] > 0) ++d.nCEGenes;
        d.CELevel[g] = static_cast<float>(static_cast<double>(d.CELevel[g]) / n);
    }
    d.Progress = 100;
    CEPrintProgress(d, last);
}

bool CEMatrixFits(const cExprData& d, const cCEMatrix* M)
{
    return M != nullptr && !M->Empty() && M->Size() == d.nGenes && d.nGenes >= 0;
}

void CEPrintProgress(cExprData& d, const char* text)
{
    d.Print(text);
    if (d.OnProgress) d.OnProgress(d.Progress, d.nCEGenes);
}

void CEPrintMessage(cExprData& d, const char* text)
{
    d.Print(text);
    if (d.OnMessage) d.OnMessage(text);
}

void CEBegin(cExprData& d)
{
    d.nCEGenes = 0;
    CEPrintProgress(d, " Progress:    ");
    for (int g = 0; g < d.nGenes; ++g) {
        d.nCE[g] = 0;
        d.CELevel[g] = 0;
    }
}

int CEThreadCount(int n)
{
    if (n > 0) return n;
    const unsigned hw = std::thread::hardware_concurrency();
    return hw > 0 ? static_cast<int>(hw) : 1;
}

void CEPrepareMatrix(cCEMatrix& M)
{
    // A matrix just allocated is already in that state; reading it to find
    // out would map every untouched page.
    if (!M.Untouched()) M.Clear();
    M.MarkWritten();
}
