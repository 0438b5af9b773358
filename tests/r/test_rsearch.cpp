// Finding R's front end: the recursive search, its order, the start-up discovery and the dialog.
#include "r_helpers.h"

#include "rjobs/RActions.h"
#include "rjobs/Rparam.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using rtest::WriteFile;

TEST(RSearch, SeparatorFunctions)
{
    struct Case {
        const char* in;
        const char* toBack;
        const char* toSlash;
    } cases[] = {
        {"", "", ""},
        {"C:/Program Files/R", "C:\\Program Files\\R", "C:/Program Files/R"},
        {"a\\b/c\\\\d", "a\\b\\c\\\\d", "a/b/c//d"},
        {"no separators", "no separators", "no separators"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SlashToBackslash(c.in), QString(c.toBack)) << c.in;
        EXPECT_EQ(BackslashToSlash(c.in), QString(c.toSlash)) << c.in;
    }
    // Here a backslash is part of a file name and must survive in paths handed to R.
    EXPECT_EQ(RPathText("/data/odd\\name"), QString("/data/odd\\name"));
    EXPECT_EQ(NativeSeparators("/data/odd\\name"), QString("/data/odd\\name"));
}

class RSearchTree : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path() + "/R";
    }
    QTemporaryDir tmp;
    QString root;
};

TEST_F(RSearchTree, FolderHitsComeFirstThenSubFoldersDepthFirstByName)
{
    WriteFile(root + "/Rcmd", "x", true);
    WriteFile(root + "/b/bin/Rcmd", "x", true);
    WriteFile(root + "/a/bin/Rcmd", "x", true);
    WriteFile(root + "/a/bin/deeper/Rcmd", "x", true);
    QDir().mkpath(root + "/a/Rcmd");  // a folder with the name is a hit like a file
    WriteFile(root + "/a/rcmd", "x"); // other case: no hit
    WriteFile(root + "/c/Rcmd.bak", "x");
    WriteFile(root + "/.hidden/Rcmd", "x");

    QString acc;
    SearchFile(acc, root, "Rcmd", true);
    const QString R = root;
    EXPECT_EQ(acc, ";" + R + "/Rcmd;" + R + "/.hidden/Rcmd;" + R + "/a/Rcmd;" + R + "/a/bin/Rcmd;" + R +
                       "/a/bin/deeper/Rcmd;" + R + "/b/bin/Rcmd");

    QString flat = "kept";
    SearchFile(flat, root, "Rcmd", false);
    EXPECT_EQ(flat, "kept;" + R + "/Rcmd");

    QString wild;
    SearchFile(wild, root + "/c", "Rcmd.*", true);
    EXPECT_EQ(wild, ";" + R + "/c/Rcmd.bak");

    QString none;
    SearchFile(none, root + "/missing", "Rcmd", true);
    EXPECT_EQ(none, "");
}

TEST_F(RSearchTree, LastFileHitWins)
{
    WriteFile(root + "/Rcmd", "x", true);
    WriteFile(root + "/4.1/bin/Rcmd", "x", true);
    WriteFile(root + "/4.3/bin/Rcmd", "x", true);
    cRDiscovery d = DiscoverR({{root, true}});
    EXPECT_TRUE(d.Found);
    EXPECT_EQ(d.RFolder, root + "/4.3/bin");

    // A folder named like the front end cannot be run: the last file hit before it wins.
    QDir().mkpath(root + "/zz/Rcmd");
    d = DiscoverR({{root, true}});
    EXPECT_EQ(d.RFolder, root + "/4.3/bin");

    // Roots are searched in order; a hit in a later root wins over every earlier one.
    const QString other = tmp.path() + "/other";
    WriteFile(other + "/Rcmd", "x", true);
    d = DiscoverR({{other, false}, {root, true}});
    EXPECT_EQ(d.RFolder, root + "/4.3/bin");
    d = DiscoverR({{root, true}, {other, false}});
    EXPECT_EQ(d.RFolder, other);

    d = DiscoverR({{tmp.path() + "/nothing", true}});
    EXPECT_FALSE(d.Found);
    EXPECT_EQ(d.RFolder, "");
}

