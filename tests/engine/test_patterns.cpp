// Pattern detection: labels and numbering as the recursive traversal gives
// them, without its depth limit.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "ce_test_util.h"

using namespace cetest;

namespace {

// A table of n genes (the values do not matter here) and its matrix.
struct cGraph {
    explicit cGraph(int n)
    {
        Fill(D, std::vector<std::vector<float>>(static_cast<std::size_t>(n), std::vector<float>(3, 1)));
        EXPECT_TRUE(M.Alloc(n));
    }
    // Marks a co-expressed pair in the lower triangle and counts it.
    void Link(int a, int b, std::int8_t cell = 90)
    {
        M.At(std::max(a, b), std::min(a, b)) = cell;
        ++D.nCE[a];
        ++D.nCE[b];
    }
    std::vector<int> Labels() const { return std::vector<int>(D.Pattern, D.Pattern + D.nGenes); }
    cExprData D;
    cCEMatrix M;
};

// The traversal exactly as defined, recursive (small graphs only).
void SpreadRecursive(std::vector<int>& pattern, const cCEMatrix& M, int g, int label, int depth = 0)
{
    ASSERT_LT(depth, 100000);
    for (int o = 0; o < M.Size(); ++o) {
        if (o == g || M.Coexpr(o, g) == 0) continue;
        if (pattern[o] != 0 && pattern[o] != label) pattern[o] = -label;
        if (pattern[o] == 0) {
            pattern[o] = label;
            SpreadRecursive(pattern, M, o, label, depth + 1);
        }
    }
}

std::pair<std::vector<int>, int> FindRecursive(const cExprData& d, const cCEMatrix& M)
{
    std::vector<int> pattern(static_cast<std::size_t>(d.nGenes), 0);
    int count = 0;
    for (int i = 0; i < d.nGenes; ++i) {
        if (d.nCE[i] > 0 && pattern[i] == 0) {
            pattern[i] = ++count;
            SpreadRecursive(pattern, M, i, count);
        }
    }
    return {pattern, count};
}

} // namespace

TEST(Patterns, SixGeneExample)
{
    cGraph g(6);
    g.Link(0, 3);
    g.Link(3, 5);
    g.Link(1, 4, -95); // negative cells link as well
    g.D.FindPatterns(&g.M);
    EXPECT_EQ(g.Labels(), std::vector<int>({1, 2, 0, 1, 2, 1}));
    EXPECT_EQ(g.D.nPatterns, 2);
}

TEST(Patterns, SeedsAndLinksDecideSeparately)
{
    // Gene 1 counts partners but has no linking cell: a pattern of its own.
    // Gene 4 counts none but is linked to gene 2: it joins gene 2's pattern.
    // Genes 5 and 6 are linked, but neither counts a partner: no pattern.
    cGraph g(7);
    g.D.nCE[1] = 1;
    g.Link(2, 3);
    g.M.At(4, 2) = 50;
    g.M.At(6, 5) = 50;
    g.D.FindPatterns(&g.M);
    EXPECT_EQ(g.Labels(), std::vector<int>({0, 1, 2, 2, 2, 0, 0}));
    EXPECT_EQ(g.D.nPatterns, 2);
}

TEST(Patterns, LongChainHasNoDepthLimit)
{
    // The recursive form would nest once per gene.
    const int n = 6000;
    cGraph g(n);
    for (int i = 0; i + 1 < n; ++i)
        g.Link(i, i + 1);
    g.D.FindPatterns(&g.M);
    EXPECT_EQ(g.D.nPatterns, 1);
    EXPECT_EQ(g.Labels(), std::vector<int>(n, 1));
    for (int i = 0; i < n; ++i)
        g.D.Pattern[i] = 0;
    g.D.Pattern[n - 1] = 4;
    g.D.SpreadPattern(n - 1, 4, &g.M);
    EXPECT_EQ(g.Labels(), std::vector<int>(n, 4));
}

TEST(Patterns, MatchesTheRecursiveDefinitionOnRandomGraphs)
{
    cRng rng(5);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 1 + rng.Below(90);
        cGraph g(n);
        const double density = rng.Uniform() * 4.0 / n;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                if (rng.Uniform() < density) g.Link(a, b, static_cast<std::int8_t>(rng.Below(2) ? 60 : -60));
        // Counts that disagree with the cells now and then.
        if (n > 2 && rng.Below(3) == 0) g.D.nCE[rng.Below(n)] += 1;
        const auto want = FindRecursive(g.D, g.M);
        g.D.FindPatterns(&g.M);
        EXPECT_EQ(g.Labels(), want.first) << "trial " << trial;
        EXPECT_EQ(g.D.nPatterns, want.second) << "trial " << trial;
        for (int label : g.Labels())
            EXPECT_GE(label, 0);

        // A spread over labels set by a caller, negative ones included.
        std::vector<int> pre(static_cast<std::size_t>(n));
        for (int& v : pre)
            v = rng.Below(3) == 0 ? rng.Below(7) - 3 : 0;
        const int start = rng.Below(n);
        for (int label : {1, 3, -2}) {
            std::vector<int> expect = pre;
            SpreadRecursive(expect, g.M, start, label);
            for (int k = 0; k < n; ++k)
                g.D.Pattern[k] = pre[k];
            g.D.SpreadPattern(start, label, &g.M);
            EXPECT_EQ(g.Labels(), expect) << "trial " << trial << " label " << label;
        }
    }
}

TEST(Patterns, LabelZeroAndUnusableInputs)
{
    // With label 0 the recursive form would never end; the spread stops after
    // visiting each gene once.
    cGraph g(4);
    g.Link(0, 1);
    g.Link(1, 2);
    g.D.Pattern[2] = 5;
    g.D.SpreadPattern(0, 0, &g.M);
    EXPECT_EQ(g.Labels(), std::vector<int>({0, 0, 0, 0}));

    // No matrix, one of another size, a gene out of range: nothing changes.
    g.D.Pattern[3] = 7;
    g.D.nPatterns = 9;
    cCEMatrix other;
    ASSERT_TRUE(other.Alloc(3));
    g.D.FindPatterns(nullptr);
    g.D.FindPatterns(&other);
    g.D.SpreadPattern(0, 1, nullptr);
    g.D.SpreadPattern(4, 1, &g.M);
    g.D.SpreadPattern(-1, 1, &g.M);
    EXPECT_EQ(g.Labels(), std::vector<int>({0, 0, 0, 7}));
    EXPECT_EQ(g.D.nPatterns, 9);
}

TEST(Patterns, AfterCalcCE)
{
    cRecorder d;
    Fill(d, MakeTable(150, 20, 0.05, 8));
    d.nThreads = 2;
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(d.nGenes));
    ASSERT_EQ(d.CalcCE(&M, 1, 0.7f), 1);
    d.FindPatterns(&M);
    const auto want = FindRecursive(d, M);
    EXPECT_EQ(std::vector<int>(d.Pattern, d.Pattern + d.nGenes), want.first);
    EXPECT_EQ(d.nPatterns, want.second);
    EXPECT_GT(d.nPatterns, 0);
}
