// Re-filtering of a filled co-expression matrix with a new power and threshold.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "CEMatrix.h"
#include "ExprData.h"
#include "ce_steps.h"

namespace {

// What a stored cell c gives under power p and threshold T; 256 entries cover
// every cell value.
struct cRenewEntry {
    bool Hit;
    double V;
    std::int8_t Cell;
};

} // namespace

int cExprData::RenewCE(cCEMatrix* M, int p, float t)
{
    if (!CEMatrixFits(*this, M)) return -1;
    if (!CEParamsValid(p, t)) {
        CEPrintMessage(*this, CEParamsMessage);
        return -1;
    }
    const int n = nGenes;
    const double T = CEThreshold(p, t);
    cRenewEntry table[256];
    for (int c = -128; c < 128; ++c) {
        const double q = c * 0.01;
        cRenewEntry& e = table[c + 128];
        e.Hit = std::fabs(q) > T;
        // 1 multiplied by q p times: the first product is q itself.
        e.V = e.Hit ? CEPowerOf(q, p) : 0.0;
        e.Cell = e.Hit ? CECell(e.V) : 0;
    }
    CEBegin(*this);
    char last[32] = "";
    // Tiles of 64 rows by 64 columns, row blocks outermost: the upper cells
    // are read along rows, the lower ones gathered in a small buffer and
    // written along rows. Every gene still receives its contributions in
    // increasing partner order, as in the row-by-row order, so the float sums
    // are the same.
    constexpr int B = 64;
    const int rows = n - 1;
    std::int8_t* cells = M->Cells;
    const std::size_t stride = static_cast<std::size_t>(n);
    M->MarkWritten();
    for (int b0 = 0; b0 < rows; b0 += B) {
        const int b1 = std::min(b0 + B, rows);
        int hits[B] = {};
        for (int j0 = b0; j0 < n; j0 += B) {
            const int j1 = std::min(j0 + B, n);
            std::int8_t lower[B][B]; // [j - j0][i - b0]
            for (int i = b0; i < b1; ++i) {
                const std::int8_t* upper = cells + static_cast<std::size_t>(i) * stride;
                for (int j = std::max(j0, i + 1); j < j1; ++j) {
                    const cRenewEntry& e = table[upper[j] + 128];
                    lower[j - j0][i - b0] = e.Cell;
                    if (!e.Hit) continue;
                    ++nCE[i];
                    ++nCE[j];
                    CEAddLevel(CELevel[i], e.V);
                    CEAddLevel(CELevel[j], e.V);
                    ++hits[i - b0];
                }
            }
            for (int j = std::max(j0, b0 + 1); j < j1; ++j)
                std::memcpy(cells + static_cast<std::size_t>(j) * stride + b0, lower[j - j0],
                            static_cast<std::size_t>(std::min(j, b1) - b0));
        }
        for (int i = b0; i < b1; ++i) {
            if (hits[i - b0] > 0) ++nCEGenes;
            if (i > 0 && i % 100 == 0) {
                Progress = static_cast<float>(100.0 * i / n);
                CEProgressText(last, sizeof last, static_cast<int>(Progress));
                CEPrintProgress(*this, last);
            }
        }
    }
    for (int g = 0; g < n; ++g)
        CELevel[g] = static_cast<float>((static_cast<double>(CELevel[g]) - 1.0) / (2.0 * n));
    Progress = 100;
    CEPrintProgress(*this, last);
    return 1;
}
