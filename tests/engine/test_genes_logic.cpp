// The gene tab's computations: the co-expression profile of a gene, its
// direct connections (signed test), and their removal from the matrix.
#include "GeneLinks.h"
#include "Numeric.h"
#include "ce_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using cetest::Cells;
using cetest::Fill;
using cetest::NA;

namespace {

// g1 and g5 follow g0 closely (g5 through missing values), g2 is its mirror
// image (r = -1), g3 follows it loosely (r = 31/35 = 0.8857), g4 has no value,
// g6 barely relates to it.
const std::vector<std::vector<float>> kRows = {
    {1, 2, 3, 4, 5, 6},       // g0
    {2, 4, 6, 8, 10, 12.5f},  // g1
    {6, 5, 4, 3, 2, 1},       // g2
    {1, 3, 2, 5, 4, 6},       // g3
    {NA, NA, NA, NA, NA, NA}, // g4
    {1, NA, 3, 4, NA, 6.1f},  // g5
    {5, 1, 4, 2, 6, 3},       // g6
};

struct cTable {
    cTable() { Fill(Data, kRows); }
    cExprData Data;
};

} // namespace

TEST(GeneLinks, LooseGeneHasTheHandComputedCorrelation)
{
    cTable t;
    EXPECT_NEAR(t.Data.Corr(0, 3), 31.0 / 35.0, 1e-12);
    EXPECT_NEAR(t.Data.Corr(0, 2), -1.0, 1e-12);
}

TEST(GeneLinks, CoexprProfileKeepsValuesAboveTheThreshold)
{
    cTable t;
    const cExprData& d = t.Data;
    const int n = d.nGenes;
    struct cCase {
        int Gene, Power;
        double Threshold;
    };
    const cCase cases[] = {{0, 1, 0.9}, {0, 1, 0.8}, {0, 2, 0.7}, {0, 3, 0.5}, {3, 1, 0.5},
                           {2, 2, 0.9}, {4, 1, 0.1}, {0, 1, -1},  {6, 1, 0.0}, {0, -1, 1.5}};
    for (const cCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "gene " << c.Gene << " p " << c.Power << " t " << c.Threshold);
        std::vector<double> out(n, 99.0);
        CoexprProfile(d, c.Gene, c.Power, c.Threshold, out.data());
        for (int k = 0; k < n; ++k) {
            const double v = IntPower(static_cast<float>(d.Corr(c.Gene, k)), c.Power);
            const double want = std::isfinite(v) && std::fabs(v) > c.Threshold ? v : 0.0;
            EXPECT_EQ(out[k], want) << "gene " << k;
        }
    }
}

TEST(GeneLinks, CoexprProfileWorkedValues)
{
    cTable t;
    const cExprData& d = t.Data;
    std::vector<double> out(d.nGenes);

    // p = 1, t = 0.9: the gene itself, g1 and g5; the mirror gene shows -1.
    CoexprProfile(d, 0, 1, 0.9, out.data());
    EXPECT_EQ(out[0], 1.0);
    EXPECT_GT(out[1], 0.9);
    EXPECT_LT(out[2], -0.999);
    EXPECT_EQ(out[3], 0.0);
    EXPECT_EQ(out[4], 0.0);
    EXPECT_EQ(out[6], 0.0);

    // An even power turns the mirror gene positive.
    CoexprProfile(d, 0, 2, 0.81, out.data());
    EXPECT_GT(out[2], 0.99);

    // Power 0: every value is 1, also for the gene without values.
    CoexprProfile(d, 0, 0, 0.9, out.data());
    for (int k = 0; k < d.nGenes; ++k)
        EXPECT_EQ(out[k], 1.0) << k;

    // A gene without values correlates with nothing, itself included.
    CoexprProfile(d, 4, 1, 0.5, out.data());
    for (int k = 0; k < d.nGenes; ++k)
        EXPECT_EQ(out[k], 0.0) << k;

    // A negative power of a zero correlation has no finite value: drawn at 0.
    CoexprProfile(d, 4, -1, 0.5, out.data());
    for (int k = 0; k < d.nGenes; ++k)
        EXPECT_EQ(out[k], 0.0) << k;

    // A gene index outside the table is taken as gene 0.
    std::vector<double> first(d.nGenes), outside(d.nGenes);
    CoexprProfile(d, 0, 1, 0.5, first.data());
    for (int g : {-1, d.nGenes, 1 << 30}) {
        CoexprProfile(d, g, 1, 0.5, outside.data());
        EXPECT_EQ(outside, first) << g;
    }
}

TEST(GeneLinks, DirectConnectionsUseTheSignedCorrelation)
{
    cTable t;
    const cExprData& d = t.Data;
    struct cCase {
        int Gene, Power;
        double Threshold;
        std::vector<int> Want;
    };
    const cCase cases[] = {
        {0, 1, 0.9, {1, 5}},
        {0, 1, 0.8, {1, 3, 5}},
        {0, 2, 0.81, {1, 5}},    // cut-off 0.9; the mirror gene (r^2 = 1) stays
        {0, 2, 0.64, {1, 3, 5}}, // cut-off 0.8
        {2, 1, 0.5, {}},         // every strong partner of g2 is anti-correlated
        {3, 1, 0.8, {0, 1, 5}},  // g3 follows g0, g1 and g5 loosely
        {4, 1, 0.1, {}},         // no values, no partners
        {0, 1, 1.0, {}},         // nothing exceeds a cut-off of 1
        {0, 3, 0.9 * 0.9 * 0.9, {1, 5}},
    };
    for (const cCase& c : cases)
        EXPECT_EQ(DirectConnections(d, c.Gene, c.Power, c.Threshold), c.Want)
            << "gene " << c.Gene << " p " << c.Power << " t " << c.Threshold;
}

