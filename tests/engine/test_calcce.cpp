// CalcCE and RenewCE: the fast computation against the per-pair definition,
// worked cell values, progress texts, cancellation and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "ce_kernels.h"
#include "ce_reference.h"
#include "ce_test_util.h"

using namespace cetest;

namespace {

// Restores automatic kernel choice when a test ends.
struct cIsaGuard {
    ~cIsaGuard() { CESetIsa(CEIsa::Auto); }
};

std::vector<CEIsa> SupportedIsas()
{
    std::vector<CEIsa> isas;
    for (CEIsa isa : {CEIsa::Portable, CEIsa::Avx2, CEIsa::Avx512})
        if (CEIsaSupported(isa)) isas.push_back(isa);
    return isas;
}

// Everything CalcCE leaves behind.
struct cOutcome {
    int Result = 0;
    std::vector<std::int8_t> Matrix;
    std::vector<int> nCE;
    std::vector<float> CELevel;
    int nCEGenes = 0;
    float Progress = 0;
    std::vector<cPrinted> Printed;
};

cOutcome RunCE(const std::vector<std::vector<float>>& rows, int p, float t, bool reference, int threads = 1)
{
    cRecorder d;
    Fill(d, rows);
    d.nThreads = threads;
    cCEMatrix M;
    EXPECT_TRUE(M.Alloc(d.nGenes));
    cOutcome o;
    o.Result = reference ? CalcCEReference(d, &M, p, t) : d.CalcCE(&M, p, t);
    o.Matrix = Cells(M);
    o.nCE.assign(d.nCE, d.nCE + d.nGenes);
    o.CELevel.assign(d.CELevel, d.CELevel + d.nGenes);
    o.nCEGenes = d.nCEGenes;
    o.Progress = d.Progress;
    o.Printed = d.Printed;
    return o;
}

void ExpectSame(const cOutcome& want, const cOutcome& got, const std::string& what)
{
    EXPECT_EQ(want.Result, got.Result) << what;
    EXPECT_TRUE(want.Matrix == got.Matrix) << what;
    EXPECT_EQ(want.nCE, got.nCE) << what;
    EXPECT_TRUE(SameFloats(want.CELevel.data(), got.CELevel.data(), static_cast<int>(want.CELevel.size())))
        << what;
    EXPECT_EQ(want.nCEGenes, got.nCEGenes) << what;
    EXPECT_EQ(want.Progress, got.Progress) << what;
    EXPECT_TRUE(want.Printed == got.Printed) << what;
}

} // namespace

TEST(CalcCEFast, EqualsDefinitionOnRandomTables)
{
    cIsaGuard guard;
    struct cCase {
        int n, m;
        double missing;
        int p;
        float t;
    };
    const cCase cases[] = {
        {1, 5, 0.0, 1, 0.9f},      {2, 3, 0.0, 1, 0.5f},    {3, 4, 0.0, 2, 0.3f},
        {5, 2, 0.0, 1, 0.5f},      {9, 7, 0.1, 1, 0.5f},    {17, 20, 0.0, 1, 0.9f},
        {31, 64, 0.05, 3, 0.2f},   {40, 65, 0.3, 2, 0.25f}, {63, 9, 0.0, 1, 0.01f},
        {130, 23, 0.05, 1, 0.9f},  {257, 30, 0.0, 1, 0.8f}, {257, 30, 0.05, 2, 0.5f},
        {150, 130, 0.02, 1, 0.5f}, {211, 57, 0.3, 1, 0.6f}, {100, 12, 0.0, 4, 0.005f},
    };
    std::uint64_t seed = 1;
    for (const cCase& c : cases) {
        const auto rows = MakeTable(c.n, c.m, c.missing, seed++);
        const cOutcome want = RunCE(rows, c.p, c.t, true);
        for (CEIsa isa : SupportedIsas()) {
            CESetIsa(isa);
            for (int threads : {1, 3}) {
                const std::string what = std::to_string(c.n) + "x" + std::to_string(c.m) + " missing " +
                                         std::to_string(c.missing) + " " + CEIsaName(isa) + " threads " +
                                         std::to_string(threads);
                ExpectSame(want, RunCE(rows, c.p, c.t, false, threads), what);
            }
        }
    }
}

namespace {

// y = r x + sqrt(1 - r^2) z over four arrays, x and z centred and orthogonal
// with equal norms: Corr(x, y) is r up to float rounding.
std::vector<float> WithCorrelation(double r)
{
    const double x[4] = {1, -1, 1, -1}, z[4] = {1, 1, -1, -1};
    const double s = std::sqrt(1 - r * r);
    std::vector<float> y(4);
    for (int k = 0; k < 4; ++k)
        y[k] = static_cast<float>(10 + r * x[k] + s * z[k]);
    return y;
}

const std::vector<float> kBase = {11, 9, 11, 9};

// Runs CalcCE and the definition on rows; checks they agree and returns the
// fast outcome.
cOutcome Both(const std::vector<std::vector<float>>& rows, int p, float t)
{
    const cOutcome want = RunCE(rows, p, t, true);
    const cOutcome got = RunCE(rows, p, t, false, 2);
    ExpectSame(want, got, "fast against definition");
    return got;
}

std::int8_t CellOf(const cOutcome& o, int n, int row, int col)
{
    return o.Matrix[static_cast<std::size_t>(row) * n + col];
}

} // namespace

