#include "ce_steps.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "CEMatrix.h"
#include "ExprData.h"
#include "Numeric.h"

const char* const CEParamsMessage =
    "The correlation power must be at least 1 and the filtering threshold a number above 0.\n";

std::string CEParametersProblem(int p, double t)
{
    if (p < 1) return "The correlation power must be a whole number of at least 1.";
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

double CEPowerOf(double r, int p)
{
    double v = r;
    for (int q = 1; q < p; ++q) {
        const double next = v * r;
        // Once a product repeats, every later one does: huge powers end early
        // with the same value.
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
