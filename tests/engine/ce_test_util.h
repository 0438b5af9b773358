// Shared fixtures of the co-expression tests: tables built in memory, a Print
// hook that records what the engine reports, and a deterministic generator.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "CEMatrix.h"
#include "ExprData.h"

namespace cetest {

constexpr float NA = std::numeric_limits<float>::infinity();

// What one Print call saw.
struct cPrinted {
    std::string Text;
    float Progress;
    int CEGenes;
    bool operator==(const cPrinted& o) const
    {
        return Text == o.Text && std::memcmp(&Progress, &o.Progress, sizeof Progress) == 0 &&
               CEGenes == o.CEGenes;
    }
};

// Records every Print; optionally sets Stop during the k-th call (0-based).
class cRecorder : public cExprData {
  public:
    void Print(const char* text) override
    {
        Printed.push_back({text, Progress, nCEGenes});
        if (static_cast<int>(Printed.size()) - 1 == StopAt) Stop = true;
    }
    std::vector<cPrinted> Printed;
    int StopAt = -1;
};

// Fills d with the rows given (NA = missing); nPresent counts finite values.
inline void Fill(cExprData& d, const std::vector<std::vector<float>>& rows)
{
    const int n = static_cast<int>(rows.size());
    const int m = n > 0 ? static_cast<int>(rows[0].size()) : 0;
    d.Alloc(n, m);
    for (int g = 0; g < n; ++g) {
        unsigned present = 0;
        for (int k = 0; k < m; ++k) {
            d.Data[g][k] = rows[g][k];
            if (std::isfinite(rows[g][k])) ++present;
        }
        d.nPresent[g] = present;
    }
}

// splitmix64: small, fast and the same everywhere.
class cRng {
  public:
    explicit cRng(std::uint64_t seed) : S(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (S += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return (Next() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
    int Below(int n) { return static_cast<int>(Uniform() * n); }
    double Normal()
    {
        const double u = 1.0 - Uniform(), v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

  private:
    std::uint64_t S;
};

// A table with the cases that make exactness hard: strongly correlated
// groups, missing values, constant and nearly constant genes (some large),
// very large and very small values, genes with fewer than 3 present values,
// exact duplicates and negations, and small-integer genes whose correlations
// are often whole hundredths.
inline std::vector<std::vector<float>> MakeTable(int n, int m, double missing, std::uint64_t seed)
{
    cRng rng(seed);
    std::vector<std::vector<double>> factors(3, std::vector<double>(static_cast<std::size_t>(m)));
    for (auto& f : factors)
        for (double& v : f)
            v = rng.Normal();
    std::vector<std::vector<float>> rows(static_cast<std::size_t>(n),
                                         std::vector<float>(static_cast<std::size_t>(m)));
    for (int g = 0; g < n; ++g) {
        std::vector<float>& row = rows[static_cast<std::size_t>(g)];
        const int kind = rng.Below(20);
        if (kind == 0 && g > 0) {
            row = rows[static_cast<std::size_t>(rng.Below(g))]; // duplicate
            continue;
        }
        if (kind == 1 && g > 0) {
            row = rows[static_cast<std::size_t>(rng.Below(g))]; // negation
            for (float& v : row)
                if (std::isfinite(v)) v = -v;
            continue;
        }
        if (kind == 2) {
            const float c = rng.Below(2) ? 12345.678f : static_cast<float>(rng.Normal());
            for (float& v : row)
                v = c;
        } else if (kind == 3 || kind == 4) {
            for (float& v : row)
                v = static_cast<float>(rng.Below(4));
        } else if (kind == 6) {
            // Nearly constant far from 0: a one-pass variance would cancel.
            for (float& v : row)
                v = 1e6f + 0.0625f * static_cast<float>(rng.Below(3));
        } else if (kind == 7 || kind == 8) {
            // Very large or very small values.
            const auto& f = factors[static_cast<std::size_t>(rng.Below(3))];
            const double scale = kind == 7 ? 1e30 : 1e-30;
            for (int k = 0; k < m; ++k)
                row[static_cast<std::size_t>(k)] =
                    static_cast<float>(scale * (f[static_cast<std::size_t>(k)] + 0.1 * rng.Normal()));
        } else {
            const auto& f = factors[static_cast<std::size_t>(rng.Below(3))];
            const double noise = rng.Uniform() < 0.5 ? 0.05 : 1.0;
            const double scale = rng.Uniform() < 0.5 ? 1.0 : -3.0;
            const double offset = rng.Uniform() < 0.2 ? 1000.0 : 8.0;
            for (int k = 0; k < m; ++k)
                row[static_cast<std::size_t>(k)] = static_cast<float>(
                    offset + scale * (f[static_cast<std::size_t>(k)] + noise * rng.Normal()));
        }
        if (kind == 5) {
            // At most 2 present values.
            for (int k = 2; k < m; ++k)
                row[static_cast<std::size_t>(k)] = NA;
        }
        for (float& v : row)
            if (rng.Uniform() < missing) v = NA;
    }
    return rows;
}

inline std::vector<std::int8_t> Cells(const cCEMatrix& M)
{
    const std::size_t n = static_cast<std::size_t>(M.Size());
    return std::vector<std::int8_t>(M.Cells, M.Cells + n * n);
}

inline bool SameFloats(const float* a, const float* b, int n)
{
    return n == 0 || std::memcmp(a, b, sizeof(float) * static_cast<std::size_t>(n)) == 0;
}

} // namespace cetest
