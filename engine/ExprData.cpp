#include "ExprData.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

namespace {

// Accounting costs of one gene and one array. The row pointer counts 4 bytes
// whatever the platform's pointer size, so the figures stay comparable.
constexpr std::int64_t GeneFixedCost = cExprData::IDLen + cExprData::NameLen + 7 * 4;
constexpr std::int64_t ArrayCost = cExprData::ArrayLen + 4 + 4;

template <typename T> void Release(T*& p, std::int64_t& mem, std::int64_t bytes)
{
    if (!p) return;
    delete[] p;
    p = nullptr;
    mem -= bytes;
}

} // namespace

double SumCounts(const unsigned* counts, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += counts[i];
    return s;
}

std::string MissingValuesText(const cExprData& d)
{
    const long long total = static_cast<long long>(d.nGenes) * d.nArrays;
    if (total <= 0) return "0 (0%)";
    const double present = SumCounts(d.nPresent, d.nGenes);
    const long long missing = static_cast<long long>(static_cast<double>(total) - present);
    const long long percent =
        static_cast<long long>(static_cast<double>(missing) * 100.0 / static_cast<double>(total));
    return std::to_string(missing) + " (" + std::to_string(percent) + "%)";
}

cExprData::cExprData()
    : nGenes(0), nArrays(0), GeneID(nullptr), GeneName(nullptr), ArrayName(nullptr), Progress(0), nCEGenes(0),
      MemUsed(0), Stop(false), Data(nullptr), nPresent(nullptr), ArrayMean(nullptr), GeneMean(nullptr),
      ArraySD(nullptr), GeneSD(nullptr), nCE(nullptr), CELevel(nullptr), Pattern(nullptr), nPatterns(0),
      TotalMean(0), TotalSD(0)
{
}

// Runs while the object already dispatches Print to this class, so a leak
// found here is reported by the base hook. The typed hooks are dropped first:
// what they refer to may have gone with the derived object.
cExprData::~cExprData()
{
    OnProgress = nullptr;
    OnMessage = nullptr;
    Free();
}

void cExprData::Print(const char* text)
{
    if (!text) return;
    // The text is a printf format without arguments: only "%%" has a meaning.
    // Any other '%' is written as it stands rather than read as a conversion.
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') ++p;
        std::fputc(*p, stdout);
    }
    std::fflush(stdout);
}

double cExprData::AllocBytes(double genes, double arrays)
{
    return genes * (arrays * sizeof(float) + sizeof(float*) + 316) + arrays * 72;
}

bool cExprData::HasArrays() const
{
    return GeneID || GeneName || ArrayName || Data || nPresent || ArrayMean || GeneMean || ArraySD ||
           GeneSD || nCE || CELevel || Pattern;
}

void cExprData::Alloc(int genes, int arrays)
{
    AllocTable(genes, arrays, true);
}

void cExprData::AllocTable(int genes, int arrays, bool zeroRows)
{
    if (HasArrays()) Free();
    if (genes < 0) genes = 0;
    if (arrays < 0) arrays = 0;
    nGenes = genes;
    nArrays = arrays;
    nCEGenes = 0;
    const std::size_t g = static_cast<std::size_t>(genes);
    const std::size_t a = static_cast<std::size_t>(arrays);
    // A table that could not be addressed at all is refused before any attempt,
    // so the byte counts below can never overflow.
    if (AllocBytes(double(g), double(a)) > MaxAllocBytes) {
        nGenes = 0;
        nArrays = 0;
        return;
    }
    try {
        GeneID = new char[g][IDLen]();
        MemUsed += IDLen * std::int64_t(g);
        GeneName = new char[g][NameLen]();
        MemUsed += NameLen * std::int64_t(g);
        ArrayName = new char[a][ArrayLen]();
        MemUsed += ArrayLen * std::int64_t(a);
        nPresent = new unsigned[g]();
        MemUsed += 4 * std::int64_t(g);
        ArrayMean = new float[a]();
        MemUsed += 4 * std::int64_t(a);
        GeneMean = new float[g]();
        MemUsed += 4 * std::int64_t(g);
        ArraySD = new float[a]();
        MemUsed += 4 * std::int64_t(a);
        GeneSD = new float[g]();
        MemUsed += 4 * std::int64_t(g);
        nCE = new int[g]();
        MemUsed += 4 * std::int64_t(g);
        CELevel = new float[g]();
        MemUsed += 4 * std::int64_t(g);
        Pattern = new int[g]();
        MemUsed += 4 * std::int64_t(g);
        Data = new float*[g]();
        MemUsed += 4 * std::int64_t(g);
        // Rows are zeroed for Alloc's callers; the loader overwrites every
        // value, and zeroing first would only touch each page once more (and
        // back the whole table at once, before a single value is read).
        for (std::size_t i = 0; i < g; ++i) {
            Data[i] = zeroRows ? new float[a]() : new float[a];
            MemUsed += 4 * std::int64_t(a);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory: give back what was obtained and stay empty.
        Free();
    }
}

void cExprData::Free()
{
    if (!HasArrays()) return;
    const std::int64_t g = nGenes;
    const std::int64_t a = nArrays;
    if (Data) {
        // A failed Alloc may leave the tail of the row table empty.
        for (std::int64_t i = 0; i < g; ++i)
            Release(Data[i], MemUsed, 4 * a);
    }
    Release(Data, MemUsed, 4 * g);
    Release(GeneID, MemUsed, IDLen * g);
    Release(GeneName, MemUsed, NameLen * g);
    Release(ArrayName, MemUsed, ArrayLen * a);
    Release(nPresent, MemUsed, 4 * g);
    Release(ArrayMean, MemUsed, 4 * a);
    Release(GeneMean, MemUsed, 4 * g);
    Release(ArraySD, MemUsed, 4 * a);
    Release(GeneSD, MemUsed, 4 * g);
    Release(nCE, MemUsed, 4 * g);
    Release(CELevel, MemUsed, 4 * g);
    Release(Pattern, MemUsed, 4 * g);
    nGenes = 0;
    nArrays = 0;
    if (MemUsed != 0) {
        static const char* const leak = "Memory leak detected!";
        Print(leak);
        if (OnMessage) OnMessage(leak);
    }
}

static_assert(GeneFixedCost == 316 && ArrayCost == 72, "accounting costs per gene and per array");
