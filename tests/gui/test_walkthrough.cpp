// A user's session on a real table, through the window: load, normalize,
// Calculate CE cancelled part way and run in full, the re-calculation, the
// map, the gene tab and the result files, which must equal the batch tool's
// files for the same table and parameters. Skipped without the real table.
#include "test_main_support.h"

#include "app/WinExprData.h"
#include "engine/CEMatrix.h"
#include "views/Screen.h"

#include <QFileInfo>
#include <QProcess>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QLineSeries>

namespace {

QString RealTable()
{
    return QStringLiteral(KORVALENT_SOURCE_ROOT "/../shared/data/bladder.txt");
}

// Runs the batch tool; its summary lines.
QStringList Batch(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(KORVALENT_CLI), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

TEST_F(MainWindowTest, RealTableSessionMatchesTheBatchTool)
{
    const QString table = RealTable();
    if (!QFileInfo(table).isFile()) GTEST_SKIP() << "no " << table.toStdString();
    Load(table);
    ASSERT_NE(fmMain->ExprData(), nullptr);
    EXPECT_EQ(Text("lbNGenes"), "22283");
    EXPECT_EQ(Text("lbNArrays"), "57");
    EXPECT_EQ(Text("lbMissing"), "0 (0%)");

    // Normalize, then back to the table as loaded.
    Click("btNormalize");
    EXPECT_TRUE(LogMessages().last().startsWith(": between-arrays normalization is performed"));
    Load(table);

    // Cancelled part way: the window comes back idle with the rows done.
    bool cancelled = false;
    auto* gauge = Ctl<QProgressBar>("cgProgress");
    const QMetaObject::Connection c =
        QObject::connect(gauge, &QProgressBar::valueChanged, fmMain, [&](int v) {
            if (cancelled || v <= 0 || v >= 300) return;
            cancelled = true;
            QTimer::singleShot(0, fmMain, [] { QTest::mouseClick(fmMain->btCalcCE, Qt::LeftButton); });
        });
    Click("btCalcCE");
    QObject::disconnect(c);
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(fmMain->ExprData()->Progress, 0.0f);
    EXPECT_TRUE(Text("lbCoexpressed").startsWith("Approximately "));
    EXPECT_TRUE(Ctl("btCalcCE")->isEnabled());

    // The full run: the batch tool's counts and files.
    Click("btCalcCE");
    const QStringList summary = Batch({table, "-q", "--pairs", Tmp.filePath("cli.ce"), "--filtered",
                                       Tmp.filePath("cli.flt"), "--gene-list", "5", Tmp.filePath("cli.dc")});
    ASSERT_GE(summary.size(), 2);
    EXPECT_EQ(summary.last(), "patterns: " + Text("lbNPatterns"));
    EXPECT_EQ("coexpressed genes: " + Text("lbCoexpressed").section(' ', 0, 0), summary[summary.size() - 2]);
    DialogAnswers = {Tmp.filePath("win.ce")};
    Click("btSaveCE");
    DialogAnswers = {Tmp.filePath("win.flt")};
    Click("btSaveFiltered");
    fmMain->tbGeneNum1->setValue(5);
    DialogAnswers = {Tmp.filePath("win.dc")};
    Click("btSaveDC");
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ReadFileBytes(Tmp.filePath("win.ce")), ReadFileBytes(Tmp.filePath("cli.ce")));
    EXPECT_EQ(ReadFileBytes(Tmp.filePath("win.flt")), ReadFileBytes(Tmp.filePath("cli.flt")));
    EXPECT_EQ(ReadFileBytes(Tmp.filePath("win.dc")), ReadFileBytes(Tmp.filePath("cli.dc")));

    // The re-calculation at 0.95 against the batch tool's.
    fmMain->edCEThreshold->setText("0.95");
    Click("btRenewCE");
    Batch({table, "-q", "--renew", "1", "0.95", "--pairs", Tmp.filePath("cli95.ce")});
    DialogAnswers = {Tmp.filePath("win95.ce")};
    Click("btSaveCE");
    EXPECT_EQ(ReadFileBytes(Tmp.filePath("win95.ce")), ReadFileBytes(Tmp.filePath("cli95.ce")));
    // The re-calculation opened the map.
    EXPECT_TRUE(fmScreen->isVisible());
    EXPECT_EQ(fmScreen->Series1->count(), 22283);

    // The gene tab's co-expression chart.
    Click("btBuild");
    EXPECT_EQ(fmMain->Series3->count(), 22283);
    EXPECT_TRUE(Messages.empty());
}
