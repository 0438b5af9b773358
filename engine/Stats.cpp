// Summary statistics and the two normalization passes. Every sum is a running
// 32-bit float, exactly as if it were accumulated in its float result field:
// each partial sum is rounded to float. Differences, squares, quotients and
// roots are formed in double and rounded to float once when stored. The order
// of every accumulation is fixed: arrays then genes for the array and total
// statistics, genes then arrays for the gene statistics.
#include "ExprData.h"

#include <cmath>
#include <cstdint>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559, "float results round and overflow as IEEE");

namespace {

// sum / n rounded once to float; 0 when nothing was counted.
float Mean(float sum, std::int64_t n)
{
    return n > 0 ? static_cast<float>(double(sum) / double(n)) : 0.0f;
}

// Sample standard deviation from a sum of squares; 0 below two values.
float SampleSD(float squares, std::int64_t n)
{
    return n >= 2 ? static_cast<float>(std::sqrt(double(squares) / double(n - 1))) : 0.0f;
}

// Adds a double square to a float accumulator, rounding the sum to float.
void AddSquare(float& acc, float x, float mean)
{
    const double d = double(x) - double(mean);
    acc = static_cast<float>(double(acc) + d * d);
}

// Adds x to a running float sum when it is present.
void AddValue(float& sum, std::int64_t& n, float x)
{
    if (!IsPresent(x)) return;
    sum += x;
    ++n;
}

// Mean and standard deviation of K consecutive genes, their sums run side by side.
template <int K> void GeneStats(float* const* rows, int arrays, float* mean, float* sd)
{
    float s[K] = {}, q[K] = {}, m[K];
    std::int64_t n[K] = {};
    for (int a = 0; a < arrays; ++a)
        for (int k = 0; k < K; ++k)
            AddValue(s[k], n[k], rows[k][a]);
    for (int k = 0; k < K; ++k)
        m[k] = Mean(s[k], n[k]);
    for (int a = 0; a < arrays; ++a)
        for (int k = 0; k < K; ++k) {
            const float x = rows[k][a];
            if (IsPresent(x)) AddSquare(q[k], x, m[k]);
        }
    for (int k = 0; k < K; ++k) {
        mean[k] = m[k];
        sd[k] = SampleSD(q[k], n[k]);
    }
}

} // namespace

// Every accumulator below lives in a local and is stored once: the rounding is
// that of the result field (one float rounding per step), but the running sums
// stay in registers. Independent sums (of different arrays or genes) are run
// side by side; the order within each sum is never changed.
void cExprData::CalcStat()
{
    const int genes = nGenes;
    const int arrays = nArrays;
    float* const* const rows = Data;

    // Array sums, four arrays at a time, then added to the total in array order.
    float totalSum = 0;
    std::int64_t total = 0;
    int a = 0;
    for (; a + 4 <= arrays; a += 4) {
        float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        std::int64_t n0 = 0, n1 = 0, n2 = 0, n3 = 0;
        for (int g = 0; g < genes; ++g) {
            const float* x = rows[g] + a;
            AddValue(s0, n0, x[0]);
            AddValue(s1, n1, x[1]);
            AddValue(s2, n2, x[2]);
            AddValue(s3, n3, x[3]);
        }
        const float sums[4] = {s0, s1, s2, s3};
        const std::int64_t counts[4] = {n0, n1, n2, n3};
        for (int k = 0; k < 4; ++k) {
            totalSum += sums[k];
            total += counts[k];
            ArrayMean[a + k] = Mean(sums[k], counts[k]);
        }
    }
    for (; a < arrays; ++a) {
        float s = 0;
        std::int64_t n = 0;
        for (int g = 0; g < genes; ++g)
            AddValue(s, n, rows[g][a]);
        totalSum += s;
        total += n;
        ArrayMean[a] = Mean(s, n);
    }
    const float totalMean = Mean(totalSum, total);

    // Deviations. The total pools every present value array after array, so
    // this pass keeps the column order.
    float totalSq = 0;
    for (a = 0; a < arrays; ++a) {
        const float mean = ArrayMean[a];
        float sq = 0;
        std::int64_t n = 0;
        for (int g = 0; g < genes; ++g) {
            const float x = rows[g][a];
            if (!IsPresent(x)) continue;
            AddSquare(sq, x, mean);
            AddSquare(totalSq, x, totalMean);
            ++n;
        }
        ArraySD[a] = SampleSD(sq, n);
    }
    TotalMean = totalMean;
    TotalSD = SampleSD(totalSq, total);

    // Gene statistics, row by row, four genes side by side.
    int g = 0;
    for (; g + 4 <= genes; g += 4)
        GeneStats<4>(rows + g, arrays, GeneMean + g, GeneSD + g);
    for (; g < genes; ++g)
        GeneStats<1>(rows + g, arrays, GeneMean + g, GeneSD + g);
}

// Both passes read the statistics as they stand at the start (they change only
// in the closing CalcStat), so each cell is independent and rows are walked in
// memory order. A standard deviation of 0 would divide by zero: such an array
// or gene is centred but left unscaled. Missing values are left as they are.
void cExprData::NormArrays(bool center, bool scale)
{
    for (int g = 0; g < nGenes; ++g) {
        float* row = Data[g];
        for (int a = 0; a < nArrays; ++a) {
            if (!IsPresent(row[a])) continue;
            if (center) row[a] = row[a] - ArrayMean[a];
            if (scale && ArraySD[a] != 0.0f) row[a] = row[a] / ArraySD[a];
        }
    }
    CalcStat();
}

void cExprData::NormGenes(bool center, bool scale)
{
    for (int g = 0; g < nGenes; ++g) {
        float* row = Data[g];
        const float mean = GeneMean[g];
        const float sd = GeneSD[g];
        for (int a = 0; a < nArrays; ++a) {
            if (!IsPresent(row[a])) continue;
            if (center) row[a] = row[a] - mean;
            if (scale && sd != 0.0f) row[a] = row[a] / sd;
        }
    }
    CalcStat();
}
