// The shipped co-expression computation: vector kernels over blocks of genes,
// rows shared among threads, results identical to CalcCEReference.
#pragma once

class cExprData;
class cCEMatrix;

#include <vector>

enum class CEIsa;

int CalcCEFast(cExprData& d, cCEMatrix* M, int p, float t);

// The correlation of every pair i < j as the given kernel computes it, at
// out[i * nGenes + j], one thread; false when memory is short. Lets tests
// compare each value, not only its truncated cell, with the definition.
bool CEKernelCorrelations(const cExprData& d, CEIsa isa, std::vector<double>& out);
