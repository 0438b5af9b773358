#include "rjobs/RJob.h"

#include "rjobs/RSearch.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

const QString Stars = QStringLiteral("*******************************************************");

cRJobRunner* ActiveRunner = nullptr;

// Whether a process of the group can still run. A member that has ended but was not reaped (its
// parent gone, and a process 1 that does not reap) still counts for kill(); it does nothing more.
bool GroupAlive(qint64 pgid)
{
    if (pgid <= 0) return false;
    if (::kill(-static_cast<pid_t>(pgid), 0) != 0 && errno == ESRCH) return false;
    QDir proc(QStringLiteral("/proc"));
    if (!proc.exists()) return true;
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        name.toLongLong(&numeric);
        if (!numeric) continue;
        QFile f(proc.filePath(name) + QStringLiteral("/stat"));
        if (!f.open(QIODevice::ReadOnly)) continue;
        // "pid (comm) state ppid pgrp ...": comm may hold blanks and parentheses.
        const QByteArray stat = f.readAll();
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0) continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() < 3 || fields[2].toLongLong() != pgid) continue;
        if (fields[0] != "Z" && fields[0] != "X") return true;
    }
    return false;
}

} // namespace

cRJob PreprocessingJob(const QString& dataPath, const QString& inName, const QString& outName)
{
    cRJob j;
    j.DataPath = dataPath;
    j.InName = inName;
    j.OutName = outName;
    j.Title = QStringLiteral("*              Korvalent: R Data Processing           *");
    j.FolderLine = QStringLiteral("Data folder is set to: ");
    j.InLine = QStringLiteral("Input data file:       ");
    j.OutLine = QStringLiteral("Output data file:      ");
    j.Script = QStringLiteral("scripts/temp.rdatanorm.r");
    return j;
}

cRJob NetworkJob(const QString& startFolder)
{
    cRJob j;
    j.DataPath = ScriptsFolder(startFolder);
    j.InName = QStringLiteral("temp.genes4pca.txt");
    j.OutName = QStringLiteral("temp.pca.txt");
    j.Title = QStringLiteral("*              Korvalent: PCA                         *");
    j.FolderLine = QStringLiteral("Data folder is set to :  ");
    j.InLine = QStringLiteral("Input data file (temp):  ");
    j.OutLine = QStringLiteral("Output data file (temp): ");
    j.Script = QStringLiteral("scripts/genes2pca.r");
    return j;
}

QString ScriptsFolder(const QString& startFolder)
{
    return NativeSeparators(startFolder + QStringLiteral("/scripts"));
}

QString ScriptsFile(const QString& startFolder, const QString& name)
{
    return NativeSeparators(startFolder + QStringLiteral("/scripts/") + name);
}

QString JobScriptName()
{
    return QStringLiteral("run.sh");
}

QString TranscriptFile(const cRJob& job, const QString& startFolder)
{
    // As BATCH names it: `basename script .R`.Rout, relative to the folder it runs in.
    QString name = QFileInfo(job.Script).fileName();
    if (name.endsWith(QStringLiteral(".R")) && name.size() > 2) name.chop(2);
    return NativeSeparators(startFolder + QLatin1Char('/') + name + QStringLiteral(".Rout"));
}

QString LastLines(const QString& path, int count)
{
    QFile f(path);
    if (count <= 0 || !f.open(QIODevice::ReadOnly)) return QString();
    const qint64 tail = 64 * 1024;
    if (f.size() > tail) f.seek(f.size() - tail);
    QString text = QString::fromLocal8Bit(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > count) lines = lines.mid(lines.size() - count);
    return lines.join(QLatin1Char('\n'));
}

