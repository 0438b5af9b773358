// The R actions with the real R: custom preprocessing with the default script and its failure
// paths, and the network layout job read back into the 3D view. Skipped where R is absent.
#include "r_helpers.h"

#include "engine/CEMatrix.h"
#include "engine/Numeric.h"
#include "engine/Writers.h"
#include "rjobs/RActions.h"
#include "rjobs/RJob.h"
#include "rjobs/Rparam.h"
#include "views/Scr3d.h"

#include <QDirIterator>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

using rtest::ReadFile;
using rtest::WriteFile;

namespace {

// The main window as the R actions see it, with the engine behind it.
struct EngineWindow {
    std::unique_ptr<cExprData> Data;
    std::unique_ptr<cCEMatrix> Matrix;
    QString Path, File, Out = "data.norm", Script = DefaultRNormText();
    QString RFolder;
    bool RAvailable = true;
    QStringList Messages; // "caption|text"
    QStringList Loaded, Saved;
    int BusyDepth = 0, BusyCalls = 0;

    bool Load(const QString& path)
    {
        auto d = std::make_unique<cExprData>();
        if (d->Load(QFile::encodeName(path).constData()) <= 0) return false;
        Data = std::move(d);
        Path = QFileInfo(path).absolutePath();
        File = QFileInfo(path).fileName();
        return true;
    }

    cRHost Host(const QString& start)
    {
        cRHost h;
        h.StartFolder = start;
        h.RFolder = &RFolder;
        h.RAvailable = &RAvailable;
        h.Data = [this] { return Data.get(); };
        h.Matrix = [this] { return Matrix.get(); };
        h.DataPath = [this] { return Path; };
        h.DataFile = [this] { return File; };
        h.OutName = [this] { return Out; };
        h.ScriptText = [this] { return Script; };
        h.Message = [this](const QString& c, const QString& t) { Messages << c + "|" + t; };
        h.Busy = [this](bool on) {
            BusyDepth += on ? 1 : -1;
            ++BusyCalls;
        };
        h.LoadPreset = [this](const QString& p) {
            Loaded << p;
            Load(p);
        };
        h.SaveFilteredPreset = [this](const QString& p) {
            Saved << p;
            WriteFilteredTable(QFile::encodeName(p).constData(), *Data, '.');
        };
        return h;
    }
};

const char* SmallTable = "ID\tName\tA1\tA2\tA3\n"
                         "gene1\tfirst gene\t1.5\t2.0\t3.25\n"
                         "gene2\tsecond gene\t10\t12\t9\n"
                         "gene3\tthird gene\t-4\t0.5\t2\n"
                         "gene4\tfourth gene\t7\t7.75\t100\n";

const QString NoResult =
    "No resulted file|The resulted file cannot be found. Perhaps an error occured when running "
    "R-script.";
const QString NoPca =
    "No resulted file|The resulted PCA-file cannot be found. Perhaps an error occured when running "
    "R-script.";

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(RPreprocessing, DefaultScriptNormalizesArraysAndTheResultIsLoaded)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, false);
    const QString table = tmp.path() + "/data/table.txt";
    WriteFile(table, SmallTable);

    EngineWindow w;
    w.RFolder = rFolder;
    ASSERT_TRUE(w.Load(table));
    const cExprData* before = w.Data.get();
    cRHost h = w.Host(start);
    TfmRParam dlg;
    rtest::WaitForJob(btRProcessingClick(h, &dlg));

    EXPECT_TRUE(w.Messages.isEmpty()) << w.Messages.join("\n").toStdString();
    ASSERT_EQ(w.Loaded, QStringList{tmp.path() + "/data/data.norm"});
    ASSERT_NE(w.Data.get(), before);
    EXPECT_EQ(w.File, "data.norm"); // a further run takes the result as its input
    EXPECT_EQ(w.BusyDepth, 0);
    EXPECT_GT(w.BusyCalls, 0);

    // Every array rescaled to the mean array mean and the root mean square of the array SDs.
    const double x[4][3] = {{1.5, 2.0, 3.25}, {10, 12, 9}, {-4, 0.5, 2}, {7, 7.75, 100}};
    double m[3], s[3], mTotal = 0, s2 = 0;
    for (int a = 0; a < 3; ++a) {
        m[a] = 0;
        for (int g = 0; g < 4; ++g)
            m[a] += x[g][a] / 4;
        double ss = 0;
        for (int g = 0; g < 4; ++g)
            ss += (x[g][a] - m[a]) * (x[g][a] - m[a]);
        s[a] = std::sqrt(ss / 3);
        mTotal += m[a] / 3;
        s2 += s[a] * s[a] / 3;
    }
    const cExprData& d = *w.Data;
    ASSERT_EQ(d.nGenes, 4);
    ASSERT_EQ(d.nArrays, 3);
    EXPECT_STREQ(d.GeneID[2], "gene3");
    EXPECT_STREQ(d.GeneName[3], "fourth gene");
    for (int g = 0; g < 4; ++g)
        for (int a = 0; a < 3; ++a) {
            const double want = std::sqrt(s2) * (x[g][a] - m[a]) / s[a] + mTotal;
            EXPECT_NEAR(d.Data[g][a], want, 1e-5 * std::max(1.0, std::fabs(want))) << g << "," << a;
        }

    // The script stays with CR LF lines, the job file is gone, mBat shows the job.
    const QByteArray script = ReadFile(start + "/scripts/temp.rdatanorm.r");
    EXPECT_TRUE(script.startsWith("##****"));
    EXPECT_EQ(script.count("\r\n"), 45);
    EXPECT_FALSE(QFileInfo::exists(start + "/scripts/run.sh"));
    const QStringList bat = dlg.mBat->toPlainText().split('\n');
    ASSERT_EQ(bat.size(), 18);
    EXPECT_EQ(bat[0], "export KORVALENT_DATAPATH='" + tmp.path() + "/data'");
    EXPECT_EQ(bat[17], "R_HOME='" + QDir::cleanPath(rFolder + "/..") + "' '" + rFolder +
                           "/Rcmd' BATCH --no-restore --no-save 'scripts/temp.rdatanorm.r'");
}

