#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ExprData.h"

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
using Table = std::vector<std::vector<float>>; // [gene][array]

void Fill(cExprData& d, const Table& t, int arrays)
{
    d.Alloc(int(t.size()), arrays);
    for (std::size_t g = 0; g < t.size(); ++g)
        for (int a = 0; a < arrays; ++a)
            d.Data[g][a] = t[g][a];
}

Table Copy(const cExprData& d)
{
    Table t(d.nGenes, std::vector<float>(d.nArrays));
    for (int g = 0; g < d.nGenes; ++g)
        for (int a = 0; a < d.nArrays; ++a)
            t[g][a] = d.Data[g][a];
    return t;
}

struct Stats {
    std::vector<float> arrayMean, arraySD, geneMean, geneSD;
    float totalMean = 0, totalSD = 0;
};

// Ways of getting the statistics subtly wrong; the reference is None.
enum class Variant { None, DoubleSums, GeneMajorTotal, FloatDifferences };

// The statistics computed the obvious sequential way, straight from their
// definition: float running sums, double differences and squares, one
// rounding of every quotient and root.
Stats Reference(const Table& t, int arrays, Variant v = Variant::None)
{
    const int genes = int(t.size());
    Stats s;
    s.arrayMean.assign(arrays, 0);
    s.arraySD.assign(arrays, 0);
    s.geneMean.assign(genes, 0);
    s.geneSD.assign(genes, 0);
    auto square = [v](float x, float m) {
        if (v == Variant::FloatDifferences) {
            const float d = x - m;
            return double(d * d);
        }
        const double d = double(x) - double(m);
        return d * d;
    };
    float total = 0;
    double totalD = 0;
    long N = 0;
    for (int a = 0; a < arrays; ++a) {
        float sum = 0;
        double sumD = 0;
        long n = 0;
        for (int g = 0; g < genes; ++g) {
            if (!std::isfinite(t[g][a])) continue;
            sum = sum + t[g][a];
            sumD += t[g][a];
            ++n;
        }
        if (v == Variant::DoubleSums) sum = float(sumD);
        total = total + sum;
        totalD += sumD;
        N += n;
        s.arrayMean[a] = n == 0 ? 0.0f : float(double(sum) / double(n));
    }
    if (v == Variant::DoubleSums) total = float(totalD);
    s.totalMean = N == 0 ? 0.0f : float(double(total) / double(N));
    float totalSq = 0;
    for (int a = 0; a < arrays; ++a) {
        float sq = 0;
        long n = 0;
        for (int g = 0; g < genes; ++g) {
            const float x = t[g][a];
            if (!std::isfinite(x)) continue;
            sq = float(double(sq) + square(x, s.arrayMean[a]));
            if (v != Variant::GeneMajorTotal) totalSq = float(double(totalSq) + square(x, s.totalMean));
            ++n;
        }
        s.arraySD[a] = n < 2 ? 0.0f : float(std::sqrt(double(sq) / double(n - 1)));
    }
    if (v == Variant::GeneMajorTotal)
        for (int g = 0; g < genes; ++g)
            for (int a = 0; a < arrays; ++a)
                if (std::isfinite(t[g][a])) totalSq = float(double(totalSq) + square(t[g][a], s.totalMean));
    s.totalSD = N < 2 ? 0.0f : float(std::sqrt(double(totalSq) / double(N - 1)));
    for (int g = 0; g < genes; ++g) {
        float sum = 0;
        long n = 0;
        for (int a = 0; a < arrays; ++a)
            if (std::isfinite(t[g][a])) sum = sum + t[g][a], ++n;
        s.geneMean[g] = n == 0 ? 0.0f : float(double(sum) / double(n));
        float sq = 0;
        for (int a = 0; a < arrays; ++a)
            if (std::isfinite(t[g][a])) sq = float(double(sq) + square(t[g][a], s.geneMean[g]));
        s.geneSD[g] = n < 2 ? 0.0f : float(std::sqrt(double(sq) / double(n - 1)));
    }
    return s;
}

// The normalization passes the same way: float subtraction and division,
// statistics frozen at the start, SD 0 leaves the values unscaled.
Table ReferenceNorm(Table t, const std::vector<float>& mean, const std::vector<float>& sd, bool byGene,
                    bool center, bool scale)
{
    for (std::size_t g = 0; g < t.size(); ++g)
        for (std::size_t a = 0; a < t[g].size(); ++a) {
            float& x = t[g][a];
            if (!std::isfinite(x)) continue;
            const std::size_t k = byGene ? g : a;
            if (center) x = x - mean[k];
            if (scale && sd[k] != 0.0f) x = x / sd[k];
        }
    return t;
}

