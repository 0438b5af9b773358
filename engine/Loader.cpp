#include "ExprData.h"

int cExprData::Load(const char*) { return -1; }                 // TODO(stub)
int cExprData::LoadBuffer(const char*, std::size_t) { return -1; }  // TODO(stub)
