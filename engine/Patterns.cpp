#include "CEMatrix.h"
#include "ExprData.h"

void cExprData::FindPatterns(const cCEMatrix*) {}            // TODO(stub)
void cExprData::SpreadPattern(int, int, const cCEMatrix*) {} // TODO(stub)
