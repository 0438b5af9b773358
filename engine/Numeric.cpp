#include "Numeric.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();

// x * (x * (... * x)) with m factors (m >= 1), the order of the recursive
// definition. Once the product is 0, infinite or NaN further factors can only
// flip its sign, so the loop stops there with the same bits.
double RepeatedProduct(double x, unsigned m)
{
    if (std::fabs(x) == 1) return (x < 0 && (m & 1)) ? -1.0 : 1.0;
    double r = x;
    for (unsigned k = 1; k < m; ++k) {
        r = x * r;
        if (r == 0 || !std::isfinite(r)) {
            if (std::isnan(r)) return r;
            const unsigned left = m - 1 - k;
            return (std::signbit(x) && (left & 1)) ? -r : r;
        }
    }
    return r;
}

constexpr std::int32_t IM = 2147483647; // 2^31 - 1
constexpr std::int32_t IA = 16807;
constexpr std::int32_t IQ = 127773;     // IM div IA
constexpr std::int32_t IR = 2836;       // IM mod IA
constexpr std::int32_t NDIV = 67108864; // 1 + (IM - 1) / 32

// One step of s = IA * s mod IM without overflow (Schrage); s in 1..IM-1.
std::int32_t Step(std::int32_t s)
{
    const std::int32_t k = s / IQ;
    s = IA * (s - k * IQ) - IR * k;
    if (s < 0) s += IM;
    return s;
}

// A value in 1..IM-1 from the clock, mixed so that close times give unrelated seeds.
std::int32_t ClockSeed(std::uint64_t salt)
{
    const auto wall = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    const auto mono = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t z = wall ^ (mono << 17) ^ (salt * 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<std::int32_t>(z % static_cast<std::uint64_t>(IM - 1)) + 1;
}

} // namespace

double IntPower(double x, int n)
{
    if (n == 0) return 1;
    if (n > 0) return RepeatedProduct(x, static_cast<unsigned>(n));
    // 0u - n is the magnitude of n, INT_MIN included.
    const double inverse = x == 0 ? std::copysign(Infinity, x) : 1 / x;
    return RepeatedProduct(inverse, 0u - static_cast<unsigned>(n));
}

double Pow(double a, double b)
{
    if (!(std::fabs(b) >= 1e-20)) return 1;
    if (a == 0) return b > 0 ? 0 : Infinity;
    if (a < 0) return std::numeric_limits<double>::quiet_NaN();
    return std::exp(std::log(a) * b);
}

double Sqr(double x)
{
    return x * x;
}

int RoundInt(double x)
{
    if (std::isnan(x)) return 0;
    // std::round is exact; x + 0.5 would itself round (0.49999999999999994 + 0.5 == 1).
    const double r = std::round(x);
    if (r >= 2147483647.0) return INT_MAX;
    if (r <= -2147483648.0) return INT_MIN;
    return static_cast<int>(r);
}

char UpCase(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

cRandom::cRandom() : Seed(826364705), Table{}, Last(0) {}

double cRandom::Uniform()
{
    if (Seed <= 0 || Last <= 0) {
        // Refill the shuffle table; widened so that the lowest int negates safely.
        std::int64_t s = -static_cast<std::int64_t>(Seed);
        if (s < 1)
            s = 1;
        else if (s >= IM)
            s = s % IM == 0 ? 1 : s % IM;
        Seed = static_cast<std::int32_t>(s);
        for (int j = 39; j >= 0; --j) {
            Seed = Step(Seed);
            if (j < 32) Table[j] = Seed;
        }
        Last = Table[0];
    }
    Seed = Step(Seed);
    const int j = Last / NDIV;
    Last = Table[j];
    Table[j] = Seed;
    return Last * (1.0 / 2147483647.0);
}

int cRandom::Init()
{
    static std::atomic<std::uint64_t> counter{0};
    const std::uint64_t calls = ++counter;
    Seed = -ClockSeed(2 * calls);
    Uniform();
    std::int32_t s = Step(ClockSeed(2 * calls + 1)) ^ 123459876;
    // The exclusive or can leave the generator's range (0 or 2^31 - 1), from
    // which it would draw a 0 deviate.
    if (s <= 0 || s >= IM) s = 1;
    Seed = s;
    return s;
}

double cRandom::Range(double a, double b)
{
    const float u = static_cast<float>(Uniform());
    return a + (b - a) * static_cast<double>(u);
}

int cRandom::Int(int a, int b)
{
    double v = std::trunc(Range(a, b + 0.9999999999999988));
    if (v > b) v = b;
    if (!(v >= a)) v = a;
    return static_cast<int>(v);
}

cRandom& GlobalRandom()
{
    static cRandom r;
    return r;
}
int RandInit()
{
    return GlobalRandom().Init();
}
double RandUniform()
{
    return GlobalRandom().Uniform();
}
double RandRange(double a, double b)
{
    return GlobalRandom().Range(a, b);
}
int RandInt(int a, int b)
{
    return GlobalRandom().Int(a, b);
}
