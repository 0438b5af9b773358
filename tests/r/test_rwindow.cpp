// The R actions through the real main window: start-up discovery, custom preprocessing that
// reloads its result, a failing script, and the network job showing the 3D view.
#include "r_helpers.h"

#include "app/Main.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "rjobs/RJob.h"
#include "rjobs/Rparam.h"
#include "ui/Dialogs.h"
#include "ui/Ui.h"
#include "views/Scr3d.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>

using rtest::WriteFile;

namespace {

class RWindowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tmp.isValid());
        Start = Tmp.path() + "/program";
        rtest::MakeStartFolder(Start, true);
        SavedFolder = QDir::currentPath();
        // The program's folder is the one it starts in.
        QDir::setCurrent(Start);
        SavedMessageBox = MessageBoxHook();
        SavedFileDialog = FileDialogHook();
        MessageBoxHook() = [this](QWidget*, const QString& caption, const QString& text, cMsgButtons) {
            Messages << caption + "|" + text;
            return cMsgResult::Ok;
        };
        FileDialogHook() = [](cFileDialog&, QWidget*) { return false; };
        qunsetenv("KORVALENT_R_ROOTS");
        CreateWindows();
        // The start-up check of R ends on its own; the tests begin from its outcome.
        ASSERT_TRUE(QTest::qWaitFor([] { return !fmMain->SearchingR(); }, 30000));
    }
    void TearDown() override
    {
        DestroyWindows();
        MessageBoxHook() = SavedMessageBox;
        FileDialogHook() = SavedFileDialog;
        QDir::setCurrent(SavedFolder);
    }
    void Load(const QString& path)
    {
        fmMain->dlgOpen.FileName = path;
        fmMain->dlgOpen.Preset = 1;
        QTest::mouseClick(fmMain->btOpen, Qt::LeftButton);
        WaitIdle();
    }
    // Clicks a button, then lets the window run until the jobs the click started have ended.
    void Click(const char* name)
    {
        auto* b = fmMain->findChild<QAbstractButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name;
        QTest::mouseClick(b, Qt::LeftButton);
        WaitIdle();
    }
    static void WaitIdle()
    {
        ASSERT_TRUE(QTest::qWaitFor([] { return !fmMain->Computing(); }, 120000)) << "a job did not end";
    }
    QStringList LogLines() const { return fmMain->mLog->toPlainText().split('\n'); }

    QTemporaryDir Tmp;
    QString Start, SavedFolder;
    QStringList Messages;
    cMessageBoxFn SavedMessageBox;
    cFileDialogFn SavedFileDialog;
};

const char* Table = "ID\tName\tA1\tA2\tA3\tA4\n"
                    "gene1\tfirst gene\t1.5\t2.0\t3.25\t4\n"
                    "gene2\tsecond gene\t3\t4\t6.5\t8\n"
                    "gene3\tthird gene\t-4\t0.5\t2\t1\n"
                    "gene4\tfourth gene\t7\t7.75\t100\t3\n"
                    "gene5\tfifth gene\t6\t4\t1\t-2\n";

} // namespace

TEST_F(RWindowTest, PreprocessingReloadsTheResultAndFailuresKeepTheData)
{
    REQUIRE_R(rFolder);
    EXPECT_EQ(fmMain->RFolder(), rFolder);
    EXPECT_TRUE(fmMain->RAvailable());
    EXPECT_TRUE(LogLines().contains("Rcmd is found in a default R folder: " + rFolder));
    EXPECT_EQ(fmMain->StartFolder(), Start);
    EXPECT_EQ(fmMain->edFileNameOut->text(), "data.norm");
    EXPECT_EQ(fmMain->mRNorm->toPlainText(), DefaultRNormText());
    fmMain->Timer1Timer();
    ASSERT_TRUE(fmMain->btRProcessing->isEnabled());

    const QString table = Tmp.path() + "/data/table.txt";
    WriteFile(table, Table);
    Load(table);
    ASSERT_NE(fmMain->ExprData(), nullptr);
    const float before = fmMain->ExprData()->Data[3][2];

    Click("btRProcessing");
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
    EXPECT_EQ(fmMain->lbFileName->text(), "data.norm");
    EXPECT_EQ(fmMain->lbPath->text(), Tmp.path() + "/data");
    ASSERT_EQ(fmMain->ExprData()->nGenes, 5);
    EXPECT_NE(fmMain->ExprData()->Data[3][2], before);
    // Each array now has the mean of the array means.
    double m[4] = {}, total = 0;
    const cExprData& d = *fmMain->ExprData();
    for (int a = 0; a < 4; ++a) {
        for (int g = 0; g < 5; ++g)
            m[a] += d.Data[g][a] / 5.0;
        total += m[a] / 4;
    }
    for (int a = 0; a < 4; ++a)
        EXPECT_NEAR(m[a], total, 1e-4) << "array " << a;
    EXPECT_EQ(fmRParam->mBat->toPlainText().split('\n').size(), 18);
    EXPECT_FALSE(QFileInfo::exists(Start + "/scripts/run.sh"));

    // The user's edits are what runs; a failing script keeps the data loaded.
    const cWinExprData* loaded = fmMain->ExprData();
    fmMain->mRNorm->setPlainText("stop('broken on purpose')\n");
    Click("btRProcessing");
    // The message shows where R's transcript is, and R's complaint at its end.
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].startsWith("No resulted file|The resulted file cannot be found. Perhaps an error "
                                       "occured when running R-script.\n\nR's transcript of the job is in " +
                                       Start + "/temp.rdatanorm.r.Rout. It ends with:\n"))
        << Messages[0].toStdString();
    EXPECT_TRUE(Messages[0].endsWith("Error: broken on purpose\nExecution halted"))
        << Messages[0].toStdString();
    EXPECT_EQ(fmMain->ExprData(), loaded);
    EXPECT_EQ(fmMain->lbFileName->text(), "data.norm");
    EXPECT_EQ(rtest::ReadFile(Start + "/scripts/temp.rdatanorm.r"), "stop('broken on purpose')\r\n\r\n");
}

