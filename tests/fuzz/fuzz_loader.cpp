// Fuzz target: any byte sequence given to the loader must load or be refused
// cleanly, leave a consistent object, and survive normalization.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ExprData.h"

namespace {

class cQuietData : public cExprData {
  public:
    void Print(const char* text) override
    {
        if (std::strcmp(text, "Memory leak detected!") == 0) std::abort();
    }
};

void Require(bool ok)
{
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    cQuietData d;
    const int r = d.LoadBuffer(reinterpret_cast<const char*>(data), size);
    if (r < 0) {
        Require(d.nGenes == 0 && d.nArrays == 0 && d.MemUsed == 0 && d.Data == nullptr);
        return 0;
    }
    const std::int64_t genes = d.nGenes, arrays = d.nArrays;
    Require(std::int64_t(r) == genes * arrays);
    Require(d.MemUsed == genes * (316 + 4 * arrays) + 72 * arrays);
    for (int a = 0; a < d.nArrays; ++a)
        Require(std::strlen(d.ArrayName[a]) < cExprData::ArrayLen);
    for (int g = 0; g < d.nGenes; ++g) {
        Require(std::strlen(d.GeneID[g]) < cExprData::IDLen);
        Require(std::strlen(d.GeneName[g]) < cExprData::NameLen);
        Require(d.nPresent[g] <= unsigned(d.nArrays));
        unsigned finite = 0;
        for (int a = 0; a < d.nArrays; ++a)
            finite += IsPresent(d.Data[g][a]);
        Require(finite <= d.nPresent[g]); // overflowing numbers count, yet are not present
    }
    d.NormGenes(true, true);
    d.NormArrays(true, true);
    d.Free();
    Require(d.MemUsed == 0);
    return 0;
}
