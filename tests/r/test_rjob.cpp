// The job script: its text for both jobs, quoting that keeps hostile names inert, the runner's
// waiting and cancelling, and the default preprocessing script.
#include "r_helpers.h"

#include "rjobs/RJob.h"

#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using rtest::ReadFile;
using rtest::WriteFile;

TEST(RJobText, BothJobsLineByLine)
{
    const QString start = "/home/ann/korvalent";
    const QString rFolder = "/usr/lib/R/bin";
    const QStringList common = {
        "cd '/home/ann/korvalent' || exit 1",
        "set +v +x",
        "if [ -t 1 ]; then clear; fi",
        "echo '*******************************************************'",
    };
    struct Case {
        cRJob job;
        QStringList lines;
    } cases[] = {
        {PreprocessingJob("/data/runs", "table.txt", "data.norm"),
         {
             "export KORVALENT_DATAPATH='/data/runs'",
             "export KORVALENT_DATANAMEIN='table.txt'",
             "export KORVALENT_DATANAMEOUT='data.norm'",
             "",
             common[0],
             common[1],
             common[2],
             common[3],
             "echo '*              Korvalent: R Data Processing           *'",
             "echo '*                        Ferrowick Research Institute *'",
             common[3],
             "echo .",
             "printf '%s\\n' \"Data folder is set to: $KORVALENT_DATAPATH\"",
             "printf '%s\\n' \"Input data file:       $KORVALENT_DATANAMEIN\"",
             "printf '%s\\n' \"Output data file:      $KORVALENT_DATANAMEOUT\"",
             "echo .",
             "echo 'Please, wait while the script is processing your data...'",
             "R_HOME='/usr/lib/R' '/usr/lib/R/bin/Rcmd' BATCH --no-restore --no-save "
             "'scripts/temp.rdatanorm.r'",
         }},
        {NetworkJob(start),
         {
             "export KORVALENT_DATAPATH='/home/ann/korvalent/scripts'",
             "export KORVALENT_DATANAMEIN='temp.genes4pca.txt'",
             "export KORVALENT_DATANAMEOUT='temp.pca.txt'",
             "",
             common[0],
             common[1],
             common[2],
             common[3],
             "echo '*              Korvalent: PCA                         *'",
             "echo '*                        Ferrowick Research Institute *'",
             common[3],
             "echo .",
             "printf '%s\\n' \"Data folder is set to :  $KORVALENT_DATAPATH\"",
             "printf '%s\\n' \"Input data file (temp):  $KORVALENT_DATANAMEIN\"",
             "printf '%s\\n' \"Output data file (temp): $KORVALENT_DATANAMEOUT\"",
             "echo .",
             "echo 'Please, wait while the script is processing your data...'",
             "R_HOME='/usr/lib/R' '/usr/lib/R/bin/Rcmd' BATCH --no-restore --no-save 'scripts/genes2pca.r'",
         }},
    };
    for (const Case& c : cases) {
        const QStringList got = JobScriptLines(c.job, start, rFolder);
        ASSERT_EQ(got.size(), 18);
        for (int i = 0; i < 18; ++i)
            EXPECT_EQ(got[i], c.lines[i]) << "line " << i + 1;
    }
    // The banner lines are 55 characters wide, as the stars line.
    const QStringList net = JobScriptLines(cases[1].job, start, rFolder);
    EXPECT_EQ(net[8].size(), net[7].size());
    EXPECT_EQ(net[9].size(), net[7].size());
}

TEST(RJobText, QuotingTable)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", "''"},
        {"plain", "'plain'"},
        {"it's", "'it'\\''s'"},
        {"$HOME `id` $(id) ; & | > \\ \" *", "'$HOME `id` $(id) ; & | > \\ \" *'"},
        {"''", "''\\'''\\'''"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShellQuote(c.in), QString(c.out)) << c.in;
}

namespace {

// A stand-in for R's front end that records what reached it, NUL-separated: R_HOME, its
// arguments, the three variables and its working folder.
const char* FakeRcmd =
    "#!/bin/sh\n"
    "printf '%s\\0' \"$R_HOME\" \"$#\" \"$1\" \"$2\" \"$3\" \"$4\" \"$KORVALENT_DATAPATH\" "
    "\"$KORVALENT_DATANAMEIN\" \"$KORVALENT_DATANAMEOUT\" \"$(pwd)\" > \"$KORVALENT_TEST_LOG\"\n";

} // namespace

