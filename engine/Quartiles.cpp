#include "Quartiles.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ExprData.h"

namespace {

// q-quantile of v[0..n) by partial selection; v is reordered.
double Quantile(float* v, int n, double q)
{
    const double h = (n - 1) * q;
    const int k = static_cast<int>(h);
    std::nth_element(v, v + k, v + n);
    const double lo = v[k];
    const double frac = h - k;
    if (frac == 0 || k + 1 >= n) return lo;
    // After the selection everything past k is at least v[k]; its least is the next order statistic.
    const double hi = *std::min_element(v + k + 1, v + n);
    return lo + frac * (hi - lo);
}

void Store(cQuartiles& r, std::size_t at, std::vector<float>& v)
{
    QuartilesOf(v.data(), static_cast<int>(v.size()), r.Q1[at], r.Median[at], r.Q3[at]);
}

cQuartiles Sized(int count)
{
    const std::size_t c = count > 0 ? static_cast<std::size_t>(count) : 0;
    cQuartiles r;
    r.Q1.assign(c, 0);
    r.Median.assign(c, 0);
    r.Q3.assign(c, 0);
    return r;
}

} // namespace

bool QuartilesOf(float* v, int n, double& q1, double& median, double& q3)
{
    if (n <= 0) {
        q1 = median = q3 = std::numeric_limits<double>::quiet_NaN();
        return false;
    }
    q1 = Quantile(v, n, 0.25);
    median = Quantile(v, n, 0.5);
    q3 = Quantile(v, n, 0.75);
    return true;
}

cQuartiles GeneQuartiles(const cExprData& d)
{
    cQuartiles r = Sized(d.nGenes);
    std::vector<float> v;
    v.reserve(d.nArrays > 0 ? static_cast<std::size_t>(d.nArrays) : 0);
    for (int g = 0; g < d.nGenes; ++g) {
        v.clear();
        for (int a = 0; a < d.nArrays; ++a)
            if (IsPresent(d.Data[g][a])) v.push_back(d.Data[g][a]);
        Store(r, static_cast<std::size_t>(g), v);
    }
    return r;
}

cQuartiles ArrayQuartiles(const cExprData& d)
{
    cQuartiles r = Sized(d.nArrays);
    if (d.nArrays <= 0) return r;
    // Gathered gene by gene so the table is read in memory order.
    std::vector<std::vector<float>> cols(static_cast<std::size_t>(d.nArrays));
    for (auto& c : cols)
        c.reserve(d.nGenes > 0 ? static_cast<std::size_t>(d.nGenes) : 0);
    for (int g = 0; g < d.nGenes; ++g)
        for (int a = 0; a < d.nArrays; ++a)
            if (IsPresent(d.Data[g][a])) cols[static_cast<std::size_t>(a)].push_back(d.Data[g][a]);
    for (int a = 0; a < d.nArrays; ++a)
        Store(r, static_cast<std::size_t>(a), cols[static_cast<std::size_t>(a)]);
    return r;
}
