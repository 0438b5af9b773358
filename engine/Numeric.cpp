#include "Numeric.h"

#include <cmath>

double IntPower(double, int) { return 0; }  // TODO(stub)
double Pow(double a, double b) { return std::abs(b) >= 1e-20 ? std::exp(std::log(a) * b) : 1; }
double Sqr(double x) { return x * x; }
int RoundInt(double) { return 0; }          // TODO(stub)
char UpCase(char c) { return c; }           // TODO(stub)
cRandom::cRandom() : Seed(826364705), Table{}, Last(0) {}
int cRandom::Init() { return 0; }           // TODO(stub)
double cRandom::Uniform() { return 0.5; }   // TODO(stub)
double cRandom::Range(double a, double) { return a; }  // TODO(stub)
int cRandom::Int(int a, int) { return a; }  // TODO(stub)
cRandom& GlobalRandom() { static cRandom r; return r; }
int RandInit() { return GlobalRandom().Init(); }
double RandUniform() { return GlobalRandom().Uniform(); }
double RandRange(double a, double b) { return GlobalRandom().Range(a, b); }
int RandInt(int a, int b) { return GlobalRandom().Int(a, b); }