TEST(RPreprocessing, FailuresLeaveTheDataAlone)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, false);
    const QString table = tmp.path() + "/data/table.txt";
    WriteFile(table, SmallTable);

    struct Case {
        const char* what;
        QString script;
        QString out;
        bool stale;   // a file of that name is there from before
        QString said; // in the end of R's transcript, as the message shows it
    } cases[] = {
        {"script error", "stop('no luck')\n", "data.norm", false, "Error: no luck\nExecution halted"},
        {"writes another name", "write.table(1, file.path(Sys.getenv('KORVALENT_DATAPATH'), 'other'))\n",
         "data.norm", false, "> proc.time()"},
        {"stale result from an earlier run", "stop('no luck')\n", "data.norm", true, "Error: no luck"},
        {"empty output name", DefaultRNormText(), "", false, "Execution halted"},
    };
    const QString transcript = start + "/temp.rdatanorm.r.Rout";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWindow w;
        w.RFolder = rFolder;
        ASSERT_TRUE(w.Load(table));
        const cExprData* before = w.Data.get();
        w.Script = c.script;
        w.Out = c.out;
        QFile::remove(tmp.path() + "/data/data.norm");
        if (c.stale) WriteFile(tmp.path() + "/data/data.norm", QByteArray(SmallTable).replace("gene", "old"));
        cRHost h = w.Host(start);
        rtest::WaitForJob(btRProcessingClick(h, nullptr));
        // The message says where R's transcript is and shows how it ends.
        ASSERT_EQ(w.Messages.size(), 1);
        const QStringList shown = w.Messages[0].split('\n');
        EXPECT_EQ(shown[0], NoResult);
        EXPECT_EQ(shown.value(2), "R's transcript of the job is in " + transcript + ". It ends with:");
        QStringList lines = QString::fromLocal8Bit(rtest::ReadFile(transcript)).split('\n');
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        ASSERT_GE(lines.size(), 10);
        EXPECT_EQ(shown.mid(3), lines.mid(lines.size() - 10));
        EXPECT_TRUE(w.Messages[0].contains(c.said)) << w.Messages[0].toStdString();
        EXPECT_TRUE(w.Loaded.isEmpty());
        EXPECT_EQ(w.Data.get(), before);
        EXPECT_FALSE(QFileInfo::exists(start + "/scripts/run.sh"));
    }

    // The checks before any job: nothing is written.
    struct Pre {
        const char* what;
        bool data;
        QString rFolder;
        QString message;
    } pre[] = {
        {"no data", false, rFolder, "Error|Data file is not yet loaded"},
        {"no R", true, "", "Error|Cannot find Rcmd"},
        {"R folder without Rcmd", true, tmp.path(), "Error|Cannot find Rcmd"},
    };
    QDir(start + "/scripts").removeRecursively();
    QDir().mkpath(start + "/scripts");
    for (const Pre& p : pre) {
        SCOPED_TRACE(p.what);
        EngineWindow w;
        w.RFolder = p.rFolder;
        if (p.data) ASSERT_TRUE(w.Load(table));
        cRHost h = w.Host(start);
        rtest::WaitForJob(btRProcessingClick(h, nullptr));
        EXPECT_EQ(w.Messages, QStringList{p.message});
        EXPECT_TRUE(Entries(start + "/scripts").isEmpty());
    }

    // Without the scripts folder nothing can be written and nothing runs.
    QDir(start + "/scripts").removeRecursively();
    EngineWindow w;
    w.RFolder = rFolder;
    ASSERT_TRUE(w.Load(table));
    cRHost h = w.Host(start);
    rtest::WaitForJob(btRProcessingClick(h, nullptr));
    ASSERT_EQ(w.Messages.size(), 1);
    EXPECT_TRUE(
        w.Messages[0].startsWith("Error|Cannot write the file '" + start + "/scripts/temp.rdatanorm.r'"));
    EXPECT_TRUE(w.Loaded.isEmpty());
}

