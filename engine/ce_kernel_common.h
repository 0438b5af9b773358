// Helpers shared by the co-expression kernels. Included only by the kernel
// files: everything here has internal linkage, so each file compiles its own
// copy with its own instruction set and no copy can stand in for another at
// link time. (No standard library templates either, for the same reason.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "ce_kernels.h"

namespace {

// First block holding a partner of row i0 at or after block c0.
inline int FirstBlock(int i0, int c0)
{
    return ((i0 + 1) >> 3) > c0 ? (i0 + 1) >> 3 : c0;
}

inline bool Bit(const std::uint8_t* masks, int g)
{
    return (masks[g >> 3] >> (g & 7)) & 1;
}

inline const double* GeneColumn(const CEPrep& P, int g)
{
    return P.Y + static_cast<std::size_t>(g >> 3) * P.m * 8 + (g & 7);
}

// Writes the arrays where gene i is present to out[0 .. count-1]; returns count.
inline int PresentList(const CEPrep& P, int i, int* out)
{
    const std::uint8_t* lm = P.LaneMask + static_cast<std::size_t>(i >> 3) * P.m;
    const unsigned bit = 1u << (i & 7);
    int count = 0;
    for (int k = 0; k < P.m; ++k)
        if (lm[k] & bit) out[count++] = k;
    return count;
}

// Bit l set for the lanes of block c that hold a pair (i, j) with i < j < n.
inline unsigned ValidLanes(const CEPrep& P, int i, int c)
{
    const int j0 = 8 * c;
    unsigned mask = 0xFF;
    if (i >= j0) mask &= i - j0 >= 7 ? 0u : 0xFFu << (i - j0 + 1);
    if (P.n < j0 + 8) mask &= P.n <= j0 ? 0u : 0xFFu >> (j0 + 8 - P.n);
    return mask & 0xFF;
}

} // namespace
