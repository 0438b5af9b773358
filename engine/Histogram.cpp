#include "Histogram.h"

#include <cmath>

#include "ExprData.h"

double cHistogram::BinCentre(int b) const
{
    return Low + (b + 0.5) * (High - Low) / nBins();
}

bool CountHistogram(const cExprData& d, eHistSource src, int index, double k, int nBins, cHistogram& h)
{
    h = cHistogram{};
    float m = d.TotalMean, s = d.TotalSD;
    if (src == eHistSource::Gene) {
        if (index < 0 || index >= d.nGenes) return false;
        m = d.GeneMean[index];
        s = d.GeneSD[index];
    } else if (src == eHistSource::Array) {
        if (index < 0 || index >= d.nArrays) return false;
        m = d.ArrayMean[index];
        s = d.ArraySD[index];
    }
    h.Low = m - k * s;
    h.High = m + k * s;
    if (nBins < 1 || !std::isfinite(h.Low) || !std::isfinite(h.High) || h.High == h.Low) return false;
    h.Counts.assign(static_cast<std::size_t>(nBins), 0);
    const double span = h.High - h.Low;
    const double n = nBins;
    const auto count = [&](float v) {
        if (!IsPresent(v)) return;
        const double q = (v - h.Low) / span * n;
        // trunc(q) lies in 0..n-1 exactly when -1 < q < n; testing q itself
        // keeps far-off values clear of the integer conversion.
        if (q > -1 && q < n)
            ++h.Counts[static_cast<std::size_t>(static_cast<int>(q))];
        else
            ++h.Outliers;
    };
    switch (src) {
    case eHistSource::All:
        for (int g = 0; g < d.nGenes; ++g)
            for (int a = 0; a < d.nArrays; ++a)
                count(d.Data[g][a]);
        break;
    case eHistSource::Gene:
        for (int a = 0; a < d.nArrays; ++a)
            count(d.Data[index][a]);
        break;
    case eHistSource::Array:
        for (int g = 0; g < d.nGenes; ++g)
            count(d.Data[g][index]);
        break;
    }
    return true;
}
