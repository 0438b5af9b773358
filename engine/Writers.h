// Text-file writers for the exported results. Every line ends with CR LF.
// Each writer returns an empty string on success, otherwise a message for the user.
#pragma once

#include <string>

class cExprData;
class cCEMatrix;

// Filtered expression table: the genes with nCE > 0.
std::string WriteFilteredTable(const char* path, const cExprData& d, char sep = '.');
// Every co-expressed pair (lower cell != 0). p and t are reported in the header.
std::string WritePairwiseCE(const char* path, const cExprData& d, const cCEMatrix& M, int p, double t);
// Genes whose correlation with `gene` passes Pow(t, 1/p), recomputed from the data.
std::string WriteGeneList(const char* path, const cExprData& d, int gene, int p, double t, char sep = '.');
// Genes of one pattern, with the stored matrix entries.
std::string WritePatternFile(const char* path, const cExprData& d, const cCEMatrix& M, int gene,
                             int pattern, int p, double t, char sep = '.');

// The text between " [" and the name's last character (empty without " [").
std::string RefSeqText(const char* name);
