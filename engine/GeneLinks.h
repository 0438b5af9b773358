// What the gene tab computes from one selected gene: its co-expression with
// every gene of the table (fresh from the data), and the removal of its
// direct connections from the co-expression matrix.
#pragma once

#include <vector>

class cCEMatrix;
class cExprData;

// out[k] = r(g, k)^p when |r(g, k)^p| > t, else 0, for every gene k; r is the
// correlation profile of g (CorrProfile). A value without a finite magnitude
// (a negative power of a zero correlation) is 0: it cannot be drawn. out holds
// nGenes values; a gene index outside the table is taken as 0. Nothing is
// written for an empty table.
void CoexprProfile(const cExprData& d, int g, int p, double t, double* out);

// The genes k != g whose signed correlation with g exceeds the cut-off
// t^(1/p), in increasing order. Anti-correlated genes are never direct
// connections here, whatever the power.
std::vector<int> DirectConnections(const cExprData& d, int g, int p, double t);

// Sets every cell of row k and of column k to 0, the diagonal cell included.
void ClearGene(cCEMatrix& M, int k);

// Removes the direct connections of gene g from M (ClearGene for each) and
// returns how many genes were cleared. Returns -1 and changes nothing when the
// cut-off has no finite positive value (p < 1, t not above 0 or not finite),
// when g lies outside the table, or when M does not belong to the table.
int KillDirectConnections(const cExprData& d, cCEMatrix& M, int g, int p, double t);