TEST(RPreprocessing, NoWorkspaceIsRestoredOrSaved)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, false);
    const QString table = tmp.path() + "/data/table.txt";
    WriteFile(table, SmallTable);
    // A workspace whose .First would run before the user's script, where the job runs and in the
    // scripts folder.
    const QString marker = tmp.path() + "/first-ran";
    const QStringList folders = {start, start + "/scripts"};
    for (const QString& folder : folders) {
        QProcess r;
        r.start(rFolder + "/Rscript", {"-e", ".First <- function() writeLines('ran', '" + marker +
                                                 "'); save(.First, file = '" + folder + "/.RData')"});
        ASSERT_TRUE(r.waitForFinished(60000));
        ASSERT_EQ(r.exitCode(), 0) << r.readAll().constData();
    }
    const QByteArray planted = ReadFile(start + "/.RData");
    ASSERT_FALSE(planted.isEmpty());
    ASSERT_FALSE(QFileInfo::exists(marker));

    EngineWindow w;
    w.RFolder = rFolder;
    ASSERT_TRUE(w.Load(table));
    cRHost h = w.Host(start);
    rtest::WaitForJob(btRProcessingClick(h, nullptr));
    EXPECT_TRUE(w.Messages.isEmpty()) << w.Messages.join("\n").toStdString();
    EXPECT_EQ(w.Loaded.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(marker)) << "a planted workspace ran its .First";
    EXPECT_EQ(ReadFile(start + "/.RData"), planted) << "the job saved its workspace over it";

    // Without a workspace there, the job leaves none behind.
    for (const QString& folder : folders)
        QFile::remove(folder + "/.RData");
    rtest::WaitForJob(btRProcessingClick(h, nullptr));
    EXPECT_EQ(w.Loaded.size(), 2);
    for (const QString& folder : folders)
        EXPECT_FALSE(QFileInfo::exists(folder + "/.RData")) << folder.toStdString();
}

