#include "Batch.h"

#include "CEMatrix.h"
#include "ExprData.h"
#include "Format.h"
#include "Memory.h"
#include "Writers.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

void Message(const std::string& text)
{
    std::fprintf(stderr, "korvalent-cli: %s\n", text.c_str());
}

std::string Quoted(const std::string& s)
{
    return "'" + s + "'";
}

// Shows the engine's progress as a bar on standard error when that is a
// terminal; the engine's own console texts (meant for a console that honours
// backspaces) are not used. Messages always go to standard error, never into
// the summary on standard output.
class cBatchData : public cExprData {
  public:
    explicit cBatchData(bool showProgress) : ShowProgress(showProgress)
    {
        OnProgress = [this](float percent, int) { ShowProgressBar(percent); };
        OnMessage = [this](const char* text) { ShowMessage(text); };
    }

    void BeginStep(const char* label)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Label = label;
        LastPercent = -1;
    }

    void EndStep()
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (LastPercent >= 0) std::fputc('\n', stderr);
        LastPercent = -1;
    }

    // Everything shown arrives through the typed hooks.
    void Print(const char*) override {}

  private:
    void ShowMessage(const char* text)
    {
        if (!text) return;
        std::lock_guard<std::mutex> lock(Mutex);
        if (LastPercent >= 0) std::fputc('\n', stderr);
        LastPercent = -1;
        Message(text);
    }

    void ShowProgressBar(float pr)
    {
        if (!ShowProgress) return;
        std::lock_guard<std::mutex> lock(Mutex);
        if (!(pr >= 0)) pr = 0;
        if (pr > 100) pr = 100;
        const int percent = static_cast<int>(pr);
        if (percent == LastPercent) return;
        LastPercent = percent;
        constexpr int Width = 40;
        const int filled = percent * Width / 100;
        char bar[Width + 1];
        for (int k = 0; k < Width; ++k)
            bar[k] = k < filled ? '#' : '.';
        bar[Width] = '\0';
        std::fprintf(stderr, "\r%s [%s] %3d%%", Label, bar, percent);
        std::fflush(stderr);
    }

    const bool ShowProgress;
    std::mutex Mutex;
    const char* Label = "";
    int LastPercent = -1;
};

// The batch tool's own files (matrix, genes, arrays) go through the engine's
// checked file, so their messages read like those of the engine's writers.
std::string WriteMatrix(const std::string& path, const cCEMatrix& M, int nGenes)
{
    cOutputFile f;
    if (std::string why = f.Create(path.c_str()); !why.empty()) return why;
    if (nGenes > 0 && !M.Empty()) {
        const std::size_t n = static_cast<std::size_t>(nGenes);
        // Row by row keeps every single write moderate in size.
        for (std::size_t i = 0; i < n; ++i)
            if (!f.Write(M.Row(static_cast<int>(i)), n)) break;
    }
    return f.Close();
}

std::string WriteGenes(const std::string& path, const cExprData& d)
{
    cOutputFile f;
    if (std::string why = f.Create(path.c_str()); !why.empty()) return why;
    std::fputs("index\tID\tnPresent\tmean\tsd\tnCE\tCELevel\tpattern\n", f.Stream());
    for (int g = 0; g < d.nGenes && !f.Failed(); ++g)
        std::fprintf(f.Stream(), "%d\t%s\t%u\t%.9g\t%.9g\t%d\t%.9g\t%d\n", g + 1, d.GeneID[g], d.nPresent[g],
                     double(d.GeneMean[g]), double(d.GeneSD[g]), d.nCE[g], double(d.CELevel[g]),
                     d.Pattern[g]);
    return f.Close();
}

std::string WriteArrays(const std::string& path, const cExprData& d)
{
    cOutputFile f;
    if (std::string why = f.Create(path.c_str()); !why.empty()) return why;
    std::fputs("index\tname\tmean\tsd\n", f.Stream());
    for (int a = 0; a < d.nArrays && !f.Failed(); ++a)
        std::fprintf(f.Stream(), "%d\t%s\t%.9g\t%.9g\n", a + 1, d.ArrayName[a], double(d.ArrayMean[a]),
                     double(d.ArraySD[a]));
    return f.Close();
}

// Reports a failed write; the writer's own text is used as it stands when it
// already names the file.
int WriteFailed(const std::string& path, const std::string& why)
{
    if (why.find(path) != std::string::npos)
        Message(why);
    else
        Message("Cannot write the file " + Quoted(path) + " (" + why + ").");
    return ExitFailure;
}

// An output that is the table, or that another output would replace, is
// refused whatever its spelling (links, "./", ".."): the file's identity
// counts. A device or pipe is exempt: nothing in it is replaced.
std::string SameFileConflict(const Options& o)
{
    struct Output {
        const char* option;
        const std::optional<std::string>& path;
    };
    const Output outputs[] = {{"--filtered", o.filtered},      {"--pairs", o.pairs},
                              {"--gene-list", o.geneListFile}, {"--pattern", o.patternFile},
                              {"--matrix", o.matrix},          {"--genes", o.genes},
                              {"--arrays", o.arrays}};
    const cFileIdentity table = IdentifyFile(o.table.c_str());
    std::vector<std::pair<const Output*, cFileIdentity>> seen;
    for (const Output& out : outputs) {
        if (!out.path) continue;
        const cFileIdentity id = IdentifyFile(out.path->c_str());
        const std::string named = std::string(out.option) + " " + Quoted(*out.path);
        if (!id.Stream && id.Key == table.Key)
            return named + " is the table " + Quoted(o.table) + "; nothing is written.";
        for (const auto& [other, otherId] : seen)
            if (!id.Stream && id.Key == otherId.Key)
                return std::string(other->option) + " " + Quoted(*other->path) + " and " + named +
                       " are the same file; nothing is written.";
        seen.emplace_back(&out, id);
    }
    return {};
}

