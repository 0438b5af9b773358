#include <algorithm>

#include "ExprData.h"
#include "ce_fast.h"
#include "ce_reference.h"

double cExprData::Corr(int a, int b) const
{
    return CorrReference(*this, a, b);
}

void cExprData::CorrProfile(int g, float* out) const
{
    if (!out || nGenes <= 0) return;
    g = std::clamp(g, 0, nGenes - 1);
    for (int k = 0; k < nGenes; ++k)
        out[k] = static_cast<float>(Corr(g, k));
}

int cExprData::CalcCE(cCEMatrix* M, int p, float t)
{
    return CalcCEFast(*this, M, p, t);
}