TEST(CalcCE, WorkedCellValues)
{
    struct cCase {
        double r;
        int p;
        float t;
        int upper, lower;
    };
    const cCase cases[] = {
        {0.955, 1, 0.9f, 95, 95},    {-0.934, 1, 0.9f, -93, -93}, {0.505, 1, 0.9f, 50, 0},
        {-0.955, 2, 0.81f, -95, 91}, {-0.955, 3, 0.8f, -95, -87}, {0.955, 2, 0.95f, 95, 0},
    };
    for (const cCase& c : cases) {
        cExprData probe;
        Fill(probe, {kBase, WithCorrelation(c.r)});
        ASSERT_NEAR(probe.Corr(0, 1), c.r, 1e-6);
        const cOutcome o = Both({kBase, WithCorrelation(c.r)}, c.p, c.t);
        EXPECT_EQ(CellOf(o, 2, 0, 1), c.upper) << c.r << " p " << c.p;
        EXPECT_EQ(CellOf(o, 2, 1, 0), c.lower) << c.r << " p " << c.p;
        const int partners = c.lower != 0 ? 1 : 0;
        EXPECT_EQ(o.nCE, std::vector<int>({partners, partners}));
        EXPECT_EQ(o.nCEGenes, 2 * partners);
    }
}

TEST(CalcCE, CountsAndMeanStrength)
{
    const std::vector<std::vector<float>> rows = {kBase, WithCorrelation(0.955), WithCorrelation(-0.934),
                                                  WithCorrelation(0.505)};
    const cOutcome o = Both(rows, 1, 0.9f);
    EXPECT_EQ(o.nCE, std::vector<int>({2, 1, 1, 0}));
    EXPECT_EQ(o.nCEGenes, 3);
    cExprData d;
    Fill(d, rows);
    const double v1 = d.Corr(0, 1), v2 = d.Corr(0, 2);
    float level0 = 0, level1 = 0, level2 = 0;
    level0 = static_cast<float>(double(level0) + v1);
    level1 = static_cast<float>(double(level1) + v1);
    level0 = static_cast<float>(double(level0) + v2);
    level2 = static_cast<float>(double(level2) + v2);
    EXPECT_EQ(o.CELevel[0], static_cast<float>(double(level0) / 4));
    EXPECT_EQ(o.CELevel[1], static_cast<float>(double(level1) / 4));
    EXPECT_EQ(o.CELevel[2], static_cast<float>(double(level2) / 4));
    EXPECT_EQ(o.CELevel[3], 0.0f);
}

TEST(CalcCE, ThresholdIsStrictAndTakenAsFloat)
{
    // r = 0.96 exactly in real arithmetic: 0.96f lies below 0.96, so the pair
    // passes; 0.8f lies above 0.8, so r = 0.8 does not.
    ASSERT_LT(double(0.96f), 0.96);
    ASSERT_GT(double(0.8f), 0.8);
    const std::vector<std::vector<float>> r96 = {{25, -25, 25, -25}, {31, -17, 17, -31}};
    const std::vector<std::vector<float>> r80 = {{5, -5, 5, -5}, {7, -1, 1, -7}};
    cExprData d96, d80;
    Fill(d96, r96);
    Fill(d80, r80);
    ASSERT_NEAR(d96.Corr(0, 1), 0.96, 1e-15);
    ASSERT_NEAR(d80.Corr(0, 1), 0.8, 1e-15);
    EXPECT_EQ(Both(r96, 1, 0.96f).nCE, std::vector<int>({1, 1}));
    EXPECT_EQ(Both(r80, 1, 0.8f).nCE, std::vector<int>({0, 0}));
    // Just above |r| nothing passes, just below it does.
    const float above = std::nextafter(static_cast<float>(d96.Corr(0, 1)), 1.0f);
    const float below = std::nextafter(static_cast<float>(d96.Corr(0, 1)) - 1e-6f, 0.0f);
    EXPECT_EQ(Both(r96, 1, above).nCE, std::vector<int>({0, 0}));
    EXPECT_EQ(Both(r96, 1, below).nCE, std::vector<int>({1, 1}));
}

TEST(CalcCE, ConstantGenesAreNeverCoexpressed)
{
    // Large constant profiles: the rounding residue of the numerator would
    // otherwise pass any threshold.
    std::vector<std::vector<float>> rows = MakeTable(12, 10, 0.0, 77);
    rows.push_back(std::vector<float>(10, 654321.5f));
    rows.push_back(std::vector<float>(10, 12345.678f));
    std::vector<float> partlyFlat(10, 98765.4f);
    partlyFlat[9] = NA;
    rows.push_back(partlyFlat);
    const int n = static_cast<int>(rows.size());
    const cOutcome o = Both(rows, 1, 0.001f);
    for (int g = n - 3; g < n; ++g) {
        EXPECT_EQ(o.nCE[g], 0) << g;
        for (int k = 0; k < n; ++k)
            if (k != g) {
                EXPECT_EQ(CellOf(o, n, g, k), 0) << g << " " << k;
                EXPECT_EQ(CellOf(o, n, k, g), 0) << g << " " << k;
            }
    }
}

TEST(CalcCE, GenesWithUnderThreePresentValues)
{
    std::vector<std::vector<float>> rows = MakeTable(10, 8, 0.0, 5);
    rows[4] = {1, NA, NA, 2, NA, NA, NA, NA}; // two present values
    rows[7] = rows[4];
    const cOutcome o = Both(rows, 1, 0.0001f);
    for (int g : {4, 7}) {
        EXPECT_EQ(o.nCE[g], 0);
        for (int k = 0; k < 10; ++k)
            if (k != g)
                EXPECT_EQ(o.Matrix[static_cast<std::size_t>(std::min(g, k)) * 10 + std::max(g, k)], 0);
    }
}

