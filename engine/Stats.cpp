#include "ExprData.h"

void cExprData::CalcStat() {}                // TODO(stub)
void cExprData::NormArrays(bool, bool) {}    // TODO(stub)
void cExprData::NormGenes(bool, bool) {}     // TODO(stub)
