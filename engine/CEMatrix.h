// The co-expression matrix: nGenes x nGenes signed bytes, one contiguous block.
// Upper triangle (row i < column j): trunc(100 r); lower triangle: the filtered
// co-expression trunc(100 r^p) of a co-expressed pair, else 0; diagonal 100.
#pragma once

#include <cstddef>
#include <cstdint>

class cCEMatrix {
  public:
    cCEMatrix() = default;
    ~cCEMatrix();
    cCEMatrix(const cCEMatrix&) = delete;
    cCEMatrix& operator=(const cCEMatrix&) = delete;

    // Allocates n x n cells, all 0 but the diagonal (100). Returns false, leaving
    // the matrix empty, when the size cannot be allocated.
    bool Alloc(int n);
    void Free();

    bool Empty() const { return Cells == nullptr; }
    int Size() const { return N; }
    // True while every cell is as Alloc (or Clear) left it; writing access
    // through Row or At, or MarkWritten, ends it.
    bool Untouched() const { return Clean; }
    void MarkWritten() { Clean = false; }
    // Returns every cell to its state after Alloc: 0, diagonal 100.
    void Clear();
    std::int8_t* Row(int i)
    {
        Clean = false;
        return Cells + static_cast<std::size_t>(i) * static_cast<std::size_t>(N);
    }
    const std::int8_t* Row(int i) const
    {
        return Cells + static_cast<std::size_t>(i) * static_cast<std::size_t>(N);
    }
    std::int8_t& At(int i, int j) { return Row(i)[j]; }
    std::int8_t At(int i, int j) const { return Row(i)[j]; }
    // Co-expression of a pair in any order (the lower-triangle cell).
    std::int8_t Coexpr(int a, int b) const { return a > b ? At(a, b) : At(b, a); }

    std::int8_t* Cells = nullptr;
    int N = 0;

  private:
    std::size_t Bytes = 0; // size of the block behind Cells
    bool Mapped = false;   // obtained from the system directly, not the heap
    bool Clean = false;
};
