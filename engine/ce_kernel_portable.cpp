// Kernel for any processor: plain loops over the 8 lanes of a block, which the
// compiler may vectorise with the baseline instruction set. Exact as long as
// nothing is fused: every lane adds its terms in array order.
#include <cmath>
#include <cstdint>

#include "ce_kernel_common.h"

namespace {

int PopCount(std::uint64_t w)
{
    w = w - ((w >> 1) & 0x5555555555555555ull);
    w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
    w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((w * 0x0101010101010101ull) >> 56);
}

int CommonCount(const CEPrep& P, int i, int j)
{
    if (j >= P.n) return 0;
    const std::uint64_t* a = P.Bits + static_cast<std::size_t>(i >> 3) * P.words * 8 + (i & 7);
    const std::uint64_t* b = P.Bits + static_cast<std::size_t>(j >> 3) * P.words * 8 + (j & 7);
    int count = 0;
    for (int w = 0; w < P.words; ++w)
        count += PopCount(a[8 * w] & b[8 * w]);
    return count;
}

double Clamp1(double r)
{
    if (r > 1) r = 1;
    if (r < -1) r = -1;
    return r;
}

// Writes the cells of row i for block c and reports the hits.
void Finish(const CEPrep& P, int i, int c, const double* r, CEHitSink* sink)
{
    std::int8_t* row = P.Cells + static_cast<std::size_t>(i) * P.Stride;
    unsigned hits = 0;
    for (int l = 0; l < 8; ++l) {
        const int j = 8 * c + l;
        if (j <= i || j >= P.n) continue;
        row[j] = static_cast<std::int8_t>(static_cast<int>(100.0 * r[l]));
        if (std::fabs(r[l]) > P.T) hits |= 1u << l;
    }
    if (hits) CEEmitHits(sink, i, 8 * c, r, hits);
}

// Rows i0 .. i0+R-1 and block c, every gene fully present: only the cross sum
// varies per pair.
template <int R> void FullTile(const CEPrep& P, int i0, int c, CEHitSink* sink)
{
    double acc[R][8] = {};
    const double* X[R];
    for (int r = 0; r < R; ++r)
        X[r] = GeneColumn(P, i0 + r);
    const double* Yc = P.Y + static_cast<std::size_t>(c) * P.m * 8;
    for (int k = 0; k < P.m; ++k) {
        const double* y = Yc + static_cast<std::size_t>(k) * 8;
        for (int r = 0; r < R; ++r) {
            const double x = X[r][static_cast<std::size_t>(k) * 8];
            for (int l = 0; l < 8; ++l)
                acc[r][l] += x * y[l];
        }
    }
    for (int r = 0; r < R; ++r) {
        const int i = i0 + r;
        const bool zi = Bit(P.ZeroFullMask, i);
        double out[8];
        for (int l = 0; l < 8; ++l) {
            const int j = 8 * c + l;
            if (zi || ((P.ZeroFullMask[c] >> l) & 1)) {
                out[l] = 0;
                continue;
            }
            out[l] = Clamp1((acc[r][l] - P.MMean[i] * P.Mean[j]) / (P.MSD[i] * P.SD[j]));
        }
        Finish(P, i, c, out, sink);
    }
}

// Row i and block c in general: sums over the arrays where gene i is present;
// missing partner values are 0 in Y, so only the partner-side masks remain.
void MissingRow(const CEPrep& P, int i, int c, const int* K, int nk, CEHitSink* sink)
{
    const double* Xi = GeneColumn(P, i);
    const double* Yc = P.Y + static_cast<std::size_t>(c) * P.m * 8;
    const std::uint8_t* Mc = P.LaneMask + static_cast<std::size_t>(c) * P.m;
    double sxy[8] = {}, sx[8] = {}, sy[8] = {};
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const double x = Xi[static_cast<std::size_t>(k) * 8];
        const double* y = Yc + static_cast<std::size_t>(k) * 8;
        const unsigned mk = Mc[k];
        for (int l = 0; l < 8; ++l) {
            sxy[l] += x * y[l];
            sy[l] += y[l];
            sx[l] += ((mk >> l) & 1) ? x : 0.0;
        }
    }
    double dm[8], mx[8], my[8];
    for (int l = 0; l < 8; ++l) {
        dm[l] = CommonCount(P, i, 8 * c + l);
        mx[l] = sx[l] / dm[l];
        my[l] = sy[l] / dm[l];
    }
    double sxx[8] = {}, syy[8] = {};
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const double x = Xi[static_cast<std::size_t>(k) * 8];
        const double* y = Yc + static_cast<std::size_t>(k) * 8;
        const unsigned mk = Mc[k];
        for (int l = 0; l < 8; ++l) {
            const bool both = (mk >> l) & 1;
            const double dx = x - mx[l], dy = y[l] - my[l];
            sxx[l] += both ? dx * dx : 0.0;
            syy[l] += both ? dy * dy : 0.0;
        }
    }
    const bool zi = Bit(P.ZeroPresMask, i);
    double out[8];
    for (int l = 0; l < 8; ++l) {
        if (zi || ((P.ZeroPresMask[c] >> l) & 1) || dm[l] < 3 || sxx[l] == 0 || syy[l] == 0) {
            out[l] = 0;
            continue;
        }
        double sdx = std::sqrt(sxx[l] / (dm[l] - 1)), sdy = std::sqrt(syy[l] / (dm[l] - 1));
        if (sdx == 0) sdx = 0.00001;
        if (sdy == 0) sdy = 0.00001;
        out[l] = Clamp1((sxy[l] - dm[l] * mx[l] * my[l]) / ((dm[l] - 1) * sdx * sdy));
    }
    Finish(P, i, c, out, sink);
}

} // namespace

void CERowGroupPortable(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                        double* squares)
{
    (void)squares;
    if (i0 + 1 >= P.n) return;
    const int R = i1 - i0;
    bool rowFull[4];
    int* K[4];
    int nk[4];
    bool allFull = R == 4;
    for (int r = 0; r < R; ++r) {
        rowFull[r] = Bit(P.FullMask, i0 + r);
        allFull = allFull && rowFull[r];
        K[r] = scratch + r * P.m;
        nk[r] = rowFull[r] ? 0 : PresentList(P, i0 + r, K[r]);
    }
    for (int c = FirstBlock(i0, c0); c < c1; ++c) {
        const bool blockFull = P.FullMask[c] == 0xFF;
        if (blockFull && allFull) {
            FullTile<4>(P, i0, c, sink);
            continue;
        }
        for (int r = 0; r < R; ++r) {
            if (8 * c + 7 <= i0 + r) continue;
            if (blockFull && rowFull[r]) {
                FullTile<1>(P, i0 + r, c, sink);
            } else {
                if (rowFull[r] && nk[r] == 0) nk[r] = PresentList(P, i0 + r, K[r]);
                MissingRow(P, i0 + r, c, K[r], nk[r], sink);
            }
        }
    }
}