std::uint32_t Bits(float v)
{
    return std::bit_cast<std::uint32_t>(v);
}

bool SameBits(const std::vector<float>& a, const float* b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Bits(a[i]) != Bits(b[i])) return false;
    return true;
}

void ExpectStats(const Stats& s, const cExprData& d)
{
    EXPECT_EQ(Bits(s.totalMean), Bits(d.TotalMean)) << s.totalMean << " vs " << d.TotalMean;
    EXPECT_EQ(Bits(s.totalSD), Bits(d.TotalSD)) << s.totalSD << " vs " << d.TotalSD;
    EXPECT_TRUE(SameBits(s.arrayMean, d.ArrayMean));
    EXPECT_TRUE(SameBits(s.arraySD, d.ArraySD));
    EXPECT_TRUE(SameBits(s.geneMean, d.GeneMean));
    EXPECT_TRUE(SameBits(s.geneSD, d.GeneSD));
}

void ExpectTable(const Table& t, const cExprData& d)
{
    for (int g = 0; g < d.nGenes; ++g)
        ASSERT_TRUE(SameBits(t[g], d.Data[g])) << "gene " << g;
}

bool Differs(const Stats& a, const Stats& b)
{
    auto vec = [](const std::vector<float>& x, const std::vector<float>& y) {
        return !SameBits(x, y.data());
    };
    return Bits(a.totalMean) != Bits(b.totalMean) || Bits(a.totalSD) != Bits(b.totalSD) ||
           vec(a.arrayMean, b.arrayMean) || vec(a.arraySD, b.arraySD) || vec(a.geneMean, b.geneMean) ||
           vec(a.geneSD, b.geneSD);
}

// Values over several magnitudes with missing entries, constant and empty
// genes, so that rounding order shows in the results.
Table RandomTable(unsigned seed, int genes, int arrays)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Table t(genes, std::vector<float>(arrays));
    for (int g = 0; g < genes; ++g) {
        const double scale = std::pow(10.0, 6 * unit(rng) - 2);
        const int kind = int(rng() % 20);
        for (int a = 0; a < arrays; ++a) {
            float x = float((unit(rng) - 0.3) * scale);
            if (kind == 0) x = 7.25f;                   // constant gene
            if (kind == 1 || unit(rng) < 0.08) x = Inf; // missing
            t[g][a] = x;
        }
    }
    return t;
}

} // namespace

TEST(Stats, MatchesStraightforwardDefinitionBitForBit)
{
    struct Case {
        unsigned seed;
        int genes, arrays;
    };
    const Case cases[] = {{1, 0, 0}, {2, 0, 4}, {3, 5, 0}, {4, 1, 1}, {5, 2, 3}, {6, 40, 7}, {7, 600, 31}};
    for (const Case& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        const Table t = RandomTable(c.seed, c.genes, c.arrays);
        cExprData d;
        Fill(d, t, c.arrays);
        d.CalcStat();
        ExpectStats(Reference(t, c.arrays), d);
        ExpectTable(t, d); // statistics never touch the values
    }
}

TEST(Stats, TestTableTellsAccumulationOrderAndPrecision)
{
    // The bit-exact comparison above is only worth something if the usual
    // mistakes change the result on its tables.
    const Table t = RandomTable(7, 600, 31);
    const Stats ref = Reference(t, 31);
    for (Variant v : {Variant::DoubleSums, Variant::GeneMajorTotal, Variant::FloatDifferences})
        EXPECT_TRUE(Differs(ref, Reference(t, 31, v))) << "variant " << int(v);
}

TEST(Stats, SumsAreRoundedToFloatAsTheyGrow)
{
    // 2^24 + 1 + 1 stays 2^24 in float; in double the mean would be 5592406.
    const Table t = {{16777216.0f, 1, 1}, {1, Inf, 2}, {1, 3, Inf}};
    cExprData d;
    Fill(d, t, 3);
    d.CalcStat();
    EXPECT_EQ(d.GeneMean[0], float(16777216.0 / 3));
    EXPECT_EQ(d.ArrayMean[0], float(16777216.0 / 3));
    EXPECT_NE(d.ArrayMean[0], float(16777218.0 / 3));
    ExpectStats(Reference(t, 3), d);
}

