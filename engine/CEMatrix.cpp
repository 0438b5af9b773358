#include "CEMatrix.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

cCEMatrix::~cCEMatrix()
{
    Free();
}

bool cCEMatrix::Alloc(int n)
{
    Free();
    if (n < 0) return false;
    const std::size_t side = static_cast<std::size_t>(n);
    if (side != 0 && side > std::numeric_limits<std::size_t>::max() / side) return false;
    // One byte even for an empty table, so that a 0 x 0 matrix is not absent.
    const std::size_t bytes = side * side > 0 ? side * side : 1;
    if (bytes > static_cast<std::size_t>(PTRDIFF_MAX)) return false;
    void* block = nullptr;
#if defined(__linux__)
    // Large matrices come straight from the kernel as zero pages that are only
    // backed when written. Small pages on purpose: most of the lower triangle
    // stays 0, and pages that hold only lower cells are then never backed.
    if (bytes >= (std::size_t(1) << 24)) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        // The heap would ask the system the same way: a refusal is final.
        if (p == MAP_FAILED) return false;
        block = p;
        Mapped = true;
    }
#endif
    if (!block) block = std::calloc(bytes, 1);
    if (!block) return false;
    Cells = static_cast<std::int8_t*>(block);
    Bytes = bytes;
    N = n;
    for (int i = 0; i < n; ++i)
        At(i, i) = 100;
    Clean = true;
    return true;
}

void cCEMatrix::Clear()
{
    if (!Cells) return;
#if defined(__linux__)
    // Hands the pages back: they read as zero again without being touched.
    if (!Mapped || madvise(Cells, Bytes, MADV_DONTNEED) != 0)
#endif
        std::memset(Cells, 0, Bytes);
    for (int i = 0; i < N; ++i)
        At(i, i) = 100;
    Clean = true;
}

void cCEMatrix::Free()
{
    if (Cells) {
#if defined(__linux__)
        if (Mapped)
            munmap(Cells, Bytes);
        else
#endif
            std::free(Cells);
    }
    Cells = nullptr;
    Bytes = 0;
    Mapped = false;
    Clean = false;
    N = 0;
}
