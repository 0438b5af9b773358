#include "ce_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "CEMatrix.h"
#include "ExprData.h"
#include "Numeric.h"

const char* const CEParamsMessage =
    "The correlation power must be at least 1 and the filtering threshold a number above 0.\n";

bool CEParamsValid(int p, float t)
{
    return p >= 1 && std::isfinite(t) && t > 0.0f;
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

bool CEMatrixFits(const cExprData& d, const cCEMatrix* M)
{
    return M != nullptr && !M->Empty() && M->Size() == d.nGenes && d.nGenes >= 0;
}

void CEBegin(cExprData& d)
{
    d.nCEGenes = 0;
    d.Print(" Progress:    ");
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

double CorrReference(const cExprData& d, int a, int b)
{
    if (d.nGenes <= 0) return 0;
    a = std::clamp(a, 0, d.nGenes - 1);
    b = std::clamp(b, 0, d.nGenes - 1);
    if (d.nPresent[a] < 3 || d.nPresent[b] < 3) return 0;
    const float* x = d.Data[a];
    const float* y = d.Data[b];
    int m = 0;
    double sx = 0, sy = 0, sxy = 0;
    for (int k = 0; k < d.nArrays; ++k) {
        if (!IsPresent(x[k]) || !IsPresent(y[k])) continue;
        ++m;
        sx += x[k];
        sy += y[k];
        sxy += static_cast<double>(x[k]) * static_cast<double>(y[k]);
    }
    if (m < 3) return 0;
    const double dm = m;
    const double mx = sx / dm, my = sy / dm;
    double sxx = 0, syy = 0;
    for (int k = 0; k < d.nArrays; ++k) {
        if (!IsPresent(x[k]) || !IsPresent(y[k])) continue;
        const double dx = x[k] - mx, dy = y[k] - my;
        sxx += dx * dx;
        syy += dy * dy;
    }
    // A profile without spread correlates 0: dividing the rounding residue of
    // the numerator by the stand-in below would give values far outside [-1, 1].
    if (sxx == 0 || syy == 0) return 0;
    double sdx = std::sqrt(sxx / (dm - 1)), sdy = std::sqrt(syy / (dm - 1));
    if (sdx == 0) sdx = 0.00001;
    if (sdy == 0) sdy = 0.00001;
    double r = (sxy - dm * mx * my) / ((dm - 1) * sdx * sdy);
    // Rounding can overshoot by an ulp.
    if (r > 1) r = 1;
    if (r < -1) r = -1;
    return r;
}

int CalcCEReference(cExprData& d, cCEMatrix* M, int p, float t)
{
    if (!CEMatrixFits(d, M)) return -1;
    if (!CEParamsValid(p, t)) {
        d.Print(CEParamsMessage);
        return -1;
    }
    CEPrepareMatrix(*M);
    const int n = d.nGenes;
    const double T = CEThreshold(p, t);
    const int s = CEReportStep(d.nArrays);
    d.Stop = false;
    CEBegin(d);
    char last[32] = "";
    for (int i = 0; i + 1 < n; ++i) {
        int h = 0;
        for (int j = i + 1; j < n; ++j) {
            const double r = CorrReference(d, i, j);
            M->At(i, j) = CECell(r);
            if (std::fabs(r) > T) {
                const double v = CEPowerOf(r, p);
                M->At(j, i) = CECell(v);
                ++d.nCE[i];
                ++d.nCE[j];
                CEAddLevel(d.CELevel[i], v);
                CEAddLevel(d.CELevel[j], v);
                ++h;
            }
            if (d.Stop) {
                d.Progress = 0;
                return -1;
            }
        }
        if (h > 0) ++d.nCEGenes;
        if (i > 0 && i % s == 0) {
            d.Progress = CEProgressAt(i, n);
            CEProgressText(last, sizeof last, static_cast<int>(d.Progress));
            d.Print(last);
        }
    }
    d.nCEGenes = 0;
    for (int g = 0; g < n; ++g) {
        if (d.nCE[g] > 0) ++d.nCEGenes;
        d.CELevel[g] = static_cast<float>(static_cast<double>(d.CELevel[g]) / n);
    }
    d.Progress = 100;
    d.Print(last);
    return 1;
}
