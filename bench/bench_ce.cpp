// Co-expression benchmark: CalcCE on the real bladder table and on generated
// 10,000 x 100 tables (complete and with 5% missing values), one thread and
// every thread, each kernel; the per-pair definition on a subset for the
// speed-up; the whole batch path (load, CalcCE, patterns). Every figure is the
// median of several runs, each in a child process so that its peak memory
// (ru_maxrss) is its own.
//
// Usage: bench_ce [table] [runs]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "ce_kernels.h"
#include "ce_reference.h"

namespace {

class cQuiet : public cExprData {
  public:
    void Print(const char*) override {}
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string DefaultTable()
{
    std::string here = __FILE__;
    here.erase(here.find_last_of('/') + 1);
    return here + "../../shared/data/bladder.txt";
}

// A generated table: three latent profiles plus noise, values around 8.
void Generate(cExprData& d, int n, int m, double missing, std::uint64_t seed)
{
    std::uint64_t s = seed;
    auto next = [&] {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return (z ^ (z >> 31)) * (1.0 / 18446744073709551616.0);
    };
    auto normal = [&] { return std::sqrt(-2 * std::log(1 - next())) * std::cos(6.283185307179586 * next()); };
    std::vector<double> f(3 * static_cast<std::size_t>(m));
    for (double& v : f)
        v = normal();
    d.Alloc(n, m);
    for (int g = 0; g < n; ++g) {
        const double* base = f.data() + static_cast<std::size_t>(g % 3) * m;
        const double noise = 0.3 + 2.0 * next();
        unsigned present = 0;
        for (int k = 0; k < m; ++k) {
            float v = static_cast<float>(8 + base[k] + noise * normal());
            if (next() < missing)
                v = std::numeric_limits<float>::infinity();
            else
                ++present;
            d.Data[g][k] = v;
        }
        d.nPresent[g] = present;
    }
}

struct cSample {
    double Seconds;
    double Cpu; // processor seconds of all threads over the same span
    long PeakKB;
};

double CpuNow()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + 1e-6 * (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

// Processor time spent in the measured span of the current child.
double gCpuSpan = 0;

// Runs body in a child process; body returns seconds (negative on failure).
cSample InChild(const std::function<double()>& body)
{
    int pipefd[2];
    if (pipe(pipefd) != 0) return {-1, -1, 0};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipefd[0]);
        const double out[2] = {body(), gCpuSpan};
        if (write(pipefd[1], out, sizeof out) != sizeof out) _exit(1);
        _exit(0);
    }
    close(pipefd[1]);
    double in[2] = {-1, -1};
    if (read(pipefd[0], in, sizeof in) != sizeof in) in[0] = -1;
    close(pipefd[0]);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    return {in[0], in[1], ru.ru_maxrss};
}

cSample Median(int runs, const std::function<double()>& body)
{
    std::vector<cSample> s;
    for (int r = 0; r < runs; ++r)
        s.push_back(InChild(body));
    std::sort(s.begin(), s.end(), [](const cSample& a, const cSample& b) { return a.Seconds < b.Seconds; });
    cSample m = s[s.size() / 2];
    std::vector<double> cpu;
    for (const cSample& x : s)
        cpu.push_back(x.Cpu);
    std::sort(cpu.begin(), cpu.end());
    m.Cpu = cpu[cpu.size() / 2];
    for (const cSample& x : s)
        m.PeakKB = std::max(m.PeakKB, x.PeakKB);
    return m;
}

double Pairs(int n)
{
    return 0.5 * double(n) * double(n - 1);
}

void Report(const char* what, int n, const cSample& s, double matrixBytes)
{
    std::printf(
        "%-46s %6d genes  %7.3f s (cpu %7.3f s)  %6.1f M pairs/s  peak %6.1f MiB (matrix %6.1f MiB)\n", what,
        n, s.Seconds, s.Cpu, Pairs(n) / s.Seconds / 1e6, s.PeakKB / 1024.0, matrixBytes / 1048576.0);
    std::fflush(stdout);
}

// CalcCE on a table made by fill; -1 when anything fails.
double TimeCalcCE(const std::function<bool(cExprData&)>& fill, int threads, CEIsa isa, bool reference)
{
    cQuiet d;
    if (!fill(d)) return -1;
    d.nThreads = threads;
    CESetIsa(isa);
    cCEMatrix M;
    if (!M.Alloc(d.nGenes)) return -1;
    const double c0 = CpuNow(), t0 = Now();
    const int rc = reference ? CalcCEReference(d, &M, 1, 0.9f) : d.CalcCE(&M, 1, 0.9f);
    const double t1 = Now();
    gCpuSpan = CpuNow() - c0;
    return rc == 1 ? t1 - t0 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string table = argc > 1 && argv[1][0] ? argv[1] : DefaultTable();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::printf("table %s, %d runs per figure (median), %d hardware threads, kernel %s\n", table.c_str(),
                runs, all, CEIsaName(CEActiveIsa()));

    cQuiet probe;
    const double tl0 = Now();
    if (probe.Load(table.c_str()) < 0) {
        std::fprintf(stderr, "cannot load %s\n", table.c_str());
        return 1;
    }
    const double loadOnce = Now() - tl0;
    const int n = probe.nGenes;
    std::printf("loaded %d genes x %d arrays in %.3f s\n", n, probe.nArrays, loadOnce);
    const double matrix = double(n) * n;

    auto load = [&](cExprData& d) { return d.Load(table.c_str()) >= 0; };
    for (int threads : {1, all}) {
        const std::string label = "bladder CalcCE, " + std::to_string(threads) + " thread(s)";
        Report(label.c_str(), n, Median(runs, [&] { return TimeCalcCE(load, threads, CEIsa::Auto, false); }),
               matrix);
    }
    for (CEIsa isa : {CEIsa::Portable, CEIsa::Avx2, CEIsa::Avx512}) {
        if (!CEIsaSupported(isa)) continue;
        const std::string label = std::string("bladder CalcCE, ") + CEIsaName(isa) + ", 1 thread";
        Report(label.c_str(), n, Median(runs, [&] { return TimeCalcCE(load, 1, isa, false); }), matrix);
    }

    // The definition on the first genes only: it is slow.
    const int sub = std::min(n, 2000);
    auto loadSub = [&](cExprData& d) {
        cQuiet full;
        if (full.Load(table.c_str()) < 0) return false;
        d.Alloc(sub, full.nArrays);
        for (int g = 0; g < sub; ++g) {
            std::copy(full.Data[g], full.Data[g] + full.nArrays, d.Data[g]);
            d.nPresent[g] = full.nPresent[g];
        }
        return true;
    };
    const cSample ref = Median(std::min(runs, 3), [&] { return TimeCalcCE(loadSub, 1, CEIsa::Auto, true); });
    const cSample fast1 = Median(runs, [&] { return TimeCalcCE(loadSub, 1, CEIsa::Auto, false); });
    Report("bladder first genes, per-pair definition", sub, ref, double(sub) * sub);
    Report("bladder first genes, CalcCE 1 thread", sub, fast1, double(sub) * sub);
    std::printf("speed-up over the definition, 1 thread: %.1fx\n", ref.Seconds / fast1.Seconds);

    double complete[2] = {0, 0};
    for (double missing : {0.0, 0.05}) {
        auto gen = [&](cExprData& d) {
            Generate(d, 10000, 100, missing, 42);
            return true;
        };
        int t = 0;
        for (int threads : {1, all}) {
            const std::string label = "generated 10000x100, " + std::to_string(int(missing * 100)) +
                                      "% missing, " + std::to_string(threads) + " thread(s)";
            const cSample s = Median(runs, [&] { return TimeCalcCE(gen, threads, CEIsa::Auto, false); });
            Report(label.c_str(), 10000, s, 1e8);
            if (missing == 0)
                complete[t] = s.Seconds;
            else
                std::printf("  5%% missing over complete, %d thread(s): %.2fx\n", threads,
                            s.Seconds / complete[t]);
            ++t;
        }
    }

    // The batch path: load, CalcCE, patterns, with every thread.
    const cSample batch = Median(runs, [&] {
        const double c0 = CpuNow(), t0 = Now();
        cQuiet d;
        d.nThreads = all;
        if (d.Load(table.c_str()) < 0) return -1.0;
        cCEMatrix M;
        if (!M.Alloc(d.nGenes)) return -1.0;
        const double t1 = Now();
        if (d.CalcCE(&M, 1, 0.9f) != 1) return -1.0;
        const double t2 = Now();
        d.FindPatterns(&M);
        const double t3 = Now();
        gCpuSpan = CpuNow() - c0;
        std::fprintf(
            stderr,
            "  batch steps: load %.3f s, CalcCE %.3f s, patterns %.3f s; %d co-expressed, %d patterns\n",
            t1 - t0, t2 - t1, t3 - t2, d.nCEGenes, d.nPatterns);
        return t3 - t0;
    });
    Report("batch path: load + CalcCE + patterns", n, batch, matrix);

    const cSample renew = Median(runs, [&] {
        cQuiet d;
        d.nThreads = all;
        if (d.Load(table.c_str()) < 0) return -1.0;
        cCEMatrix M;
        if (!M.Alloc(d.nGenes) || d.CalcCE(&M, 1, 0.9f) != 1) return -1.0;
        const double c0 = CpuNow(), t0 = Now();
        if (d.RenewCE(&M, 2, 0.5f) != 1) return -1.0;
        gCpuSpan = CpuNow() - c0;
        return Now() - t0;
    });
    Report("bladder RenewCE", n, renew, matrix);
    return 0;
}
