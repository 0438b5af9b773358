// Locating R's command-line front end, and the path helpers the R jobs share.
//
// Start-up discovery searches, in this order, the roots
//   /usr/lib/R, /usr/local/lib/R, /opt/R (recursively),
//   then the folder that holds the `R` found on PATH (symbolic links resolved, that folder only),
// and the last hit wins. The environment variable KORVALENT_R_ROOTS, when set, replaces that list:
// a colon-separated list of folders, each searched recursively (an empty value searches nothing).
#pragma once

#include <QString>
#include <QStringList>

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
// cannot be run).
cRDiscovery DiscoverR(const QList<cRSearchRoot>& roots);

// The folder to put into the R parameters dialog for a file chosen by browsing: the file's folder
// when its name is the front end's name, otherwise the whole file name.
QString FolderOfChosenRcmd(const QString& fileName);
