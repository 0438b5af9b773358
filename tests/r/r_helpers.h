// Shared fixtures of the R tests: folder trees, a stand-in for R's front end, small tables.
#pragma once

#include "engine/ExprData.h"
#include "rjobs/RJob.h"
#include "rjobs/RSearch.h"
#include "ui/Job.h"

#include <QCoreApplication>
#include <QTest>
#include <QPointer>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

namespace rtest {

// Lets the event loop run until the job has ended (or is gone); false after two minutes.
inline bool WaitForJob(cJob* job)
{
    QPointer<cJob> p = job;
    const bool ended = QTest::qWaitFor([&p] { return !p || p->Ended(); }, 120000);
    QCoreApplication::processEvents();
    return ended;
}

// Runs a runner to its end and returns how it ended.
inline cRJobStatus RunToEnd(cRJobRunner& runner)
{
    runner.Start();
    WaitForJob(&runner);
    return runner.Status();
}

} // namespace rtest

// The common job step run to its end: writes the job script and runs it.
inline cRJobStatus RunBatchJob(const cRJob& job, const QString& startFolder, const QString& rFolder,
                               QPlainTextEdit* mBat, QWidget* window)
{
    std::unique_ptr<cRJobRunner> runner(PrepareBatchJob(job, startFolder, rFolder, mBat, window));
    if (!runner) return cRJobStatus::CannotWrite;
    return rtest::RunToEnd(*runner);
}

namespace rtest {

inline void WriteFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                         QFileDevice::ExeOther);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The folder of the real R front end, or empty when R is not installed here.
inline QString RealRFolder()
{
    qunsetenv("KORVALENT_R_ROOTS");
    return DiscoverR(RSearchRoots()).RFolder;
}

#define REQUIRE_R(folder)                                                                                    \
    const QString folder = rtest::RealRFolder();                                                             \
    if (folder.isEmpty())                                                                                    \
    GTEST_SKIP() << "R is not installed (no Rcmd under /usr/lib/R, /usr/local/lib/R, /opt/R or beside R on " \
                    "PATH); install r-base-core to run this test"

// The program's folder for a job: a "scripts" folder, optionally with the delivered network script.
inline void MakeStartFolder(const QString& start, bool withNetworkScript)
{
    QDir().mkpath(start + "/scripts");
    if (withNetworkScript) {
        QFile::remove(start + "/scripts/genes2pca.r");
        ASSERT_TRUE(QFile::copy(QStringLiteral(KORVALENT_SOURCE_ROOT "/scripts/genes2pca.r"),
                                start + "/scripts/genes2pca.r"));
    }
}

// Loads a table from text; the object owns its arrays.
inline void LoadText(cExprData& d, const char* text)
{
    ASSERT_GT(d.LoadBuffer(text, std::strlen(text)), 0);
}

} // namespace rtest
