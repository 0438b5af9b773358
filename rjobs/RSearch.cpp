#include "rjobs/RSearch.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

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

QString FolderOfChosenRcmd(const QString& fileName)
{
    const QFileInfo fi(fileName);
    if (fi.fileName() != RcmdName()) return fileName;
    const QString folder = fileName.left(fileName.size() - RcmdName().size() - 1);
    return NativeSeparators(folder.isEmpty() ? QStringLiteral("/") : folder);
}
