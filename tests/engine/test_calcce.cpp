// CalcCE and RenewCE: the fast computation against the per-pair definition,
// worked cell values, progress texts, cancellation and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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
