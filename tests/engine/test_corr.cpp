// Pair correlation: the definition's rules, the guards against rounding
// residue, and every vector kernel against it value by value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ExprData.h"
#include "ce_fast.h"
#include "ce_kernels.h"
#include "ce_reference.h"
#include "ce_test_util.h"

using namespace cetest;

namespace {

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The definition without the zero-spread rule and without the clamp, to show
// what those guards change.
double Unguarded(const std::vector<float>& x, const std::vector<float>& y)
{
    int m = 0;
    double sx = 0, sy = 0, sxy = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k])) continue;
        ++m;
        sx += x[k];
        sy += y[k];
        sxy += double(x[k]) * double(y[k]);
    }
    const double dm = m, mx = sx / dm, my = sy / dm;
    double sxx = 0, syy = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k])) continue;
        sxx += (x[k] - mx) * (x[k] - mx);
        syy += (y[k] - my) * (y[k] - my);
    }
    double sdx = std::sqrt(sxx / (dm - 1)), sdy = std::sqrt(syy / (dm - 1));
    if (sdx == 0) sdx = 0.00001;
    if (sdy == 0) sdy = 0.00001;
    return (sxy - dm * mx * my) / ((dm - 1) * sdx * sdy);
}

} // namespace

TEST(Corr, SmallExactCases)
{
    struct cCase {
        const char* what;
        std::vector<float> x, y;
        double r;
    };
    const cCase cases[] = {
        {"half", {1, 2, 3}, {1, 3, 2}, 0.5},
        {"minus half", {1, 2, 3}, {3, 1, 2}, -0.5},
        {"identical", {1, 2, 4, 8}, {1, 2, 4, 8}, 1.0},
        {"opposite", {1, 2, 4, 8}, {-1, -2, -4, -8}, -1.0},
        {"orthogonal", {1, -1, 1, -1}, {1, 1, -1, -1}, 0.0},
        {"missing values skip arrays", {1, 2, NA, 3, 9}, {1, 3, 5, 2, NA}, 0.5},
        {"two common arrays", {1, 2, NA, NA, 5}, {NA, NA, 1, 2, 7}, 0.0},
        {"under 3 present", {1, 2, NA, NA}, {1, 2, 3, 4}, 0.0},
        {"constant", {3, 3, 3, 3}, {1, 2, 3, 4}, 0.0},
        {"constant on common arrays", {5, 5, 5, 7}, {1, 2, 4, NA}, 0.0},
    };
    for (const cCase& c : cases) {
        cExprData d;
        Fill(d, {c.x, c.y});
        EXPECT_NEAR(d.Corr(0, 1), c.r, 1e-15) << c.what;
    }
}

TEST(Corr, ClampsIndicesAndProfiles)
{
    cExprData d;
    Fill(d, {{1, 2, 3, 4}, {2, 1, 4, 3}, {4, 3, 2, 1}});
    EXPECT_EQ(d.Corr(-5, 99), d.Corr(0, 2));
    EXPECT_EQ(d.Corr(0, 0), 1.0);
    std::vector<float> out(3);
    d.CorrProfile(7, out.data()); // clamped to gene 2
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(out[k], static_cast<float>(d.Corr(2, k)));
    EXPECT_EQ(out[2], 1.0f);
}

TEST(Corr, ConstantProfilesCorrelateZeroWhateverTheirSize)
{
    // With large constant values the numerator is a rounding residue; divided
    // by the 0.00001 stand-in it would be a correlation far beyond 1.
    cRng rng(3);
    int found = 0;
    for (int attempt = 0; attempt < 1000 && found < 3; ++attempt) {
        const std::vector<float> flat(10, static_cast<float>(1e5 + 1e6 * rng.Uniform()));
        std::vector<float> other(10);
        for (float& v : other)
            v = static_cast<float>(1e5 + rng.Normal());
        if (std::fabs(Unguarded(flat, other)) <= 1.0) continue;
        ++found;
        cExprData d;
        Fill(d, {flat, other, flat});
        EXPECT_EQ(d.Corr(0, 1), 0.0);
        EXPECT_EQ(d.Corr(1, 0), 0.0);
        EXPECT_EQ(d.Corr(0, 2), 0.0);
        EXPECT_EQ(d.Corr(0, 0), 0.0);
    }
    EXPECT_GT(found, 0);
}

TEST(Corr, StaysWithinMinusOneAndOne)
{
    // Find profiles whose self-correlation rounds above 1 (and the negation
    // below -1); the result must be exactly 1 and -1.
    cRng rng(7);
    int found = 0;
    for (int attempt = 0; attempt < 2000 && found < 3; ++attempt) {
        std::vector<float> x(3 + rng.Below(40));
        for (float& v : x)
            v = static_cast<float>(100 * rng.Normal());
        std::vector<float> neg(x);
        for (float& v : neg)
            v = -v;
        if (Unguarded(x, x) <= 1.0) continue;
        ++found;
        cExprData d;
        Fill(d, {x, x, neg});
        EXPECT_EQ(d.Corr(0, 1), 1.0);
        EXPECT_EQ(d.Corr(0, 2), -1.0);
    }
    EXPECT_GT(found, 0);
}

TEST(CorrKernels, EveryPairEqualsTheDefinitionBitForBit)
{
    struct cCase {
        int n, m;
        double missing;
    };
    const cCase cases[] = {{2, 3, 0.0},   {7, 4, 0.0},   {13, 8, 0.2},   {33, 57, 0.0}, {33, 57, 0.05},
                           {70, 64, 0.1}, {45, 65, 0.3}, {20, 130, 0.0}, {61, 2, 0.0},  {30, 1, 0.0}};
    std::uint64_t seed = 100;
    for (const cCase& c : cases) {
        cExprData d;
        Fill(d, MakeTable(c.n, c.m, c.missing, seed++));
        for (CEIsa isa : {CEIsa::Portable, CEIsa::Avx2, CEIsa::Avx512}) {
            if (!CEIsaSupported(isa)) continue;
            std::vector<double> r;
            ASSERT_TRUE(CEKernelCorrelations(d, isa, r));
            int wrong = 0;
            for (int i = 0; i < c.n; ++i)
                for (int j = i + 1; j < c.n; ++j)
                    if (!SameBits(r[static_cast<std::size_t>(i) * c.n + j], d.Corr(i, j))) ++wrong;
            EXPECT_EQ(wrong, 0) << c.n << "x" << c.m << " missing " << c.missing << " " << CEIsaName(isa);
        }
    }
}
