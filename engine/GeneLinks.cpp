#include "GeneLinks.h"

#include "CEMatrix.h"
#include "ExprData.h"
#include "Numeric.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<float[]> Profile(const cExprData& d, int g)
{
    std::unique_ptr<float[]> r(new float[static_cast<std::size_t>(d.nGenes)]);
    d.CorrProfile(g, r.get());
    return r;
}

} // namespace

void CoexprProfile(const cExprData& d, int g, int p, double t, double* out)
{
    const int n = d.nGenes;
    if (out == nullptr || n <= 0) return;
    if (g < 0 || g >= n) g = 0;
    const std::unique_ptr<float[]> r = Profile(d, g);
    for (int k = 0; k < n; ++k) {
        const double v = IntPower(r[k], p);
        out[k] = std::isfinite(v) && std::fabs(v) > t ? v : 0.0;
    }
}

std::vector<int> DirectConnections(const cExprData& d, int g, int p, double t)
{
    std::vector<int> genes;
    if (g < 0 || g >= d.nGenes || p < 1 || !(std::isfinite(t) && t > 0)) return genes;
    const double cutoff = Pow(t, 1.0 / p);
    const std::unique_ptr<float[]> r = Profile(d, g);
    for (int k = 0; k < d.nGenes; ++k)
        if (k != g && static_cast<double>(r[k]) > cutoff) genes.push_back(k);
    return genes;
}

void ClearGene(cCEMatrix& M, int k)
{
    const int n = M.Size();
    if (M.Empty() || k < 0 || k >= n) return;
    std::memset(M.Row(k), 0, static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        M.At(i, k) = 0;
}

int KillDirectConnections(const cExprData& d, cCEMatrix& M, int g, int p, double t)
{
    if (M.Empty() || M.Size() != d.nGenes) return -1;
    if (g < 0 || g >= d.nGenes || p < 1 || !(std::isfinite(t) && t > 0)) return -1;
    const std::vector<int> genes = DirectConnections(d, g, p, t);
    // The same cells as ClearGene for each gene, but the columns are cleared
    // row by row: one pass over the matrix instead of one strided pass per
    // gene, which matters with hundreds of genes in a table of 20,000.
    const int n = M.Size();
    for (int k : genes)
        std::memset(M.Row(k), 0, static_cast<std::size_t>(n));
    if (!genes.empty())
        for (int i = 0; i < n; ++i) {
            std::int8_t* row = M.Row(i);
            for (int k : genes)
                row[k] = 0;
        }
    return static_cast<int>(genes.size());
}
