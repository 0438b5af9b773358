// Number formatting used wherever a number becomes text. The decimal separator
// is passed in so that the engine stays locale-free.
#pragma once

#include <string>

// Rounded to at most P significant digits and at most D decimals; exponent
// form when the number has more than P integer digits.
std::string FormatFixed(double v, int P, int D, char sep = '.');
// Plain notation without trailing zeros, or exponent form when E > P or E < -3.
std::string FormatGeneral(double v, int P, char sep = '.');
