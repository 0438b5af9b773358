// Locating R's command-line front end, and the path helpers the R jobs share.
//
// Start-up discovery searches, in this order, the roots
//   /usr/lib/R, /usr/local/lib/R, /opt/R (recursively),
//   then the folder that holds the `R` found on PATH (symbolic links resolved, that folder only).
// The environment variable KORVALENT_R_ROOTS, when set, replaces that list: a colon-separated list
// of folders, each searched recursively (an empty value searches nothing). The hits are then tried
// from the last one back (cRProbe), and the first that runs wins.
#pragma once

#include "ui/Job.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class QTemporaryDir;
class QTimer;

// Every "/" becomes "\"; every "\" becomes "/". Nothing else changes.
QString SlashToBackslash(const QString& s);
QString BackslashToSlash(const QString& s);

// A path with the platform's own separators. On Windows this is SlashToBackslash; elsewhere the
// path is kept as it is, since a backslash is an ordinary character of a file name there.
QString NativeSeparators(const QString& path);
// A path with forward slashes for R. On Windows this is BackslashToSlash; elsewhere the path is
// kept as it is, for the same reason.
QString RPathText(const QString& path);

// Appends ";" + folder + "/" + name to acc for every entry of folder whose name matches mask (a
// wildcard pattern, matched case-sensitively), directories included; with recursive set, then
// does the same in every sub-folder, depth first. Entries of one folder are visited in the order
// of their names compared character by character, so results do not depend on the file system.
// Symbolic links to folders are reported when they match but never descended into (a link loop
// would never end). Folders that cannot be listed contribute nothing.
void SearchFile(QString& acc, const QString& folder, const QString& mask, bool recursive);
// The same search collecting the hits as a list.
void SearchFile(QStringList& hits, const QString& folder, const QString& mask, bool recursive);

// The name of R's command-line front end: "Rcmd" ("Rcmd.exe" on Windows).
QString RcmdName();
// The front end inside a folder, and whether it is there as a file.
QString RcmdPath(const QString& rFolder);
bool RcmdExists(const QString& rFolder);

struct cRSearchRoot {
    QString Folder;
    bool Recursive = true;
};
// The folders searched at start-up (see the top of this file).
QList<cRSearchRoot> RSearchRoots();

struct cRDiscovery {
    bool Found = false;
    QString RFolder; // the folder of the last hit, native separators, no trailing separator
};
// Searches the roots in order; the last hit that is a file wins (a folder named like the front end
// cannot be run). Nothing is run: see cRProbe for that.
cRDiscovery DiscoverR(const QList<cRSearchRoot>& roots);
// The folders of every file hit, native separators, in the order they are preferred: the last hit
// first, each folder once.
QStringList RFolderCandidates(const QList<cRSearchRoot>& roots);

// Finds the first of some R folders whose front end runs, as a job: each one is run once in a
// scratch folder exactly as a job runs it (RBatchCommand), on a script that prints R's version,
// and runs when that ends well within TimeoutMs and R's transcript shows the script ran. Nothing
// blocks the thread; a folder that does not answer in time is ended with its whole process group.
class cRProbe : public cJob {
    Q_OBJECT
  public:
    explicit cRProbe(QStringList folders, QObject* parent = nullptr);
    ~cRProbe() override;

    void Start() override;
    void Cancel() override;

    // After the end: the first folder that runs (empty when none does) and R's version line there.
    QString Folder() const { return Found; }
    QString Version() const { return FoundVersion; }
    // The folders passed over, each with the reason, in the order they were tried.
    QList<QPair<QString, QString>> Skipped() const { return Passed; }

    // The bound on one check. R starts in well under a second; the margin is for a loaded or cold
    // machine, and costs nothing while the window goes on.
    int TimeoutMs = 5000;

  private:
    void Next();
    void CheckEnded(const QString& failure);
    void KillGroup();

    QStringList Folders;
    int Index = -1;
    std::unique_ptr<QTemporaryDir> Scratch;
    QProcess* Process = nullptr;
    QTimer* Limit = nullptr;
    qint64 Pgid = 0;
    QString Found, FoundVersion;
    QList<QPair<QString, QString>> Passed;
};

// The folder to put into the R parameters dialog for a file chosen by browsing: the file's folder
// when its name is the front end's name, otherwise the whole file name.
QString FolderOfChosenRcmd(const QString& fileName);