TEST(RPreprocessing, FrontEndThatFailsBeforeRStartsShowsTheJobsOutput)
{
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, false);
    const QString table = tmp.path() + "/data/table.txt";
    WriteFile(table, SmallTable);
    WriteFile(tmp.path() + "/R/bin/Rcmd", "#!/bin/sh\necho 'cannot find the R binary' >&2\nexit 2\n", true);
    // A transcript of an earlier run is not this run's.
    WriteFile(start + "/temp.rdatanorm.r.Rout", "an old transcript\n");
    EngineWindow w;
    w.RFolder = tmp.path() + "/R/bin";
    ASSERT_TRUE(w.Load(table));
    cRHost h = w.Host(start);
    rtest::WaitForJob(btRProcessingClick(h, nullptr));
    ASSERT_EQ(w.Messages.size(), 1);
    const QString m = w.Messages[0];
    EXPECT_TRUE(m.startsWith(NoResult + "\n\nR wrote no transcript of the job (" + start +
                             "/temp.rdatanorm.r.Rout). The job's output ends with:\n"))
        << m.toStdString();
    EXPECT_TRUE(
        m.endsWith("Please, wait while the script is processing your data...\ncannot find the R binary"))
        << m.toStdString();
    EXPECT_FALSE(m.contains("an old transcript"));
    EXPECT_TRUE(w.Loaded.isEmpty());
}

TEST(RPreprocessing, HostileFolderAndFileNamesStayHarmless)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString odd = "it's $(touch PWNED1); `touch PWNED2` & \"x\" $HOME";
    const QString start = tmp.path() + "/program " + odd;
    rtest::MakeStartFolder(start, false);
    const QString table = tmp.path() + "/data " + odd + "/table " + odd + ".txt";
    WriteFile(table, SmallTable);

    EngineWindow w;
    w.RFolder = rFolder;
    ASSERT_TRUE(w.Load(table));
    w.Out = "out " + odd;
    cRHost h = w.Host(start);
    rtest::WaitForJob(btRProcessingClick(h, nullptr));
    EXPECT_TRUE(w.Messages.isEmpty()) << w.Messages.join("\n").toStdString();
    ASSERT_EQ(w.Loaded.size(), 1);
    EXPECT_EQ(w.File, "out " + odd);
    EXPECT_EQ(w.Data->nGenes, 4);

    QStringList stray;
    QDirIterator it(tmp.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        if (QFileInfo(it.next()).fileName().startsWith("PWNED")) stray << it.filePath();
    EXPECT_TRUE(stray.isEmpty()) << stray.join(", ").toStdString();
}

namespace {

// Eight genes, six of them co-expressed in two patterns; the pairs are set by hand.
const char* NetTable = "ID\tName\tA1\tA2\tA3\tA4\tA5\n"
                       "g1\tgene one\t1\t2\t3\t4\t5\n"
                       "g2\tgene two\t2\t4\t6\t8\t10\n" // g1 scaled: the same standardized profile
                       "g3\tgene three\t5\t4\t3\t2\t1\n"
                       "g4\tgene four\t1\t3\t2\t5\t4\n"
                       "g5\tgene five\t3\t3\t3\t3\t3\n"
                       "g6\tgene six\t1\tN\t3\tN\t5\n"
                       "g7\tgene seven\t2\t1\t2\t1\t2\n"
                       "g8\tgene eight\t9\t7\t8\t6\t5\n";

void SetPairs(EngineWindow& w)
{
    cExprData& d = *w.Data;
    w.Matrix = std::make_unique<cCEMatrix>();
    ASSERT_TRUE(w.Matrix->Alloc(d.nGenes));
    struct Pair {
        int a, b, v;
    } pairs[] = {{1, 0, 99}, {2, 0, -99}, {2, 1, -99}, {5, 0, 90}, {7, 3, -50}};
    for (const Pair& p : pairs) {
        w.Matrix->At(p.a, p.b) = static_cast<std::int8_t>(p.v);
        ++d.nCE[p.a];
        ++d.nCE[p.b];
    }
    const int pattern[8] = {1, 1, 1, 2, 0, 1, 0, 2};
    for (int g = 0; g < 8; ++g)
        d.Pattern[g] = pattern[g];
    d.nPatterns = 2;
}

} // namespace

