// Small numeric helpers shared by the engine and the views.
#pragma once

#include <cstdint>

// x to the integer power n by repeated multiplication: x * (x * (... x)), and
// (1 / x) to the power -n for negative n; 1 for n == 0. For x == 0 and n < 0
// the result is infinity (negative for -0 and odd n), as 1 / 0 gives.
double IntPower(double x, int n);
// exp(ln(a) * b), and 1 whenever |b| < 1e-20. The logarithm has no value for
// a <= 0: a == 0 gives 0 for b > 0 and +infinity for b < 0 (the limits from
// above), a < 0 gives NaN, which never passes a comparison.
double Pow(double a, double b);
double Sqr(double x);
// Nearest integer, halves away from zero; limited to the int range, NaN gives 0.
int RoundInt(double x);
// a..z to A..Z; every other character unchanged.
char UpCase(char c);

// Minimal standard generator (Park-Miller) with a 32-entry Bays-Durham shuffle
// table, computed in 32-bit integers by Schrage's method.
class cRandom {
  public:
    cRandom();        // the fixed initial state: s = 826364705, y = 0
    int Init();       // reseeds from the clock, returns the new state
    double Uniform(); // next deviate in (0, 1)
    // a + (b - a) * u, u the next deviate rounded to a 32-bit float.
    double Range(double a, double b);
    int Int(int a, int b); // uniform integer in [a, b]

    std::int32_t Seed;
    std::int32_t Table[32];
    std::int32_t Last;
};

// The process-wide generator behind the free functions below.
cRandom& GlobalRandom();
int RandInit();
double RandUniform();
double RandRange(double a, double b);
int RandInt(int a, int b);