TEST(GeneLinks, CutOffIsStrict)
{
    // r(g0, g1) is exactly 1 here; a cut-off of exactly 1 keeps g1.
    cExprData d;
    Fill(d, {{1, 2, 3, 4}, {2, 4, 6, 8}, {1, 2, 3, 5}});
    ASSERT_EQ(static_cast<float>(d.Corr(0, 1)), 1.0f);
    EXPECT_EQ(DirectConnections(d, 0, 1, 1.0), std::vector<int>{});
    EXPECT_EQ(DirectConnections(d, 0, 1, 0.99), std::vector<int>{1}); // r(g0, g2) = 0.983
    EXPECT_EQ(DirectConnections(d, 0, 1, 0.98), (std::vector<int>{1, 2}));
}

TEST(GeneLinks, ClearGeneEmptiesItsRowAndColumnOnly)
{
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(5));
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            M.At(i, j) = static_cast<std::int8_t>(10 * i + j + 1);
    ClearGene(M, 2);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            const int want = i == 2 || j == 2 ? 0 : 10 * i + j + 1;
            EXPECT_EQ(M.At(i, j), want) << i << "," << j;
        }
    // Outside the matrix: nothing happens.
    const std::vector<std::int8_t> before = Cells(M);
    ClearGene(M, -1);
    ClearGene(M, 5);
    EXPECT_EQ(Cells(M), before);
}

TEST(GeneLinks, KillRefusesWhatHasNoCutOffAndChangesNothing)
{
    cTable t;
    cExprData& d = t.Data;
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(d.nGenes));
    ASSERT_EQ(d.CalcCE(&M, 1, 0.5f), 1);
    const std::vector<std::int8_t> before = Cells(M);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct cCase {
        int Gene, Power;
        double Threshold;
    };
    const cCase cases[] = {{0, 0, 0.9}, {0, -1, 0.9}, {0, 1, 0.0}, {0, 1, -0.5}, {0, 1, nan},
                           {0, 1, inf}, {-1, 1, 0.9}, {7, 1, 0.9}, {0, 2, -0.0}};
    for (const cCase& c : cases) {
        EXPECT_EQ(KillDirectConnections(d, M, c.Gene, c.Power, c.Threshold), -1)
            << "gene " << c.Gene << " p " << c.Power << " t " << c.Threshold;
        EXPECT_EQ(Cells(M), before);
    }
    // A matrix of another table.
    cCEMatrix other;
    ASSERT_TRUE(other.Alloc(d.nGenes + 1));
    const std::vector<std::int8_t> otherBefore = Cells(other);
    EXPECT_EQ(KillDirectConnections(d, other, 0, 1, 0.9), -1);
    EXPECT_EQ(Cells(other), otherBefore);
}

TEST(GeneLinks, KillRemovesTheConnectionsAndRenewalDropsThem)
{
    cTable t;
    cExprData& d = t.Data;
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(d.nGenes));
    ASSERT_EQ(d.CalcCE(&M, 1, 0.8f), 1);
    ASSERT_GT(d.nCE[1], 0);
    ASSERT_GT(d.nCE[2], 0); // the mirror gene is co-expressed (|r| counts there)
    const std::vector<std::int8_t> before = Cells(M);

    EXPECT_EQ(KillDirectConnections(d, M, 0, 1, 0.8), 3); // g1, g3, g5
    const int n = d.nGenes;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const bool cleared = i == 1 || i == 3 || i == 5 || j == 1 || j == 3 || j == 5;
            const std::size_t at = static_cast<std::size_t>(i) * n + j;
            EXPECT_EQ(M.At(i, j), cleared ? 0 : before[at]) << i << "," << j;
        }

    ASSERT_EQ(d.RenewCE(&M, 1, 0.8f), 1);
    for (int k : {1, 3, 5})
        EXPECT_EQ(d.nCE[k], 0) << k;
    // The blue gene keeps only its anti-correlated partner.
    EXPECT_EQ(d.nCE[0], 1);
    EXPECT_LT(M.At(2, 0), 0);
    EXPECT_EQ(d.nCE[2], 1);

    // The same cells as clearing each gene on its own.
    {
        cTable fresh;
        cCEMatrix A, B;
        ASSERT_TRUE(A.Alloc(n));
        ASSERT_TRUE(B.Alloc(n));
        ASSERT_EQ(fresh.Data.CalcCE(&A, 1, 0.8f), 1);
        ASSERT_EQ(fresh.Data.CalcCE(&B, 1, 0.8f), 1);
        KillDirectConnections(fresh.Data, A, 0, 1, 0.8);
        for (int k : DirectConnections(fresh.Data, 0, 1, 0.8))
            ClearGene(B, k);
        EXPECT_EQ(Cells(A), Cells(B));
    }

    // A second kill for the same gene finds the same genes and changes nothing more.
    const std::vector<std::int8_t> once = Cells(M);
    EXPECT_EQ(KillDirectConnections(d, M, 0, 1, 0.8), 3);
    EXPECT_EQ(Cells(M), once);
}