QString ShellQuote(const QString& text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString RBatchCommand(const QString& rFolder, const QString& script)
{
    // R's home is the parent of the folder that holds the front end; the front end needs it set.
    const QString rHome = QDir::cleanPath(rFolder + QStringLiteral("/.."));
    // BATCH alone would restore a workspace left in the folder (running any .First in it) and
    // save the job's whole workspace there afterwards.
    return QStringLiteral("R_HOME=") + ShellQuote(rHome) + QLatin1Char(' ') +
           ShellQuote(RcmdPath(NativeSeparators(rFolder))) +
           QStringLiteral(" BATCH --no-restore --no-save ") + ShellQuote(script);
}

QStringList JobScriptLines(const cRJob& job, const QString& startFolder, const QString& rFolder)
{
    // Labels are constant texts; the variable parts are expanded inside double quotes (never
    // re-read as commands) and printed with printf, which, unlike echo, prints them as they are.
    const auto show = [](const QString& label, const char* var) {
        return QStringLiteral("printf '%s\\n' \"") + label + QStringLiteral("$") + QLatin1String(var) +
               QStringLiteral("\"");
    };
    return {
        QStringLiteral("export KORVALENT_DATAPATH=") + ShellQuote(RPathText(job.DataPath)),
        QStringLiteral("export KORVALENT_DATANAMEIN=") + ShellQuote(RPathText(job.InName)),
        QStringLiteral("export KORVALENT_DATANAMEOUT=") + ShellQuote(RPathText(job.OutName)),
        QString(), // no drive to select here
        QStringLiteral("cd ") + ShellQuote(NativeSeparators(startFolder)) + QStringLiteral(" || exit 1"),
        QStringLiteral("set +v +x"),
        QStringLiteral("if [ -t 1 ]; then clear; fi"),
        QStringLiteral("echo '") + Stars + QLatin1Char('\''),
        QStringLiteral("echo ") + ShellQuote(job.Title),
        QStringLiteral("echo '*                        Ferrowick Research Institute *'"),
        QStringLiteral("echo '") + Stars + QLatin1Char('\''),
        QStringLiteral("echo ."),
        show(job.FolderLine, "KORVALENT_DATAPATH"),
        show(job.InLine, "KORVALENT_DATANAMEIN"),
        show(job.OutLine, "KORVALENT_DATANAMEOUT"),
        QStringLiteral("echo ."),
        QStringLiteral("echo 'Please, wait while the script is processing your data...'"),
        RBatchCommand(rFolder, job.Script),
    };
}

QString DefaultRNormText()
{
    return QStringLiteral(
        R"RNORM(##******************************************************************************
## Korvalent: an example of data normalization
## ---------------------------------
## 1) Extract the datafile path from %KORVALENT_DATAPATH%-variable
## 2) Extract the I/O datafile names from %KORVALENT_DATANAMEIN% and %KORVALENT_DATANAMEOUT%
## 3) Process the data
## 4) Save to the same folder with the name specified in Korvalent
##
##******************************************************************************
rm(list=ls()) # clear variables if any exists :)

## get names from system variables
PATH=as.character(Sys.getenv("KORVALENT_DATAPATH"))
INFILE=as.character(Sys.getenv("KORVALENT_DATANAMEIN"))
OUTFILE=as.character(Sys.getenv("KORVALENT_DATANAMEOUT"))

##--------------------------------------------
## load data from PATH/INFILE
Data = read.table(paste(PATH,INFILE,sep="/"),
                  header=T,as.is=T,
                  sep="\t", quote = "\"", comment.char = "#", dec = ".")

##--------------------------------------------
## Perform linear normalization between arrays
## (put you processiong in this section!)

m=apply(Data[,c(-1,-2)],2,mean,na.rm=T)
s=apply(Data[,c(-1,-2)],2,sd,na.rm=T)

m.total=mean(m);
s.total=sqrt(mean(s^2))

for (i in 1:(ncol(Data)-2)){
  Data[,i+2]=s.total*(Data[,i+2]-m[i])/s[i]+m.total
  if (i%%100 == 0) {
    print(i)
    flush.console()
  }
}

##--------------------------------------------
## save data to PATH/OUTFILE
write.table(Data,paste(PATH,OUTFILE,sep="/"),
                 quote=T, sep="\t", eol="\n", row.names = F)
)RNORM");
}

bool SaveLinesCrLf(const QString& path, const QString& text)
{
    // Replaced only once written whole: a failed write keeps the earlier script.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    if (!text.isEmpty()) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines)
            bytes += line.toLocal8Bit() + "\r\n";
    }
    // commit() overlooks a failed final flush, so flush and check first; without
    // a commit the temporary file is removed.
    return f.write(bytes) == bytes.size() && f.flush() && f.commit();
}

cRJobRunner::cRJobRunner(const QString& scriptPath, const QString& workFolder, QWidget* window,
                         QObject* parent)
    : cJob(parent), ScriptPath(scriptPath), WorkFolder(workFolder), Window(window)
{
}

cRJobRunner::~cRJobRunner()
{
    // A running job, or what is left of a cancelled one, must not outlive its runner.
    if (Running() || (CancelRequested && !Ended())) KillGroup(SIGKILL);
    if (Running()) Process->waitForFinished(2000);
    delete Dialog;
    if (ActiveRunner == this) ActiveRunner = nullptr;
}

cRJobRunner* cRJobRunner::Active()
{
    return ActiveRunner;
}

bool cRJobRunner::Running() const
{
    return Process && Process->state() != QProcess::NotRunning;
}

void cRJobRunner::KillGroup(int signal)
{
    if (Pgid > 0) ::kill(-static_cast<pid_t>(Pgid), signal);
}

void cRJobRunner::Cancel()
{
    if (!Running() || CancelRequested) return;
    CancelRequested = true;
    KillGroup(SIGTERM);
    // R may ignore the polite request while it is busy inside native code, and a child of the
    // job may ignore it altogether: the whole group goes, whether or not the shell has ended.
    QTimer::singleShot(GraceMs, this, [this] {
        if (!GroupAlive(Pgid)) return;
        KillGroup(SIGKILL);
        SinceKill.start();
    });
}

