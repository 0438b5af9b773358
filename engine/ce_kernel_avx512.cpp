// Kernel for processors with AVX-512 (F, DQ, BW, VL): one block of 8 partner
// genes per register. Separate multiplies and adds, masked adds for missing
// values: each lane follows the per-pair definition bit for bit.
#include <immintrin.h>

// The compiler's own intrinsics start from deliberately undefined registers,
// which some compiler versions report as uninitialised use.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <cstdint>

#include "ce_kernels.h"

namespace {

inline bool Bit(const std::uint8_t* masks, int g)
{
    return (masks[g >> 3] >> (g & 7)) & 1;
}

inline const double* GeneColumn(const CEPrep& P, int g)
{
    return P.Y + static_cast<std::size_t>(g >> 3) * P.m * 8 + (g & 7);
}

int PresentList(const CEPrep& P, int i, int* out)
{
    const std::uint8_t* lm = P.LaneMask + static_cast<std::size_t>(i >> 3) * P.m;
    const unsigned bit = 1u << (i & 7);
    int count = 0;
    for (int k = 0; k < P.m; ++k)
        if (lm[k] & bit) out[count++] = k;
    return count;
}

// Lanes of block c that hold a pair (i, j) with i < j < n.
inline __mmask8 ValidLanes(const CEPrep& P, int i, int c)
{
    const int j0 = 8 * c;
    unsigned mask = 0xFF;
    if (i >= j0) mask &= i - j0 >= 7 ? 0u : 0xFFu << (i - j0 + 1);
    if (P.n < j0 + 8) mask &= P.n <= j0 ? 0u : 0xFFu >> (j0 + 8 - P.n);
    return static_cast<__mmask8>(mask & 0xFF);
}

// Clamps r into [-1, 1], writes the cells of row i for block c, reports hits.
inline void Finish(const CEPrep& P, int i, int c, __m512d r, CEHitSink* sink)
{
    r = _mm512_min_pd(_mm512_max_pd(r, _mm512_set1_pd(-1.0)), _mm512_set1_pd(1.0));
    const __mmask8 valid = ValidLanes(P, i, c);
    if (!valid) return;
    const __m256i cells32 = _mm512_maskz_cvttpd_epi32(0xFF, _mm512_mul_pd(r, _mm512_set1_pd(100.0)));
    const __m128i cells8 = _mm256_maskz_cvtepi32_epi8(0xFF, cells32);
    std::int8_t* dst = P.Cells + static_cast<std::size_t>(i) * P.Stride + 8 * c;
    if (valid == 0xFF)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), cells8);
    else
        _mm_mask_storeu_epi8(dst, valid, cells8);
    const __mmask8 hits = _mm512_mask_cmp_pd_mask(valid, _mm512_abs_pd(r), _mm512_set1_pd(P.T), _CMP_GT_OQ);
    if (hits) {
        alignas(64) double lanes[8];
        _mm512_store_pd(lanes, r);
        for (unsigned h = hits; h; h &= h - 1) {
            const int l = __builtin_ctz(h);
            CEEmitHit(sink, i, 8 * c + l, lanes[l]);
        }
    }
}

// Rows rows[0 .. R-1] against blocks c .. c+J-1, every gene fully present.
// R x J independent sums of at least 4 keep both vector units busy.
template <int R, int J> void FullTile(const CEPrep& P, const int* rows, int c, CEHitSink* sink)
{
    __m512d acc[R][J];
    for (int r = 0; r < R; ++r)
        for (int q = 0; q < J; ++q)
            acc[r][q] = _mm512_setzero_pd();
    const double* X[R];
    for (int r = 0; r < R; ++r)
        X[r] = GeneColumn(P, rows[r]);
    const std::size_t blockStride = static_cast<std::size_t>(P.m) * 8;
    const double* Yc = P.Y + static_cast<std::size_t>(c) * blockStride;
    for (int k = 0; k < P.m; ++k) {
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        __m512d y[J];
        for (int q = 0; q < J; ++q)
            y[q] = _mm512_loadu_pd(Yc + q * blockStride + off);
        for (int r = 0; r < R; ++r) {
            const __m512d x = _mm512_set1_pd(X[r][off]);
            for (int q = 0; q < J; ++q)
                acc[r][q] = _mm512_add_pd(acc[r][q], _mm512_mul_pd(x, y[q]));
        }
    }
    for (int r = 0; r < R; ++r) {
        const int i = rows[r];
        const __m512d a = _mm512_set1_pd(P.MMean[i]);
        const __m512d b = _mm512_set1_pd(P.MSD[i]);
        const bool zi = Bit(P.ZeroFullMask, i);
        for (int q = 0; q < J; ++q) {
            const int cq = c + q;
            const __m512d num = _mm512_sub_pd(acc[r][q], _mm512_mul_pd(a, _mm512_loadu_pd(P.Mean + 8 * cq)));
            const __m512d den = _mm512_mul_pd(b, _mm512_loadu_pd(P.SD + 8 * cq));
            const __mmask8 keep = zi ? 0 : static_cast<__mmask8>(~P.ZeroFullMask[cq]);
            Finish(P, i, cq, _mm512_maskz_div_pd(keep, num, den), sink);
        }
    }
}

