// Kernel for processors with AVX2: a block of 8 partner genes in two
// registers of 4 lanes. Separate multiplies and adds (no fused multiply-add);
// missing partner values are masked out of the sums with bitwise and.
#include <immintrin.h>

#include <cstdint>

#include "ce_kernel_common.h"

namespace {

// All-ones lanes for the bits of a 4-bit mask.
struct LaneMasks {
    alignas(32) std::uint64_t bits[16][4];
    constexpr LaneMasks() : bits{}
    {
        for (int v = 0; v < 16; ++v)
            for (int l = 0; l < 4; ++l)
                bits[v][l] = ((v >> l) & 1) ? ~std::uint64_t(0) : 0;
    }
};
// Built at compile time: nothing of this file may run before dispatch.
constexpr LaneMasks kLaneMasks{};

inline __m256d MaskOf(unsigned nibble)
{
    return _mm256_load_pd(reinterpret_cast<const double*>(kLaneMasks.bits[nibble & 15]));
}

inline __m256d Clamp1(__m256d r)
{
    return _mm256_min_pd(_mm256_max_pd(r, _mm256_set1_pd(-1.0)), _mm256_set1_pd(1.0));
}

// Writes the cells of row i for block c from lanes lo (0-3) and hi (4-7).
inline void Finish(const CEPrep& P, int i, int c, __m256d lo, __m256d hi, CEHitSink* sink)
{
    lo = Clamp1(lo);
    hi = Clamp1(hi);
    const unsigned valid = ValidLanes(P, i, c);
    if (!valid) return;
    const __m256d hundred = _mm256_set1_pd(100.0);
    const __m128i a = _mm256_cvttpd_epi32(_mm256_mul_pd(lo, hundred));
    const __m128i b = _mm256_cvttpd_epi32(_mm256_mul_pd(hi, hundred));
    const __m128i cells16 = _mm_packs_epi32(a, b);
    const __m128i cells8 = _mm_packs_epi16(cells16, cells16);
    std::int8_t* dst = P.Cells + static_cast<std::size_t>(i) * P.Stride + 8 * c;
    alignas(16) std::int8_t bytes[16];
    if (valid == 0xFF) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), cells8);
    } else {
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), cells8);
        for (int l = 0; l < 8; ++l)
            if ((valid >> l) & 1) dst[l] = bytes[l];
    }
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d T = _mm256_set1_pd(P.T);
    const unsigned hits =
        (static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, lo), T, _CMP_GT_OQ))) |
         (static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, hi), T, _CMP_GT_OQ)))
          << 4)) &
        valid;
    if (hits) {
        alignas(32) double lanes[8];
        _mm256_store_pd(lanes, lo);
        _mm256_store_pd(lanes + 4, hi);
        CEEmitHits(sink, i, 8 * c, lanes, hits);
    }
}

// Lanes of a block whose bit in mask is set become 0.
inline __m256d ZeroWhere(__m256d v, unsigned nibble)
{
    return _mm256_andnot_pd(MaskOf(nibble), v);
}

// Rows rows[0 .. R-1] against blocks c .. c+J-1, every gene fully present;
// at least 4 independent sums per step keep the adders busy.
template <int R, int J> void FullTile(const CEPrep& P, const int* rows, int c, CEHitSink* sink)
{
    __m256d lo[R][J], hi[R][J];
    for (int r = 0; r < R; ++r)
        for (int q = 0; q < J; ++q)
            lo[r][q] = hi[r][q] = _mm256_setzero_pd();
    const double* X[R];
    for (int r = 0; r < R; ++r)
        X[r] = GeneColumn(P, rows[r]);
    const std::size_t blockStride = static_cast<std::size_t>(P.m) * 8;
    const double* Yc = P.Y + static_cast<std::size_t>(c) * blockStride;
    for (int k = 0; k < P.m; ++k) {
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        __m256d y0[J], y1[J];
        for (int q = 0; q < J; ++q) {
            y0[q] = _mm256_loadu_pd(Yc + q * blockStride + off);
            y1[q] = _mm256_loadu_pd(Yc + q * blockStride + off + 4);
        }
        for (int r = 0; r < R; ++r) {
            const __m256d x = _mm256_broadcast_sd(X[r] + off);
            for (int q = 0; q < J; ++q) {
                lo[r][q] = _mm256_add_pd(lo[r][q], _mm256_mul_pd(x, y0[q]));
                hi[r][q] = _mm256_add_pd(hi[r][q], _mm256_mul_pd(x, y1[q]));
            }
        }
    }
    for (int q = 0; q < J; ++q) {
        const int cq = c + q;
        const __m256d mean0 = _mm256_loadu_pd(P.Mean + 8 * cq), mean1 = _mm256_loadu_pd(P.Mean + 8 * cq + 4);
        const __m256d sd0 = _mm256_loadu_pd(P.SD + 8 * cq), sd1 = _mm256_loadu_pd(P.SD + 8 * cq + 4);
        const unsigned zc = P.ZeroFullMask[cq];
        for (int r = 0; r < R; ++r) {
            const int i = rows[r];
            const __m256d a = _mm256_set1_pd(P.MMean[i]);
            const __m256d b = _mm256_set1_pd(P.MSD[i]);
            const unsigned z = Bit(P.ZeroFullMask, i) ? 0xFF : zc;
            const __m256d r0 =
                _mm256_div_pd(_mm256_sub_pd(lo[r][q], _mm256_mul_pd(a, mean0)), _mm256_mul_pd(b, sd0));
            const __m256d r1 =
                _mm256_div_pd(_mm256_sub_pd(hi[r][q], _mm256_mul_pd(a, mean1)), _mm256_mul_pd(b, sd1));
            Finish(P, i, cq, ZeroWhere(r0, z), ZeroWhere(r1, z >> 4), sink);
        }
    }
}

