// Number formatting used wherever a number becomes text. The decimal separator
// is passed in so that the engine stays locale-free.
//
// Digits come from the exact binary value of the argument, rounded once to at
// most P significant digits (P taken into 2..18), halves away from zero. E is
// the decimal exponent with value = 0.d1d2... x 10^E. Non-finite values give
// INF, -INF or NAN; a value that rounds to zero never shows a minus sign.
#pragma once

#include <string>

// Large enough for every text the two formats produce.
constexpr int FormatBufSize = 48;

// Rounded to at most P significant digits and at most D decimals (D taken into
// 0..18), whichever leaves fewer; the FormatGeneral form when E > P, otherwise
// the integer part ("0" when E <= 0) and exactly D decimals padded with zeros.
std::string FormatFixed(double v, int P, int D, char sep = '.');
// Plain notation without trailing zeros, or exponent form (1.2345E-5) when
// E > P or E < -3. Zero gives 0.
std::string FormatGeneral(double v, int P, char sep = '.');

// The same without allocation: writes at most FormatBufSize characters to buf
// (no terminating zero) and returns their number.
int FormatFixedTo(char* buf, double v, int P, int D, char sep = '.');
int FormatGeneralTo(char* buf, double v, int P, char sep = '.');
