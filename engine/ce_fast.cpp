// Threaded driver of the co-expression kernels.
//
// Rows are cut into chunks of about equal pair count. Any thread computes a
// chunk: the upper cells and the lower cells of its hits are written at once
// (each cell belongs to one row, so to one thread), the hits with their
// values v are kept per row. The calling thread applies finished chunks
// strictly in row order: per-gene counts and strengths are accumulated in the
// order of the one-threaded definition, and the progress texts are printed
// with the running count they would have there. Only a bounded window of
// chunks may run ahead of that order, which bounds the memory for hits.
#include "ce_fast.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"
#include "ce_kernels.h"
#include "ce_reference.h"
#include "ce_steps.h"

// Where the hits of the rows being computed go: per row, the partners j in
// increasing order and their values v.
struct CEHitSink {
    int i0 = 0;
    int p = 1;
    std::int8_t* cells = nullptr;
    std::size_t stride = 0;
    std::vector<std::int32_t>* j = nullptr; // row i at j[i - i0]
    std::vector<double>* v = nullptr;
};

void CEEmitHits(CEHitSink* sink, int i, int j0, const double* r, unsigned mask)
{
    std::vector<std::int32_t>& js = sink->j[i - sink->i0];
    std::vector<double>& vs = sink->v[i - sink->i0];
    std::size_t at = js.size();
    js.resize(at + static_cast<std::size_t>(__builtin_popcount(mask)));
    vs.resize(js.size());
    for (unsigned h = mask; h; h &= h - 1) {
        const int l = __builtin_ctz(h);
        const double v = sink->p == 1 ? r[l] : CEPowerOf(r[l], sink->p);
        sink->cells[static_cast<std::size_t>(j0 + l) * sink->stride + static_cast<std::size_t>(i)] =
            CECell(v);
        js[at] = j0 + l;
        vs[at] = v;
        ++at;
    }
}

// ---------------------------------------------------------------- dispatch

namespace {

std::atomic<int> gForcedIsa{static_cast<int>(CEIsa::Auto)};

CEIsa BestIsa()
{
    if (CEIsaSupported(CEIsa::Avx512)) return CEIsa::Avx512;
    if (CEIsaSupported(CEIsa::Avx2)) return CEIsa::Avx2;
    return CEIsa::Portable;
}

CERowGroupFn KernelFor(CEIsa isa)
{
    switch (isa) {
#if defined(KORVALENT_X86)
    case CEIsa::Avx512:
        return CERowGroupAvx512;
    case CEIsa::Avx2:
        return CERowGroupAvx2;
#endif
    default:
        return CERowGroupPortable;
    }
}

} // namespace

bool CEIsaSupported(CEIsa isa)
{
    switch (isa) {
    case CEIsa::Auto:
    case CEIsa::Portable:
        return true;
#if defined(KORVALENT_X86)
    case CEIsa::Avx2:
        return __builtin_cpu_supports("avx2");
    case CEIsa::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#endif
    default:
        return false;
    }
}

void CESetIsa(CEIsa isa)
{
    gForcedIsa = static_cast<int>(CEIsaSupported(isa) ? isa : CEIsa::Auto);
}

CEIsa CEActiveIsa()
{
    const CEIsa forced = static_cast<CEIsa>(gForcedIsa.load());
    return forced == CEIsa::Auto ? BestIsa() : forced;
}

const char* CEIsaName(CEIsa isa)
{
    switch (isa) {
    case CEIsa::Portable:
        return "portable";
    case CEIsa::Avx2:
        return "AVX2";
    case CEIsa::Avx512:
        return "AVX-512";
    default:
        return "auto";
    }
}

// ---------------------------------------------------------------- packing