TEST(Stats, EdgeCounts)
{
    struct Case {
        const char* what;
        Table t;
        float totalMean, totalSD;
        std::vector<float> arrayMean, arraySD, geneMean, geneSD;
    };
    const Case cases[] = {
        {"nothing present", {{Inf, Inf}, {Inf, Inf}}, 0, 0, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {"one present value", {{Inf, 4}, {Inf, Inf}}, 4, 0, {0, 4}, {0, 0}, {4, 0}, {0, 0}},
        {"two present values",
         {{1, Inf}, {Inf, 3}},
         2,
         float(std::sqrt(2.0)),
         {1, 3},
         {0, 0},
         {1, 3},
         {0, 0}},
        {"hand-worked",
         {{1, 2}, {3, 4}},
         2.5f,
         float(std::sqrt(5.0 / 3)),
         {2, 3},
         {float(std::sqrt(2.0)), float(std::sqrt(2.0))},
         {1.5f, 3.5f},
         {float(std::sqrt(0.5)), float(std::sqrt(0.5))}},
        {"constant values", {{5, 5}, {5, 5}}, 5, 0, {5, 5}, {0, 0}, {5, 5}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cExprData d;
        Fill(d, c.t, 2);
        d.CalcStat();
        EXPECT_EQ(d.TotalMean, c.totalMean);
        EXPECT_EQ(d.TotalSD, c.totalSD);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(d.ArrayMean[i], c.arrayMean[i]);
            EXPECT_EQ(d.ArraySD[i], c.arraySD[i]);
            EXPECT_EQ(d.GeneMean[i], c.geneMean[i]);
            EXPECT_EQ(d.GeneSD[i], c.geneSD[i]);
        }
    }
}

TEST(Stats, CalcStatClearsPreviousResults)
{
    cExprData d;
    Fill(d, {{1, 2}, {3, 4}}, 2);
    d.CalcStat();
    const Stats before = Reference(Copy(d), 2);
    d.CalcStat(); // sums start from zero again, not from the old results
    ExpectStats(before, d);
}

TEST(Stats, NormalizationMatchesDefinitionBitForBit)
{
    struct Case {
        bool byGene, center, scale;
    };
    const Case cases[] = {{false, true, true},   {false, true, false}, {false, false, true},
                          {false, false, false}, {true, true, true},   {true, true, false},
                          {true, false, true},   {true, false, false}};
    const Table t = RandomTable(11, 300, 17);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.byGene ? "genes" : "arrays") + (c.center ? " center" : "") +
                     (c.scale ? " scale" : ""));
        cExprData d;
        Fill(d, t, 17);
        d.CalcStat();
        const Stats s = Reference(t, 17);
        Table expected = c.byGene ? ReferenceNorm(t, s.geneMean, s.geneSD, true, c.center, c.scale)
                                  : ReferenceNorm(t, s.arrayMean, s.arraySD, false, c.center, c.scale);
        if (c.byGene)
            d.NormGenes(c.center, c.scale);
        else
            d.NormArrays(c.center, c.scale);
        ExpectTable(expected, d);
        ExpectStats(Reference(expected, 17), d);
    }
}

TEST(Stats, NormalizationWithoutFlagsOnlyRecomputes)
{
    const Table t = RandomTable(12, 50, 6);
    for (bool byGene : {false, true}) {
        cExprData d;
        Fill(d, t, 6);
        d.TotalMean = 99; // stale statistics are replaced
        d.ArraySD[0] = -1;
        if (byGene)
            d.NormGenes(false, false);
        else
            d.NormArrays(false, false);
        ExpectTable(t, d);
        ExpectStats(Reference(t, 6), d);
    }
}

TEST(Stats, ZeroDeviationIsCentredButNotScaled)
{
    // Gene 0 constant, gene 1 with a single value; array 2 constant, array 3 empty but one.
    const Table t = {{3, 3, 3, 3}, {Inf, 8, Inf, Inf}, {1, 2, 3, Inf}, {4, 6, 3, Inf}};
    {
        cExprData d;
        Fill(d, t, 4);
        d.CalcStat();
        ASSERT_EQ(d.GeneSD[0], 0.0f);
        ASSERT_EQ(d.GeneSD[1], 0.0f);
        d.NormGenes(true, true);
        for (int a = 0; a < 4; ++a)
            EXPECT_EQ(d.Data[0][a], 0.0f);
        EXPECT_EQ(d.Data[1][1], 0.0f);
        for (int g = 0; g < d.nGenes; ++g)
            for (int a = 0; a < 4; ++a)
                EXPECT_FALSE(std::isnan(d.Data[g][a]));
    }
    {
        cExprData d;
        Fill(d, t, 4);
        d.CalcStat();
        ASSERT_EQ(d.ArraySD[2], 0.0f);
        ASSERT_EQ(d.ArraySD[3], 0.0f);
        d.NormArrays(false, true); // scaling alone leaves these arrays as they are
        for (int g = 0; g < 4; ++g) {
            EXPECT_EQ(Bits(d.Data[g][2]), Bits(t[g][2]));
            EXPECT_EQ(Bits(d.Data[g][3]), Bits(t[g][3]));
        }
    }
}