TEST_F(RWindowTest, NetworkShowsTheLaidOutGenes)
{
    REQUIRE_R(rFolder);
    const QString table = Tmp.path() + "/net.txt";
    WriteFile(table, Table);
    Load(table);
    fmMain->edCEThreshold->setText("0.9");
    Click("btCalcCE");
    ASSERT_TRUE(
        QTest::qWaitFor([] { return fmMain->CEMatrix() != nullptr && !fmMain->CalcRunning(); }, 20000));
    int coexpressed = 0;
    for (int g = 0; g < fmMain->ExprData()->nGenes; ++g)
        coexpressed += fmMain->ExprData()->nCE[g] > 0;
    ASSERT_GT(coexpressed, 1);

    Click("btNetwork");
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
    EXPECT_TRUE(fmScr3D->isVisible());
    ASSERT_TRUE(fmScr3D->ShowsNetwork());
    EXPECT_EQ(static_cast<int>(fmScr3D->Scene.Nodes.size()), coexpressed);
    EXPECT_FALSE(fmScr3D->Scene.Links.empty());
    EXPECT_EQ(QDir(Start + "/scripts").entryList(QDir::Files), QStringList{"genes2pca.r"});
    // The export went through the preset save dialog and left it unset.
    EXPECT_EQ(fmMain->dlgSave.Preset, 0);
}

TEST_F(RWindowTest, NetworkWithAnUnreadableLayoutSaysWhyAndOpensNoWindow)
{
    REQUIRE_R(rFolder);
    WriteFile(Start + "/scripts/genes2pca.r",
              "writeLines('ID\\tPC1\\tPC2', file.path(Sys.getenv('KORVALENT_DATAPATH'), "
              "Sys.getenv('KORVALENT_DATANAMEOUT')))\n");
    const QString table = Tmp.path() + "/net.txt";
    WriteFile(table, Table);
    Load(table);
    fmMain->edCEThreshold->setText("0.9");
    Click("btCalcCE");
    ASSERT_TRUE(
        QTest::qWaitFor([] { return fmMain->CEMatrix() != nullptr && !fmMain->CalcRunning(); }, 20000));
    Click("btNetwork");
    EXPECT_EQ(Messages, QStringList{"Error|The network layout could not be read: the first line is \"ID PC1 "
                                    "PC2\", not the header ID, PC1, PC2, PC3 separated by tabs."});
    EXPECT_FALSE(fmScr3D->isVisible());
    EXPECT_FALSE(fmScr3D->ShowsNetwork());
    EXPECT_FALSE(fmMain->Computing());
}

