// Command line of the batch tool: what to load, which steps to run and which
// files to write. Parsing only; the run itself is in Batch.h.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit statuses of the batch tool.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1; // the table cannot be loaded or a file cannot be written
constexpr int ExitUsage = 2;   // bad arguments

struct NormMode {
    bool center = false;
    bool scale = false;
    bool Any() const { return center || scale; }
};

struct Options {
    std::string table;
    NormMode geneNorm;
    NormMode arrayNorm;
    bool noCE = false;

    int power = 1;
    double threshold = 0.9; // as typed; the calculation uses its 32-bit float
    bool renew = false;
    int renewPower = 1;
    double renewThreshold = 0.9;

    std::optional<std::string> filtered;
    std::optional<std::string> pairs;
    std::optional<std::string> geneListFile;
    int geneListNumber = 0; // 1-based
    std::optional<std::string> patternFile;
    int patternNumber = 0;
    std::optional<std::string> matrix;
    std::optional<std::string> genes;
    std::optional<std::string> arrays;

    int threads = 0; // 0: every hardware thread
    bool quiet = false;
    bool help = false;

    // Power and threshold in force after every calculation step.
    int FinalPower() const { return renew ? renewPower : power; }
    double FinalThreshold() const { return renew ? renewThreshold : threshold; }
};

struct ParseResult {
    Options options;
    std::string error; // empty when the arguments are valid
};

// Options may stand before or after TABLE; a repeated option's last value wins;
// "--" ends the options. With --help anywhere the rest is not checked.
ParseResult ParseArguments(const std::vector<std::string>& args);

// An optional sign and decimal digits, the whole text, within int range.
bool ParseInteger(const std::string& text, int& value);
// A decimal number with a point (optional sign, exponent), the whole text,
// read independently of the locale.
bool ParseNumber(const std::string& text, double& value);

// A threshold is usable when its 32-bit float is finite and above 0.
bool ValidThreshold(double t);

const char* UsageText();

} // namespace cli