TEST(CalcCE, DuplicatesAndNegationsReachExactlyOne)
{
    // Profiles whose self-correlation rounds above 1 must still give 100.
    cRng rng(11);
    std::vector<float> x;
    for (int attempt = 0; attempt < 5000; ++attempt) {
        std::vector<float> c(5 + rng.Below(30));
        for (float& v : c)
            v = static_cast<float>(50 + 10 * rng.Normal());
        cExprData d;
        Fill(d, {c, c});
        // Corr clamps; find a profile where the clamp mattered.
        const double r = d.Corr(0, 1);
        double sx = 0, sxy = 0;
        for (float v : c) {
            sx += v;
            sxy += double(v) * v;
        }
        const double m = double(c.size()), mx = sx / m;
        double sxx = 0;
        for (float v : c)
            sxx += (v - mx) * (v - mx);
        const double sd = std::sqrt(sxx / (m - 1));
        if (r == 1.0 && (sxy - m * mx * mx) / ((m - 1) * sd * sd) > 1.0) {
            x = c;
            break;
        }
    }
    ASSERT_FALSE(x.empty());
    std::vector<float> neg(x);
    for (float& v : neg)
        v = -v;
    for (int p : {1, 2, 3}) {
        const cOutcome o = Both({x, x, neg}, p, 0.99f);
        EXPECT_EQ(CellOf(o, 3, 0, 1), 100);
        EXPECT_EQ(CellOf(o, 3, 1, 0), 100);
        EXPECT_EQ(CellOf(o, 3, 0, 2), -100);
        EXPECT_EQ(CellOf(o, 3, 2, 0), p % 2 ? -100 : 100);
    }
}

TEST(CalcCE, NothingPassesAThresholdNearOne)
{
    const auto rows = MakeTable(120, 30, 0.0, 9);
    std::vector<std::vector<float>> distinct;
    for (const auto& r : rows) {
        bool copy = false;
        for (const auto& q : distinct) {
            bool same = true, opposite = true;
            for (std::size_t k = 0; k < r.size(); ++k) {
                same = same && r[k] == q[k];
                opposite = opposite && r[k] == -q[k];
            }
            copy = copy || same || opposite;
        }
        if (!copy) distinct.push_back(r);
    }
    const int n = static_cast<int>(distinct.size());
    const cOutcome o = Both(distinct, 1, 0.99999f);
    EXPECT_EQ(o.nCEGenes, 0);
    for (int g = 0; g < n; ++g) {
        EXPECT_EQ(o.nCE[g], 0);
        EXPECT_EQ(o.CELevel[g], 0.0f);
        for (int k = 0; k < g; ++k)
            EXPECT_EQ(CellOf(o, n, g, k), 0);
    }
}

TEST(CalcCE, ProgressTexts)
{
    char text[32];
    const struct {
        int percent;
        const char* want;
    } texts[] = {{5, "\b\b\b05%%"}, {37, "\b\b\b37%%"}, {0, "\b\b\b00%%"}, {100, "\b\b\b100%%"}};
    for (const auto& c : texts) {
        CEProgressText(text, sizeof text, c.percent);
        EXPECT_STREQ(text, c.want);
    }
    EXPECT_EQ(CEReportStep(19), 100);
    EXPECT_EQ(CEReportStep(20), 50);
    EXPECT_EQ(CEReportStep(99), 50);
    EXPECT_EQ(CEReportStep(100), 20);
    EXPECT_EQ(CEReportStep(499), 20);
    EXPECT_EQ(CEReportStep(500), 10);

    // 250 genes, 10 arrays: a report after rows 100 and 200, then the last
    // text again at 100%.
    const cOutcome o = Both(MakeTable(250, 10, 0.0, 21), 1, 0.9f);
    ASSERT_EQ(o.Printed.size(), 4u);
    EXPECT_EQ(o.Printed[0].Text, " Progress:    ");
    EXPECT_EQ(o.Printed[1].Text, "\b\b\b64%%");
    EXPECT_EQ(o.Printed[1].Progress, 64.0f);
    EXPECT_EQ(o.Printed[2].Text, "\b\b\b96%%");
    EXPECT_EQ(o.Printed[2].Progress, 96.0f);
    EXPECT_EQ(o.Printed[3].Text, "\b\b\b96%%");
    EXPECT_EQ(o.Printed[3].Progress, 100.0f);
    EXPECT_EQ(o.Printed[3].CEGenes, o.nCEGenes);

    // Too few rows for a report: the final call prints an empty text.
    const cOutcome few = Both(MakeTable(30, 10, 0.0, 22), 1, 0.9f);
    ASSERT_EQ(few.Printed.size(), 2u);
    EXPECT_EQ(few.Printed[1].Text, "");
    EXPECT_EQ(few.Printed[1].Progress, 100.0f);
}