TEST_F(RSearchTree, LinkLoopsEndAndUnreadableFoldersArePassedOver)
{
    WriteFile(root + "/bin/Rcmd", "x", true);
    ASSERT_TRUE(QFile::link(root, root + "/loop"));
    ASSERT_TRUE(QFile::link(root + "/bin/Rcmd", root + "/Rcmd"));
    QString acc;
    SearchFile(acc, root, "Rcmd", true);
    // The linked front end is reported; the link back to the root is not followed.
    EXPECT_EQ(acc, ";" + root + "/Rcmd;" + root + "/bin/Rcmd");

    if (::geteuid() != 0) {
        WriteFile(root + "/zlocked/Rcmd", "x", true);
        QFile::setPermissions(root + "/zlocked", QFileDevice::Permissions());
        QString locked;
        SearchFile(locked, root, "Rcmd", true);
        EXPECT_EQ(locked, acc);
        QFile::setPermissions(root + "/zlocked",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

TEST_F(RSearchTree, EnvironmentReplacesTheSearchRoots)
{
    qputenv("KORVALENT_R_ROOTS", (root + ":" + tmp.path() + "/second").toLocal8Bit());
    const QList<cRSearchRoot> roots = RSearchRoots();
    ASSERT_EQ(roots.size(), 2);
    EXPECT_EQ(roots[0].Folder, root);
    EXPECT_EQ(roots[1].Folder, tmp.path() + "/second");
    EXPECT_TRUE(roots[0].Recursive && roots[1].Recursive);

    qputenv("KORVALENT_R_ROOTS", "");
    EXPECT_TRUE(RSearchRoots().isEmpty());

    qunsetenv("KORVALENT_R_ROOTS");
    const QList<cRSearchRoot> defaults = RSearchRoots();
    ASSERT_GE(defaults.size(), 3);
    EXPECT_EQ(defaults[0].Folder, "/usr/lib/R");
    EXPECT_EQ(defaults[1].Folder, "/usr/local/lib/R");
    EXPECT_EQ(defaults[2].Folder, "/opt/R");
}

TEST(RSearch, FolderOfABrowsedFile)
{
    struct Case {
        const char* chosen;
        const char* path;
    } cases[] = {
        {"/opt/R/4.3/bin/Rcmd", "/opt/R/4.3/bin"},
        // The name is looked for as the file's name, not anywhere in the path.
        {"/home/u/Rcmdtools/bin/Rcmd", "/home/u/Rcmdtools/bin"},
        {"/Rcmd", "/"},
        {"/opt/R/bin/rcmd", "/opt/R/bin/rcmd"},
        {"/opt/R/bin/Rcmd.old", "/opt/R/bin/Rcmd.old"},
        {"/opt/Rcmd/bin/R", "/opt/Rcmd/bin/R"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderOfChosenRcmd(c.chosen), QString(c.path)) << c.chosen;
}

// The main window's side of the R state, as the actions see it.
struct FakeWindow {
    QString RFolder = "stale";
    bool RAvailable = false;
    QStringList Log;
    int Glyph = -1; // 1 found, 0 not found, -1 never set
    cRHost Host()
    {
        cRHost h;
        h.StartFolder = "/nonexistent";
        h.RFolder = &RFolder;
        h.RAvailable = &RAvailable;
        h.Log = [this](const QString& t) { Log << t; };
        h.SetRGlyph = [this](bool found) { Glyph = found ? 1 : 0; };
        return h;
    }
};

namespace {

// Stand-ins for R's front end as the check runs it: BATCH --no-restore --no-save script, in the
// check's folder, with the transcript beside the script.
const char* RunsFine =
    "#!/bin/sh\n"
    "[ \"$1 $2 $3\" = 'BATCH --no-restore --no-save' ] || exit 9\n"
    "printf '> cat(...)\\nKorvalent R check: R version 9.9.9 (fake)\\n' > \"${4%.R}.Rout\"\n";
const char* FailsInBatch = "#!/bin/sh\n"
                           "echo 'sh: 1: /opt/my: not found' > \"${4%.R}.Rout\"\n"
                           "exit 127\n";
const char* RunsNoScript = "#!/bin/sh\necho 'R version 9.9.9' > \"${4%.R}.Rout\"\n";
const QByteArray SlowButRuns = QByteArray("#!/bin/sh\nsleep 1\n") + QByteArray(RunsFine).mid(10);
const char* Hangs = "#!/bin/sh\nsleep 30 &\necho $! > \"$KORVALENT_TEST_LOG\"\nwait\n";

bool Gone(pid_t pid)
{
    if (::kill(pid, 0) != 0) return true;
    const QByteArray stat = rtest::ReadFile(QString("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

} // namespace

TEST_F(RSearchTree, CandidatesComeLastHitFirstEachFolderOnce)
{
    WriteFile(root + "/4.1/bin/Rcmd", "x", true);
    WriteFile(root + "/4.3/bin/Rcmd", "x", true);
    QDir().mkpath(root + "/zz/Rcmd"); // a folder cannot run
    const QString other = tmp.path() + "/other";
    WriteFile(other + "/Rcmd", "x", true);
    EXPECT_EQ(RFolderCandidates({{root, true}, {other, false}, {root + "/4.1/bin", false}}),
              (QStringList{root + "/4.1/bin", other, root + "/4.3/bin"}));
    EXPECT_TRUE(RFolderCandidates({{tmp.path() + "/nothing", true}}).isEmpty());
}

TEST_F(RSearchTree, ProbeTakesTheFirstFolderThatRunsAndSaysWhyOthersDoNot)
{
    const QString log = tmp.path() + "/hang.pid";
    qputenv("KORVALENT_TEST_LOG", log.toLocal8Bit());
    struct Front {
        const char* folder;
        const char* script; // null: a file that is no program
    } fronts[] = {
        {"hangs", Hangs},   {"batch fails", FailsInBatch}, {"no script", RunsNoScript}, {"garbage", nullptr},
        {"good", RunsFine}, {"good too", RunsFine},
    };
    QStringList folders;
    for (const Front& f : fronts) {
        folders << root + "/" + f.folder + "/bin";
        WriteFile(folders.last() + "/Rcmd", f.script ? f.script : "\x7f\x01\x02 not a program (", true);
    }
    cRProbe probe(folders);
    probe.TimeoutMs = 1000;
    probe.Start();
    ASSERT_TRUE(rtest::WaitForJob(&probe));
    EXPECT_EQ(probe.Folder(), root + "/good/bin");
    EXPECT_EQ(probe.Version(), "R version 9.9.9 (fake)");
    const auto skipped = probe.Skipped();
    ASSERT_EQ(skipped.size(), 4);
    const QString reasons[] = {
        "it did not finish within 1 s",
        "it ended with exit code 127: sh: 1: /opt/my: not found",
        "it did not run a test script: R version 9.9.9",
        "it ended with exit code 126",
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(skipped[i].first, folders[i]);
        EXPECT_TRUE(skipped[i].second.startsWith(reasons[i])) << skipped[i].second.toStdString();
    }
    // The check out of time was ended with everything it started.
    const pid_t child = rtest::ReadFile(log).trimmed().toInt();
    ASSERT_GT(child, 0);
    QElapsedTimer t;
    t.start();
    while (!Gone(child) && t.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_TRUE(Gone(child));
    qunsetenv("KORVALENT_TEST_LOG");

    cRProbe none(QStringList{});
    none.Start();
    EXPECT_TRUE(none.Ended());
    EXPECT_EQ(none.Folder(), "");
}

TEST_F(RSearchTree, StartUpDiscoveryLogsAndSetsTheStateWithoutBlocking)
{
    // The last hit cannot run; the one before it, which takes a while to answer, can.
    WriteFile(root + "/4.3/bin/Rcmd", SlowButRuns, true);
    WriteFile(root + "/5.0/bin/Rcmd", FailsInBatch, true);
    qputenv("KORVALENT_R_ROOTS", root.toLocal8Bit());
    FakeWindow w;
    cRHost h = w.Host();
    QElapsedTimer clock;
    clock.start();
    QPointer<cJob> job = SearchR(h);
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_TRUE(job);
    EXPECT_FALSE(job->Ended());
    EXPECT_EQ(w.RFolder, "");
    EXPECT_FALSE(w.RAvailable);
    ASSERT_TRUE(rtest::WaitForJob(job));
    EXPECT_EQ(w.RFolder, root + "/4.3/bin");
    EXPECT_TRUE(w.RAvailable);
    EXPECT_EQ(w.Glyph, 1);
    EXPECT_EQ(w.Log, (QStringList{"R in " + root +
                                      "/5.0/bin is passed over: it ended with exit code 127: sh: 1: /opt/my: "
                                      "not found.",
                                  "Rcmd is found in a default R folder: " + root + "/4.3/bin"}));
    QCoreApplication::processEvents();
    EXPECT_FALSE(job) << "the check goes when it has ended";

    // Nothing that runs: the state says so.
    QDir(root + "/4.3").removeRecursively();
    FakeWindow n;
    cRHost hn = n.Host();
    rtest::WaitForJob(SearchR(hn));
    EXPECT_EQ(n.RFolder, "");
    EXPECT_FALSE(n.RAvailable);
    EXPECT_EQ(n.Glyph, 0);
    ASSERT_EQ(n.Log.size(), 2);
    EXPECT_EQ(n.Log[1],
              "Cannot find a default R folder. Choose it manualy of use Korvalent without some functions.");

    // Nothing found at all: said at once.
    qputenv("KORVALENT_R_ROOTS", (tmp.path() + "/none").toLocal8Bit());
    FakeWindow e;
    cRHost he = e.Host();
    EXPECT_TRUE(SearchR(he)->Ended());
    EXPECT_EQ(e.Glyph, 0);
    EXPECT_EQ(e.Log.size(), 1);

    // A folder chosen by hand while the check ran stands.
    WriteFile(root + "/4.3/bin/Rcmd", SlowButRuns, true);
    qputenv("KORVALENT_R_ROOTS", root.toLocal8Bit());
    FakeWindow m;
    cRHost hm = m.Host();
    QPointer<cJob> check = SearchR(hm);
    m.RFolder = "/chosen/bin";
    m.RAvailable = true;
    rtest::WaitForJob(check);
    EXPECT_EQ(m.RFolder, "/chosen/bin");
    EXPECT_EQ(m.Glyph, -1);
    qunsetenv("KORVALENT_R_ROOTS");
}

TEST_F(RSearchTree, RealRUnderAFolderNameWithABlankIsPassedOver)
{
    REQUIRE_R(rFolder);
    // The same installation reached through two folders; only the one without a blank can run
    // jobs, since R's own start scripts split its home at the blank.
    const QString rHome = QDir::cleanPath(rFolder + "/..");
    const QString good = root + "/a/R", bad = root + "/z/my R";
    for (const QString& home : {good, bad}) {
        QDir().mkpath(home + "/bin");
        for (const QString& entry : QDir(rHome).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            if (entry != "bin") ASSERT_TRUE(QFile::link(rHome + "/" + entry, home + "/" + entry));
        for (const QString& entry : QDir(rFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            ASSERT_TRUE(QFile::link(rFolder + "/" + entry, home + "/bin/" + entry));
    }
    qputenv("KORVALENT_R_ROOTS", root.toLocal8Bit());
    ASSERT_EQ(RFolderCandidates(RSearchRoots()), (QStringList{bad + "/bin", good + "/bin"}));
    FakeWindow w;
    cRHost h = w.Host();
    ASSERT_TRUE(rtest::WaitForJob(SearchR(h)));
    qunsetenv("KORVALENT_R_ROOTS");
    EXPECT_EQ(w.RFolder, good + "/bin");
    EXPECT_TRUE(w.RAvailable);
    ASSERT_EQ(w.Log.size(), 2) << w.Log.join("\n").toStdString();
    EXPECT_TRUE(w.Log[0].startsWith("R in " + bad + "/bin is passed over: it ended with exit code"))
        << w.Log[0].toStdString();
    EXPECT_EQ(w.Log[1], "Rcmd is found in a default R folder: " + good + "/bin");
}

namespace {

// Closes the modal dialog, once it runs, with the given button.
void ClickWhenShown(TfmRParam* dlg, QPushButton* button, const QString& typed = QString(), bool type = false)
{
    QTimer::singleShot(0, dlg, [=] {
        if (type) dlg->edPath->setText(typed);
        button->click();
    });
}

} // namespace

TEST_F(RSearchTree, OptionsButtonChecksTheFolderTheDialogLeaves)
{
    WriteFile(root + "/bin/Rcmd", "x", true);
    FakeWindow w;
    w.RFolder = "";
    cRHost h = w.Host();
    TfmRParam dlg;
    EXPECT_EQ(dlg.objectName(), "fmRParam");
    EXPECT_EQ(dlg.windowTitle(), "R parameters");

    const QString good = root + "/bin";
    ClickWhenShown(&dlg, dlg.btOK, good, true);
    btROptionsClick(h, &dlg);
    EXPECT_EQ(w.RFolder, good);
    EXPECT_TRUE(w.RAvailable); // a working manual choice enables the R actions
    EXPECT_EQ(w.Glyph, 1);
    EXPECT_EQ(w.Log.last(), "New R location is defined: " + good);

    // Cancel keeps RFolder, and the check runs again.
    ClickWhenShown(&dlg, dlg.btCancel, "/elsewhere", true);
    btROptionsClick(h, &dlg);
    EXPECT_EQ(w.RFolder, good);
    EXPECT_EQ(w.Log.size(), 2);
    EXPECT_EQ(w.Log.last(), "New R location is defined: " + good);

    // A folder without the front end, and an empty one, fail and forget R.
    for (const QString& bad : {tmp.path(), QString()}) {
        w.RAvailable = true;
        ClickWhenShown(&dlg, dlg.btOK, bad, true);
        btROptionsClick(h, &dlg);
        EXPECT_EQ(w.RFolder, "") << bad.toStdString();
        EXPECT_FALSE(w.RAvailable);
        EXPECT_EQ(w.Log.last(), "Cannot find Rcmd in a new place!");
    }
    // Cancel with no R known fails the check as well.
    ClickWhenShown(&dlg, dlg.btCancel);
    btROptionsClick(h, &dlg);
    EXPECT_EQ(w.Log.last(), "Cannot find Rcmd in a new place!");
    EXPECT_EQ(w.Log.size(), 5);
}

TEST(RParamDialog, BrowseAndScriptView)
{
    TfmRParam dlg;
    for (const char* name : {"Label21", "edPath", "btBrowse", "btOK", "btCancel", "chbShowBat", "mBat"})
        EXPECT_NE(dlg.findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(dlg.width(), 579);
    EXPECT_EQ(dlg.height(), 180);
    EXPECT_FALSE(dlg.chbShowBat->isChecked());
    EXPECT_TRUE(dlg.mBat->isHidden());

    dlg.chbShowBat->click();
    EXPECT_FALSE(dlg.mBat->isHidden());
    EXPECT_EQ(dlg.height(), 400);
    dlg.chbShowBat->click();
    EXPECT_TRUE(dlg.mBat->isHidden());
    EXPECT_EQ(dlg.height(), 180);

    QString asked;
    QString answer = "/opt/R/bin/Rcmd";
    dlg.dlgOpen = [&](QWidget*, const QString& folder) {
        asked = folder;
        return answer;
    };
    dlg.BrowseFolder = "/opt/R";
    dlg.edPath->setText("before");
    dlg.btBrowse->click();
    EXPECT_EQ(asked, "/opt/R");
    EXPECT_EQ(dlg.edPath->text(), "/opt/R/bin");
    answer = ""; // cancelled: unchanged
    dlg.btBrowse->click();
    EXPECT_EQ(dlg.edPath->text(), "/opt/R/bin");
    answer = "/opt/R/bin/R";
    dlg.btBrowse->click();
    EXPECT_EQ(dlg.edPath->text(), "/opt/R/bin/R");
}