namespace {

// An array of T on a 64-byte boundary; empty on allocation failure.
template <typename T> class cAligned {
  public:
    ~cAligned() { Release(); }
    bool Alloc(std::size_t count)
    {
        Release();
        const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(T);
        P = static_cast<T*>(::operator new[](bytes, std::align_val_t(64), std::nothrow));
        if (P) std::memset(static_cast<void*>(P), 0, bytes);
        return P != nullptr;
    }
    T* get() const { return P; }

  private:
    void Release()
    {
        if (P) ::operator delete[](P, std::align_val_t(64));
        P = nullptr;
    }
    T* P = nullptr;
};

struct cPrepStore {
    cAligned<double> Y, Mean, SD, MMean, MSD, SumSq;
    cAligned<std::uint8_t> LaneMask, FullMask, ZeroFullMask, ZeroPresMask;
    cAligned<std::uint64_t> Bits;
};

bool BuildPrep(const cExprData& d, double T, cCEMatrix& M, cPrepStore& S, CEPrep& P)
{
    const int n = d.nGenes, m = std::max(d.nArrays, 0);
    const int nb = (n + 7) / 8;
    const int words = (m + 63) / 64;
    const std::size_t lanes = static_cast<std::size_t>(nb) * 8;
    // Sizes that do not fit the address space cannot be packed.
    if (double(lanes) * double(m) * 8.0 > double(PTRDIFF_MAX) / 4) return false;
    if (!S.Y.Alloc(lanes * m) || !S.LaneMask.Alloc(static_cast<std::size_t>(nb) * m) ||
        !S.Bits.Alloc(lanes * words) || !S.Mean.Alloc(lanes) || !S.SD.Alloc(lanes) || !S.MMean.Alloc(lanes) ||
        !S.MSD.Alloc(lanes) || !S.SumSq.Alloc(lanes) || !S.FullMask.Alloc(nb) || !S.ZeroFullMask.Alloc(nb) ||
        !S.ZeroPresMask.Alloc(nb))
        return false;
    double* Y = S.Y.get();
    std::uint8_t* laneMask = S.LaneMask.get();
    std::uint64_t* bits = S.Bits.get();
    const double dm = m;
    for (std::size_t g = 0; g < lanes; ++g) {
        const std::size_t b = g >> 3;
        const unsigned bit = 1u << (g & 7);
        S.Mean.get()[g] = 0;
        S.SD.get()[g] = 1;
        S.MMean.get()[g] = 0;
        S.MSD.get()[g] = 1;
        if (g >= static_cast<std::size_t>(n)) {
            // Padding: never stored, never a hit.
            S.FullMask.get()[b] |= bit;
            S.ZeroFullMask.get()[b] |= bit;
            S.ZeroPresMask.get()[b] |= bit;
            continue;
        }
        const float* row = d.Data[g];
        bool full = true;
        double sumSq = 0;
        for (int k = 0; k < m; ++k) {
            const bool present = IsPresent(row[k]);
            Y[(b * m + k) * 8 + (g & 7)] = present ? static_cast<double>(row[k]) : 0.0;
            if (present) {
                sumSq += static_cast<double>(row[k]) * static_cast<double>(row[k]);
                laneMask[b * m + k] |= bit;
                bits[(b * words + (k >> 6)) * 8 + (g & 7)] |= std::uint64_t(1) << (k & 63);
            } else {
                full = false;
            }
        }
        S.SumSq.get()[g] = sumSq;
        const bool fewPresent = d.nPresent[g] < 3;
        if (fewPresent) S.ZeroPresMask.get()[b] |= bit;
        if (!full) continue;
        // The same operations, in the same order, as the per-pair definition
        // performs for a pair of fully present genes.
        double sx = 0;
        for (int k = 0; k < m; ++k)
            sx += row[k];
        const double mx = sx / dm;
        double sxx = 0;
        for (int k = 0; k < m; ++k) {
            const double dx = row[k] - mx;
            sxx += dx * dx;
        }
        double sd = std::sqrt(sxx / (dm - 1));
        if (sd == 0) sd = 0.00001;
        S.FullMask.get()[b] |= bit;
        if (fewPresent || m < 3 || sxx == 0) S.ZeroFullMask.get()[b] |= bit;
        S.Mean.get()[g] = mx;
        S.SD.get()[g] = sd;
        S.MMean.get()[g] = dm * mx;
        S.MSD.get()[g] = (dm - 1) * sd;
    }
    P.n = n;
    P.m = m;
    P.nb = nb;
    P.words = words;
    P.T = T;
    P.Y = Y;
    P.LaneMask = laneMask;
    P.Bits = bits;
    P.Mean = S.Mean.get();
    P.SD = S.SD.get();
    P.MMean = S.MMean.get();
    P.MSD = S.MSD.get();
    P.SumSq = S.SumSq.get();
    P.FullMask = S.FullMask.get();
    P.ZeroFullMask = S.ZeroFullMask.get();
    P.ZeroPresMask = S.ZeroPresMask.get();
    P.Cells = M.Cells;
    P.Stride = static_cast<std::size_t>(M.Size());
    return true;
}

// ---------------------------------------------------------------- the run

// Working space of one thread for the kernels.
struct cScratch {
    std::vector<int> Lists;
    std::vector<double> Squares;
    void Resize(int m)
    {
        Lists.resize(static_cast<std::size_t>(4 * std::max(m, 1)));
        Squares.resize(Lists.size());
    }
};

// Hits of one chunk: per row, the partners j in increasing order and v.
struct cChunkHits {
    std::vector<std::vector<std::int32_t>> J;
    std::vector<std::vector<double>> V;