TEST(CalcCE, CancelKeepsTheRowsDone)
{
    cIsaGuard guard;
    const int n = 700, m = 12; // report every 100 rows
    const auto rows = MakeTable(n, m, 0.05, 31);
    const cOutcome full = RunCE(rows, 1, 0.5f, true);
    for (bool reference : {true, false}) {
        for (int threads : {1, 2, 4}) {
            for (int stopAt : {0, 1, 3}) {
                cRecorder d;
                Fill(d, rows);
                d.nThreads = threads;
                d.StopAt = stopAt;
                cCEMatrix M;
                ASSERT_TRUE(M.Alloc(n));
                const int rc = reference ? CalcCEReference(d, &M, 1, 0.5f) : d.CalcCE(&M, 1, 0.5f);
                const std::string what = std::string(reference ? "definition" : "fast") + " threads " +
                                         std::to_string(threads) + " stop at print " + std::to_string(stopAt);
                EXPECT_EQ(rc, -1) << what;
                EXPECT_EQ(d.Progress, 0.0f) << what;
                EXPECT_EQ(static_cast<int>(d.Printed.size()), stopAt + 1) << what;
                // Rows up to the one reported last are complete; every row is
                // either complete or untouched.
                const int reported = stopAt * 100;
                int counted = 0;
                std::vector<int> partners(n, 0);
                for (int i = 0; i + 1 < n; ++i) {
                    bool same = true, untouched = true;
                    for (int j = i + 1; j < n; ++j) {
                        const std::size_t up = static_cast<std::size_t>(i) * n + j;
                        const std::size_t low = static_cast<std::size_t>(j) * n + i;
                        same = same && M.Cells[up] == full.Matrix[up] && M.Cells[low] == full.Matrix[low];
                        untouched = untouched && M.Cells[up] == 0 && M.Cells[low] == 0;
                    }
                    if (stopAt > 0 && i <= reported) EXPECT_TRUE(same) << what << " row " << i;
                    if (!reference) EXPECT_TRUE(same || untouched) << what << " row " << i;
                    bool hit = false;
                    for (int j = i + 1; j < n; ++j)
                        if (M.Cells[static_cast<std::size_t>(j) * n + i] != 0) {
                            ++partners[i];
                            ++partners[j];
                            hit = true;
                        }
                    counted += hit ? 1 : 0;
                }
                if (!reference) {
                    // The counts describe exactly the pairs in the matrix.
                    EXPECT_EQ(std::vector<int>(d.nCE, d.nCE + n), partners) << what;
                    EXPECT_EQ(d.nCEGenes, counted) << what;
                }
            }
        }
    }
}

TEST(CalcCE, RefusesBadParametersWithoutTouchingAnything)
{
    struct cCase {
        int p;
        float t;
    };
    const cCase bad[] = {{0, 0.9f},
                         {-2, 0.9f},
                         {1, 0.0f},
                         {1, -0.5f},
                         {2, std::numeric_limits<float>::quiet_NaN()},
                         {1, std::numeric_limits<float>::infinity()}};
    for (bool renew : {false, true}) {
        for (const cCase& c : bad) {
            cRecorder d;
            Fill(d, MakeTable(5, 6, 0.0, 3));
            d.nCE[2] = 7;
            d.Progress = 42;
            cCEMatrix M;
            ASSERT_TRUE(M.Alloc(5));
            M.At(3, 1) = 55;
            const auto before = Cells(M);
            const int rc = renew ? d.RenewCE(&M, c.p, c.t) : d.CalcCE(&M, c.p, c.t);
            EXPECT_EQ(rc, -1);
            EXPECT_TRUE(Cells(M) == before);
            EXPECT_EQ(d.nCE[2], 7);
            EXPECT_EQ(d.Progress, 42.0f);
            ASSERT_EQ(d.Printed.size(), 1u);
            EXPECT_EQ(d.Printed[0].Text, CEParamsMessage);
            if (!renew) EXPECT_EQ(CalcCEReference(d, &M, c.p, c.t), -1);
        }
    }
    // No matrix, or one of another size: -1 and silence.
    cRecorder d;
    Fill(d, MakeTable(5, 6, 0.0, 3));
    cCEMatrix small;
    ASSERT_TRUE(small.Alloc(4));
    EXPECT_EQ(d.CalcCE(nullptr, 1, 0.9f), -1);
    EXPECT_EQ(d.RenewCE(nullptr, 1, 0.9f), -1);
    EXPECT_EQ(d.CalcCE(&small, 1, 0.9f), -1);
    EXPECT_EQ(d.RenewCE(&small, 1, 0.9f), -1);
    EXPECT_TRUE(d.Printed.empty());
    // A tiny positive threshold is valid.
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(5));
    EXPECT_EQ(d.CalcCE(&M, 1, std::numeric_limits<float>::denorm_min()), 1);
}

TEST(CEParameters, ProblemNamesThePowerFirstThenTheThresholdAsAFloat)
{
    const std::string power = "The correlation power must be a whole number of at least 1.";
    const std::string threshold = "The filtering threshold must be a number above 0.";
    const struct {
        int p;
        double t;
        std::string want;
    } cases[] = {
        {1, 0.9, ""},
        {7, 5.0, ""},   // a threshold above 1 is usable (it lets no pair through)
        {1, 1e-40, ""}, // a float below the normal range is still above 0
        {0, 0.9, power},
        {-3, 0.9, power},
        {0, -1.0, power}, // the power is named first
        {1, 0.0, threshold},
        {1, -0.5, threshold},
        {1, 1e-50, threshold}, // 0 as a float
        {1, 1e39, threshold},  // infinite as a float
        {2, std::numeric_limits<double>::quiet_NaN(), threshold},
        {2, std::numeric_limits<double>::infinity(), threshold},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.p) + " " + std::to_string(c.t));
        EXPECT_EQ(CEParametersProblem(c.p, c.t), c.want);
        EXPECT_EQ(CEParamsValid(c.p, static_cast<float>(c.t)), c.want.empty());
    }
}

TEST(CalcCE, ReusedMatrixGivesTheSameResult)
{
    const auto rows = MakeTable(90, 20, 0.1, 41);
    const cOutcome fresh = RunCE(rows, 1, 0.3f, false, 2);
    for (bool reference : {false, true}) {
        cRecorder d;
        Fill(d, rows);
        d.nThreads = 2;
        cCEMatrix M;
        ASSERT_TRUE(M.Alloc(d.nGenes));
        ASSERT_EQ(d.CalcCE(&M, 2, 0.01f), 1); // many more pairs
        M.At(5, 5) = 0;
        ASSERT_EQ(reference ? CalcCEReference(d, &M, 1, 0.3f) : d.CalcCE(&M, 1, 0.3f), 1);
        EXPECT_TRUE(Cells(M) == fresh.Matrix);
        EXPECT_EQ(std::vector<int>(d.nCE, d.nCE + d.nGenes), fresh.nCE);
    }
}

