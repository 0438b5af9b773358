// Small numeric helpers shared by the engine and the views.
#pragma once

#include <cstdint>

double IntPower(double x, int n);
double Pow(double a, double b);
double Sqr(double x);
int RoundInt(double x);
char UpCase(char c);

// Minimal standard generator (Park-Miller) with a 32-entry Bays-Durham shuffle
// table, computed in 32-bit integers by Schrage's method.
class cRandom {
public:
    cRandom();                 // the fixed initial state: s = 826364705, y = 0
    int Init();                // reseeds from the clock, returns the new state
    double Uniform();          // next deviate in (0, 1)
    double Range(double a, double b);
    int Int(int a, int b);     // uniform integer in [a, b]

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