void cRJobRunner::Start()
{
    Transcript.clear();
    Code = -1;
    CancelRequested = false;
    State = cRJobStatus::Running;
    Pgid = 0;
    SinceKill.invalidate();

    Process = new QProcess(this);
    Process->setProgram(QStringLiteral("/bin/sh"));
    Process->setArguments({ScriptPath});
    Process->setWorkingDirectory(WorkFolder);
    Process->setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so that Cancel reaches R and everything R started.
    Process->setChildProcessModifier([] { ::setpgid(0, 0); });

    // The job's console: its output and a Cancel button, window-modal so that no second job or
    // other action starts meanwhile, while the window itself keeps repainting.
    Dialog = new QDialog(Window);
    Dialog->setObjectName(QStringLiteral("dlgRJob"));
    Dialog->setWindowTitle(QStringLiteral("R job"));
    Dialog->setWindowModality(Window ? Qt::WindowModal : Qt::NonModal);
    Dialog->resize(560, 300);
    auto* layout = new QVBoxLayout(Dialog);
    OutputView = new QPlainTextEdit(Dialog);
    OutputView->setObjectName(QStringLiteral("mRJobOutput"));
    OutputView->setReadOnly(true);
    OutputView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(OutputView);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), Dialog);
    cancel->setObjectName(QStringLiteral("btRJobCancel"));
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(cancel, &QPushButton::clicked, this, &cRJobRunner::Cancel);
    // Closing the dialog is a cancel as well; the dialog goes when the job has ended.
    connect(Dialog, &QDialog::rejected, this, &cRJobRunner::Cancel);

    connect(Process, &QProcess::readyRead, this, [this] {
        const QString text = QString::fromLocal8Bit(Process->readAll());
        Transcript += text;
        OutputView->moveCursor(QTextCursor::End);
        OutputView->insertPlainText(text);
        OutputView->verticalScrollBar()->setValue(OutputView->verticalScrollBar()->maximum());
    });
    connect(Process, &QProcess::started, this, [this] {
        Pgid = Process->processId();
        // A cancel that came before the group existed reaches it now.
        if (CancelRequested) KillGroup(SIGTERM);
    });
    connect(Process, &QProcess::finished, this, &cRJobRunner::ProcessEnded);
    connect(Process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        State = cRJobStatus::CannotStart;
        if (ShowLater) ShowLater->stop();
        if (ActiveRunner == this) ActiveRunner = nullptr;
        Fail(QStringLiteral("Cannot start /bin/sh: ") + Process->errorString());
    });
    // A short job ends before its console would only flash up.
    ShowLater = new QTimer(this);
    ShowLater->setSingleShot(true);
    connect(ShowLater, &QTimer::timeout, Dialog, [this] {
        if (Running()) Dialog->show();
    });

    ActiveRunner = this;
    Process->start();
    Pgid = Process->processId();
    emit started();
    ShowLater->start(300);
}

void cRJobRunner::ProcessEnded()
{
    Transcript += QString::fromLocal8Bit(Process->readAll());
    Code = Process->exitStatus() == QProcess::NormalExit ? Process->exitCode() : -1;
    if (CancelRequested) return AwaitGroupEnd();
    State = cRJobStatus::Finished;
    ShowLater->stop();
    Dialog->hide();
    if (ActiveRunner == this) ActiveRunner = nullptr;
    Finish();
}

void cRJobRunner::AwaitGroupEnd()
{
    const auto done = [this] {
        if (GroupPoll) GroupPoll->stop();
        State = cRJobStatus::Cancelled;
        ShowLater->stop();
        Dialog->hide();
        if (ActiveRunner == this) ActiveRunner = nullptr;
        Finish();
    };
    if (!GroupAlive(Pgid)) return done();
    if (!GroupPoll) {
        GroupPoll = new QTimer(this);
        GroupPoll->setInterval(50);
        connect(GroupPoll, &QTimer::timeout, this, [this, done] {
            if (!GroupAlive(Pgid)) return done();
            // A process stuck in the kernel can outlast SIGKILL for a while; the window is not
            // held for ever.
            if (SinceKill.isValid() && SinceKill.elapsed() > 30000) {
                Transcript += QStringLiteral("\nSome processes of the job did not end after SIGKILL.\n");
                done();
            }
        });
    }
    GroupPoll->start();
}

cRJobRunner* PrepareBatchJob(const cRJob& job, const QString& startFolder, const QString& rFolder,
                             QPlainTextEdit* mBat, QWidget* window)
{
    const QStringList lines = JobScriptLines(job, startFolder, rFolder);
    QString text = lines.join(QLatin1Char('\n'));
    if (mBat) {
        mBat->clear();
        for (const QString& line : lines)
            mBat->appendPlainText(line);
        text = mBat->toPlainText();
    }
    // A shell script must end its lines with a bare line feed. It replaces the
    // previous job's script only once written whole.
    QSaveFile f(ScriptsFile(startFolder, JobScriptName()));
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush() || !f.commit())
        return nullptr;
    return new cRJobRunner(f.fileName(), startFolder, window);
}
