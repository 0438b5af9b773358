#include "Options.h"

#include "ExprData.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace cli {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Strips one leading '+', which std::from_chars does not accept; a sign may
// not be followed by another sign.
const char* SkipPlus(const std::string& text)
{
    const char* p = text.c_str();
    if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
    return p;
}

bool ParseMode(const std::string& text, NormMode& mode)
{
    if (text == "cs")
        mode = {true, true};
    else if (text == "c")
        mode = {true, false};
    else if (text == "s")
        mode = {false, true};
    else
        return false;
    return true;
}

std::string Quoted(const std::string& s)
{
    return "'" + s + "'";
}

} // namespace

bool ParseInteger(const std::string& text, int& value)
{
    const char* first = SkipPlus(text);
    const char* last = text.c_str() + text.size();
    const char* digits = *first == '-' ? first + 1 : first;
    if (digits == last || !IsDigit(*digits)) return false;
    int v = 0;
    auto [end, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || end != last) return false;
    value = v;
    return true;
}

bool ParseNumber(const std::string& text, double& value)
{
    const char* first = SkipPlus(text);
    const char* last = text.c_str() + text.size();
    const char* body = *first == '-' ? first + 1 : first;
    // Only decimal notation: no inf, nan or hexadecimal forms.
    if (body == last || !(IsDigit(*body) || (*body == '.' && body + 1 != last && IsDigit(body[1]))))
        return false;
    double v = 0;
    auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || end != last) return false;
    value = v;
    return true;
}

// The engine's rule for each value, the other one of the pair taken as good.
bool ValidPower(int p)
{
    return CEParametersProblem(p, 1.0).empty();
}

bool ValidThreshold(double t)
{
    return CEParametersProblem(1, t).empty();
}

ParseResult ParseArguments(const std::vector<std::string>& args)
{
    ParseResult r;
    Options& o = r.options;

    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") {
            o.help = true;
            return r;
        }
    }

    auto fail = [&r](std::string message) {
        r.error = std::move(message);
        return r;
    };

    bool haveTable = false;
    bool optionsEnded = false;
    const std::size_t n = args.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            if (haveTable)
                return fail("only one table may be given (" + Quoted(o.table) + ", " + Quoted(a) + ")");
            o.table = a;
            haveTable = true;
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }

        // Takes the value of the option `a`; false when none is left.
        std::string value;
        auto take = [&](std::string& out) {
            if (i + 1 >= n) return false;
            out = args[++i];
            return true;
        };
        auto needs = [&](const char* what) { return fail("option " + a + " needs " + what); };
        auto takeFile = [&](std::optional<std::string>& out) -> bool {
            std::string file;
            if (!take(file)) return false;
            out = file;
            return true;
        };

        if (a == "--gene-norm" || a == "--array-norm") {
            if (!take(value)) return needs("a mode (cs, c or s)");
            NormMode mode;
            if (!ParseMode(value, mode))
                return fail("invalid mode " + Quoted(value) + " for " + a + " (use cs, c or s)");
            (a == "--gene-norm" ? o.geneNorm : o.arrayNorm) = mode;
        } else if (a == "--normalize") {
            o.geneNorm = {true, true};
            o.arrayNorm = {true, true};
        } else if (a == "--no-ce") {
            o.noCE = true;
        } else if (a == "-p" || a == "--power") {
            if (!take(value)) return needs("a power");
            if (!ParseInteger(value, o.power))
                return fail("invalid power " + Quoted(value) + " (an integer)");
        } else if (a == "-t" || a == "--threshold") {
            if (!take(value)) return needs("a threshold");
            if (!ParseNumber(value, o.threshold))
                return fail("invalid threshold " + Quoted(value) + " (a number with a point)");
        } else if (a == "--renew") {
            std::string t;
            if (!take(value) || !take(t)) return needs("a power and a threshold");
            if (!ParseInteger(value, o.renewPower))
                return fail("invalid power " + Quoted(value) + " for --renew (an integer)");
            if (!ParseNumber(t, o.renewThreshold))
                return fail("invalid threshold " + Quoted(t) + " for --renew (a number with a point)");
            o.renew = true;
        } else if (a == "--filtered") {
            if (!takeFile(o.filtered)) return needs("a file name");
        } else if (a == "--pairs") {
            if (!takeFile(o.pairs)) return needs("a file name");
        } else if (a == "--gene-list") {
            if (!take(value) || !takeFile(o.geneListFile)) return needs("a gene number and a file name");
            if (!ParseInteger(value, o.geneListNumber))
                return fail("invalid gene number " + Quoted(value) + " (an integer)");
        } else if (a == "--pattern") {
            if (!take(value) || !takeFile(o.patternFile)) return needs("a pattern number and a file name");
            if (!ParseInteger(value, o.patternNumber))
                return fail("invalid pattern number " + Quoted(value) + " (an integer)");
        } else if (a == "--matrix") {
            if (!takeFile(o.matrix)) return needs("a file name");
        } else if (a == "--genes") {
            if (!takeFile(o.genes)) return needs("a file name");
        } else if (a == "--arrays") {
            if (!takeFile(o.arrays)) return needs("a file name");
        } else if (a == "--threads") {
            if (!take(value)) return needs("a thread count");
            if (!ParseInteger(value, o.threads) || o.threads < 0)
                return fail("invalid thread count " + Quoted(value) + " (0 or more)");
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else {
            return fail("unknown option " + Quoted(a));
        }
    }

    // Values are checked once the last one of each option is known.
    if (!haveTable) return fail("no table given");
    // Above the engine's limit its own sentence is shown, as in the window.
    if (o.power > MaxCEPower) return fail(CEParametersProblem(o.power, 1.0));
    if (!ValidPower(o.power))
        return fail("the power must be 1 or more (got " + std::to_string(o.power) + ")");
    if (!ValidThreshold(o.threshold))
        return fail("the threshold must be above 0 and finite as a 32-bit float");
    if (o.renew) {
        if (o.renewPower > MaxCEPower) return fail("--renew: " + CEParametersProblem(o.renewPower, 1.0));
        if (!ValidPower(o.renewPower))
            return fail("the --renew power must be 1 or more (got " + std::to_string(o.renewPower) + ")");
        if (!ValidThreshold(o.renewThreshold))
            return fail("the --renew threshold must be above 0 and finite as a 32-bit float");
    }
    if (o.geneListFile && o.geneListNumber < 1)
        return fail("the --gene-list gene number must be 1 or more (got " + std::to_string(o.geneListNumber) +
                    ")");
    for (const std::optional<std::string>* f :
         {&o.filtered, &o.pairs, &o.geneListFile, &o.patternFile, &o.matrix, &o.genes, &o.arrays})
        if (*f && (*f)->empty()) return fail("an output file name is empty");
    if (o.noCE) {
        const char* conflict = o.matrix         ? "--matrix"
                               : o.filtered     ? "--filtered"
                               : o.pairs        ? "--pairs"
                               : o.geneListFile ? "--gene-list"
                               : o.patternFile  ? "--pattern"
                               : o.renew        ? "--renew"
                                                : nullptr;
        if (conflict) return fail(std::string("--no-ce cannot be combined with ") + conflict);
    }
    return r;
}

