// The result files written from the main window, byte for byte against the
// engine's writers, with the dialog, preset and error rules around them.
#include "test_main_support.h"

#include "app/WinExprData.h"
#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "engine/Writers.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QSlider>

namespace {

const char* kTable = "ID\tName\tA 1\tA 2\tA 3\tA 4\tA 5\tA 6\n"
                     "P17\tKinase A [NM_0001]\t1\t2\t3\t4\t5\t6\n"
                     "P42\tReceptor B [NM_0002]\t2\t4\t6\t8\t10\t12\n"
                     "P50\tMirror\t6\t5\t4\t3\t2.5\t1\n"
                     "P60\tGappy [X12\t1\t3\t2\t5\tN\t7\n"
                     "P70\tFlat\t5\t5\t5\t5\t5\t5\n"
                     "P80\tOther\t3\t1\t4\t1\t5\t9\n"
                     "P90\tOther too\t3\t1.2\t4\t1\t5\t9.5\n";

} // namespace

class MainFilesTest : public MainWindowTest {
  protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Load(WriteTable("t.txt", kTable));
        ASSERT_NE(fmMain->ExprData(), nullptr);
    }
    void Calculate()
    {
        Click("btCalcCE");
        ASSERT_NE(fmMain->CEMatrix(), nullptr);
    }
    QString Out(const char* name) { return Tmp.filePath(QLatin1String(name)); }
    // What the engine writes for the window's current table and matrix.
    std::string Expected(const std::function<std::string(const char*)>& write)
    {
        const QString path = Out("expected.txt");
        QFile::remove(path);
        EXPECT_EQ(write(path.toLocal8Bit().constData()), "");
        return ReadFileBytes(path);
    }
};

TEST_F(MainFilesTest, NothingIsAskedOrWrittenBeforeACalculation)
{
    fmMain->dlgSave.FileName = Out("preset.flt");
    fmMain->dlgSave.Preset = 1;
    fmMain->btSaveFilteredClick();
    fmMain->btSaveCEClick();
    for (const char* name : {"btSaveDC", "btSaveCPattern"})
        Click(name);
    EXPECT_EQ(DialogsShown, 0);
    EXPECT_FALSE(QFileInfo::exists(Out("preset.flt")));
    EXPECT_EQ(fmMain->dlgSave.Preset, 1); // not used, so not reset
    EXPECT_TRUE(Messages.empty());
}

TEST_F(MainFilesTest, FilteredTableUsesThePresetNameOnceThenTheDialog)
{
    Calculate();
    const std::string expected =
        Expected([&](const char* p) { return WriteFilteredTable(p, *fmMain->ExprData(), '.'); });
    ASSERT_NE(expected.find("\"ID\"\t\"Name\"\t\"A1\""), std::string::npos);

    fmMain->dlgSave.FileName = Out("preset.flt");
    fmMain->dlgSave.Preset = 1;
    Click("btSaveFiltered");
    EXPECT_EQ(DialogsShown, 0);
    EXPECT_EQ(fmMain->dlgSave.Preset, 0);
    EXPECT_EQ(ReadFileBytes(Out("preset.flt")), expected);

    DialogAnswers = {Out("chosen.flt"), QString()};
    Click("btSaveFiltered");
    EXPECT_EQ(DialogsShown, 1);
    EXPECT_EQ(ReadFileBytes(Out("chosen.flt")), expected);
    // A cancelled dialog writes nothing and leaves the busy indicator alone.
    Click("btSaveFiltered");
    EXPECT_EQ(DialogsShown, 2);
    EXPECT_FALSE(Ctl("btBusy")->isEnabled());
    EXPECT_TRUE(Messages.empty());
}

TEST_F(MainFilesTest, PairwiseFileReportsTheFieldsAsTheyStandAndKeepsThem)
{
    Calculate();
    fmMain->edCEPower->setText("02");
    fmMain->edCEThreshold->setText("0.90");
    const std::string expected = Expected(
        [&](const char* p) { return WritePairwiseCE(p, *fmMain->ExprData(), *fmMain->CEMatrix(), 2, 0.9); });
    ASSERT_NE(expected.find("\"Filtering power:\"\t2\r\n\"Filtering threshold:\"\t0.900000\r\n"),
              std::string::npos);
    DialogAnswers = {Out("pairs.ce")};
    Click("btSaveCE");
    EXPECT_EQ(ReadFileBytes(Out("pairs.ce")), expected);
    EXPECT_EQ(Text("edCEPower"), "02"); // the pairwise file leaves the fields as typed
    EXPECT_EQ(Text("edCEThreshold"), "0.90");
    EXPECT_FALSE(Ctl("btBusy")->isEnabled());
}