// Row i against blocks c .. c+J-1 in general. Sums run over the arrays where
// gene i is present; partner values are 0 where missing, so only the partner
// masks are needed.
template <int J> void MissingRow(const CEPrep& P, int i, int c, const int* K, int nk, CEHitSink* sink)
{
    const double* Xi = GeneColumn(P, i);
    const std::size_t blockStride = static_cast<std::size_t>(P.m) * 8;
    const double* Yc = P.Y + static_cast<std::size_t>(c) * blockStride;
    const std::uint8_t* Mc = P.LaneMask + static_cast<std::size_t>(c) * P.m;
    __m512d sxy[J], sx[J], sy[J];
    for (int q = 0; q < J; ++q)
        sxy[q] = sx[q] = sy[q] = _mm512_setzero_pd();
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        const __m512d x = _mm512_set1_pd(Xi[off]);
        for (int q = 0; q < J; ++q) {
            const __m512d y = _mm512_loadu_pd(Yc + q * blockStride + off);
            const __mmask8 mk = Mc[static_cast<std::size_t>(q) * P.m + k];
            sxy[q] = _mm512_add_pd(sxy[q], _mm512_mul_pd(x, y));
            sy[q] = _mm512_add_pd(sy[q], y);
            sx[q] = _mm512_mask_add_pd(sx[q], mk, sx[q], x);
        }
    }
    __m512d dm[J], mx[J], my[J];
    const std::uint64_t* bi = P.Bits + static_cast<std::size_t>(i) * P.words;
    for (int q = 0; q < J; ++q) {
        alignas(64) double counts[8];
        for (int l = 0; l < 8; ++l) {
            const int j = 8 * (c + q) + l;
            int count = 0;
            if (j < P.n) {
                const std::uint64_t* bj = P.Bits + static_cast<std::size_t>(j) * P.words;
                for (int w = 0; w < P.words; ++w)
                    count += __builtin_popcountll(bi[w] & bj[w]);
            }
            counts[l] = count;
        }
        dm[q] = _mm512_load_pd(counts);
        mx[q] = _mm512_div_pd(sx[q], dm[q]);
        my[q] = _mm512_div_pd(sy[q], dm[q]);
    }
    __m512d sxx[J], syy[J];
    for (int q = 0; q < J; ++q)
        sxx[q] = syy[q] = _mm512_setzero_pd();
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        const __m512d x = _mm512_set1_pd(Xi[off]);
        for (int q = 0; q < J; ++q) {
            const __m512d y = _mm512_loadu_pd(Yc + q * blockStride + off);
            const __mmask8 mk = Mc[static_cast<std::size_t>(q) * P.m + k];
            const __m512d dx = _mm512_sub_pd(x, mx[q]);
            const __m512d dy = _mm512_sub_pd(y, my[q]);
            sxx[q] = _mm512_mask_add_pd(sxx[q], mk, sxx[q], _mm512_mul_pd(dx, dx));
            syy[q] = _mm512_mask_add_pd(syy[q], mk, syy[q], _mm512_mul_pd(dy, dy));
        }
    }
    const bool zi = Bit(P.ZeroPresMask, i);
    const __m512d zero = _mm512_setzero_pd();
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d standIn = _mm512_set1_pd(0.00001);
    for (int q = 0; q < J; ++q) {
        __mmask8 z = static_cast<__mmask8>(P.ZeroPresMask[c + q]);
        z |= _mm512_cmp_pd_mask(dm[q], _mm512_set1_pd(3.0), _CMP_LT_OQ);
        z |= _mm512_cmp_pd_mask(sxx[q], zero, _CMP_EQ_OQ);
        z |= _mm512_cmp_pd_mask(syy[q], zero, _CMP_EQ_OQ);
        const __mmask8 keep = zi ? 0 : static_cast<__mmask8>(~z);
        const __m512d dm1 = _mm512_sub_pd(dm[q], one);
        __m512d sdx = _mm512_sqrt_pd(_mm512_div_pd(sxx[q], dm1));
        __m512d sdy = _mm512_sqrt_pd(_mm512_div_pd(syy[q], dm1));
        sdx = _mm512_mask_mov_pd(sdx, _mm512_cmp_pd_mask(sdx, zero, _CMP_EQ_OQ), standIn);
        sdy = _mm512_mask_mov_pd(sdy, _mm512_cmp_pd_mask(sdy, zero, _CMP_EQ_OQ), standIn);
        const __m512d num = _mm512_sub_pd(sxy[q], _mm512_mul_pd(_mm512_mul_pd(dm[q], mx[q]), my[q]));
        const __m512d den = _mm512_mul_pd(_mm512_mul_pd(dm1, sdx), sdy);
        Finish(P, i, c + q, _mm512_maskz_div_pd(keep, num, den), sink);
    }
}

