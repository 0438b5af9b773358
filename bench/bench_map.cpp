// Times the co-expression map picture of a table's matrix: bench_map [TABLE
// [RUNS [POWER THRESHOLD]]]. The matrix is calculated once; the row-order map
// is timed RUNS times and checked against the column-order definition, which
// is timed once.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "MapImage.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

class cQuiet : public cExprData {
  public:
    void Print(const char*) override {}
};

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "/work/shared/data/bladder.txt";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const int power = argc > 4 ? std::atoi(argv[3]) : 1;
    const float threshold = argc > 4 ? static_cast<float>(std::atof(argv[4])) : 0.9f;
    if (runs < 1) {
        std::fprintf(stderr, "usage: bench_map [TABLE [RUNS [POWER THRESHOLD]]]\n");
        return 2;
    }
    cQuiet d;
    if (d.Load(path) < 0) {
        std::fprintf(stderr, "bench_map: cannot load %s\n", path);
        return 1;
    }
    cCEMatrix m;
    if (!m.Alloc(d.nGenes)) {
        std::fprintf(stderr, "bench_map: cannot allocate the matrix of %d genes\n", d.nGenes);
        return 1;
    }
    auto t0 = std::chrono::steady_clock::now();
    d.CalcCE(&m, power, threshold);
    const double ce = Seconds(t0);
    std::size_t marked = 0;
    for (int j = 0; j < m.N; ++j)
        for (int i = 0; i <= j; ++i)
            marked += m.At(j, i) != 0;

    std::vector<std::uint32_t> fast(MapSide * MapSide), plain(MapSide * MapSide);
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        t0 = std::chrono::steady_clock::now();
        DrawCEMap(m.Cells, m.N, fast.data(), MapSide);
        times.push_back(Seconds(t0));
        std::printf("run %d: %.4f s\n", r + 1, times.back());
    }
    t0 = std::chrono::steady_clock::now();
    DrawCEMapByDefinition(m.Cells, m.N, plain.data(), MapSide);
    const double byDefinition = Seconds(t0);
    std::sort(times.begin(), times.end());
    const double median = runs % 2 ? times[runs / 2] : (times[runs / 2 - 1] + times[runs / 2]) / 2;
    std::printf("table: %s\ngenes: %d\nmatrix calculation: %.3f s (power %d, threshold %g)\n"
                "non-zero lower cells: %zu\nmap median: %.4f s over %d runs\n"
                "map by definition (column order): %.4f s\nsame picture: %s\n",
                path, d.nGenes, ce, power, threshold, marked, median, runs, byDefinition,
                fast == plain ? "yes" : "NO");
    return fast == plain ? 0 : 1;
}