TEST(RJobRun, HostileNamesReachTheJobIntactAndRunNothing)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // Every name here would run "touch" or break the script if it were not quoted.
    const QString hostile[] = {
        "it's a folder",
        "$(touch PWNED1)",
        "`touch PWNED2`",
        "a; touch PWNED3",
        "x\" && touch PWNED4 && \"",
        "$HOME & touch PWNED5 | cat > PWNED6",
        "line\nbreak; touch PWNED7",
        "back\\slash \\' *",
    };
    const QString rHome = tmp.path() + "/r home 'R'";
    WriteFile(rHome + "/bin/Rcmd", FakeRcmd, true);
    const QString log = tmp.path() + "/log";
    qputenv("KORVALENT_TEST_LOG", log.toLocal8Bit());

    for (const QString& name : hostile) {
        const QString start = tmp.path() + "/" + name;
        rtest::MakeStartFolder(start, false);
        const QString data = tmp.path() + "/data " + name;
        QDir().mkpath(data);
        QFile::remove(log);
        QPlainTextEdit mBat;
        const cRJobStatus st = RunBatchJob(PreprocessingJob(data, name + ".txt", "out " + name), start,
                                           rHome + "/bin", &mBat, nullptr);
        ASSERT_EQ(st, cRJobStatus::Finished) << name.toStdString();
        const QList<QByteArray> got = ReadFile(log).split('\0');
        ASSERT_GE(got.size(), 10) << name.toStdString();
        EXPECT_EQ(QString::fromLocal8Bit(got[0]), rHome);
        EXPECT_EQ(got[1], "4");
        EXPECT_EQ(got[2], "BATCH");
        EXPECT_EQ(got[3], "--no-restore");
        EXPECT_EQ(got[4], "--no-save");
        EXPECT_EQ(got[5], "scripts/temp.rdatanorm.r");
        EXPECT_EQ(QString::fromLocal8Bit(got[6]), data);
        EXPECT_EQ(QString::fromLocal8Bit(got[7]), name + ".txt");
        EXPECT_EQ(QString::fromLocal8Bit(got[8]), "out " + name);
        EXPECT_EQ(QString::fromLocal8Bit(got[9]), start);
        // mBat holds the script that ran.
        EXPECT_EQ(mBat.toPlainText() + "\n", QString::fromLocal8Bit(ReadFile(start + "/scripts/run.sh")));
    }
    qunsetenv("KORVALENT_TEST_LOG");
    // Nothing was created anywhere but the folders made above and the log.
    QStringList stray;
    QDirIterator it(tmp.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (QFileInfo(p).fileName().startsWith("PWNED")) stray << p;
    }
    EXPECT_TRUE(stray.isEmpty()) << stray.join(", ").toStdString();
    const QStringList cwd = QDir::current().entryList({"PWNED*"});
    EXPECT_TRUE(cwd.isEmpty());
}

TEST(RJobRun, ScriptThatCannotBeWrittenRunsNothing)
{
    QTemporaryDir tmp;
    const QString log = tmp.path() + "/log";
    WriteFile(tmp.path() + "/R/bin/Rcmd", FakeRcmd, true);
    qputenv("KORVALENT_TEST_LOG", log.toLocal8Bit());
    // No scripts folder below the program's folder: the job file cannot be written.
    EXPECT_EQ(RunBatchJob(NetworkJob(tmp.path()), tmp.path(), tmp.path() + "/R/bin", nullptr, nullptr),
              cRJobStatus::CannotWrite);
    EXPECT_FALSE(QFileInfo::exists(log));
    qunsetenv("KORVALENT_TEST_LOG");
}