    // Room for rows rows, all empty; capacity is kept between chunks.
    void Reset(int rows)
    {
        if (J.size() < static_cast<std::size_t>(rows)) {
            J.resize(static_cast<std::size_t>(rows));
            V.resize(static_cast<std::size_t>(rows));
        }
        for (int r = 0; r < rows; ++r) {
            J[r].clear();
            V[r].clear();
        }
    }
};

class cCERun {
  public:
    cCERun(cExprData& d, const CEPrep& P, CERowGroupFn kernel, int p, int threads)
        : D(d), P(P), Kernel(kernel), Power(p), Step(CEReportStep(d.nArrays)), Threads(threads)
    {
    }

    // Cuts the rows into chunks; false when memory is short.
    bool Plan();
    // Returns 1 when every row was done, -1 when cancelled or out of memory.
    int Run();

  private:
    void PlanChunks();
    void Worker();
    void Compute(int c, CEHitSink& sink, cScratch& scratch);
    void ComputeGuarded(int c, CEHitSink& sink, cScratch& scratch);
    void Apply(int c);
    // The calling thread's share: applies finished chunks in order, computes
    // chunks itself meanwhile. Returns whether the run was cancelled.
    bool MainLoop(CEHitSink& sink, cScratch& scratch, bool cancelled);

    cExprData& D;
    const CEPrep& P;
    CERowGroupFn Kernel;
    int Power;
    int Step;
    int Threads;
    char Last[32] = "";
    bool Printing = true;

    std::vector<int> Begin; // chunk c: rows Begin[c] .. Begin[c+1]-1
    int Chunks = 0;
    int Window = 0;
    std::vector<cChunkHits> Slots; // chunk c uses Slots[c % Window]
    std::vector<int> RowsDone;
    std::vector<unsigned char> Done;