TEST_F(RWindowTest, ClicksWhileAJobWaitsLeaveTheTableAndTheMatrixAlone)
{
    REQUIRE_R(rFolder);
    fmMain->Timer1Timer();
    const QString table = Tmp.path() + "/data/table.txt";
    const QString other = Tmp.path() + "/other.txt";
    WriteFile(table, Table);
    WriteFile(other, Table);
    Load(table);
    ASSERT_NE(fmMain->ExprData(), nullptr);

    // Load Data (with a file name ready, as a dialog would give) and Calculate CE clicked as
    // soon as the job's runner waits.
    const auto clickDuringJob = [&](const char* job) {
        bool clicked = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (clicked || cRJobRunner::Active() == nullptr) return;
            clicked = true;
            EXPECT_TRUE(fmMain->Computing());
            fmMain->dlgOpen.FileName = other;
            fmMain->dlgOpen.Preset = 1;
            QTest::mouseClick(fmMain->btOpen, Qt::LeftButton);
            QTest::mouseClick(fmMain->btCalcCE, Qt::LeftButton);
        });
        poll.start();
        Click(job);
        poll.stop();
        EXPECT_TRUE(clicked) << job;
        EXPECT_FALSE(fmMain->Computing()) << job;
    };
    const auto count = [this](const QString& part) {
        return static_cast<int>(LogLines().filter(part).size());
    };

    fmMain->mRNorm->setPlainText("Sys.sleep(1)\n" + DefaultRNormText());
    clickDuringJob("btRProcessing");
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
    EXPECT_EQ(fmMain->lbFileName->text(), "data.norm");
    EXPECT_EQ(count("Data loading from " + other), 0);
    EXPECT_EQ(count("Calculation of CE matrix is started"), 0);

    // The network job keeps the matrix it was started on.
    fmMain->edCEThreshold->setText("0.9");
    Click("btCalcCE");
    ASSERT_TRUE(
        QTest::qWaitFor([] { return fmMain->CEMatrix() != nullptr && !fmMain->CalcRunning(); }, 20000));
    const cCEMatrix* matrix = fmMain->CEMatrix();
    const cWinExprData* data = fmMain->ExprData();
    int coexpressed = 0;
    for (int g = 0; g < data->nGenes; ++g)
        coexpressed += data->nCE[g] > 0;
    ASSERT_GT(coexpressed, 1);
    const QString script = Start + "/scripts/genes2pca.r";
    WriteFile(script, "Sys.sleep(1)\n" + rtest::ReadFile(script));
    clickDuringJob("btNetwork");
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
    EXPECT_EQ(fmMain->CEMatrix(), matrix);
    EXPECT_EQ(fmMain->ExprData(), data);
    EXPECT_EQ(count("Data loading from " + other), 0);
    EXPECT_EQ(count("Calculation of CE matrix is started"), 1);
    ASSERT_TRUE(fmScr3D->ShowsNetwork());
    EXPECT_EQ(static_cast<int>(fmScr3D->Scene.Nodes.size()), coexpressed);

    // Afterwards the window's actions work again.
    Load(other);
    EXPECT_EQ(fmMain->lbFileName->text(), "other.txt");
}

TEST_F(RWindowTest, RealTablePreprocessingAndNetwork)
{
    REQUIRE_R(rFolder);
    const QString real = QStringLiteral(KORVALENT_SOURCE_ROOT "/../shared/data/bladder.txt");
    if (!QFileInfo(real).isFile()) GTEST_SKIP() << "no " << real.toStdString();
    fmMain->Timer1Timer(); // the tick that enables "Start processing"
    // The preprocessing result is written beside the table: a copy in the test's folder.
    const QString table = Tmp.path() + "/data/bladder.txt";
    QDir().mkpath(Tmp.path() + "/data");
    ASSERT_TRUE(QFile::copy(real, table));
    Load(table);
    ASSERT_NE(fmMain->ExprData(), nullptr);
    ASSERT_EQ(fmMain->ExprData()->nGenes, 22283);

    // The default script rescales the arrays; the result is loaded in place of the table.
    Click("btRProcessing");
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
    EXPECT_EQ(fmMain->lbFileName->text(), "data.norm");
    ASSERT_NE(fmMain->ExprData(), nullptr);
    EXPECT_EQ(fmMain->ExprData()->nGenes, 22283);
    EXPECT_EQ(fmMain->ExprData()->nArrays, 57);

    // The network of the co-expressed genes, laid out by R.
    Load(table);
    Click("btCalcCE");
    int coexpressed = 0;
    for (int g = 0; g < fmMain->ExprData()->nGenes; ++g)
        coexpressed += fmMain->ExprData()->nCE[g] > 0;
    EXPECT_EQ(coexpressed, 4966);
    Click("btNetwork");
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
    ASSERT_TRUE(fmScr3D->ShowsNetwork());
    EXPECT_EQ(static_cast<int>(fmScr3D->Scene.Nodes.size()), coexpressed);
    // The network job's files are gone; the last preprocessing script stays.
    EXPECT_EQ(QDir(Start + "/scripts").entryList(QDir::Files),
              (QStringList{"genes2pca.r", "temp.rdatanorm.r"}));
}