TEST(CalcCE, HugePowerEndsEarlyWithTheSameValue)
{
    // r = 1 stays 1 under any power; the repeated products stop as soon as
    // they repeat.
    const std::vector<float> x = {1, 2, 3};
    cExprData probe;
    Fill(probe, {x, x});
    ASSERT_EQ(probe.Corr(0, 1), 1.0);
    const cOutcome o = Both({x, x, {3, 1, 2}}, MaxCEPower, 0.5f);
    EXPECT_EQ(CellOf(o, 3, 1, 0), 100);
    EXPECT_EQ(o.nCE[0], 1);
    EXPECT_EQ(CEPowerOf(0.5, 3), 0.125);
    EXPECT_EQ(CEPowerOf(-0.5, 3), -0.125);
    EXPECT_EQ(CEPowerOf(0.9, 1), 0.9);
    EXPECT_EQ(CEPowerOf(1e-200, 5), 0.0);
}

namespace {

// The definition: r multiplied by r, p - 1 times, with no early end.
double PlainPower(double r, int p)
{
    double v = r;
    for (int q = 1; q < p; ++q)
        v = v * r;
    return v;
}

std::uint64_t Bits(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

} // namespace

TEST(CEPower, EarlyEndsGiveTheBitsOfThePlainLoop)
{
    const double tiny = std::numeric_limits<double>::denorm_min();
    std::vector<double> rs = {1.0,
                              -1.0,
                              1 - 0x1p-52,
                              1 - 0x1p-53,
                              -(1 - 0x1p-53),
                              -(1 - 0x1p-52),
                              1 + 0x1p-52,
                              -(1 + 0x1p-52),
                              0.5,
                              -0.5,
                              0.0,
                              -0.0,
                              1e-200,
                              -1e-200,
                              1e-160, // underflows through the subnormals
                              -1e-160,
                              tiny,
                              -tiny,
                              4 * tiny,
                              -3 * tiny,
                              0.9999999,
                              -0.9999999,
                              double(1 - 0x1p-24f), // the largest float below 1
                              -double(1 - 0x1p-24f),
                              1e200,
                              -1e200,
                              1.27,
                              -1.27};
    // The stored cells as RenewCE reads them back.
    for (int c = -128; c < 128; ++c)
        rs.push_back(c * 0.01);
    std::vector<int> ps;
    for (int p = 1; p <= 80; ++p)
        ps.push_back(p);
    for (int p : {99, 100, 255, 256, 499, 500, 997, 998, 999, MaxCEPower})
        ps.push_back(p);
    for (double r : rs)
        for (int p : ps)
            ASSERT_EQ(Bits(CEPowerOf(r, p)), Bits(PlainPower(r, p))) << r << " ^ " << p;
    // Zero and infinity keep flipping their sign with a negative factor.
    EXPECT_TRUE(std::signbit(CEPowerOf(-1e-200, 7)));
    EXPECT_FALSE(std::signbit(CEPowerOf(-1e-200, 8)));
    EXPECT_TRUE(std::signbit(CEPowerOf(-1e200, 9)));
    EXPECT_TRUE(std::isnan(CEPowerOf(std::numeric_limits<double>::quiet_NaN(), 5)));
}

TEST(CEPower, PowersAboveTheLimitAreRefused)
{
    const std::string limit =
        "The correlation power must be at most 1000: higher powers would take too long to compute.";
    EXPECT_EQ(MaxCEPower, 1000);
    EXPECT_EQ(CEParametersProblem(MaxCEPower, 0.9), "");
    EXPECT_EQ(CEParametersProblem(MaxCEPower + 1, 0.9), limit);
    EXPECT_EQ(CEParametersProblem(std::numeric_limits<int>::max(), 0.9), limit);
    EXPECT_EQ(CEParametersProblem(2000, -1.0), limit); // the power is named first
    EXPECT_FALSE(CEParamsValid(MaxCEPower + 1, 0.9f));

    const std::vector<float> x = {1, 2, 3};
    cRecorder d;
    Fill(d, {x, x, {3, 1, 2}});
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(d.nGenes));
    EXPECT_EQ(d.CalcCE(&M, MaxCEPower + 1, 0.5f), -1);
    EXPECT_EQ(CalcCEReference(d, &M, 2147483647, 0.5f), -1);
    ASSERT_EQ(d.CalcCE(&M, 2, 0.5f), 1);
    d.Printed.clear();
    EXPECT_EQ(d.RenewCE(&M, 2147483647, 0.5f), -1);
    ASSERT_FALSE(d.Printed.empty());
    EXPECT_EQ(d.Printed.back().Text, CEParamsMessage);
}

TEST(CEPower, TheLargestPowerOnNearlyIdenticalGenesTakesLittleTime)
{
    // Genes that differ by a rounding: r just below 1, where the product
    // never settles, so every pair multiplies MaxCEPower - 1 times.
    std::vector<std::vector<float>> rows;
    for (int g = 0; g < 120; ++g) {
        std::vector<float> row;
        for (int a = 0; a < 30; ++a)
            row.push_back(float(a) + (a == g % 30 ? 1e-5f : 0.0f));
        rows.push_back(row);
    }
    const auto start = std::chrono::steady_clock::now();
    const cOutcome o = Both(rows, MaxCEPower, 0.5f);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(o.Result, 1);
    EXPECT_GT(o.nCE[0], 0);
    EXPECT_LT(seconds, 20.0); // about 7,000 pairs times 999 products, twice
    cRecorder d;
    Fill(d, rows);
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(d.nGenes));
    ASSERT_EQ(d.CalcCE(&M, 1, 0.5f), 1);
    EXPECT_EQ(d.RenewCE(&M, MaxCEPower, 0.5f), 1);
}

