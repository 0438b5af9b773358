#include "ExprData.h"

#include <cstdio>

double SumCounts(const unsigned* counts, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i) s += counts[i];
    return s;
}

cExprData::cExprData()
    : nGenes(0), nArrays(0), GeneID(nullptr), GeneName(nullptr), ArrayName(nullptr), Progress(0),
      nCEGenes(0), MemUsed(0), Stop(false), Data(nullptr), nPresent(nullptr), ArrayMean(nullptr),
      GeneMean(nullptr), ArraySD(nullptr), GeneSD(nullptr), nCE(nullptr), CELevel(nullptr),
      Pattern(nullptr), nPatterns(0), TotalMean(0), TotalSD(0)
{
}

cExprData::~cExprData() { Free(); }

void cExprData::Print(const char* text) { std::fputs(text, stdout); }

void cExprData::Alloc(int, int) {}  // TODO(stub)
void cExprData::Free() {}           // TODO(stub)
