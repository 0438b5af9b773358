// The co-expression computation in its plain per-pair form, the oracle for
// tests and benchmarks. The pieces it shares with the fast path are in
// ce_steps.h.
#pragma once

#include "ce_steps.h"

class cExprData;
class cCEMatrix;

// Pearson correlation of genes a and b exactly as defined: clamped indices,
// fewer than 3 present values or common arrays give 0, two passes in double in
// array order, a zero centred sum of squares gives 0, the result within [-1, 1].
double CorrReference(const cExprData& d, int a, int b);

// CalcCE done pair by pair in the defined order, with the same Print sequence,
// results and refusals as cExprData::CalcCE.
int CalcCEReference(cExprData& d, cCEMatrix* M, int p, float t);