TEST_F(MainFilesTest, TypingErrorsEndTheSavesBeforeAnyFileExists)
{
    Calculate();
    struct {
        const char* Button;
        const char* Power;
        const char* Threshold;
        const char* Pattern;
        const char* Message;
    } cases[] = {
        {"btSaveCE", "x", "0.9", "0", "'x' is not a valid integer value"},
        {"btSaveCE", "1", "0.9.1", "0", "'0.9.1' is not a valid floating point value"},
        {"btSaveDC", "", "0.9", "0", "'' is not a valid integer value"},
        {"btSaveDC", "1", "abc", "0", "'abc' is not a valid floating point value"},
        {"btSaveDC", "0", "0.9", "0", "The correlation power must be a whole number of at least 1."},
        {"btSaveCPattern", "1", "0.9", "one", "'one' is not a valid integer value"},
        {"btSaveCPattern", "1", "1,5", "1", "'1,5' is not a valid floating point value"},
        {"btSaveCPattern", "1", "0.9", "77", "No gene belongs to pattern 77."},
    };
    int k = 0;
    for (const auto& c : cases) {
        Messages.clear();
        fmMain->edCEPower->setText(QLatin1String(c.Power));
        fmMain->edCEThreshold->setText(QLatin1String(c.Threshold));
        fmMain->edPattern->setText(QLatin1String(c.Pattern));
        const QString path = Out("refused") + QString::number(k++);
        DialogAnswers = {path};
        Click(c.Button);
        ASSERT_EQ(Messages.size(), 1u) << c.Button << " " << c.Message;
        EXPECT_EQ(Messages[0].Text, QLatin1String(c.Message));
        EXPECT_EQ(Messages[0].Caption, "Error");
        EXPECT_FALSE(QFileInfo::exists(path)) << c.Button << " " << c.Message;
        EXPECT_FALSE(Ctl("btBusy")->isEnabled()) << c.Button;
    }
}

TEST_F(MainFilesTest, GeneListAndPatternFilesFollowTheBlueGeneAndRewriteTheFields)
{
    Calculate();
    const cExprData& d = *fmMain->ExprData();
    Ctl<QSlider>("tbGeneNum1")->setValue(3); // P50, the mirror of P17
    struct {
        const char* Power;
        const char* Threshold;
        int P;
        double T;
        const char* PowerAfter;
        const char* ThresholdAfter;
    } cases[] = {{"1", "0.90", 1, 0.9, "1", "0.9"},
                 {"02", "0.81", 2, 0.81, "2", "0.81"},
                 {"1", "1.5", 1, 1.5, "1", "1.5"}};
    for (const auto& c : cases) {
        fmMain->edCEPower->setText(QLatin1String(c.Power));
        fmMain->edCEThreshold->setText(QLatin1String(c.Threshold));
        const std::string expected =
            Expected([&](const char* p) { return WriteGeneList(p, d, 2, c.P, c.T, '.'); });
        DialogAnswers = {Out("dc.txt")};
        Click("btSaveDC");
        EXPECT_EQ(ReadFileBytes(Out("dc.txt")), expected) << c.Threshold;
        EXPECT_EQ(Text("edCEPower"), QLatin1String(c.PowerAfter));
        EXPECT_EQ(Text("edCEThreshold"), QLatin1String(c.ThresholdAfter));
    }

    // The pattern file: the blue gene's own pattern, then another pattern
    // number, which lists the genes of that pattern around its first gene.
    ASSERT_GE(d.nPatterns, 1);
    fmMain->edCEPower->setText("1");
    fmMain->edCEThreshold->setText("0.90");
    for (int pattern = 0; pattern <= d.nPatterns; ++pattern) {
        fmMain->edPattern->setText(QString::number(pattern));
        const std::string expected = Expected([&](const char* p) {
            return WritePatternFile(p, d, *fmMain->CEMatrix(), 2, pattern, 1, 0.9, '.');
        });
        DialogAnswers = {Out("pattern.txt")};
        Click("btSaveCPattern");
        EXPECT_EQ(ReadFileBytes(Out("pattern.txt")), expected) << pattern;
        EXPECT_EQ(Text("edCEThreshold"), "0.9");
    }
    EXPECT_TRUE(Messages.empty());
}

TEST_F(MainFilesTest, AFileThatCannotBeCreatedIsReported)
{
    Calculate();
    // A missing folder, and a place no file can be written to.
    for (const QString& nowhere :
         {Tmp.filePath("no/such/folder/out.txt"), QStringLiteral("/proc/pairs.ce")}) {
        Messages.clear();
        for (const char* button : {"btSaveFiltered", "btSaveCE", "btSaveDC", "btSaveCPattern"}) {
            DialogAnswers = {nowhere};
            Click(button);
            EXPECT_FALSE(Ctl("btBusy")->isEnabled()) << button;
        }
        ASSERT_EQ(Messages.size(), 4u) << nowhere.toStdString();
        for (const cShownMessage& m : Messages) {
            EXPECT_EQ(m.Caption, "Error");
            EXPECT_TRUE(m.Text.contains(nowhere)) << m.Text.toStdString();
        }
        EXPECT_FALSE(QFileInfo(nowhere).isFile() && QFileInfo(nowhere).size() > 0);
    }
    EXPECT_EQ(DialogsShown, 8);
}