TEST(RNetwork, LayoutIsReadBackIntoTheViewAndTheFilesGo)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, true);
    const QString table = tmp.path() + "/data/net.txt";
    WriteFile(table, NetTable);
    EngineWindow w;
    w.RFolder = rFolder;
    ASSERT_TRUE(w.Load(table));
    SetPairs(w);
    const QStringList scriptsBefore = Entries(start + "/scripts");

    TfmRParam dlg;
    TfmScr3D view;
    cRHost h = w.Host(start);
    rtest::WaitForJob(btNetworkClick(h, &dlg, &view));

    EXPECT_TRUE(w.Messages.isEmpty()) << w.Messages.join("\n").toStdString();
    EXPECT_EQ(w.Saved, QStringList{start + "/scripts/temp.genes4pca.txt"});
    EXPECT_EQ(Entries(start + "/scripts"), scriptsBefore);
    EXPECT_TRUE(view.isVisible());
    ASSERT_TRUE(view.ShowsNetwork());
    EXPECT_EQ(dlg.mBat->toPlainText().split('\n').value(17), "R_HOME='" + QDir::cleanPath(rFolder + "/..") +
                                                                 "' '" + rFolder +
                                                                 "/Rcmd' BATCH --no-restore --no-save "
                                                                 "'scripts/genes2pca.r'");

    // One node per co-expressed gene, in gene order, coloured by its pattern.
    const cScene3D& s = view.Scene;
    ASSERT_EQ(s.Nodes.size(), 6u);
    const int genes[6] = {0, 1, 2, 3, 5, 7};
    const int pattern[6] = {1, 1, 1, 2, 1, 2};
    double far = 0;
    for (int k = 0; k < 6; ++k) {
        EXPECT_TRUE(std::isfinite(s.Nodes[k].x) && std::isfinite(s.Nodes[k].y) &&
                    std::isfinite(s.Nodes[k].z));
        const cCoord c = PatternColor(pattern[k]);
        EXPECT_EQ(s.Colors[k].x, c.x) << "gene " << genes[k];
        EXPECT_EQ(s.Colors[k].y, c.y);
        EXPECT_EQ(s.Colors[k].z, c.z);
        far = std::max(far, s.Nodes[k].Length());
    }
    EXPECT_NEAR(far, 15.0, 1e-9);
    // The same standardized profile lies at the same place.
    EXPECT_NEAR(Distance(&s.Nodes[0], &s.Nodes[1]), 0.0, 1e-6);
    EXPECT_GT(Distance(&s.Nodes[0], &s.Nodes[2]), 1.0);

    // A line per co-expressed pair, red for positive, blue for negative.
    struct Link {
        int a, b, sign;
    } links[] = {{0, 1, 1}, {0, 2, -1}, {1, 2, -1}, {0, 4, 1}, {3, 5, -1}};
    ASSERT_EQ(s.Links.size(), std::size(links));
    for (const Link& l : links) {
        const auto it = std::find_if(s.Links.begin(), s.Links.end(),
                                     [&](const cScene3D::cLink& x) { return x.A == l.a && x.B == l.b; });
        ASSERT_NE(it, s.Links.end()) << l.a << "-" << l.b;
        EXPECT_EQ(it->Sign, l.sign);
    }
}