// The user's R script and the job script replace earlier ones only once
// written whole: with the file size limit standing in for a full disk, both
// writes fail and leave the earlier files, and no temporary file, behind.
TEST(RJobRun, ScriptsAreReplacedOnlyWhenWrittenWhole)
{
    QTemporaryDir tmp;
    const QString scripts = ScriptsFolder(tmp.path());
    const QString rScript = ScriptsFile(tmp.path(), "temp.rdatanorm.r");
    const QString jobScript = ScriptsFile(tmp.path(), JobScriptName());
    WriteFile(rScript, "earlier R script\r\n");
    WriteFile(jobScript, "earlier job\n");
    const QString text = QString("x <- 1\n").repeated(2000);

    // In a child: the limit is the process's. Bit 0: the R script was
    // written, bit 1: the job script was.
    const auto writeBoth = [&](rlim_t limit) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::alarm(30);
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{limit, limit};
            if (limit && ::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(8);
            int written = SaveLinesCrLf(rScript, text) ? 1 : 0;
            cRJobRunner* runner =
                PrepareBatchJob(NetworkJob(tmp.path()), tmp.path(), "/usr/lib/R/bin", nullptr, nullptr);
            if (runner) written |= 2;
            delete runner;
            ::_exit(written);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    EXPECT_EQ(writeBoth(16), 0);
    EXPECT_EQ(ReadFile(rScript), "earlier R script\r\n");
    EXPECT_EQ(ReadFile(jobScript), "earlier job\n");
    const QStringList both = {JobScriptName(), "temp.rdatanorm.r"};
    EXPECT_EQ(QDir(scripts).entryList(QDir::Files | QDir::Hidden, QDir::Name), both);

    EXPECT_EQ(writeBoth(0), 3);
    EXPECT_EQ(ReadFile(rScript), QByteArray("x <- 1\r\n").repeated(2000) + "\r\n");
    EXPECT_TRUE(ReadFile(jobScript).contains("cd '" + tmp.path().toLocal8Bit() + "' || exit 1\n"));
    EXPECT_EQ(QDir(scripts).entryList(QDir::Files | QDir::Hidden, QDir::Name), both);
}

namespace {

bool ProcessGone(pid_t pid)
{
    // Gone, or a zombie waiting for a parent that does not reap it.
    if (::kill(pid, 0) != 0) return true;
    const QByteArray stat = ReadFile(QString("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

} // namespace

TEST(RJobRun, WindowStaysResponsiveAndCancelEndsTheWholeJob)
{
    QTemporaryDir tmp;
    rtest::MakeStartFolder(tmp.path(), false);
    // A front end that starts a long child and waits for it, as R's does.
    WriteFile(tmp.path() + "/R/bin/Rcmd",
              "#!/bin/sh\necho started\nsleep 60 &\necho $$ $! > \"$KORVALENT_DATAPATH/pids\"\nwait\n", true);

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    // Cancel through the job dialog's button, once it is shown.
    QTimer clicker;
    bool clicked = false;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "dlgRJob" && w->isVisible())
                if (auto* b = w->findChild<QPushButton*>("btRJobCancel")) {
                    clicked = true;
                    clicker.stop();
                    b->click();
                }
    });
    clicker.start(50);

    QElapsedTimer clock;
    clock.start();
    const cRJobStatus st = RunBatchJob(PreprocessingJob(tmp.path(), "in", "out"), tmp.path(),
                                       tmp.path() + "/R/bin", nullptr, nullptr);
    const qint64 ms = clock.elapsed();
    EXPECT_EQ(st, cRJobStatus::Cancelled);
    EXPECT_TRUE(clicked);
    EXPECT_LT(ms, 10000);
    EXPECT_GT(ticks, 5); // timers ran while the job did

    const QList<QByteArray> pids = ReadFile(tmp.path() + "/pids").trimmed().split(' ');
    ASSERT_EQ(pids.size(), 2);
    QElapsedTimer wait;
    wait.start();
    bool gone = false;
    while (!gone && wait.elapsed() < 5000) {
        gone = ProcessGone(pids[0].toInt()) && ProcessGone(pids[1].toInt());
        if (!gone) QThread::msleep(20);
    }
    EXPECT_TRUE(gone) << "the front end or its child outlived the cancel";
    EXPECT_EQ(cRJobRunner::Active(), nullptr);
}

TEST(RJobRun, CancelEndsOnlyWhenAChildThatIgnoresTermIsGone)
{
    QTemporaryDir tmp;
    rtest::MakeStartFolder(tmp.path(), false);
    // A child that ignores SIGTERM outlives the shells above it, and writes its output late. It
    // tells its pid once it ignores the signal.
    WriteFile(tmp.path() + "/R/bin/Rcmd",
              "#!/bin/sh\n"
              "sh -c 'trap \"\" TERM; echo $$ > \"$KORVALENT_DATAPATH/child\"; sleep 3; "
              "echo late > \"$KORVALENT_DATAPATH/late\"' &\n"
              "wait\n",
              true);
    std::unique_ptr<cRJobRunner> runner(PrepareBatchJob(PreprocessingJob(tmp.path(), "in", "out"), tmp.path(),
                                                        tmp.path() + "/R/bin", nullptr, nullptr));
    ASSERT_NE(runner, nullptr);
    runner->GraceMs = 300;
    pid_t child = 0;
    bool childGoneAtEnd = false;
    QObject::connect(runner.get(), &cJob::finished,
                     [&] { childGoneAtEnd = child > 0 && ProcessGone(child); });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);

    QElapsedTimer clock;
    clock.start();
    runner->Start();
    while (child == 0 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        child = ReadFile(tmp.path() + "/child").trimmed().toInt();
    }
    ASSERT_GT(child, 0);
    QElapsedTimer cancel;
    cancel.start();
    const int ticksBefore = ticks;
    runner->Cancel();
    ASSERT_TRUE(rtest::WaitForJob(runner.get()));
    EXPECT_EQ(runner->Status(), cRJobStatus::Cancelled);
    EXPECT_TRUE(childGoneAtEnd) << "the job was reported stopped while its child still ran";
    EXPECT_GE(cancel.elapsed(), 300);  // it waited for the kill after the grace period
    EXPECT_GT(ticks - ticksBefore, 5); // and the event loop ran meanwhile
    EXPECT_EQ(cRJobRunner::Active(), nullptr);
    // Past the moment the child would have written its file.
    QThread::msleep(std::max<qint64>(0, 4000 - clock.elapsed()));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/late"));
}