TEST(CEMatrix, AllocationAndRefusals)
{
    cCEMatrix M;
    EXPECT_TRUE(M.Empty());
    EXPECT_FALSE(M.Alloc(-1));
    EXPECT_TRUE(M.Empty());
    ASSERT_TRUE(M.Alloc(0));
    EXPECT_FALSE(M.Empty());
    EXPECT_EQ(M.Size(), 0);
    ASSERT_TRUE(M.Alloc(3));
    const std::vector<std::int8_t> want = {100, 0, 0, 0, 100, 0, 0, 0, 100};
    EXPECT_TRUE(Cells(M) == want);
    EXPECT_EQ(M.Coexpr(2, 0), M.At(2, 0));
    // About 4.6e18 bytes: refused, not a crash; the old matrix is gone.
    EXPECT_FALSE(M.Alloc(std::numeric_limits<int>::max()));
    EXPECT_TRUE(M.Empty());
    M.Free();
    EXPECT_TRUE(M.Empty());
}

namespace {

// The re-calculation in its defined order: row by row, pair by pair.
void RenewByDefinition(cRecorder& d, cCEMatrix& M, int p, float t)
{
    const int n = d.nGenes;
    const double T = CEThreshold(p, t);
    d.nCEGenes = 0;
    d.Print(" Progress:    ");
    for (int g = 0; g < n; ++g) {
        d.nCE[g] = 0;
        d.CELevel[g] = 0;
    }
    char last[32] = "";
    for (int i = 0; i + 1 < n; ++i) {
        int h = 0;
        for (int j = i + 1; j < n; ++j) {
            M.At(j, i) = 0;
            const double q = M.At(i, j) * 0.01;
            if (std::fabs(q) > T) {
                double v = 1;
                for (int k = 0; k < p; ++k)
                    v *= q;
                M.At(j, i) = static_cast<std::int8_t>(static_cast<int>(100 * v));
                ++d.nCE[i];
                ++d.nCE[j];
                d.CELevel[i] = static_cast<float>(double(d.CELevel[i]) + v);
                d.CELevel[j] = static_cast<float>(double(d.CELevel[j]) + v);
                ++h;
            }
        }
        if (h > 0) ++d.nCEGenes;
        if (i > 0 && i % 100 == 0) {
            d.Progress = static_cast<float>(100.0 * i / n);
            CEProgressText(last, sizeof last, static_cast<int>(d.Progress));
            d.Print(last);
        }
    }
    for (int g = 0; g < n; ++g)
        d.CELevel[g] = static_cast<float>((double(d.CELevel[g]) - 1) / (2.0 * n));
    d.Progress = 100;
    d.Print(last);
}

} // namespace

TEST(RenewCE, HandFilledMatrix)
{
    cRecorder d;
    Fill(d, MakeTable(4, 5, 0.0, 1));
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(4));
    M.At(0, 1) = 95;
    M.At(0, 2) = -93;
    M.At(0, 3) = 50;
    M.At(1, 2) = 91;
    M.At(1, 3) = 0;
    M.At(2, 3) = -100;
    M.At(3, 0) = 77; // stale: cleared
    struct cCase {
        int p;
        float t;
        std::vector<std::int8_t> lower; // (1,0) (2,0) (3,0) (2,1) (3,1) (3,2)
        std::vector<int> nCE;
        int nCEGenes;
    };
    const cCase cases[] = {
        {1, 0.9f, {95, -93, 0, 91, 0, -100}, {2, 2, 3, 1}, 3},
        {2, 0.81f, {90, 86, 0, 82, 0, 100}, {2, 2, 3, 1}, 3},
        {3, 0.8f, {85, -80, 0, 0, 0, -100}, {2, 1, 2, 1}, 2},
        {1, 0.99f, {0, 0, 0, 0, 0, -100}, {0, 0, 1, 1}, 1},
    };
    for (const cCase& c : cases) {
        d.Printed.clear();
        ASSERT_EQ(d.RenewCE(&M, c.p, c.t), 1);
        const std::vector<std::int8_t> lower = {M.At(1, 0), M.At(2, 0), M.At(3, 0),
                                                M.At(2, 1), M.At(3, 1), M.At(3, 2)};
        EXPECT_EQ(lower, c.lower) << "p " << c.p;
        EXPECT_EQ(std::vector<int>(d.nCE, d.nCE + 4), c.nCE) << "p " << c.p;
        // A running count over rows: the co-expressed gene of highest index is
        // not counted.
        EXPECT_EQ(d.nCEGenes, c.nCEGenes) << "p " << c.p;
        EXPECT_EQ(d.Progress, 100.0f);
        ASSERT_EQ(d.Printed.size(), 2u);
        EXPECT_EQ(d.Printed[1].Text, "");
    }
    // CELevel = (sum of v - 1) / (2 n), even where that is negative.
    ASSERT_EQ(d.RenewCE(&M, 1, 0.9f), 1);
    EXPECT_EQ(d.CELevel[0], static_cast<float>((double(static_cast<float>(0.95 + -0.93)) - 1) / 8));
    EXPECT_EQ(d.CELevel[3], static_cast<float>((-1.0 - 1) / 8));
    EXPECT_LT(d.CELevel[3], 0.0f);
}