TEST(RNetwork, FailuresAndChecks)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    const QString table = tmp.path() + "/data/net.txt";
    WriteFile(table, NetTable);

    // No matrix: nothing at all.
    {
        rtest::MakeStartFolder(start, true);
        EngineWindow w;
        w.RFolder = rFolder;
        ASSERT_TRUE(w.Load(table));
        cRHost h = w.Host(start);
        TfmScr3D view;
        rtest::WaitForJob(btNetworkClick(h, nullptr, &view));
        EXPECT_TRUE(w.Messages.isEmpty());
        EXPECT_TRUE(w.Saved.isEmpty());
        EXPECT_FALSE(view.isVisible());
    }
    struct Pre {
        const char* what;
        QString rFolder;
        bool script;
        QString message;
    } pre[] = {
        {"no R", "", true, "Error|Cannot find Rcmd"},
        {"no layout script", rFolder, false, "Error|Cannot find genes2pca.r"},
    };
    for (const Pre& p : pre) {
        SCOPED_TRACE(p.what);
        QDir(start).removeRecursively();
        rtest::MakeStartFolder(start, p.script);
        EngineWindow w;
        w.RFolder = p.rFolder;
        ASSERT_TRUE(w.Load(table));
        SetPairs(w);
        cRHost h = w.Host(start);
        rtest::WaitForJob(btNetworkClick(h, nullptr, nullptr));
        EXPECT_EQ(w.Messages, QStringList{p.message});
        EXPECT_TRUE(w.Saved.isEmpty());
    }

    // A script that fails: the message, the job's input and job file stay, the view is not shown.
    // A result left over from an earlier run does not count.
    for (bool stale : {false, true}) {
        SCOPED_TRACE(stale ? "stale result" : "no result");
        QDir(start).removeRecursively();
        rtest::MakeStartFolder(start, false);
        WriteFile(start + "/scripts/genes2pca.r", "stop('no layout')\n");
        if (stale) WriteFile(start + "/scripts/temp.pca.txt", "ID\tPC1\tPC2\tPC3\n");
        EngineWindow w;
        w.RFolder = rFolder;
        ASSERT_TRUE(w.Load(table));
        SetPairs(w);
        cRHost h = w.Host(start);
        TfmScr3D view;
        rtest::WaitForJob(btNetworkClick(h, nullptr, &view));
        ASSERT_EQ(w.Messages.size(), 1);
        EXPECT_TRUE(w.Messages[0].startsWith(NoPca + "\n\nR's transcript of the job is in " + start +
                                             "/genes2pca.r.Rout. It ends with:\n"))
            << w.Messages[0].toStdString();
        EXPECT_TRUE(w.Messages[0].contains("Error: no layout\nExecution halted"))
            << w.Messages[0].toStdString();
        EXPECT_EQ(Entries(start + "/scripts"), (QStringList{"genes2pca.r", "run.sh", "temp.genes4pca.txt"}));
        EXPECT_FALSE(view.isVisible());
        EXPECT_FALSE(view.ShowsNetwork());
    }

    // A result that is not a layout: the reason in a message, the view not opened (no made-up scene
    // passes for the network), and the files go.
    struct Bad {
        const char* what;
        const char* write; // R lines writing the layout to f
        QString reason;
    } bad[] = {
        {"not a layout", "writeLines('not a layout', f)",
         "the first line is \"not a layout\", not the header ID, PC1, PC2, PC3 separated by tabs"},
        {"another gene", "writeLines(c('ID\\tPC1\\tPC2\\tPC3', 'g1\\t1\\t2\\t3', 'g3\\t1\\t2\\t3'), f)",
         "line 3 names the gene 'g3' where the table's co-expressed genes have 'g2'"},
        {"a value", "writeLines(c('ID\\tPC1\\tPC2\\tPC3', 'g1\\t1\\tNaN\\t3'), f)",
         "line 2: PC2 of 'g1' is \"NaN\", not a finite number"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        QDir(start).removeRecursively();
        rtest::MakeStartFolder(start, false);
        WriteFile(start + "/scripts/genes2pca.r",
                  QByteArray("f <- file.path(Sys.getenv('KORVALENT_DATAPATH'), "
                             "Sys.getenv('KORVALENT_DATANAMEOUT'))\n") +
                      b.write + "\n");
        EngineWindow w;
        w.RFolder = rFolder;
        ASSERT_TRUE(w.Load(table));
        SetPairs(w);
        cRHost h = w.Host(start);
        TfmScr3D view;
        rtest::WaitForJob(btNetworkClick(h, nullptr, &view));
        EXPECT_EQ(w.Messages, QStringList{"Error|The network layout could not be read: " + b.reason + "."});
        EXPECT_FALSE(view.isVisible());
        EXPECT_FALSE(view.ShowsNetwork());
        EXPECT_EQ(Entries(start + "/scripts"), QStringList{"genes2pca.r"});
        EXPECT_EQ(w.BusyDepth, 0);
    }
}