// Row i against block c in general (see the wider kernel).
void MissingRow(const CEPrep& P, int i, int c, const int* K, int nk, CEHitSink* sink)
{
    const double* Xi = GeneColumn(P, i);
    const double* Yc = P.Y + static_cast<std::size_t>(c) * P.m * 8;
    const std::uint8_t* Mc = P.LaneMask + static_cast<std::size_t>(c) * P.m;
    __m256d sxy0 = _mm256_setzero_pd(), sxy1 = sxy0, sx0 = sxy0, sx1 = sxy0, sy0 = sxy0, sy1 = sxy0;
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        const __m256d x = _mm256_broadcast_sd(Xi + off);
        const __m256d y0 = _mm256_loadu_pd(Yc + off);
        const __m256d y1 = _mm256_loadu_pd(Yc + off + 4);
        const unsigned mk = Mc[k];
        sxy0 = _mm256_add_pd(sxy0, _mm256_mul_pd(x, y0));
        sxy1 = _mm256_add_pd(sxy1, _mm256_mul_pd(x, y1));
        sy0 = _mm256_add_pd(sy0, y0);
        sy1 = _mm256_add_pd(sy1, y1);
        sx0 = _mm256_add_pd(sx0, _mm256_and_pd(x, MaskOf(mk)));
        sx1 = _mm256_add_pd(sx1, _mm256_and_pd(x, MaskOf(mk >> 4)));
    }
    alignas(32) double counts[8];
    const std::uint64_t* bi = P.Bits + static_cast<std::size_t>(i >> 3) * P.words * 8 + (i & 7);
    const std::uint64_t* bc = P.Bits + static_cast<std::size_t>(c) * P.words * 8;
    for (int l = 0; l < 8; ++l) {
        int count = 0;
        for (int w = 0; w < P.words; ++w)
            count += __builtin_popcountll(bi[8 * w] & bc[8 * w + l]);
        counts[l] = count;
    }
    const __m256d dm0 = _mm256_load_pd(counts), dm1 = _mm256_load_pd(counts + 4);
    const __m256d mx0 = _mm256_div_pd(sx0, dm0), mx1 = _mm256_div_pd(sx1, dm1);
    const __m256d my0 = _mm256_div_pd(sy0, dm0), my1 = _mm256_div_pd(sy1, dm1);
    __m256d sxx0 = _mm256_setzero_pd(), sxx1 = sxx0, syy0 = sxx0, syy1 = sxx0;
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        const __m256d x = _mm256_broadcast_sd(Xi + off);
        const __m256d y0 = _mm256_loadu_pd(Yc + off);
        const __m256d y1 = _mm256_loadu_pd(Yc + off + 4);
        const unsigned mk = Mc[k];
        const __m256d m0 = MaskOf(mk), m1 = MaskOf(mk >> 4);
        const __m256d dx0 = _mm256_sub_pd(x, mx0), dx1 = _mm256_sub_pd(x, mx1);
        const __m256d dy0 = _mm256_sub_pd(y0, my0), dy1 = _mm256_sub_pd(y1, my1);
        sxx0 = _mm256_add_pd(sxx0, _mm256_and_pd(_mm256_mul_pd(dx0, dx0), m0));
        sxx1 = _mm256_add_pd(sxx1, _mm256_and_pd(_mm256_mul_pd(dx1, dx1), m1));
        syy0 = _mm256_add_pd(syy0, _mm256_and_pd(_mm256_mul_pd(dy0, dy0), m0));
        syy1 = _mm256_add_pd(syy1, _mm256_and_pd(_mm256_mul_pd(dy1, dy1), m1));
    }
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d three = _mm256_set1_pd(3.0);
    const __m256d standIn = _mm256_set1_pd(0.00001);
    auto lanes = [&](__m256d dm, __m256d mx, __m256d my, __m256d sxy, __m256d sxx, __m256d syy,
                     unsigned& zbits) {
        const __m256d zmask = _mm256_or_pd(
            _mm256_or_pd(_mm256_cmp_pd(dm, three, _CMP_LT_OQ), _mm256_cmp_pd(sxx, zero, _CMP_EQ_OQ)),
            _mm256_cmp_pd(syy, zero, _CMP_EQ_OQ));
        zbits = static_cast<unsigned>(_mm256_movemask_pd(zmask));
        const __m256d dmm1 = _mm256_sub_pd(dm, one);
        __m256d sdx = _mm256_sqrt_pd(_mm256_div_pd(sxx, dmm1));
        __m256d sdy = _mm256_sqrt_pd(_mm256_div_pd(syy, dmm1));
        sdx = _mm256_blendv_pd(sdx, standIn, _mm256_cmp_pd(sdx, zero, _CMP_EQ_OQ));
        sdy = _mm256_blendv_pd(sdy, standIn, _mm256_cmp_pd(sdy, zero, _CMP_EQ_OQ));
        const __m256d num = _mm256_sub_pd(sxy, _mm256_mul_pd(_mm256_mul_pd(dm, mx), my));
        const __m256d den = _mm256_mul_pd(_mm256_mul_pd(dmm1, sdx), sdy);
        return _mm256_div_pd(num, den);
    };
    unsigned z0 = 0, z1 = 0;
    const __m256d r0 = lanes(dm0, mx0, my0, sxy0, sxx0, syy0, z0);
    const __m256d r1 = lanes(dm1, mx1, my1, sxy1, sxx1, syy1, z1);
    const unsigned z = Bit(P.ZeroPresMask, i) ? 0xFF : (P.ZeroPresMask[c] | z0 | (z1 << 4));
    Finish(P, i, c, ZeroWhere(r0, z), ZeroWhere(r1, z >> 4), sink);
}

} // namespace

