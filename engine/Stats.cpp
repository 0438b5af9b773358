// Summary statistics and the two normalization passes. Sums accumulate in the
// 32-bit result fields themselves, so every partial sum is rounded to float;
// differences, squares, quotients and roots are formed in double and rounded to
// float once when stored. The order of every accumulation is fixed: arrays
// then genes for the array and total statistics, genes then arrays for the
// gene statistics.
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

} // namespace

void cExprData::CalcStat()
{
    TotalMean = 0;
    TotalSD = 0;
    for (int a = 0; a < nArrays; ++a)
        ArrayMean[a] = ArraySD[a] = 0;
    for (int g = 0; g < nGenes; ++g)
        GeneMean[g] = GeneSD[g] = 0;

    // Array sums column by column, each added to the total as it completes.
    std::int64_t total = 0;
    for (int a = 0; a < nArrays; ++a) {
        std::int64_t n = 0;
        for (int g = 0; g < nGenes; ++g) {
            const float x = Data[g][a];
            if (!IsPresent(x)) continue;
            ArrayMean[a] += x;
            ++n;
        }
        TotalMean += ArrayMean[a];
        total += n;
        ArrayMean[a] = Mean(ArrayMean[a], n);
    }
    TotalMean = Mean(TotalMean, total);

    // Deviations in the same order; the total pools every present value.
    for (int a = 0; a < nArrays; ++a) {
        std::int64_t n = 0;
        for (int g = 0; g < nGenes; ++g) {
            const float x = Data[g][a];
            if (!IsPresent(x)) continue;
            AddSquare(ArraySD[a], x, ArrayMean[a]);
            AddSquare(TotalSD, x, TotalMean);
            ++n;
        }
        ArraySD[a] = SampleSD(ArraySD[a], n);
    }
    TotalSD = SampleSD(TotalSD, total);

    for (int g = 0; g < nGenes; ++g) {
        const float* row = Data[g];
        std::int64_t n = 0;
        for (int a = 0; a < nArrays; ++a) {
            if (!IsPresent(row[a])) continue;
            GeneMean[g] += row[a];
            ++n;
        }
        GeneMean[g] = Mean(GeneMean[g], n);
        for (int a = 0; a < nArrays; ++a)
            if (IsPresent(row[a])) AddSquare(GeneSD[g], row[a], GeneMean[g]);
        GeneSD[g] = SampleSD(GeneSD[g], n);
    }
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
