#include "ce_reference.h"

#include <algorithm>
#include <cmath>

#include "CEMatrix.h"
#include "ExprData.h"

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
        CEPrintMessage(d, CEParamsMessage);
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
            CEPrintProgress(d, last);
        }
    }
    CEFinish(d, last);
    return 1;
}
