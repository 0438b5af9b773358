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

#include "ce_kernel_common.h"

namespace {

// Number of arrays where gene i and each gene of block c are both present.
inline __m512d CommonCounts(const CEPrep& P, int i, int c)
{
    const std::uint64_t* bi = P.Bits + static_cast<std::size_t>(i >> 3) * P.words * 8 + (i & 7);
    const std::uint64_t* bc = P.Bits + static_cast<std::size_t>(c) * P.words * 8;
    const __m512i m1 = _mm512_set1_epi64(0x5555555555555555ll);
    const __m512i m2 = _mm512_set1_epi64(0x3333333333333333ll);
    const __m512i m4 = _mm512_set1_epi64(0x0F0F0F0F0F0F0F0Fll);
    __m512i total = _mm512_setzero_si512();
    for (int w = 0; w < P.words; ++w) {
        __m512i v = _mm512_and_si512(_mm512_loadu_si512(bc + 8 * w),
                                     _mm512_set1_epi64(static_cast<long long>(bi[8 * w])));
        v = _mm512_sub_epi64(v, _mm512_and_si512(_mm512_srli_epi64(v, 1), m1));
        v = _mm512_add_epi64(_mm512_and_si512(v, m2), _mm512_and_si512(_mm512_srli_epi64(v, 2), m2));
        v = _mm512_and_si512(_mm512_add_epi64(v, _mm512_srli_epi64(v, 4)), m4);
        total = _mm512_add_epi64(total, _mm512_sad_epu8(v, _mm512_setzero_si512()));
    }
    return _mm512_cvtepi64_pd(total);
}

// Writes the arrays where gene i is present to out[0 .. count-1] and those
// where it is missing after them, up to out[m-1]; returns count.
int PresentThenMissing(const CEPrep& P, int i, int* out)
{
    const int count = PresentList(P, i, out);
    const std::uint8_t* lm = P.LaneMask + static_cast<std::size_t>(i >> 3) * P.m;
    const unsigned bit = 1u << (i & 7);
    int missing = count;
    for (int k = 0; k < P.m; ++k)
        if (!(lm[k] & bit)) out[missing++] = k;
    return count;
}

// The squares of gene i's values at the arrays K[0 .. nk-1].
void Squares(const CEPrep& P, int i, const int* K, int nk, double* out)
{
    const double* Xi = GeneColumn(P, i);
    for (int t = 0; t < nk; ++t) {
        const double x = Xi[static_cast<std::size_t>(K[t]) * 8];
        out[t] = x * x;
    }
}

// Clamps r into [-1, 1], writes the cells of row i for block c, reports hits.
inline void Finish(const CEPrep& P, int i, int c, __m512d r, CEHitSink* sink)
{
    r = _mm512_min_pd(_mm512_max_pd(r, _mm512_set1_pd(-1.0)), _mm512_set1_pd(1.0));
    const __mmask8 valid = static_cast<__mmask8>(ValidLanes(P, i, c));
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
        CEEmitHits(sink, i, 8 * c, lanes, hits);
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
    for (int q = 0; q < J; ++q) {
        dm[q] = CommonCounts(P, i, c + q);
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

// Row i against blocks c .. c+J-1 in general, deciding most pairs without
// the second pass over the arrays.
//
// The sums Sxy, Sx, Sy are those of the definition. The correlation is then
// approximated: means by multiplying with 1/m, centred sums of squares in one
// pass (sum(x^2) - Sx mx), the root by a refined reciprocal square root; and
// bounded: by standard rounding analysis the one-pass and the two-pass
// centred sums lie within about (4m + 5) u (A + |S|) of each other, A a sum
// of squares bounding the common arrays' one from above; B = 4 (4m + 8) u
// (A + |S|) allows nearly four times that. The approximate numerator lies
// within 11 u |m mx my| + 3 u |num|, the root within 2^-27. A pair is decided
// here only when the resulting bound e on |r - r exact| leaves nothing open: both
// centred sums well above their bound, |r| + e below the threshold (no hit)
// and below 1 (no clamp), and 100 |r| farther than 100 e from every whole
// number. Any other block is computed exactly by MissingRow.
template <int J>
int MissingRowFast(const CEPrep& P, int i, int c, const int* K, const double* X2, int nk, CEHitSink* sink)
{
    int exact = 0;
    const double* Xi = GeneColumn(P, i);
    const std::size_t blockStride = static_cast<std::size_t>(P.m) * 8;
    const double* Yc = P.Y + static_cast<std::size_t>(c) * blockStride;
    const std::uint8_t* Mc = P.LaneMask + static_cast<std::size_t>(c) * P.m;
    __m512d sxy[J], sx[J], sy[J], sxx[J];
    for (int q = 0; q < J; ++q)
        sxy[q] = sx[q] = sy[q] = sxx[q] = _mm512_setzero_pd();
    for (int t = 0; t < nk; ++t) {
        const int k = K[t];
        const std::size_t off = static_cast<std::size_t>(k) * 8;
        // Both from memory: a broadcast from a register would take a slot
        // of the vector units.
        const __m512d x = _mm512_set1_pd(Xi[off]);
        const __m512d x2 = _mm512_set1_pd(X2[t]);
        for (int q = 0; q < J; ++q) {
            const __m512d y = _mm512_loadu_pd(Yc + q * blockStride + off);
            const __mmask8 mk = Mc[static_cast<std::size_t>(q) * P.m + k];
            sxy[q] = _mm512_add_pd(sxy[q], _mm512_mul_pd(x, y));
            sy[q] = _mm512_add_pd(sy[q], y);
            sx[q] = _mm512_mask_add_pd(sx[q], mk, sx[q], x);
            sxx[q] = _mm512_mask_add_pd(sxx[q], mk, sxx[q], x2);
        }
    }
    // The partners' squares over the common arrays: their own sums less the
    // arrays where gene i is missing (listed after the present ones in K;
    // partner values there are 0 where the partner is missing too).
    __m512d cut[J];
    for (int q = 0; q < J; ++q)
        cut[q] = _mm512_setzero_pd();
    for (int t = nk; t < P.m; ++t) {
        const std::size_t off = static_cast<std::size_t>(K[t]) * 8;
        for (int q = 0; q < J; ++q) {
            const __m512d y = _mm512_loadu_pd(Yc + q * blockStride + off);
            cut[q] = _mm512_add_pd(cut[q], _mm512_mul_pd(y, y));
        }
    }
    const bool zi = Bit(P.ZeroPresMask, i);
    const double u = 0x1p-53;
    const __m512d bound = _mm512_set1_pd(4.0 * (4.0 * P.m + 8.0) * u);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d half = _mm512_set1_pd(0.5);
    const __m512d hundred = _mm512_set1_pd(100.0);
    const __m512d low = _mm512_set1_pd(1e-150), high = _mm512_set1_pd(1e150);
    for (int q = 0; q < J; ++q) {
        const __m512d dm = CommonCounts(P, i, c + q);
        __mmask8 z = static_cast<__mmask8>(P.ZeroPresMask[c + q]);
        z |= _mm512_cmp_pd_mask(dm, _mm512_set1_pd(3.0), _CMP_LT_OQ);
        if (zi) z = 0xFF;
        const __m512d inv = _mm512_div_pd(one, dm);
        const __m512d mx = _mm512_mul_pd(sx[q], inv);
        const __m512d my = _mm512_mul_pd(sy[q], inv);
        const __m512d prod = _mm512_mul_pd(_mm512_mul_pd(dm, mx), my);
        const __m512d num = _mm512_sub_pd(sxy[q], prod);
        // One-pass centred sums and their bounds; ay bounds the partners'
        // sum of squares over the common arrays from above.
        const __m512d ay = _mm512_loadu_pd(P.SumSq + 8 * (c + q));
        const __m512d cx = _mm512_sub_pd(sxx[q], _mm512_mul_pd(sx[q], mx));
        const __m512d cy = _mm512_sub_pd(_mm512_sub_pd(ay, cut[q]), _mm512_mul_pd(sy[q], my));
        const __m512d bx = _mm512_mul_pd(bound, _mm512_add_pd(sxx[q], _mm512_abs_pd(cx)));
        const __m512d by = _mm512_mul_pd(bound, _mm512_add_pd(ay, _mm512_abs_pd(cy)));
        __mmask8 ok = _mm512_cmp_pd_mask(cx, _mm512_add_pd(bx, bx), _CMP_GT_OQ) &
                      _mm512_cmp_pd_mask(cy, _mm512_add_pd(by, by), _CMP_GT_OQ);
        ok &= _mm512_cmp_pd_mask(cx, low, _CMP_GT_OQ) & _mm512_cmp_pd_mask(cy, low, _CMP_GT_OQ);
        ok &= _mm512_cmp_pd_mask(cx, high, _CMP_LT_OQ) & _mm512_cmp_pd_mask(cy, high, _CMP_LT_OQ);
        // (m-1) sdx sdy is sqrt(Sxx Syy) up to a few roundings: r = num / that,
        // with one Newton step on the 14-bit reciprocal square root.
        const __m512d sq = _mm512_maskz_mov_pd(ok, _mm512_mul_pd(cx, cy));
        const __m512d y0 = _mm512_maskz_rsqrt14_pd(ok, sq);
        const __m512d rs =
            _mm512_mul_pd(y0, _mm512_sub_pd(_mm512_set1_pd(1.5),
                                            _mm512_mul_pd(half, _mm512_mul_pd(_mm512_mul_pd(sq, y0), y0))));
        const __m512d r = _mm512_maskz_mul_pd(ok, num, rs);
        // Relative distance of the two denominators: at most
        // 1.5 (bx / Sxx + by / Syy) + 16 u, the quotients taken as
        // (bx Syy + by Sxx) rs^2; the slack covers the error of rs.
        const __m512d slack = _mm512_set1_pd(1.5 * (1.0 + 0x1p-20));
        const __m512d cross = _mm512_add_pd(_mm512_mul_pd(bx, cy), _mm512_mul_pd(by, cx));
        const __m512d rho = _mm512_add_pd(_mm512_mul_pd(slack, _mm512_mul_pd(_mm512_mul_pd(cross, rs), rs)),
                                          _mm512_set1_pd(16 * u));
        // e = |r| (2 rho + 2^-23) + 1.5 (11 u |m mx my| + 3 u |num|) / root,
        // valid while rho < 1/4.
        const __m512d a = _mm512_abs_pd(r);
        const __m512d numErr = _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(11 * u), _mm512_abs_pd(prod)),
                                             _mm512_mul_pd(_mm512_set1_pd(3 * u), _mm512_abs_pd(num)));
        const __m512d e =
            _mm512_add_pd(_mm512_mul_pd(a, _mm512_add_pd(_mm512_add_pd(rho, rho), _mm512_set1_pd(0x1p-23))),
                          _mm512_mul_pd(_mm512_set1_pd(1.5), _mm512_mul_pd(numErr, rs)));
        const __m512d reach = _mm512_add_pd(a, e);
        ok &= _mm512_cmp_pd_mask(rho, _mm512_set1_pd(0.25), _CMP_LT_OQ);
        ok &= _mm512_cmp_pd_mask(reach, _mm512_set1_pd(P.T), _CMP_LT_OQ);
        ok &= _mm512_cmp_pd_mask(reach, one, _CMP_LT_OQ);
        // 100 |r| and its exact counterpart truncate alike when no whole
        // number lies within 100 e (plus the rounding of the product).
        const __m512d h = _mm512_mul_pd(a, hundred);
        const __m512d f =
            _mm512_sub_pd(h, _mm512_roundscale_pd(h, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
        const __m512d w = _mm512_add_pd(_mm512_mul_pd(e, hundred), _mm512_set1_pd(1e-12));
        ok &= _mm512_cmp_pd_mask(f, w, _CMP_GT_OQ);
        ok &= _mm512_cmp_pd_mask(f, _mm512_sub_pd(one, w), _CMP_LT_OQ);
        const __mmask8 need = static_cast<__mmask8>(ValidLanes(P, i, c + q) & ~z);
        if ((ok & need) == need) {
            Finish(P, i, c + q, _mm512_maskz_mov_pd(static_cast<__mmask8>(~z), r), sink);
        } else {
            MissingRow<1>(P, i, c + q, K, nk, sink);
            ++exact;
        }
    }
    return exact;
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

// How one row has fared with the one-pass decision so far. Where most
// blocks need the exact computation anyway (low thresholds: hits everywhere),
// the row goes straight to it.
struct cRowTrial {
    int Blocks = 0;
    int Exact = 0;
    bool Worth() const { return Blocks < 8 || 4 * Exact <= Blocks; }
};

void MissingRun(const CEPrep& P, int i, int c, int len, const int* K, const double* X2, int nk,
                CEHitSink* sink, cRowTrial& trial)
{
    if (!trial.Worth()) {
        if (len == 4) MissingRow<4>(P, i, c, K, nk, sink);
        if (len == 3) MissingRow<3>(P, i, c, K, nk, sink);
        if (len == 2) MissingRow<2>(P, i, c, K, nk, sink);
        if (len == 1) MissingRow<1>(P, i, c, K, nk, sink);
        return;
    }
    trial.Blocks += len;
    if (len == 4) trial.Exact += MissingRowFast<4>(P, i, c, K, X2, nk, sink);
    if (len == 3) trial.Exact += MissingRowFast<3>(P, i, c, K, X2, nk, sink);
    if (len == 2) trial.Exact += MissingRowFast<2>(P, i, c, K, X2, nk, sink);
    if (len == 1) trial.Exact += MissingRowFast<1>(P, i, c, K, X2, nk, sink);
}

} // namespace

void CERowGroupAvx512(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                      double* squares)
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
            nk[np] = PresentThenMissing(P, i, scratch + np * P.m);
            Squares(P, i, scratch + np * P.m, nk[np], squares + np * P.m);
            part[np++] = i;
        }
    }
    int* allPresent = scratch + np * P.m;
    int nAll = -1;
    cRowTrial trials[4], fullTrials[4];
    for (int c = FirstBlock(i0, c0); c < c1;) {
        const bool fullBlocks = BlockFull(P, c);
        int len = 1;
        while (len < 4 && c + len < c1 && BlockFull(P, c + len) == fullBlocks)
            ++len;
        if (fullBlocks) {
            FullRun(P, full, nf, c, len, sink);
        } else if (nf > 0) {
            // Blocks with missing partner values: the general path for every row.
            if (nAll < 0) {
                nAll = PresentThenMissing(P, full[0], allPresent);
                for (int r = 0; r < nf; ++r)
                    Squares(P, full[r], allPresent, nAll, squares + (np + r) * P.m);
            }
            for (int r = 0; r < nf; ++r)
                MissingRun(P, full[r], c, len, allPresent, squares + (np + r) * P.m, nAll, sink,
                           fullTrials[r]);
        }
        for (int r = 0; r < np; ++r)
            MissingRun(P, part[r], c, len, scratch + r * P.m, squares + r * P.m, nk[r], sink, trials[r]);
        c += len;
    }
}
