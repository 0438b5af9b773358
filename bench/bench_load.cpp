// Times Load (reading, parsing and the closing statistics) of an expression
// table: bench_load [TABLE [RUNS]].
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ExprData.h"

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "/work/shared/data/bladder.txt";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    if (runs < 1) {
        std::fprintf(stderr, "usage: bench_load [TABLE [RUNS]]\n");
        return 2;
    }
    std::vector<double> times;
    int genes = 0, arrays = 0, values = 0;
    for (int i = 0; i < runs; ++i) {
        cExprData d;
        const auto t0 = std::chrono::steady_clock::now();
        values = d.Load(path);
        const auto t1 = std::chrono::steady_clock::now();
        if (values < 0) {
            std::fprintf(stderr, "bench_load: cannot load %s\n", path);
            return 1;
        }
        genes = d.nGenes;
        arrays = d.nArrays;
        times.push_back(std::chrono::duration<double>(t1 - t0).count());
        std::printf("run %d: %.4f s\n", i + 1, times.back());
    }
    std::sort(times.begin(), times.end());
    const double median = runs % 2 ? times[runs / 2] : (times[runs / 2 - 1] + times[runs / 2]) / 2;
    std::printf("table: %s\ngenes: %d\narrays: %d\nvalues: %d\nmedian: %.4f s over %d runs\n", path, genes,
                arrays, values, median, runs);
    return 0;
}