TEST(RenewCE, DiffersFromCalcCENearTheThreshold)
{
    // r = 0.855 passes 0.85 (as a float, 0.85000002), but its stored cell 85
    // gives q = 0.85, which does not.
    const std::vector<std::vector<float>> rows = {kBase, WithCorrelation(0.855)};
    cRecorder d;
    Fill(d, rows);
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(2));
    ASSERT_EQ(d.CalcCE(&M, 1, 0.85f), 1);
    EXPECT_EQ(M.At(1, 0), 85);
    ASSERT_EQ(d.RenewCE(&M, 1, 0.85f), 1);
    EXPECT_EQ(M.At(1, 0), 0);
    EXPECT_EQ(M.At(0, 1), 85);
    EXPECT_EQ(d.nCE[0], 0);
}

TEST(RenewCE, EqualsTheDefinitionOnRandomMatrices)
{
    cRng rng(99);
    for (int n : {1, 2, 65, 130, 257}) {
        for (int p : {1, 2, 3}) {
            for (float t : {0.3f, 0.5f, 0.81f}) {
                cRecorder a, b;
                Fill(a,
                     std::vector<std::vector<float>>(static_cast<std::size_t>(n), std::vector<float>(3, 1)));
                Fill(b,
                     std::vector<std::vector<float>>(static_cast<std::size_t>(n), std::vector<float>(3, 1)));
                cCEMatrix Ma, Mb;
                ASSERT_TRUE(Ma.Alloc(n));
                ASSERT_TRUE(Mb.Alloc(n));
                for (int i = 0; i < n; ++i)
                    for (int j = 0; j < n; ++j)
                        if (i != j)
                            Ma.At(i, j) = Mb.At(i, j) = static_cast<std::int8_t>(rng.Below(201) - 100);
                RenewByDefinition(a, Ma, p, t);
                ASSERT_EQ(b.RenewCE(&Mb, p, t), 1);
                const std::string what =
                    std::to_string(n) + " p " + std::to_string(p) + " t " + std::to_string(t);
                EXPECT_TRUE(Cells(Ma) == Cells(Mb)) << what;
                EXPECT_EQ(std::vector<int>(a.nCE, a.nCE + n), std::vector<int>(b.nCE, b.nCE + n)) << what;
                EXPECT_TRUE(SameFloats(a.CELevel, b.CELevel, n)) << what;
                EXPECT_EQ(a.nCEGenes, b.nCEGenes) << what;
                EXPECT_TRUE(a.Printed == b.Printed) << what;
            }
        }
    }
}