void Normalize(cExprData& d, const Options& o)
{
    if (o.geneNorm.Any()) d.NormGenes(o.geneNorm.center, o.geneNorm.scale);
    if (o.arrayNorm.Any()) d.NormArrays(o.arrayNorm.center, o.arrayNorm.scale);
}

} // namespace

int RunBatch(const Options& o)
{
    if (const std::string why = SameFileConflict(o); !why.empty()) {
        Message(why);
        std::fprintf(stderr, "\n%s", UsageText());
        return ExitUsage;
    }

    cBatchData d(!o.quiet && ::isatty(STDERR_FILENO) == 1);
    d.nThreads = o.threads;

    const int values = d.Load(o.table.c_str());
    if (values < 0) {
        Message("Cannot load the table " + Quoted(o.table) + ". " + d.LoadMessage);
        return ExitFailure;
    }

    if (o.geneListFile && o.geneListNumber > d.nGenes) {
        Message("--gene-list gene number " + std::to_string(o.geneListNumber) + " is beyond the table's " +
                std::to_string(d.nGenes) + " genes");
        std::fprintf(stderr, "\n%s", UsageText());
        return ExitUsage;
    }

    Normalize(d, o);

    cCEMatrix M;
    if (!o.noCE && d.nGenes > 0) {
        // The matrix is backed only as it is written: one that does not fit in
        // the memory left would get the process killed part-way through.
        const std::uint64_t cells = std::uint64_t(d.nGenes) * std::uint64_t(d.nGenes);
        const std::string what = "the co-expression matrix of " + std::to_string(d.nGenes) + " genes";
        if (std::string why = MemoryShortfall(cells, what.c_str()); !why.empty()) {
            Message(why);
            return ExitFailure;
        }
        if (!M.Alloc(d.nGenes)) {
            const double bytes = double(d.nGenes) * double(d.nGenes);
            Message("Not enough memory for the co-expression matrix of " + std::to_string(d.nGenes) +
                    " genes (" + FormatGeneral(bytes, 15) + " bytes).");
            return ExitFailure;
        }
        d.BeginStep("co-expression   ");
        const int rc = d.CalcCE(&M, o.power, static_cast<float>(o.threshold));
        d.EndStep();
        if (rc < 0) {
            Message("The co-expression calculation did not complete.");
            return ExitFailure;
        }
        d.FindPatterns(&M);
        if (o.renew) {
            d.BeginStep("re-calculation  ");
            const int rrc = d.RenewCE(&M, o.renewPower, static_cast<float>(o.renewThreshold));
            d.EndStep();
            if (rrc < 0) {
                Message("The co-expression re-calculation did not complete.");
                return ExitFailure;
            }
            d.FindPatterns(&M);
        }
    }

    // The pattern file needs a gene that carries the pattern; refuse before any
    // file is written.
    if (o.patternFile) {
        bool carried = false;
        for (int g = 0; g < d.nGenes && !carried; ++g)
            carried = d.Pattern[g] == o.patternNumber;
        if (!carried) {
            Message("No gene carries pattern " + std::to_string(o.patternNumber) + " (" +
                    std::to_string(d.nPatterns) + " patterns found); nothing is written.");
            return ExitFailure;
        }
    }

    const int p = o.FinalPower();
    const double t = o.FinalThreshold();
    std::string why;
    if (o.filtered && !(why = WriteFilteredTable(o.filtered->c_str(), d, '.')).empty())
        return WriteFailed(*o.filtered, why);
    if (o.pairs && !(why = WritePairwiseCE(o.pairs->c_str(), d, M, p, t)).empty())
        return WriteFailed(*o.pairs, why);
    if (o.geneListFile &&
        !(why = WriteGeneList(o.geneListFile->c_str(), d, o.geneListNumber - 1, p, t, '.')).empty())
        return WriteFailed(*o.geneListFile, why);
    // Gene 1 is the chosen gene, as in the window right after a load.
    if (o.patternFile &&
        !(why = WritePatternFile(o.patternFile->c_str(), d, M, 0, o.patternNumber, p, t, '.')).empty())
        return WriteFailed(*o.patternFile, why);
    if (o.matrix && !(why = WriteMatrix(*o.matrix, M, d.nGenes)).empty()) return WriteFailed(*o.matrix, why);
    if (o.genes && !(why = WriteGenes(*o.genes, d)).empty()) return WriteFailed(*o.genes, why);
    if (o.arrays && !(why = WriteArrays(*o.arrays, d)).empty()) return WriteFailed(*o.arrays, why);

    std::printf("file: %s\n", o.table.c_str());
    std::printf("genes: %d\n", d.nGenes);
    std::printf("arrays: %d\n", d.nArrays);
    std::printf("values: %d\n", values);
    std::printf("missing: %s\n", MissingValuesText(d).c_str());
    std::printf("mean: %s\n", FormatFixed(d.TotalMean, 5, 5, '.').c_str());
    std::printf("sd: %s\n", FormatFixed(d.TotalSD, 5, 5, '.').c_str());
    if (!o.noCE) {
        std::printf("coexpressed genes: %d\n", d.nCEGenes);
        std::printf("patterns: %d\n", d.nPatterns);
    }

    // Release now, while a leak report still reaches our hook (standard error).
    d.Free();

    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Message(std::string("Cannot write the summary (") + std::strerror(errno ? errno : EIO) + ").");
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace cli
