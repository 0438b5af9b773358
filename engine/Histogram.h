// Value histogram over a band of k standard deviations around the mean of all
// values, of one gene or of one array.
#pragma once

#include <vector>

class cExprData;

enum class eHistSource { All, Gene, Array };

struct cHistogram {
    double Low = 0, High = 0;
    std::vector<unsigned> Counts; // one counter per bin
    unsigned Outliers = 0;        // present values outside every bin
    unsigned nBins() const { return static_cast<unsigned>(Counts.size()); }
    // Centre of bin b: Low + (b + 0.5) (High - Low) / n.
    double BinCentre(int b) const;
};

// Counts the present values of the selection (index: the gene or array; ignored
// for All) into nBins bins between mean - k sd and mean + k sd. A value v goes
// to bin trunc((v - low) / (high - low) n), or counts as an outlier when that
// falls outside 0..n-1. Returns false, counting nothing, when the range is
// empty or not finite (high equal to low, or an infinite bound), when nBins is
// below 1, or when the index lies outside the table.
bool CountHistogram(const cExprData& d, eHistSource src, int index, double k, int nBins, cHistogram& h);