inline bool BlockFull(const CEPrep& P, int c)
{
    return P.FullMask[c] == 0xFF;
}

// Fully present rows against a run of len (1 to 4) fully present blocks.
void FullRun(const CEPrep& P, const int* rows, int nf, int c, int len, CEHitSink* sink)
{
    switch (nf) {
    case 4:
    case 3:
    case 2:
        for (int q = 0; q < len; q += 2) {
            const bool two = q + 1 < len;
            if (nf == 4) two ? FullTile<4, 2>(P, rows, c + q, sink) : FullTile<4, 1>(P, rows, c + q, sink);
            if (nf == 3) two ? FullTile<3, 2>(P, rows, c + q, sink) : FullTile<3, 1>(P, rows, c + q, sink);
            if (nf == 2) two ? FullTile<2, 2>(P, rows, c + q, sink) : FullTile<2, 1>(P, rows, c + q, sink);
        }
        break;
    case 1:
        if (len == 4) FullTile<1, 4>(P, rows, c, sink);
        if (len == 3) FullTile<1, 3>(P, rows, c, sink);
        if (len == 2) FullTile<1, 2>(P, rows, c, sink);
        if (len == 1) FullTile<1, 1>(P, rows, c, sink);
        break;
    default:
        break;
    }
}

void MissingRun(const CEPrep& P, int i, int c, int len, const int* K, int nk, CEHitSink* sink)
{
    if (len == 4) MissingRow<4>(P, i, c, K, nk, sink);
    if (len == 3) MissingRow<3>(P, i, c, K, nk, sink);
    if (len == 2) MissingRow<2>(P, i, c, K, nk, sink);
    if (len == 1) MissingRow<1>(P, i, c, K, nk, sink);
}

} // namespace

void CERowGroupAvx512(const CEPrep& P, int i0, int i1, CEHitSink* sink, int* scratch)
{
    if (i0 + 1 >= P.n) return;
    // Fully present rows share the partner loads; the others go one by one
    // over the arrays where they are present.
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
    const int first = (i0 + 1) >> 3;
    for (int c = first; c < P.nb;) {
        const bool fullBlocks = BlockFull(P, c);
        int len = 1;
        while (len < 4 && c + len < P.nb && BlockFull(P, c + len) == fullBlocks)
            ++len;
        if (fullBlocks) {
            FullRun(P, full, nf, c, len, sink);
        } else if (nf > 0) {
            // Blocks with missing partner values: the general path for every row.
            if (nAll < 0) nAll = PresentList(P, full[0], allPresent);
            for (int r = 0; r < nf; ++r)
                MissingRun(P, full[r], c, len, allPresent, nAll, sink);
        }
        for (int r = 0; r < np; ++r)
            MissingRun(P, part[r], c, len, scratch + r * P.m, nk[r], sink);
        c += len;
    }
}
