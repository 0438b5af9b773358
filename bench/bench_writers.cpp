// Times the result-file writers: bench_writers [TABLE [RUNS [OUTDIR]]].
// The filtered table is written with every gene kept (the largest file), the
// pairwise file from a 10,000-gene matrix with one cell in 500 co-expressed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "Format.h"
#include "Timing.h"
#include "Writers.h"

namespace {

double Time(const char* what, int runs, const std::function<void()>& f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    const double m = Median(times);
    std::printf("%s: median %.4f s over %d runs\n", what, m, runs);
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "/work/shared/data/bladder.txt";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string dir = argc > 3 ? argv[3] : "/tmp";
    if (runs < 1) {
        std::fprintf(stderr, "usage: bench_writers [TABLE [RUNS [OUTDIR]]]\n");
        return 2;
    }
    cExprData d;
    if (d.Load(path) < 0) {
        std::fprintf(stderr, "bench_writers: cannot load %s\n", path);
        return 1;
    }
    for (int g = 0; g < d.nGenes; ++g)
        d.nCE[g] = 1;
    const double values = double(d.nGenes) * d.nArrays;
    std::printf("table: %s (%d genes x %d arrays)\n", path, d.nGenes, d.nArrays);

    std::size_t chars = 0;
    const double tf = Time("FormatFixed(v,5,5) of every value", runs, [&] {
        char buf[FormatBufSize];
        chars = 0;
        for (int g = 0; g < d.nGenes; ++g)
            for (int a = 0; a < d.nArrays; ++a)
                chars += static_cast<std::size_t>(FormatFixedTo(buf, d.Data[g][a], 5, 5, '.'));
    });
    std::printf("  %.1f ns per value (%zu characters)\n", tf / values * 1e9, chars);

    const std::string flt = dir + "/bench_writers.flt";
    Time("WriteFilteredTable, all genes", runs, [&] {
        const std::string why = WriteFilteredTable(flt.c_str(), d);
        if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
    });
    std::remove(flt.c_str());

    // Pairwise file from a synthetic matrix over a table of names only.
    const int n = 10000;
    cExprData names;
    names.Alloc(n, 1);
    for (int g = 0; g < n; ++g) {
        std::snprintf(names.GeneID[g], cExprData::IDLen, "%d_at", 200000 + g);
        std::snprintf(names.GeneName[g], cExprData::NameLen, "gene %d [NM_%06d]", g, g);
        names.Data[g][0] = 0;
    }
    std::vector<std::int8_t> cells(std::size_t(n) * n, 0);
    cCEMatrix M;
    M.Cells = cells.data();
    M.N = n;
    std::mt19937 gen(1);
    long long pairs = 0;
    for (int b = 1; b < n; ++b)
        for (int a = 0; a < b; ++a)
            if (gen() % 500 == 0) {
                M.At(a, b) = 95;
                M.At(b, a) = 95;
                ++pairs;
            }
    const std::string ce = dir + "/bench_writers.ce";
    Time("WritePairwiseCE, 10000 genes", runs, [&] {
        const std::string why = WritePairwiseCE(ce.c_str(), names, M, 1, 0.9);
        if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
    });
    std::printf("  %lld pairs listed\n", pairs);
    std::remove(ce.c_str());
    M.Cells = nullptr;
    M.N = 0;
    return 0;
}