TEST(RNetwork, NoCoexpressedGeneGivesAnEmptyLayout)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, true);
    WriteFile(tmp.path() + "/net.txt", NetTable);
    EngineWindow w;
    w.RFolder = rFolder;
    ASSERT_TRUE(w.Load(tmp.path() + "/net.txt"));
    w.Matrix = std::make_unique<cCEMatrix>();
    ASSERT_TRUE(w.Matrix->Alloc(w.Data->nGenes));
    cRHost h = w.Host(start);
    TfmScr3D view;
    rtest::WaitForJob(btNetworkClick(h, nullptr, &view));
    EXPECT_TRUE(w.Messages.isEmpty()) << w.Messages.join("\n").toStdString();
    EXPECT_TRUE(view.ShowsNetwork());
    EXPECT_TRUE(view.Scene.Nodes.empty());
    EXPECT_TRUE(view.Scene.Links.empty());
}

TEST(RNetwork, ReadingTheLayoutFile)
{
    cExprData d;
    rtest::LoadText(d, NetTable);
    const int co[8] = {1, 1, 0, 0, 0, 2, 0, 0};
    for (int g = 0; g < 8; ++g)
        d.nCE[g] = co[g];
    QTemporaryDir tmp;
    const QString path = tmp.path() + "/pca.txt";
    struct Case {
        const char* what;
        QByteArray text;
        QString why; // empty: the layout is read
    } cases[] = {
        {"plain", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng2\t-1\t0\t0.5\ng6\t1e-3\t0\t0\n", ""},
        {"CR LF and quotes",
         "\"ID\"\t\"PC1\"\t\"PC2\"\t\"PC3\"\r\n\"g1\"\t1\t2\t3\r\ng2\t-1\t0\t0.5\r\ng6\t0\t0\t0\r\n", ""},
        {"trailing empty line", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng2\t-1\t0\t0.5\ng6\t0\t0\t0\n\n", ""},
        {"other header", "ID\tX\tY\tZ\ng1\t1\t2\t3\ng2\t-1\t0\t0.5\ng6\t0\t0\t0\n",
         "the first line is \"ID X Y Z\", not the header ID, PC1, PC2, PC3 separated by tabs"},
        {"a gene missing", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng6\t0\t0\t0\n",
         "line 3 names the gene 'g6' where the table's co-expressed genes have 'g2'"},
        {"one line too many", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng2\t-1\t0\t0.5\ng6\t0\t0\t0\ng7\t0\t0\t0\n",
         "line 5 names the gene 'g7', but the table has only 3 co-expressed genes"},
        {"too few lines", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng2\t-1\t0\t0.5\n",
         "it places 2 genes, but the table has 3 co-expressed genes"},
        {"not a number", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng2\tNA\t0\t0.5\ng6\t0\t0\t0\n",
         "line 3: PC1 of 'g2' is \"NA\", not a finite number"},
        {"infinite", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\t3\ng2\t0\t0\tInf\ng6\t0\t0\t0\n",
         "line 3: PC3 of 'g2' is \"Inf\", not a finite number"},
        {"three columns", "ID\tPC1\tPC2\tPC3\ng1\t1\t2\ng2\t-1\t0\t0.5\ng6\t0\t0\t0\n",
         "line 2 (\"g1 1 2\") has 3 fields, not 4"},
        {"empty file", "", "the file is empty"},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.text);
        QString why = "untouched";
        const std::optional<cNetworkLayout> l = ReadPcaLayout(path, d, &why);
        EXPECT_EQ(l.has_value(), c.why.isEmpty()) << c.what;
        if (l) {
            EXPECT_EQ(l->Genes, (std::vector<int>{0, 1, 5})) << c.what;
            EXPECT_EQ(l->Positions[0].y, 2.0);
            EXPECT_EQ(why, "untouched") << c.what;
        } else {
            EXPECT_EQ(why, c.why) << c.what;
        }
        // The reason is optional.
        EXPECT_EQ(ReadPcaLayout(path, d).has_value(), c.why.isEmpty()) << c.what;
    }
    QString why;
    EXPECT_FALSE(ReadPcaLayout(tmp.path() + "/missing.txt", d, &why).has_value());
    EXPECT_EQ(why, "cannot open '" + tmp.path() + "/missing.txt'");
}

TEST(RNetwork, LayoutScriptHandlesMissingValuesConstantGenesAndCommas)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path();
    rtest::MakeStartFolder(start, true);
    // As the filtered export writes it: quoted texts, NA for missing values, and on systems with a
    // decimal comma, commas.
    WriteFile(start + "/scripts/temp.genes4pca.txt",
              "\"ID\"\t\"Name\"\t\"A 1\"\t\"A1\"\t\"A1\"\t\"B#2\"\t\"C\"\r\n"
              "\"p1\"\t\"rising\"\t1,00000\t2,00000\t3,00000\t4,00000\t5,00000\r\n"
              "\"p2\"\t\"rising, doubled\"\t2.00000\t4.00000\t6.00000\t8.00000\t10.00000\r\n"
              "\"#3\"\t\"with a gap\"\t1.00000\tNA\t3.00000\t4.00000\t5.00000\r\n"
              "\"NA\"\t\"flat\"\t7.00000\t7.00000\t7.00000\t7.00000\t7.00000\r\n"
              "\"p5\"\t\"all missing\"\tNA\tNA\tNA\tNA\tNA\r\n"
              "\"p6\"\t\"falling\"\t5.00000\t4.00000\t3.00000\t1.2346E1\t1.00000\r\n"
              "\"p7\"\t\"one value\"\tNA\tNA\t3.00000\tNA\tNA\r\n");
    ASSERT_EQ(RunBatchJob(NetworkJob(start), start, rFolder, nullptr, nullptr), cRJobStatus::Finished);
    const QList<QByteArray> lines = rtest::ReadFile(start + "/scripts/temp.pca.txt").split('\n');
    ASSERT_EQ(lines.size(), 9); // header, seven genes, the end of the last line
    EXPECT_EQ(lines[0], "ID\tPC1\tPC2\tPC3");
    EXPECT_EQ(lines[8], "");
    const char* ids[7] = {"p1", "p2", "#3", "NA", "p5", "p6", "p7"};
    double pos[7][3];
    for (int g = 0; g < 7; ++g) {
        const QList<QByteArray> f = lines[g + 1].split('\t');
        ASSERT_EQ(f.size(), 4) << lines[g + 1].constData();
        EXPECT_EQ(f[0], ids[g]);
        for (int k = 0; k < 3; ++k) {
            bool ok = false;
            pos[g][k] = f[k + 1].toDouble(&ok);
            EXPECT_TRUE(ok && std::isfinite(pos[g][k])) << lines[g + 1].constData();
        }
    }
    const auto dist = [&](int a, int b) {
        return std::sqrt(Sqr(pos[a][0] - pos[b][0]) + Sqr(pos[a][1] - pos[b][1]) +
                         Sqr(pos[a][2] - pos[b][2]));
    };
    EXPECT_NEAR(dist(0, 1), 0.0, 1e-9); // the same standardized profile
    EXPECT_NEAR(dist(3, 4), 0.0, 1e-9); // flat, all missing and single-valued genes share a place
    EXPECT_NEAR(dist(3, 6), 0.0, 1e-9);
    EXPECT_GT(dist(0, 5), 1.0);        // rising and falling lie apart
    EXPECT_LT(dist(0, 2), dist(0, 5)); // the gap leaves p3 near its rising kin
}
