#include "rjobs/RSearch.h"

#include "rjobs/RJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

QString SlashToBackslash(const QString& s)
{
    QString r = s;
    r.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return r;
}

QString BackslashToSlash(const QString& s)
{
    QString r = s;
    r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return r;
}

QString NativeSeparators(const QString& path)
{
#ifdef Q_OS_WIN
    return SlashToBackslash(path);
#else
    return path;
#endif
}

QString RPathText(const QString& path)
{
#ifdef Q_OS_WIN
    return BackslashToSlash(path);
#else
    return path;
#endif
}

namespace {

// Entry names of a folder, sorted by plain character comparison so that the order does not
// depend on the file system or the locale.
QStringList SortedEntries(const QString& folder, QDir::Filters filters)
{
    QDir dir(folder.isEmpty() ? QStringLiteral("/") : folder);
    dir.setFilter(filters);
    dir.setSorting(QDir::Unsorted);
    QStringList names = dir.entryList();
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    return names;
}

} // namespace

void SearchFile(QStringList& hits, const QString& folder, const QString& mask, bool recursive)
{
    // Windows' attribute tests (skip entries marked as system only, keep hidden folders out of the
    // recursion) have no counterpart here and never match.
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask));
    for (const QString& name :
         SortedEntries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (pattern.match(name).hasMatch()) hits << folder + QLatin1Char('/') + name;
    }
    if (!recursive) return;
    for (const QString& name : SortedEntries(folder, QDir::Dirs | QDir::Hidden | QDir::System |
                                                         QDir::NoDotAndDotDot | QDir::NoSymLinks))
        SearchFile(hits, folder + QLatin1Char('/') + name, mask, true);
}

void SearchFile(QString& acc, const QString& folder, const QString& mask, bool recursive)
{
    QStringList hits;
    SearchFile(hits, folder, mask, recursive);
    for (const QString& h : hits)
        acc += QLatin1Char(';') + h;
}

QString RcmdName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Rcmd.exe");
#else
    return QStringLiteral("Rcmd");
#endif
}

QString RcmdPath(const QString& rFolder)
{
    return rFolder + QLatin1Char('/') + RcmdName();
}

bool RcmdExists(const QString& rFolder)
{
    // An empty folder would name a front end in the root folder; it means "no R known".
    return !rFolder.isEmpty() && QFileInfo(RcmdPath(rFolder)).isFile();
}

QList<cRSearchRoot> RSearchRoots()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QList<cRSearchRoot> roots;
    if (env.contains(QStringLiteral("KORVALENT_R_ROOTS"))) {
        for (const QString& r : env.value(QStringLiteral("KORVALENT_R_ROOTS")).split(QLatin1Char(':')))
            if (!r.isEmpty()) roots.append({r, true});
        return roots;
    }
#ifdef Q_OS_WIN
    roots.append({QStringLiteral("C:/Program Files/R"), true});
#else
    for (const char* r : {"/usr/lib/R", "/usr/local/lib/R", "/opt/R"})
        roots.append({QString::fromLatin1(r), true});
#endif
    // R found on PATH is usually a link into its installation; the front end sits beside the real one.
    const QString r = QStandardPaths::findExecutable(QStringLiteral("R"));
    if (!r.isEmpty()) {
        const QString real = QFileInfo(r).canonicalFilePath();
        roots.append({QFileInfo(real.isEmpty() ? r : real).absolutePath(), false});
    }
    return roots;
}

cRDiscovery DiscoverR(const QList<cRSearchRoot>& roots)
{
    // Hits are kept as a list: a ";" is a legal character of a file name here.
    QStringList hits;
    for (const cRSearchRoot& root : roots)
        SearchFile(hits, root.Folder, RcmdName(), root.Recursive);
    cRDiscovery d;
    for (auto it = hits.crbegin(); it != hits.crend(); ++it) {
        if (!QFileInfo(*it).isFile()) continue;
        const QString native = NativeSeparators(*it);
        const qsizetype cut = native.lastIndexOf(QDir::separator());
        d.RFolder = cut > 0 ? native.left(cut) : QString(QDir::separator());
        d.Found = true;
        break;
    }
    return d;
}

QStringList RFolderCandidates(const QList<cRSearchRoot>& roots)
{
    QStringList hits;
    for (const cRSearchRoot& root : roots)
        SearchFile(hits, root.Folder, RcmdName(), root.Recursive);
    QStringList folders;
    for (auto it = hits.crbegin(); it != hits.crend(); ++it) {
        if (!QFileInfo(*it).isFile()) continue;
        const QString native = NativeSeparators(*it);
        const qsizetype cut = native.lastIndexOf(QDir::separator());
        const QString folder = cut > 0 ? native.left(cut) : QString(QDir::separator());
        if (!folders.contains(folder)) folders << folder;
    }
    return folders;
}

namespace {

// What the check script prints; a transcript holding it shows that R ran the script, not merely
// that something wrote a banner.
const QString ProbeMark = QStringLiteral("Korvalent R check: R version");
const QString ProbeScript = QStringLiteral("korvalent-check.R");
const QString ProbeTranscript = QStringLiteral("korvalent-check.Rout");

// The last few non-empty lines of a text, on one line, for a log entry.
QString Tail(const QString& text, int count = 3)
{
    QStringList lines;
    for (const QString& l : text.split(QLatin1Char('\n')))
        if (!l.trimmed().isEmpty()) lines << l.trimmed();
    if (lines.size() > count) lines = lines.mid(lines.size() - count);
    return lines.join(QStringLiteral(" / "));
}

} // namespace

