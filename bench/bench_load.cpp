// Times Load (reading, parsing and the closing statistics) of an expression
// table: bench_load [TABLE [RUNS]]. Wall time is what a user waits; processor
// time is shown beside it because it is steadier on a shared machine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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
    std::vector<double> times, cpu;
    int genes = 0, arrays = 0, values = 0;
    for (int i = 0; i < runs; ++i) {
        cExprData d;
        const std::clock_t c0 = std::clock();
        const auto t0 = std::chrono::steady_clock::now();
        values = d.Load(path);
        const auto t1 = std::chrono::steady_clock::now();
        const std::clock_t c1 = std::clock();
        if (values < 0) {
            std::fprintf(stderr, "bench_load: cannot load %s\n", path);
            return 1;
        }
        genes = d.nGenes;
        arrays = d.nArrays;
        times.push_back(std::chrono::duration<double>(t1 - t0).count());
        cpu.push_back(double(c1 - c0) / CLOCKS_PER_SEC);
        std::printf("run %d: %.4f s (processor %.4f s)\n", i + 1, times.back(), cpu.back());
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    };
    std::printf(
        "table: %s\ngenes: %d\narrays: %d\nvalues: %d\nmedian: %.4f s (processor %.4f s) over %d runs\n",
        path, genes, arrays, values, median(times), median(cpu), runs);
    return 0;
}
