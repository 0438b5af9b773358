// Internal interface between the co-expression driver and its vector kernels.
// The kernels live in files compiled with different instruction sets, so this
// header holds only plain data and declarations: nothing here may be an inline
// function or template that a wide-vector file would instantiate.
#pragma once

#include <cstddef>
#include <cstdint>

// Genes are packed in blocks of 8 (one lane each). Every kernel sums over the
// arrays in array order without fused multiply-add, lane by lane, so each lane
// reproduces the per-pair sums of the definition bit for bit.
struct CEPrep {
    int n = 0;     // genes
    int m = 0;     // arrays
    int nb = 0;    // blocks of 8 genes; lanes past n are padding
    int words = 0; // 64-bit presence words per gene
    double T = 0;  // effective threshold on |r|
    // Value of gene 8b+l at array k at Y[(b*m + k)*8 + l]; 0 where missing.
    const double* Y = nullptr;
    // Bit l of LaneMask[b*m + k]: gene 8b+l present at array k.
    const std::uint8_t* LaneMask = nullptr;
    // Presence bits: word w of gene 8b+l at Bits[(b*words + w)*8 + l].
    const std::uint64_t* Bits = nullptr;
    // Per gene (nb*8 entries) for fully present genes: mean, standard
    // deviation with the 0.00001 stand-in, m*mean and (m-1)*sd.
    const double* Mean = nullptr;
    const double* SD = nullptr;
    const double* MMean = nullptr;
    const double* MSD = nullptr;
    // Per gene: sum of squares of its present values, in array order.
    const double* SumSq = nullptr;
    // Per block, bit l for lane l: fully present (padding counts as full);
    // correlation 0 with every fully present partner; fewer than 3 present.
    const std::uint8_t* FullMask = nullptr;
    const std::uint8_t* ZeroFullMask = nullptr;
    const std::uint8_t* ZeroPresMask = nullptr;
    std::int8_t* Cells = nullptr;
    std::size_t Stride = 0;
};

// Collects the co-expressed pairs of one group of rows (opaque to kernels).
struct CEHitSink;
// Records the pairs (i, j0 + l), i < j0 + l, for every bit l of mask, each
// with |r[l]| > T: writes their lower cells and keeps their v.
void CEEmitHits(CEHitSink* sink, int i, int j0, const double* r, unsigned mask);

// Rows i0 .. i1-1 (at most 4) against the partners j > i in blocks c0 ..
// c1-1: writes the upper cells and reports every hit through CEEmitHits, for
// each row in increasing j. scratch holds at least 4*m ints, squares 4*m
// doubles.
using CERowGroupFn = void (*)(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                              double* squares);

void CERowGroupPortable(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                        double* squares);
#if defined(KORVALENT_X86)
void CERowGroupAvx2(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                    double* squares);
void CERowGroupAvx512(const CEPrep& P, int i0, int i1, int c0, int c1, CEHitSink* sink, int* scratch,
                      double* squares);
#endif

// Which kernel CalcCE uses. Tests and benchmarks may force one; Auto picks
// the widest the processor supports.
enum class CEIsa { Auto, Portable, Avx2, Avx512 };
bool CEIsaSupported(CEIsa isa);
void CESetIsa(CEIsa isa); // an unsupported choice falls back to Auto
CEIsa CEActiveIsa();      // the kernel the next CalcCE will use
const char* CEIsaName(CEIsa isa);