TEST(CalcCE, TypedHooksFollowEveryPrint)
{
    // Print and the typed hooks in one sequence: each hook call notes how many
    // texts had been printed when it came.
    struct cHookLog : cRecorder {
        struct cCall {
            std::string Message; // empty for a progress call
            float Percent;
            int CEGenes;
            std::size_t AfterPrints;
        };
        std::vector<cCall> Calls;
        cHookLog()
        {
            OnProgress = [this](float percent, int ceGenes) {
                Calls.push_back({"", percent, ceGenes, Printed.size()});
            };
            OnMessage = [this](const char* text) {
                Calls.push_back({text, Progress, nCEGenes, Printed.size()});
            };
        }
    };
    cIsaGuard guard;
    const auto rows = MakeTable(250, 10, 0.0, 21); // four progress texts
    enum class How { Fast, Reference, Renew };
    const struct {
        const char* what;
        How how;
        int threads, p;
        float t;
        int stopAt;
        std::size_t prints;
    } cases[] = {
        {"fast", How::Fast, 1, 1, 0.9f, -1, 4},
        {"fast, 3 threads", How::Fast, 3, 1, 0.5f, -1, 4},
        {"definition", How::Reference, 1, 2, 0.5f, -1, 4},
        {"re-calculation", How::Renew, 1, 1, 0.3f, -1, 4},
        {"fast, cancelled", How::Fast, 2, 1, 0.5f, 1, 2},
        {"definition, cancelled", How::Reference, 1, 1, 0.5f, 1, 2},
        {"fast, bad power", How::Fast, 1, 0, 0.5f, -1, 1},
        {"definition, bad threshold", How::Reference, 1, 1, -1.0f, -1, 1},
        {"re-calculation, bad threshold", How::Renew, 1, 1, 0.0f, -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cHookLog d;
        Fill(d, rows);
        d.nThreads = c.threads;
        cCEMatrix M;
        ASSERT_TRUE(M.Alloc(d.nGenes));
        if (c.how == How::Renew) {
            ASSERT_EQ(d.CalcCE(&M, 1, 0.2f), 1);
            d.Printed.clear();
            d.Calls.clear();
        }
        d.StopAt = c.stopAt;
        if (c.how == How::Fast) d.CalcCE(&M, c.p, c.t);
        if (c.how == How::Reference) CalcCEReference(d, &M, c.p, c.t);
        if (c.how == How::Renew) d.RenewCE(&M, c.p, c.t);
        ASSERT_EQ(d.Printed.size(), c.prints);
        ASSERT_EQ(d.Calls.size(), d.Printed.size());
        for (std::size_t k = 0; k < d.Printed.size(); ++k) {
            SCOPED_TRACE("text " + std::to_string(k));
            const cPrinted& printed = d.Printed[k];
            const auto& call = d.Calls[k];
            EXPECT_EQ(call.AfterPrints, k + 1);
            const bool parameters = c.prints == 1;
            EXPECT_EQ(call.Message, parameters ? std::string(CEParamsMessage) : std::string());
            if (parameters) continue;
            EXPECT_TRUE(printed == (cPrinted{printed.Text, call.Percent, call.CEGenes}));
        }
        if (c.stopAt < 0 && c.prints > 1) {
            EXPECT_EQ(d.Calls.back().Percent, 100.0f);
            EXPECT_EQ(d.Calls.back().CEGenes, d.nCEGenes);
        }
    }
}

TEST(CalcCE, AThrowingPrintStopsTheWorkersFirst)
{
    struct cThrower : cRecorder {
        void Print(const char* text) override
        {
            cRecorder::Print(text);
            if (Printed.size() == 3) throw std::runtime_error("window closed");
        }
    };
    cThrower d;
    Fill(d, MakeTable(700, 12, 0.0, 4));
    d.nThreads = 3;
    cCEMatrix M;
    ASSERT_TRUE(M.Alloc(d.nGenes));
    EXPECT_THROW(d.CalcCE(&M, 1, 0.9f), std::runtime_error);
    EXPECT_EQ(d.Printed.size(), 3u);
}

TEST(CalcCEFast, HardCasesWithMissingValues)
{
    // Pairs with missing values are mostly decided from one-pass sums with
    // an error bound. These tables put that bound to work: correlations on
    // whole hundredths (small integers), nearly constant profiles far from 0
    // whose one-pass sums cancel, and extreme magnitudes.
    cIsaGuard guard;
    cRng rng(2024);
    struct cKind {
        const char* what;
        std::function<float(int, int)> value;
    };
    const cKind kinds[] = {
        {"small integers", [&](int, int) { return static_cast<float>(rng.Below(3)); }},
        {"nearly constant",
         [&](int g, int) { return (g % 2 ? 1e6f : -3e5f) + 0.0625f * static_cast<float>(rng.Below(3)); }},
        {"extreme magnitudes",
         [&](int g, int k) {
             return static_cast<float>((g % 2 ? 1e34 : 1e-34) * ((k % 3) + rng.Uniform()));
         }},
    };
    for (const cKind& kind : kinds) {
        for (int m : {6, 13, 40}) {
            std::vector<std::vector<float>> rows(90, std::vector<float>(static_cast<std::size_t>(m)));
            for (int g = 0; g < 90; ++g)
                for (int k = 0; k < m; ++k)
                    rows[g][k] = rng.Uniform() < 0.15 ? NA : kind.value(g, k);
            for (float t : {0.5f, 0.95f}) {
                const cOutcome want = RunCE(rows, 1, t, true);
                for (CEIsa isa : SupportedIsas()) {
                    CESetIsa(isa);
                    ExpectSame(want, RunCE(rows, 1, t, false, 2),
                               std::string(kind.what) + " m " + std::to_string(m) + " " + CEIsaName(isa));
                }
            }
        }
    }
}

TEST(CalcCEFast, OnePassSumsThatCancelBelowZero)
{
    // Nearly constant profiles whose one-pass centred sums of squares both
    // come out negative through rounding: such pairs must go the exact way.
    cIsaGuard guard;
    cRng rng(77);
    std::vector<std::vector<float>> rows;
    for (int attempt = 0; attempt < 1000 && rows.size() < 24; ++attempt) {
        // Two neighbouring floats near 2^24 and 2^25 over many arrays: the
        // sums of squares exceed 2^53 and round, by more than the spread.
        const int m = 200;
        std::vector<float> x(m), y(m);
        for (int k = 0; k < m; ++k) {
            x[k] = rng.Uniform() < 0.15 ? NA : (rng.Below(2) ? 16777215.0f : 16777216.0f);
            y[k] = rng.Uniform() < 0.15 ? NA : (rng.Below(2) ? 33554430.0f : 33554432.0f);
        }
        // The sums as the vector kernel forms them.
        double sx = 0, sy = 0, sxx = 0, syy = 0, cut = 0;
        int count = 0;
        for (int k = 0; k < m; ++k) {
            if (std::isfinite(y[k])) syy += double(y[k]) * y[k];
            if (!std::isfinite(x[k])) {
                if (std::isfinite(y[k])) cut += double(y[k]) * y[k];
                continue;
            }
            sy += std::isfinite(y[k]) ? y[k] : 0.0;
            if (!std::isfinite(y[k])) continue;
            ++count;
            sx += x[k];
            sxx += double(x[k]) * x[k];
        }
        if (count < 3) continue;
        const double inv = 1.0 / count;
        const double cx = sxx - sx * (sx * inv), cy = (syy - cut) - sy * (sy * inv);
        if (cx < 0 && cy < 0) {
            rows.push_back(x);
            rows.push_back(y);
        }
    }
    ASSERT_GE(rows.size(), 2u);
    for (float t : {0.3f, 0.9f}) {
        const cOutcome want = RunCE(rows, 1, t, true);
        for (CEIsa isa : SupportedIsas()) {
            CESetIsa(isa);
            ExpectSame(want, RunCE(rows, 1, t, false, 1), CEIsaName(isa));
        }
    }
}

TEST(CEMatrix, ClearReturnsToTheAllocatedState)
{
    // A small matrix (heap) and one large enough to come from the system.
    for (int n : {5, 4200}) {
        cCEMatrix M;
        ASSERT_TRUE(M.Alloc(n));
        EXPECT_TRUE(M.Untouched());
        M.At(n - 1, 0) = 42;
        M.At(0, n - 1) = -7;
        M.At(2, 2) = 0;
        EXPECT_FALSE(M.Untouched());
        M.Clear();
        // Reading through a const view keeps the state.
        const cCEMatrix& view = M;
        EXPECT_EQ(view.At(n - 1, 0), 0);
        EXPECT_EQ(view.At(0, n - 1), 0);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(view.At(i, i), 100);
        EXPECT_TRUE(M.Untouched());
        M.Row(1);
        EXPECT_FALSE(M.Untouched());
    }
}
