// Median and quartiles of the present values of each gene or array, computed
// when a view asks for them; the table keeps none.
#pragma once

#include <vector>

class cExprData;

struct cQuartiles {
    // One entry per gene or array; NaN where it has no present value.
    std::vector<double> Q1, Median, Q3;
};

// Quartiles of the first n values of v, all present; v is reordered. With
// h = (n - 1) q, the q-quantile is x[floor h] + (h - floor h)(x[floor h + 1] -
// x[floor h]) of the sorted values. Returns false (results NaN) for n == 0.
bool QuartilesOf(float* v, int n, double& q1, double& median, double& q3);

// Per gene, over its arrays.
cQuartiles GeneQuartiles(const cExprData& d);
// Per array, over its genes.
cQuartiles ArrayQuartiles(const cExprData& d);
