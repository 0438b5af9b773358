#include "rjobs/RJob.h"

#include "rjobs/RSearch.h"

#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

const QString Stars = QStringLiteral("*******************************************************");

cRJobRunner* ActiveRunner = nullptr;

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

QString ShellQuote(const QString& text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QStringList JobScriptLines(const cRJob& job, const QString& startFolder, const QString& rFolder)
{
    // R's home is the parent of the folder that holds the front end; the front end needs it set.
    const QString rHome = QDir::cleanPath(rFolder + QStringLiteral("/.."));
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
        QStringLiteral("R_HOME=") + ShellQuote(rHome) + QLatin1Char(' ') +
            ShellQuote(RcmdPath(NativeSeparators(rFolder))) + QStringLiteral(" BATCH ") +
            ShellQuote(job.Script),
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
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray bytes;
    if (!text.isEmpty()) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines)
            bytes += line.toLocal8Bit() + "\r\n";
    }
    return f.write(bytes) == bytes.size() && f.flush();
}

cRJobRunner::cRJobRunner(QWidget* window, QObject* parent) : QObject(parent), Window(window) {}

cRJobRunner::~cRJobRunner()
{
    if (Running()) {
        KillGroup(SIGKILL);
        Process->waitForFinished(2000);
    }
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
    if (!Process) return;
    const qint64 pid = Process->processId();
    if (pid > 0) ::kill(-static_cast<pid_t>(pid), signal);
}

void cRJobRunner::Cancel()
{
    if (!Running()) return;
    CancelRequested = true;
    KillGroup(SIGTERM);
    // R may ignore the polite request while it is busy inside native code.
    QTimer::singleShot(2000, this, [this] {
        if (Running()) KillGroup(SIGKILL);
    });
}

cRJobStatus cRJobRunner::Run(const QString& scriptPath, const QString& workFolder)
{
    Transcript.clear();
    Code = -1;
    CancelRequested = false;

    QProcess process;
    Process = &process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({scriptPath});
    process.setWorkingDirectory(workFolder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so that Cancel reaches R and everything R started.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });

    // The job's console: its output and a Cancel button, window-modal so that no second job or
    // other action starts meanwhile, while the window itself keeps repainting.
    QDialog dialog(Window);
    dialog.setObjectName(QStringLiteral("dlgRJob"));
    dialog.setWindowTitle(QStringLiteral("R job"));
    dialog.setWindowModality(Window ? Qt::WindowModal : Qt::NonModal);
    dialog.resize(560, 300);
    auto* layout = new QVBoxLayout(&dialog);
    auto* output = new QPlainTextEdit(&dialog);
    output->setObjectName(QStringLiteral("mRJobOutput"));
    output->setReadOnly(true);
    output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(output);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setObjectName(QStringLiteral("btRJobCancel"));
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(cancel, &QPushButton::clicked, this, &cRJobRunner::Cancel);
    // Closing the dialog is a cancel as well; the dialog goes when the job has ended.
    connect(&dialog, &QDialog::rejected, this, &cRJobRunner::Cancel);

    QEventLoop loop;
    connect(&process, &QProcess::readyRead, this, [&] {
        const QString text = QString::fromLocal8Bit(process.readAll());
        Transcript += text;
        output->moveCursor(QTextCursor::End);
        output->insertPlainText(text);
        output->verticalScrollBar()->setValue(output->verticalScrollBar()->maximum());
    });
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) loop.quit();
    });
    QTimer showLater;
    showLater.setSingleShot(true);
    connect(&showLater, &QTimer::timeout, &dialog, [&] {
        if (Running()) dialog.show();
    });

    cRJobRunner* previous = ActiveRunner;
    ActiveRunner = this;
    process.start();
    cRJobStatus status = cRJobStatus::Finished;
    if (!process.waitForStarted(10000)) {
        status = cRJobStatus::CannotStart;
        emit failed(QStringLiteral("Cannot start /bin/sh: ") + process.errorString());
    } else {
        emit started();
        showLater.start(300);
        if (process.state() != QProcess::NotRunning) loop.exec();
        process.waitForFinished(-1);
        const QString rest = QString::fromLocal8Bit(process.readAll());
        Transcript += rest;
        Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        status = CancelRequested ? cRJobStatus::Cancelled : cRJobStatus::Finished;
        emit finished(Code);
    }
    showLater.stop();
    dialog.hide();
    ActiveRunner = previous;
    Process = nullptr;
    return status;
}

cRJobStatus RunBatchJob(const cRJob& job, const QString& startFolder, const QString& rFolder,
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
    // A shell script must end its lines with a bare line feed.
    QFile f(ScriptsFile(startFolder, JobScriptName()));
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        return cRJobStatus::CannotWrite;
    f.close();
    cRJobRunner runner(window);
    return runner.Run(f.fileName(), startFolder);
}
