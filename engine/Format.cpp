#include "Format.h"

std::string FormatFixed(double, int, int, char) { return {}; }  // TODO(stub)
std::string FormatGeneral(double, int, char) { return {}; }     // TODO(stub)