TEST(RJobText, TranscriptFileAndItsLastLines)
{
    EXPECT_EQ(TranscriptFile(PreprocessingJob("/d", "i", "o"), "/p"), "/p/temp.rdatanorm.r.Rout");
    EXPECT_EQ(TranscriptFile(NetworkJob("/p"), "/p"), "/p/genes2pca.r.Rout");
    cRJob upper = NetworkJob("/p");
    upper.Script = "scripts/layout.R"; // BATCH drops a final ".R" only
    EXPECT_EQ(TranscriptFile(upper, "/p"), "/p/layout.Rout");

    QTemporaryDir tmp;
    const QString path = tmp.path() + "/t.Rout";
    QByteArray many;
    for (int i = 1; i <= 30; ++i)
        many += "line " + QByteArray::number(i) + "\n";
    struct Case {
        QByteArray text;
        int count;
        QString last;
    } cases[] = {
        {many, 3, "line 28\nline 29\nline 30"},
        {"one\r\ntwo\r\n\r\n", 10, "one\ntwo"},
        {"no break", 2, "no break"},
        {"", 5, ""},
        {QByteArray(100000, 'x') + "\nend\n", 1, "end"},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.text);
        EXPECT_EQ(LastLines(path, c.count), c.last) << c.text.left(20).constData();
    }
    EXPECT_EQ(LastLines(tmp.path() + "/missing", 3), "");
}

TEST(RJobRun, TheJobsOutputIsKept)
{
    QTemporaryDir tmp;
    rtest::MakeStartFolder(tmp.path(), false);
    WriteFile(tmp.path() + "/R/bin/Rcmd", "#!/bin/sh\necho from R >&2\nexit 3\n", true);
    cRJobRunner runner(tmp.path() + "/scripts/run.sh", tmp.path(), nullptr);
    WriteFile(
        tmp.path() + "/scripts/run.sh",
        JobScriptLines(NetworkJob(tmp.path()), tmp.path(), tmp.path() + "/R/bin").join('\n').toLocal8Bit() +
            "\n");
    EXPECT_EQ(rtest::RunToEnd(runner), cRJobStatus::Finished);
    EXPECT_EQ(runner.ExitCode(), 3);
    const QString out = runner.Output();
    EXPECT_TRUE(out.contains("*              Korvalent: PCA                         *")) << out.toStdString();
    EXPECT_TRUE(out.contains("Data folder is set to :  " + tmp.path() + "/scripts\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("Input data file (temp):  temp.genes4pca.txt\n"));
    EXPECT_TRUE(out.endsWith("from R\n")) << out.toStdString();
}

TEST(RJobText, DefaultPreprocessingScriptAndItsFile)
{
    const QString text = DefaultRNormText();
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 45); // 44 lines and the empty line after them
    EXPECT_EQ(lines[0], QString(78, '*').prepend("##"));
    EXPECT_EQ(lines[9], "rm(list=ls()) # clear variables if any exists :)");
    EXPECT_EQ(lines[20],
              "                  sep=\"\\t\", quote = \"\\\"\", comment.char = \"#\", dec = \".\")");
    EXPECT_EQ(lines[43], "                 quote=T, sep=\"\\t\", eol=\"\\n\", row.names = F)");
    EXPECT_EQ(lines[44], "");

    QTemporaryDir tmp;
    const QString path = tmp.path() + "/s.r";
    struct Case {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {"", ""},
        {"a", "a\r\n"},
        {"a\nb\n", "a\r\nb\r\n\r\n"},
        {"\n", "\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SaveLinesCrLf(path, c.text));
        EXPECT_EQ(ReadFile(path), c.bytes) << c.text.toStdString();
    }
    ASSERT_TRUE(SaveLinesCrLf(path, text));
    const QByteArray saved = ReadFile(path);
    EXPECT_TRUE(saved.endsWith("row.names = F)\r\n\r\n"));
    EXPECT_EQ(saved.count("\r\n"), 45);
    EXPECT_FALSE(SaveLinesCrLf(tmp.path() + "/missing/s.r", text));
}