void CERowGroupAvx2(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                    double* squares)
{
    (void)squares;
    if (i0 + 1 >= P.n) return;
    int full[4], part[4], nk[4];
    int nf = 0, np = 0;
    for (int i = i0; i < i1; ++i) {
        if (Bit(P.FullMask, i)) {
            full[nf++] = i;
        } else {
            nk[np] = PresentList(P, i, scratch + np * P.m);
            part[np++] = i;
        }
    }
    int* allPresent = scratch + np * P.m;
    int nAll = -1;
    for (int c = FirstBlock(i0, c0); c < c1;) {
        if (P.FullMask[c] == 0xFF) {
            // Hits of one row stay in increasing order: each call covers
            // whole blocks for all its rows, and blocks go in order.
            const bool two = c + 1 < c1 && P.FullMask[c + 1] == 0xFF;
            if (nf == 4) FullTile<4, 1>(P, full, c, sink);
            if (nf == 3) FullTile<3, 1>(P, full, c, sink);
            if (nf == 2) FullTile<2, 1>(P, full, c, sink);
            if (nf == 1) two ? FullTile<1, 2>(P, full, c, sink) : FullTile<1, 1>(P, full, c, sink);
            const int step = nf == 1 && two ? 2 : 1;
            for (int r = 0; r < np; ++r)
                for (int q = 0; q < step; ++q)
                    MissingRow(P, part[r], c + q, scratch + r * P.m, nk[r], sink);
            c += step;
            continue;
        }
        if (nf > 0 && nAll < 0) nAll = PresentList(P, full[0], allPresent);
        for (int r = 0; r < nf; ++r)
            MissingRow(P, full[r], c, allPresent, nAll, sink);
        for (int r = 0; r < np; ++r)
            MissingRow(P, part[r], c, scratch + r * P.m, nk[r], sink);
        ++c;
    }
}