const char* UsageText()
{
    return "Usage: korvalent-cli TABLE [options]\n"
           "\n"
           "Loads an expression table, optionally normalizes it, computes the co-expression\n"
           "matrix and its patterns, writes the requested files and prints a summary.\n"
           "Options may stand before or after TABLE; a repeated option's last value wins.\n"
           "\n"
           "Normalization (the gene pass runs first):\n"
           "  --gene-norm MODE     between-gene pass: cs (centre and scale), c (centre), s (scale)\n"
           "  --array-norm MODE    between-array pass, same modes\n"
           "  --normalize          both passes with cs (a later --gene-norm/--array-norm overrides)\n"
           "\n"
           "Co-expression:\n"
           "  -p, --power P        correlation power, an integer from 1 to 1000 (default 1)\n"
           "  -t, --threshold T    filtering threshold above 0, with a point (default 0.9)\n"
           "  --renew P T          then re-filter the stored correlations with P and T\n"
           "  --no-ce              skip co-expression (not with the co-expression files or --renew)\n"
           "  --threads N          worker threads; 0 uses every hardware thread (default)\n"
           "\n"
           "Files, written in this order (the writers use the last power and threshold):\n"
           "  --filtered FILE      the genes with a co-expressed partner, as an expression table\n"
           "  --pairs FILE         every co-expressed pair\n"
           "  --gene-list N FILE   the genes co-expressed with gene N (1-based)\n"
           "  --pattern K FILE     the genes of pattern K (listed from gene 1)\n"
           "  --matrix FILE        the matrix as raw signed bytes, row 0 first, no header\n"
           "  --genes FILE         per gene: index, ID, nPresent, mean, sd, nCE, CELevel, pattern\n"
           "  --arrays FILE        per array: index, name, mean, sd\n"
           "\n"
           "Other:\n"
           "  -q, --quiet          no progress display\n"
           "  -h, --help           show this text\n"
           "\n"
           "The summary goes to standard output: file, genes, arrays, values, missing, mean, sd,\n"
           "then coexpressed genes and patterns unless --no-ce is given.\n"
           "Exit status: 0 success, 1 the table cannot be loaded or a file cannot be written,\n"
           "2 bad arguments.\n";
}

} // namespace cli
