#include "Writers.h"

std::string WriteFilteredTable(const char*, const cExprData&, char) { return "not implemented"; }  // TODO(stub)
std::string WritePairwiseCE(const char*, const cExprData&, const cCEMatrix&, int, double) { return "not implemented"; }  // TODO(stub)
std::string WriteGeneList(const char*, const cExprData&, int, int, double, char) { return "not implemented"; }  // TODO(stub)
std::string WritePatternFile(const char*, const cExprData&, const cCEMatrix&, int, int, int, double, char) { return "not implemented"; }  // TODO(stub)
std::string RefSeqText(const char*) { return {}; }  // TODO(stub)
