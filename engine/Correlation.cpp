#include "CEMatrix.h"
#include "ExprData.h"

double cExprData::Corr(int, int) const { return 0; }                 // TODO(stub)
void cExprData::CorrProfile(int, float*) const {}                    // TODO(stub)
int cExprData::CalcCE(cCEMatrix*, int, float) { return -1; }         // TODO(stub)
int cExprData::RenewCE(cCEMatrix*, int, float) { return -1; }        // TODO(stub)
