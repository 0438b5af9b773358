// Pattern detection without recursion. The recursive traversal labels exactly
// the genes connected to a seed through co-expressed pairs, so FindPatterns
// finds the connected groups in one pass over the lower triangle (union-find)
// and numbers them in the order of their lowest-index seed; SpreadPattern keeps
// the traversal itself, on an explicit stack, for labels set by a caller.
#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "ce_steps.h"

namespace {

class cUnionFind {
  public:
    explicit cUnionFind(int n) : Parent(static_cast<std::size_t>(n)), Size(static_cast<std::size_t>(n), 1)
    {
        std::iota(Parent.begin(), Parent.end(), 0);
    }
    int Find(int x)
    {
        while (Parent[x] != x) {
            Parent[x] = Parent[Parent[x]];
            x = Parent[x];
        }
        return x;
    }
    void Unite(int a, int b)
    {
        a = Find(a);
        b = Find(b);
        if (a == b) return;
        if (Size[a] < Size[b]) std::swap(a, b);
        Parent[b] = a;
        Size[a] += Size[b];
    }

  private:
    std::vector<int> Parent;
    std::vector<int> Size;
};

// Joins gene g with every gene o < g whose cell in row g is not 0.
void UniteRow(cUnionFind& sets, const std::int8_t* row, int g)
{
    int o = 0;
    // Most cells are 0: skip 32 at a time.
    for (; o + 32 <= g; o += 32) {
        std::uint64_t w[4];
        std::memcpy(w, row + o, 32);
        if ((w[0] | w[1] | w[2] | w[3]) == 0) continue;
        for (int k = o; k < o + 32; ++k)
            if (row[k]) sets.Unite(g, k);
    }
    for (; o < g; ++o)
        if (row[o]) sets.Unite(g, o);
}

} // namespace

void cExprData::FindPatterns(const cCEMatrix* M)
{
    if (!CEMatrixFits(*this, M)) return;
    const int n = nGenes;
    nPatterns = 0;
    for (int g = 0; g < n; ++g)
        Pattern[g] = 0;
    try {
        cUnionFind sets(n);
        for (int g = 1; g < n; ++g)
            UniteRow(sets, M->Row(g), g);
        std::vector<int> label(static_cast<std::size_t>(n), 0);
        for (int i = 0; i < n; ++i) {
            if (nCE[i] <= 0) continue;
            const int root = sets.Find(i);
            if (label[root] == 0) label[root] = ++nPatterns;
        }
        for (int g = 0; g < n; ++g)
            Pattern[g] = label[sets.Find(g)];
    } catch (const std::bad_alloc&) {
        // Too little memory for n integers: spread from each seed in place.
        for (int i = 0; i < n; ++i) {
            if (nCE[i] <= 0 || Pattern[i] != 0) continue;
            Pattern[i] = ++nPatterns;
            SpreadPattern(i, nPatterns, M);
        }
    }
}

void cExprData::SpreadPattern(int g, int label, const cCEMatrix* M)
{
    if (!CEMatrixFits(*this, M) || g < 0 || g >= nGenes) return;
    const int n = nGenes;
    // A gene is expanded once, whatever its label: with label 0 the recursive
    // form would revisit genes without end.
    std::vector<bool> expanded;
    std::vector<int> stack;
    try {
        expanded.assign(static_cast<std::size_t>(n), false);
        stack.reserve(64);
    } catch (const std::bad_alloc&) {
        return;
    }
    expanded[g] = true;
    stack.push_back(g);
    while (!stack.empty()) {
        const int u = stack.back();
        stack.pop_back();
        const std::int8_t* row = M->Row(u);
        for (int o = 0; o < n; ++o) {
            if (o == u) continue;
            if ((o < u ? row[o] : M->At(o, u)) == 0) continue;
            if (Pattern[o] != 0 && Pattern[o] != label) Pattern[o] = -label;
            if (Pattern[o] == 0) {
                Pattern[o] = label;
                if (!expanded[o]) {
                    expanded[o] = true;
                    try {
                        stack.push_back(o);
                    } catch (const std::bad_alloc&) {
                        return;
                    }
                }
            }
        }
    }
}