cRProbe::cRProbe(QStringList folders, QObject* parent) : cJob(parent), Folders(std::move(folders)) {}

cRProbe::~cRProbe()
{
    if (Process && Process->state() != QProcess::NotRunning) {
        Process->disconnect(this);
        KillGroup();
        Process->waitForFinished(1000);
    }
}

void cRProbe::KillGroup()
{
    if (Pgid > 0) ::kill(-static_cast<pid_t>(Pgid), SIGKILL);
}

void cRProbe::Start()
{
    Scratch = std::make_unique<QTemporaryDir>();
    QFile script(Scratch->filePath(ProbeScript));
    if (!Scratch->isValid() || !script.open(QIODevice::WriteOnly) ||
        script.write("cat(\"Korvalent R check:\", R.version.string, \"\\n\")\n") < 0 || !script.flush()) {
        // Without a scratch folder nothing can be tried; every folder is passed over for that.
        for (const QString& f : Folders)
            Passed.append({f, QStringLiteral("no scratch folder for the check could be made")});
        return Finish();
    }
    script.close();
    Limit = new QTimer(this);
    Limit->setSingleShot(true);
    connect(Limit, &QTimer::timeout, this, [this] {
        KillGroup();
        CheckEnded(QStringLiteral("it did not finish within %1 s").arg(TimeoutMs / 1000.0));
    });
    Next();
}

void cRProbe::Cancel()
{
    if (Ended()) return;
    CancelRequested = true;
    if (Limit) Limit->stop();
    if (Process) {
        Process->disconnect(this);
        KillGroup();
    }
    Finish();
}

void cRProbe::Next()
{
    if (++Index >= Folders.size()) return Finish();
    const QString folder = Folders[Index];
    QFile::remove(Scratch->filePath(ProbeTranscript));
    if (Process) Process->deleteLater();
    Process = new QProcess(this);
    Pgid = 0;
    // The job's own command line, so that what passes here also runs as a job.
    Process->setProgram(QStringLiteral("/bin/sh"));
    Process->setArguments({QStringLiteral("-c"), RBatchCommand(folder, ProbeScript)});
    Process->setWorkingDirectory(Scratch->path());
    Process->setProcessChannelMode(QProcess::MergedChannels);
    Process->setStandardInputFile(QProcess::nullDevice());
    // Its own group, so that a check out of time is ended together with R.
    Process->setChildProcessModifier([] { ::setpgid(0, 0); });
    QProcess* p = Process;
    connect(p, &QProcess::started, this, [this, p] { Pgid = p->processId(); });
    connect(p, &QProcess::finished, this, [this, p](int code, QProcess::ExitStatus status) {
        if (p != Process || !Limit->isActive()) return;
        QFile rout(Scratch->filePath(ProbeTranscript));
        const QString transcript =
            rout.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(rout.readAll()) : QString();
        const QString output = QString::fromLocal8Bit(p->readAll());
        const QString said = Tail(transcript.isEmpty() ? output : transcript);
        if (status != QProcess::NormalExit)
            return CheckEnded(QStringLiteral("it crashed") +
                              (said.isEmpty() ? QString() : QStringLiteral(": ") + said));
        if (code != 0)
            return CheckEnded(QStringLiteral("it ended with exit code %1").arg(code) +
                              (said.isEmpty() ? QString() : QStringLiteral(": ") + said));
        // At the start of a line: the echo of the script's command holds the mark too, quoted.
        const QString lines = QLatin1Char('\n') + transcript;
        const qsizetype at = lines.indexOf(QLatin1Char('\n') + ProbeMark);
        if (at < 0)
            return CheckEnded(QStringLiteral("it did not run a test script") +
                              (said.isEmpty() ? QString() : QStringLiteral(": ") + said));
        FoundVersion = lines.mid(at + 1)
                           .section(QLatin1Char('\n'), 0, 0)
                           .mid(ProbeMark.size() - QStringLiteral("R version").size())
                           .trimmed();
        CheckEnded(QString());
    });
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart || p != Process || !Limit->isActive()) return;
        CheckEnded(QStringLiteral("/bin/sh cannot be started: ") + p->errorString());
    });
    Limit->start(TimeoutMs);
    p->start();
    Pgid = p->processId();
}

void cRProbe::CheckEnded(const QString& failure)
{
    Limit->stop();
    if (failure.isEmpty()) {
        Found = Folders[Index];
        return Finish();
    }
    Passed.append({Folders[Index], failure});
    // The next check starts from the event loop, never inside the previous one's signal.
    QTimer::singleShot(0, this, &cRProbe::Next);
}

QString FolderOfChosenRcmd(const QString& fileName)
{
    const QFileInfo fi(fileName);
    if (fi.fileName() != RcmdName()) return fileName;
    const QString folder = fileName.left(fileName.size() - RcmdName().size() - 1);
    return NativeSeparators(folder.isEmpty() ? QStringLiteral("/") : folder);
}