    std::mutex Mu;
    std::condition_variable WorkCv, DoneCv;
    int Next = 0;
    int Applied = 0;
    std::atomic<bool> Abort{false};
    std::atomic<bool> Failed{false};
};

bool cCERun::Plan()
{
    try {
        PlanChunks();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void cCERun::PlanChunks()
{
    const int rows = D.nGenes - 1; // the last gene has no partner of higher index
    const double pairs = 0.5 * double(D.nGenes) * double(rows);
    // Small enough for a prompt cancel and an even share, large enough that
    // the hand-over costs nothing: about 2^24 products of pair and array.
    const double perPair = std::max(P.m, 8);
    const double target =
        std::max(64.0, std::min(pairs / (double(Threads) * 16.0), double(1 << 24) / perPair));
    for (int b = 0; b < rows;) {
        Begin.push_back(b);
        double acc = 0;
        int e = b;
        while (e < rows && acc < target) {
            for (int i = e; i < std::min(e + 4, rows); ++i)
                acc += rows - i;
            e = std::min(e + 4, rows);
        }
        b = e;
    }
    Chunks = static_cast<int>(Begin.size());
    Begin.push_back(std::max(rows, 0));
    Window = 4 * Threads + 2;
    Slots.resize(static_cast<std::size_t>(std::min(Window, std::max(Chunks, 1))));
    RowsDone.assign(static_cast<std::size_t>(Chunks), 0);
    Done.assign(static_cast<std::size_t>(Chunks), 0);
}

void cCERun::Compute(int c, CEHitSink& sink, cScratch& scratch)
{
    RowsDone[c] = 0;
    if (D.Stop || Abort) return; // a chunk is done whole or not at all
    const int begin = Begin[c], end = Begin[c + 1];
    cChunkHits& hits = Slots[static_cast<std::size_t>(c) % Slots.size()];
    hits.Reset(end - begin);
    sink.i0 = begin;
    sink.j = hits.J.data();
    sink.v = hits.V.data();
    // Partner blocks in ranges that stay in the core's cache while every row
    // group of the chunk passes over them; each row still meets its partners
    // in increasing order.
    const int range = std::max(4, (384 << 10) / (std::max(P.m, 1) * 64));
    for (int c0 = (begin + 1) >> 3; c0 < P.nb; c0 += range) {
        const int c1 = std::min(c0 + range, P.nb);
        for (int g = begin; g < end; g += 4)
            Kernel(P, g, std::min(g + 4, end), c0, c1, &sink, scratch.Lists.data(), scratch.Squares.data());
    }
    RowsDone[c] = end - begin;
}

void cCERun::ComputeGuarded(int c, CEHitSink& sink, cScratch& scratch)
{
    try {
        Compute(c, sink, scratch);
    } catch (const std::bad_alloc&) {
        // The chunk's rows are not counted; the run ends as if cancelled.
        RowsDone[c] = 0;
        Failed = true;
        Abort = true;
    }
}

void cCERun::Worker()
{
    CEHitSink sink;
    sink.p = Power;
    sink.cells = P.Cells;
    sink.stride = P.Stride;
    cScratch scratch;
    try {
        scratch.Resize(P.m);
    } catch (const std::bad_alloc&) {
        return; // the other threads do the work
    }
    std::unique_lock<std::mutex> lock(Mu);
    for (;;) {
        WorkCv.wait(lock, [&] { return Abort || Next >= Chunks || Next < Applied + Window; });
        if (Abort || Next >= Chunks) break;
        const int c = Next++;
        lock.unlock();
        ComputeGuarded(c, sink, scratch);
        lock.lock();
        Done[c] = 1;
        DoneCv.notify_all();
    }
}

void cCERun::Apply(int c)
{
    const cChunkHits& hits = Slots[static_cast<std::size_t>(c) % Slots.size()];
    for (int r = 0; r < RowsDone[c]; ++r) {
        const int i = Begin[c] + r;
        const std::vector<std::int32_t>& js = hits.J[r];
        const std::vector<double>& vs = hits.V[r];
        if (!js.empty()) ++D.nCEGenes;
        if (D.Stop) Printing = false;
        for (std::size_t h = 0; h < js.size(); ++h) {
            const int j = js[h];
            ++D.nCE[i];
            ++D.nCE[j];
            CEAddLevel(D.CELevel[i], vs[h]);
            CEAddLevel(D.CELevel[j], vs[h]);
        }
        if (Printing && i > 0 && i % Step == 0) {
            D.Progress = CEProgressAt(i, D.nGenes);
            CEProgressText(Last, sizeof Last, static_cast<int>(D.Progress));
            CEPrintProgress(D, Last);
            if (D.Stop) Printing = false;
        }
    }
}

int cCERun::Run()
{
    D.Stop = false;
    CEBegin(D);

    CEHitSink sink;
    sink.p = Power;
    sink.cells = P.Cells;
    sink.stride = P.Stride;
    cScratch scratch;
    std::vector<std::thread> pool;
    bool cancelled = false;
    try {
        scratch.Resize(P.m);
        const int workers = std::min(Threads - 1, Chunks - 1);
        for (int w = 0; w < workers; ++w)
            pool.emplace_back(&cCERun::Worker, this);
    } catch (...) {
        // Fewer threads than asked for (or none): the calling thread works too.
    }
    if (scratch.Lists.empty()) {
        Failed = true;
        cancelled = true;
    }

    try {
        cancelled = MainLoop(sink, scratch, cancelled);
    } catch (...) {
        // Print may throw: stop the workers before the exception goes on.
        {
            std::lock_guard<std::mutex> lock(Mu);
            Abort = true;
        }
        WorkCv.notify_all();
        for (std::thread& t : pool)
            t.join();
        throw;
    }
    for (std::thread& t : pool)
        t.join();

    if (cancelled) {
        // Every row written to the matrix is counted, in row order.
        Printing = false;
        for (int c = Applied; c < Next; ++c)
            Apply(c);
        if (Failed) CEPrintMessage(D, "Not enough memory to complete the co-expression calculation.\n");
        D.Progress = 0;
        return -1;
    }
    CEFinish(D, Last);
    return 1;
}

bool cCERun::MainLoop(CEHitSink& sink, cScratch& scratch, bool cancelled)
{
    std::unique_lock<std::mutex> lock(Mu);
    while (!cancelled && Applied < Chunks) {
        if (Done[Applied]) {
            lock.unlock();
            Apply(Applied);
            lock.lock();
            ++Applied;
            WorkCv.notify_all();
            if (!Printing || D.Stop || Failed) cancelled = true;
            continue;
        }
        if (D.Stop || Failed) {
            cancelled = true;
            break;
        }
        if (Next < Chunks && Next < Applied + Window) {
            const int c = Next++;
            lock.unlock();
            ComputeGuarded(c, sink, scratch);
            lock.lock();
            Done[c] = 1;
            continue;
        }
        DoneCv.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (cancelled) {
        Abort = true;
        WorkCv.notify_all();
    }
    return cancelled;
}

} // namespace

int CalcCEFast(cExprData& d, cCEMatrix* M, int p, float t)
{
    if (!CEMatrixFits(d, M)) return -1;
    if (!CEParamsValid(p, t)) {
        CEPrintMessage(d, CEParamsMessage);
        return -1;
    }
    cPrepStore store;
    CEPrep P;
    // Without room for the packed copy the plain computation does the same work.
    if (!BuildPrep(d, CEThreshold(p, t), *M, store, P)) return CalcCEReference(d, M, p, t);
    cCERun run(d, P, KernelFor(CEActiveIsa()), p, CEThreadCount(d.nThreads));
    if (!run.Plan()) return CalcCEReference(d, M, p, t);
    CEPrepareMatrix(*M);
    return run.Run();
}

bool CEKernelCorrelations(const cExprData& d, CEIsa isa, std::vector<double>& out)
{
    const int n = d.nGenes;
    cCEMatrix M;
    cPrepStore store;
    CEPrep P;
    // A threshold below every |r| makes each pair a hit with v = r (power 1).
    if (!M.Alloc(n) || !BuildPrep(d, -1.0, M, store, P)) return false;
    try {
        out.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0.0);
        CEHitSink sink;
        sink.p = 1;
        sink.cells = M.Cells;
        sink.stride = P.Stride;
        cChunkHits hits;
        cScratch scratch;
        scratch.Resize(P.m);
        const CERowGroupFn kernel = KernelFor(CEIsaSupported(isa) ? isa : CEIsa::Portable);
        for (int g = 0; g + 1 < n; g += 4) {
            const int g1 = std::min(g + 4, n - 1);
            hits.Reset(4);
            sink.i0 = g;
            sink.j = hits.J.data();
            sink.v = hits.V.data();
            // Two block ranges where there are enough blocks, to cover the
            // range split as well.
            const int half = P.nb > 2 ? P.nb / 2 : P.nb;
            kernel(P, g, g1, 0, half, &sink, scratch.Lists.data(), scratch.Squares.data());
            kernel(P, g, g1, half, P.nb, &sink, scratch.Lists.data(), scratch.Squares.data());
            for (int r = 0; r < g1 - g; ++r)
                for (std::size_t h = 0; h < hits.J[r].size(); ++h)
                    out[static_cast<std::size_t>(g + r) * n + hits.J[r][h]] = hits.V[r][h];
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