TEST(Stats, MissingValuesStayMissing)
{
    const Table t = RandomTable(13, 80, 9);
    cExprData d;
    Fill(d, t, 9);
    d.CalcStat();
    d.NormGenes(true, true);
    d.NormArrays(true, true);
    d.NormArrays(true, true);
    for (int g = 0; g < d.nGenes; ++g)
        for (int a = 0; a < 9; ++a) {
            if (std::isfinite(t[g][a]))
                EXPECT_TRUE(std::isfinite(d.Data[g][a]));
            else
                EXPECT_EQ(Bits(d.Data[g][a]), Bits(Inf)); // still exactly the missing marker
        }
}

TEST(Stats, NormalizedArraysHaveMeanZeroAndUnitDeviation)
{
    const Table t = RandomTable(14, 400, 12);
    cExprData d;
    Fill(d, t, 12);
    d.CalcStat();
    d.NormGenes(true, true);
    for (int g = 0; g < d.nGenes; ++g) {
        if (d.GeneSD[g] == 0) continue;
        EXPECT_NEAR(d.GeneMean[g], 0.0, 1e-5);
        EXPECT_NEAR(d.GeneSD[g], 1.0, 1e-5);
    }
    d.NormArrays(true, true);
    for (int a = 0; a < 12; ++a) {
        EXPECT_NEAR(d.ArrayMean[a], 0.0, 1e-5);
        EXPECT_NEAR(d.ArraySD[a], 1.0, 1e-5);
    }
}

TEST(Stats, MissingValuesText)
{
    const struct {
        const char* what;
        std::string table;
        const char* want;
    } cases[] = {
        {"no genes", "ID\tName\tA\tB\n", "0 (0%)"},
        {"no arrays", "ID\tName\ngene_number_one\tx\ngene_number_two\ty\n", "0 (0%)"},
        {"none missing", "ID\tName\tA\tB\ngene_one\tx\t1\t2\n", "0 (0%)"},
        {"percent truncated", "ID\tName\tA\tB\tC\ngene_one\tx\t1\tNA\t3\ngene_two\tx\t1\t2\t3\n", "1 (16%)"},
        {"all missing", "ID\tName\tA\tB\ngene_one\tx\tNA\tNA\n", "2 (100%)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cExprData d;
        ASSERT_GE(d.LoadBuffer(c.table.data(), c.table.size()), 0);
        EXPECT_EQ(MissingValuesText(d), c.want);
    }
    // The total is counted in 64 bits: 70000 x 40000 values, one missing per gene.
    cExprData d;
    d.Alloc(70000, 0);
    for (int g = 0; g < d.nGenes; ++g)
        d.nPresent[g] = 39999;
    d.nArrays = 40000; // only the counts are read
    EXPECT_EQ(MissingValuesText(d), "70000 (0%)");
    d.nArrays = 0;
}

TEST(Stats, RealTable)
{
    const std::string path = std::string(KORVALENT_SOURCE_ROOT) + "/../shared/data/bladder.txt";
    cExprData d;
    if (d.Load(path.c_str()) < 0) GTEST_SKIP() << "no " << path;
    const Table t = Copy(d);
    const Stats s = Reference(t, d.nArrays);
    ExpectStats(s, d);
    // The tool bar's full normalization: genes first, then arrays.
    const Table byGene = ReferenceNorm(t, s.geneMean, s.geneSD, true, true, true);
    const Stats s2 = Reference(byGene, d.nArrays);
    const Table both = ReferenceNorm(byGene, s2.arrayMean, s2.arraySD, false, true, true);
    d.NormGenes(true, true);
    ExpectTable(byGene, d);
    d.NormArrays(true, true);
    ExpectTable(both, d);
    ExpectStats(Reference(both, d.nArrays), d);
}
