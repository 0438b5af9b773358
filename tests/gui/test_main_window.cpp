// The main window driven through its controls: start-up state, Load Data,
// normalization, console printouts, Calculate CE, patterns, exit and About.
#include "test_main_support.h"

#include "app/Jobs.h"

#include "about/About.h"
#include "app/WinExprData.h"
#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "engine/Format.h"
#include "rjobs/Rparam.h"
#include "views/Find.h"
#include "views/Histogram.h"
#include "views/Plot.h"
#include "views/Scr3d.h"
#include "views/Screen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include <cmath>

// Readable failure messages for texts.
static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Six genes over six arrays: an exact copy, a mirror, a gene with a missing
// value, a constant gene and an unrelated one.
const char* kSmallTable = "ID\tName\tA 1\tA 2\tA 3\tA 4\tA 5\tA 6\n"
                          "G1\tKinase A [NM_0001]\t1\t2\t3\t4\t5\t6\n"
                          "G2\tReceptor B [NM_0002]\t2\t4\t6\t8\t10\t12\n"
                          "G3\tMirror\t6\t5\t4\t3\t2\t1\n"
                          "G4\tGappy\t1\t3\t2\t5\t4\tN\n"
                          "G5\tFlat\t5\t5\t5\t5\t5\t5\n"
                          "G6\tOther\t3\t1\t4\t1\t5\t9\n";

// Shown or hidden by the window (whether its tab page is in front does not matter).
bool Visible(QWidget* w)
{
    return !w->isHidden();
}

} // namespace

TEST_F(MainWindowTest, StartsWithTheSpecifiedWindowsAndControlStates)
{
    EXPECT_EQ(fmMain->windowTitle(), "Korvalent");
    EXPECT_EQ(fmMain->size(), QSize(744, 600));
    EXPECT_EQ(fmMain->minimumSize(), fmMain->maximumSize());
    for (QWidget* w :
         {static_cast<QWidget*>(fmFind), static_cast<QWidget*>(fmScreen), static_cast<QWidget*>(fmScr3D),
          static_cast<QWidget*>(fmAbout), static_cast<QWidget*>(fmPlot), static_cast<QWidget*>(fmHistogram),
          static_cast<QWidget*>(fmRParam)}) {
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->isVisible()) << qPrintable(w->objectName());
    }
    EXPECT_EQ(fmMain->ExprData(), nullptr);
    EXPECT_EQ(fmMain->CEMatrix(), nullptr);
    EXPECT_EQ(fmMain->StartFolder(), QDir::currentPath());

    const char* enabled[] = {"btOpen",     "btROptions",    "btAbout",        "btExit",       "btShowMA",
                             "btMeanByMA", "btStdByMA",     "btShowID",       "btMean4Genes", "btSTD4Genes",
                             "btClearCon", "btListPattern", "btSaveCPattern", "btSaveDC",     "btBuild",
                             "btKillDC",   "btFind1",       "btFind2"};
    for (const char* name : enabled)
        EXPECT_TRUE(Ctl(name)->isEnabled()) << name;
    const char* disabled[] = {"btBusy",    "btNormalize",  "btCalcCE",       "btRenewCE",
                              "btNetwork", "btCEPatterns", "btSaveFiltered", "btSaveCE"};
    for (const char* name : disabled)
        EXPECT_FALSE(Ctl(name)->isEnabled()) << name;
    for (const char* name :
         {"btPlot", "btDistrib", "btShowCE", "btShowGN", "panMIParam", "imgR", "imgNoR", "Button1"})
        EXPECT_FALSE(Visible(Ctl(name))) << name;
    EXPECT_TRUE(Visible(Ctl("panCParam")));

    struct {
        const char* Name;
        const char* Text;
    } texts[] = {
        {"btOpen", "Load Data"},
        {"btNormalize", "Normalize"},
        {"btCalcCE", "Calculate CE"},
        {"btNetwork", "Network"},
        {"btExit", "Exit"},
        {"btRenewCE", ""},
        {"btAbout", ""},
        {"btPlot", "Profiles"},
        {"btDistrib", "Distributions"},
        {"btShowCE", "CE Map"},
        {"btShowGN", "Gene Net"},
        {"lbPath", "none"},
        {"lbFileName", "none"},
        {"lbNGenes", "none"},
        {"lbNArrays", "none"},
        {"lbMissing", "none"},
        {"lbMean", "none"},
        {"lbStDev", "none"},
        {"lbCoexpressed", "none genes are found coexpressed"},
        {"lbNPatterns", "none"},
        {"lbNGenesRep", "none"},
        {"edCEPower", "1"},
        {"edCEThreshold", "0.9"},
        {"edPattern", "0"},
        {"Edit3", "16"},
        {"Edit4", "0.5"},
        {"edFileNameOut", "data.norm"},
        {"edGeneNum1", "1"},
        {"edGeneNum2", "1"},
        {"lbPattern1", "0000"},
        {"lbCorrelation", "none"},
        {"btShowMA", "Array names"},
        {"btMeanByMA", "Mean for arrays"},
        {"btStdByMA", "St.dev. for arrays"},
        {"btShowID", "Gene IDs"},
        {"btMean4Genes", "Mean for genes"},
        {"btSTD4Genes", "St.dev. for genes"},
        {"btClearCon", "X"},
        {"btCEPatterns", "Detect CE patterns"},
        {"btListPattern", "List CE pattern"},
        {"btSaveCPattern", "Save CE pattern"},
        {"btSaveFiltered", "Save filtered DATA"},
        {"btSaveCE", "Save pairwise CE"},
        {"btSaveDC", "Save DC"},
        {"btArrayNorm", "Between-array normalization"},
        {"btGeneNorm", "Between-gene normalization"},
        {"btRProcessing", "Start processing"},
        {"Button1", "FreeMemory"},
        {"mCon", ""},
    };
    for (const auto& t : texts)
        EXPECT_EQ(Text(t.Name), QLatin1String(t.Text)) << t.Name;
    EXPECT_EQ(fmMain->btOpen->toolTip(), "Load expression data table");
    EXPECT_EQ(fmMain->btNormalize->toolTip(), "Normalize data using current settings");
    EXPECT_EQ(fmMain->btCalcCE->toolTip(), "Calculate co-expression using current settings");
    EXPECT_EQ(fmMain->btExit->toolTip(), "Exit program");
    // Disabled until a load: the colour it shows once enabled.
    EXPECT_EQ(fmMain->btCalcCE->palette().color(QPalette::Active, QPalette::ButtonText), QColor(0, 128, 0));

    auto* pages = Ctl<QTabWidget>("PageControl");
    ASSERT_EQ(pages->count(), 4);
    const char* tabNames[] = {"tshImport", "tshNormalization", "tshCalcCE", "tshAnalyze"};
    const char* tabCaptions[] = {"Data", "Normalization", "CE && Patterns", "Analysis by Genes"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), QLatin1String(tabNames[i]));
        EXPECT_EQ(pages->tabText(i), QLatin1String(tabCaptions[i]));
    }
    EXPECT_EQ(pages->currentIndex(), 0);
    auto* gauge = Ctl<QProgressBar>("cgProgress");
    EXPECT_EQ(gauge->maximum(), 1000);
    EXPECT_EQ(Ctl<QComboBox>("cbbMeasure")->currentIndex(), 0);
    EXPECT_EQ(Ctl<QComboBox>("cbbMeasure")->itemText(1), "Mutual Information");
    for (const char* box :
         {"chbCenterArrays", "chbScaleArrays", "chbCenterGenes", "chbScaleGenes", "cbCompare"})
        EXPECT_TRUE(Ctl<QCheckBox>(box)->isChecked()) << box;
    EXPECT_FALSE(Ctl("Edit3")->isEnabled());
    EXPECT_EQ(Ctl<QSlider>("tbGeneNum1")->maximum(), 1000);
    EXPECT_EQ(Ctl<QSlider>("tbGeneNum1")->value(), 1);
    EXPECT_EQ(fmMain->dlgOpen.Preset, 0);
    EXPECT_EQ(fmMain->dlgSave.Preset, 0);
    EXPECT_EQ(fmMain->dlgOpen.objectName(), "dlgOpen");
    EXPECT_EQ(fmMain->dlgSave.objectName(), "dlgSave");
    EXPECT_EQ(fmMain->dlgOpen.DefaultExt, "txt");
    EXPECT_EQ(fmMain->dlgSave.DefaultExt, "txt");
    EXPECT_EQ(fmMain->dlgOpen.Filter, "Text files|*.txt|Filtered expression files|*.flt|All files|*.*");
    EXPECT_EQ(fmMain->dlgSave.Filter,
              "Text|*.txt|Filtered expression (text)|*.flt|Coexpression (text)|*.ce|All|*.*");
    EXPECT_EQ(fmMain->StatusPanel->text(), "Memory allocated:");
    EXPECT_EQ(fmMain->serCluster->objectName(), "serCluster");
    // The log holds only the R search lines (no time stamp) after start-up.
    for (const QString& line : LogLines())
        EXPECT_FALSE(line.contains(QLatin1String(": Data"))) << qPrintable(line);
}

TEST_F(MainWindowTest, EveryNamedControlCarriesItsName)
{
    const char* names[] = {"ToolBar1",        "btBusy",         "btROptions",
                           "btOpen",          "btNormalize",    "btCalcCE",
                           "btRenewCE",       "btNetwork",      "btAbout",
                           "btExit",          "GroupBox4",      "btPlot",
                           "btDistrib",       "btShowCE",       "btShowGN",
                           "PageControl",     "tshImport",      "tshNormalization",
                           "tshCalcCE",       "tshAnalyze",     "mLog",
                           "StatusBar",       "lbPath",         "lbFileName",
                           "lbNGenes",        "lbNArrays",      "lbMissing",
                           "lbMean",          "lbStDev",        "GroupBox5",
                           "btShowMA",        "btMeanByMA",     "btStdByMA",
                           "btShowID",        "btMean4Genes",   "btSTD4Genes",
                           "btClearCon",      "mCon",           "imgR",
                           "imgNoR",          "Button1",        "btArrayNorm",
                           "chbCenterArrays", "chbScaleArrays", "btGeneNorm",
                           "chbCenterGenes",  "chbScaleGenes",  "GroupBox3",
                           "Label19",         "edFileNameOut",  "btRProcessing",
                           "BitBtn1",         "mRNorm",         "cbbMeasure",
                           "panCParam",       "edCEPower",      "edCEThreshold",
                           "panMIParam",      "Edit3",          "Edit4",
                           "cgProgress",      "lbCoexpressed",  "btSaveFiltered",
                           "btSaveCE",        "btCEPatterns",   "lbNPatterns",
                           "lbNGenesRep",     "mPatterns",      "edPattern",
                           "btListPattern",   "btSaveCPattern", "Chart3",
                           "GroupBox7",       "edGeneNum1",     "tbGeneNum1",
                           "btFind1",         "lbID1",          "lbName1",
                           "lbPattern1",      "GroupBox2",      "cbCompare",
                           "edGeneNum2",      "tbGeneNum2",     "btFind2",
                           "lbID2",           "lbName2",        "lbPattern2",
                           "pCmpCorrelation", "lbCorrelation",  "Label23",
                           "btBuild",         "btKillDC",       "btSaveDC",
                           "pcPlots",         "tshProfile",     "tshCEProfile",
                           "Chart1",          "Chart2"};
    for (const char* name : names)
        EXPECT_NE(fmMain->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    EXPECT_NE(fmMain->findChild<QObject*>(QStringLiteral("Timer1")), nullptr);
    // Chart series belong to their charts, not to the widget tree.
    EXPECT_EQ(fmMain->Series1->objectName(), "Series1");
    EXPECT_EQ(fmMain->Series2->objectName(), "Series2");
    EXPECT_EQ(fmMain->Series3->objectName(), "Series3");
    EXPECT_EQ(fmMain->Series4->objectName(), "Series4");
    EXPECT_EQ(fmMain->serCluster->objectName(), "serCluster");
}

TEST_F(MainWindowTest, LoadDataFillsTheSummaryAndEnablesTheNextSteps)
{
    const QString path = WriteTable("small.txt", kSmallTable);
    Load(path);
    ASSERT_NE(fmMain->ExprData(), nullptr);
    EXPECT_EQ(fmMain->dlgOpen.Preset, 0);
    EXPECT_EQ(DialogsShown, 0);
    EXPECT_EQ(LogMessages().last(),
              QStringLiteral(": Data loading from ") + path + " .  36 values are loaded.");
    EXPECT_TRUE(LogLines().last().contains(
        QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d: Data loading"))));
    EXPECT_EQ(Text("lbPath"), QDir::toNativeSeparators(Tmp.path()));
    EXPECT_EQ(Text("lbFileName"), "small.txt");
    EXPECT_EQ(Text("lbNGenes"), "6");
    EXPECT_EQ(Text("lbNArrays"), "6");
    EXPECT_EQ(Text("lbMissing"), "1 (2%)"); // 1 of 36 is 2.7 %, truncated
    cExprData ref;
    ASSERT_EQ(ref.Load(path.toLocal8Bit().constData()), 36);
    EXPECT_EQ(Text("lbMean"), QString::fromStdString(FormatFixed(ref.TotalMean, 5, 5)));
    EXPECT_EQ(Text("lbStDev"), QString::fromStdString(FormatFixed(ref.TotalSD, 5, 5)));

    for (const char* name : {"btNormalize", "btCalcCE", "btOpen"})
        EXPECT_TRUE(Ctl(name)->isEnabled()) << name;
    for (const char* name :
         {"btBusy", "btRenewCE", "btCEPatterns", "btSaveFiltered", "btSaveCE", "btNetwork"})
        EXPECT_FALSE(Ctl(name)->isEnabled()) << name;
    EXPECT_TRUE(Visible(Ctl("btPlot")));
    EXPECT_TRUE(Visible(Ctl("btDistrib")));
    EXPECT_FALSE(Visible(Ctl("btShowCE")));
    EXPECT_EQ(fmMain->PageControl->currentIndex(), 0);
    for (const char* bar : {"tbGeneNum1", "tbGeneNum2"}) {
        auto* tb = Ctl<QSlider>(bar);
        EXPECT_EQ(tb->minimum(), 1);
        EXPECT_EQ(tb->maximum(), 6);
        EXPECT_EQ(tb->value(), 1);
        EXPECT_EQ(tb->tickInterval(), 0); // 6 / 20
    }

    // The preset was used once: the next Load Data shows the dialog, and a
    // cancel there changes nothing.
    const QString before = fmMain->mLog->toPlainText();
    DialogAnswers = {QString()};
    Click("btOpen");
    EXPECT_EQ(DialogsShown, 1);
    EXPECT_EQ(fmMain->mLog->toPlainText(), before);
    EXPECT_EQ(Text("lbNGenes"), "6");
}

TEST_F(MainWindowTest, MissingValueSummaryTruncatesAndTrackBarTicksFollowTheGeneCount)
{
    struct {
        int Genes;
        int Missing;
        const char* Text;
        int Tick;
    } cases[] = {
        {40, 0, "0 (0%)", 2}, {100, 1, "1 (0%)", 5}, {19, 19, "19 (10%)", 0}, {20, 30, "30 (15%)", 1}};
    for (const auto& c : cases) {
        std::string table = "ID\tName\ta\tb\tc\td\te\tf\tg\th\ti\tj\n";
        int left = c.Missing;
        for (int g = 0; g < c.Genes; ++g) {
            table += "gene" + std::to_string(g) + "\tname";
            for (int a = 0; a < 10; ++a) {
                if (left > 0 && (a + g) % 3 == 0) {
                    table += "\tN";
                    --left;
                } else {
                    table += "\t" + std::to_string(g + a);
                }
            }
            table += "\n";
        }
        ASSERT_EQ(left, 0);
        Load(WriteTable("m.txt", table));
        EXPECT_EQ(Text("lbMissing"), QLatin1String(c.Text)) << c.Genes;
        EXPECT_EQ(Ctl<QSlider>("tbGeneNum1")->tickInterval(), c.Tick) << c.Genes;
    }
}

TEST_F(MainWindowTest, LoadDataRefusesAMissingFileAndSurvivesAnUnreadableTable)
{
    Load(Tmp.filePath("absent.txt"));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Open expressions");
    EXPECT_EQ(Messages[0].Text, "No file found!");
    EXPECT_EQ(Text("lbPath"), "none");
    EXPECT_TRUE(LogMessages().filter(QStringLiteral("Data loading")).isEmpty());

    // Without a table every data action does nothing.
    fmMain->mCon->setPlainText("kept");
    for (const char* name :
         {"btShowMA", "btShowID", "btArrayNorm", "btGeneNorm", "btListPattern", "btSaveDC"})
        Click(name);
    EXPECT_EQ(Text("mCon"), "kept");
    EXPECT_EQ(Messages.size(), 1u);

    // Files that cannot be loaded: the log tells -1, a message box names the
    // file and the reason, and the table and matrix in memory stay as they were.
    Load(WriteTable("good.txt", kSmallTable));
    Click("btCalcCE");
    const cWinExprData* table = fmMain->ExprData();
    const cCEMatrix* matrix = fmMain->CEMatrix();
    ASSERT_NE(matrix, nullptr);
    const QStringList labels = {Text("lbPath"),        Text("lbFileName"), Text("lbNGenes"),
                                Text("lbNArrays"),     Text("lbMissing"),  Text("lbMean"),
                                Text("lbCoexpressed"), Text("lbNPatterns")};
    const struct {
        const char* Name;
        std::string Bytes;
        const char* Reason;
    } bad[] = {
        {"noheader.txt", "no header here\n1\t2\t3\n",
         "No header line holding \"ID\" and \"Name\" was found."},
        {"empty.txt", "", "No header line holding \"ID\" and \"Name\" was found."},
        {"binary.bin",
         std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                     16),
         "No header line holding \"ID\" and \"Name\" was found."},
    };
    for (const auto& b : bad) {
        Messages.clear();
        const QString path = WriteTable(b.Name, b.Bytes);
        Load(path);
        EXPECT_EQ(LogMessages().last(),
                  QStringLiteral(": Data loading from ") + path + " .  -1 values are loaded.");
        ASSERT_EQ(Messages.size(), 1u) << b.Name;
        EXPECT_EQ(Messages[0].Caption, "Open expressions");
        EXPECT_EQ(Messages[0].Text, "The file '" + path + "' cannot be loaded. " + QLatin1String(b.Reason));
        EXPECT_EQ(fmMain->ExprData(), table) << b.Name;
        EXPECT_EQ(fmMain->CEMatrix(), matrix) << b.Name;
        EXPECT_EQ(
            (QStringList{Text("lbPath"), Text("lbFileName"), Text("lbNGenes"), Text("lbNArrays"),
                         Text("lbMissing"), Text("lbMean"), Text("lbCoexpressed"), Text("lbNPatterns")}),
            labels)
            << b.Name;
        for (const char* name : {"btNormalize", "btCalcCE", "btRenewCE", "btCEPatterns", "btSaveFiltered",
                                 "btSaveCE", "btNetwork", "btOpen"})
            EXPECT_TRUE(Ctl(name)->isEnabled()) << name;
        EXPECT_FALSE(Ctl("btBusy")->isEnabled());
        for (const char* name : {"btPlot", "btDistrib", "btShowCE"})
            EXPECT_TRUE(Visible(Ctl(name))) << name;
    }
}

TEST_F(MainWindowTest, ConsolePrintoutsListTheTableOnePerLine)
{
    // Before any load the print buttons leave the console alone; X empties it.
    fmMain->mCon->setPlainText("earlier text");
    for (const char* name :
         {"btShowMA", "btMeanByMA", "btStdByMA", "btShowID", "btMean4Genes", "btSTD4Genes"}) {
        Click(name);
        EXPECT_EQ(Text("mCon"), "earlier text") << name;
    }
    Click("btClearCon");
    EXPECT_EQ(Text("mCon"), "");

    const QString path = WriteTable("small.txt", kSmallTable);
    Load(path);
    cExprData ref;
    ASSERT_GT(ref.Load(path.toLocal8Bit().constData()), 0);
    auto g5 = [](float v) { return QString::fromStdString(FormatGeneral(v, 5)); };
    struct {
        const char* Button;
        int Count;
        std::function<QString(int)> Line;
    } cases[] = {
        {"btShowMA", 6, [&](int k) { return QStringLiteral("#%1: ").arg(k + 1) + ref.ArrayName[k]; }},
        {"btMeanByMA", 6, [&](int k) { return QStringLiteral("#%1: ").arg(k + 1) + g5(ref.ArrayMean[k]); }},
        {"btStdByMA", 6, [&](int k) { return QStringLiteral("#%1: ").arg(k + 1) + g5(ref.ArraySD[k]); }},
        {"btShowID", 6, [&](int k) { return QStringLiteral("%1: ").arg(k + 1) + ref.GeneID[k]; }},
        {"btMean4Genes", 6, [&](int k) { return QStringLiteral("#%1:\t").arg(k + 1) + g5(ref.GeneMean[k]); }},
        {"btSTD4Genes", 6, [&](int k) { return QStringLiteral("#%1:\t").arg(k + 1) + g5(ref.GeneSD[k]); }},
    };
    for (const auto& c : cases) {
        QStringList expected;
        for (int k = 0; k < c.Count; ++k)
            expected << c.Line(k);
        Click(c.Button);
        Click(c.Button); // printing twice lists once
        EXPECT_EQ(Text("mCon"), expected.join(QLatin1Char('\n'))) << c.Button;
    }
    EXPECT_EQ(Text("mCon").split('\n').first(), "#1:\t1.8708"); // sqrt(3.5)
    Click("btShowMA");
    EXPECT_EQ(Text("mCon").split('\n').first(), "#1: A1"); // blanks of array names are dropped at load
    Click("btClearCon");
    EXPECT_EQ(Text("mCon"), "");

    // After a normalization the statistics listings show the recomputed values.
    Click("btArrayNorm");
    ref.NormArrays(true, true);
    for (const auto& c : cases) {
        QStringList expected;
        for (int k = 0; k < c.Count; ++k)
            expected << c.Line(k);
        Click(c.Button);
        EXPECT_EQ(Text("mCon"), expected.join(QLatin1Char('\n'))) << c.Button;
    }
}

TEST_F(MainWindowTest, NormalizationLogsItsPassesAndUpdatesTheTotals)
{
    const QString path = WriteTable("small.txt", kSmallTable);
    struct {
        bool Center, Scale;
        const char* Tail;
    } cases[] = {{true, true, "(centring scaling )."},
                 {true, false, "(centring )."},
                 {false, true, "(scaling )."},
                 {false, false, "()."}};
    for (const auto& c : cases) {
        Load(path);
        cExprData ref;
        ASSERT_GT(ref.Load(path.toLocal8Bit().constData()), 0);
        Ctl<QCheckBox>("chbCenterArrays")->setChecked(c.Center);
        Ctl<QCheckBox>("chbScaleArrays")->setChecked(c.Scale);
        Click("btArrayNorm");
        ref.NormArrays(c.Center, c.Scale);
        EXPECT_EQ(LogMessages().last(),
                  QStringLiteral(": between-arrays normalization is performed ") + c.Tail);
        EXPECT_EQ(Text("lbMean"), QString::fromStdString(FormatFixed(ref.TotalMean, 5, 5)));
        EXPECT_EQ(Text("lbStDev"), QString::fromStdString(FormatFixed(ref.TotalSD, 5, 5)));
        EXPECT_EQ(std::memcmp(fmMain->ExprData()->Data[3], ref.Data[3], 6 * sizeof(float)), 0);

        Ctl<QCheckBox>("chbCenterGenes")->setChecked(c.Center);
        Ctl<QCheckBox>("chbScaleGenes")->setChecked(c.Scale);
        Click("btGeneNorm");
        ref.NormGenes(c.Center, c.Scale);
        EXPECT_EQ(LogMessages().last(),
                  QStringLiteral(": between-genes normalization is performed ") + c.Tail);
        EXPECT_EQ(Text("lbStDev"), QString::fromStdString(FormatFixed(ref.TotalSD, 5, 5)));
        EXPECT_FALSE(Ctl("btBusy")->isEnabled());
    }

    // The toolbar Normalize: genes first, then arrays; the profile plot opens
    // and the CE & Patterns page comes to the front.
    Load(path);
    for (const char* box : {"chbCenterArrays", "chbScaleArrays", "chbCenterGenes", "chbScaleGenes"})
        Ctl<QCheckBox>(box)->setChecked(true);
    cExprData ref;
    ASSERT_GT(ref.Load(path.toLocal8Bit().constData()), 0);
    ref.NormGenes(true, true);
    ref.NormArrays(true, true);
    const int lines = LogLines().size();
    Click("btNormalize");
    const QStringList log = LogMessages();
    ASSERT_EQ(log.size(), lines + 2);
    EXPECT_EQ(log[lines], ": between-genes normalization is performed (centring scaling ).");
    EXPECT_EQ(log[lines + 1], ": between-arrays normalization is performed (centring scaling ).");
    for (int g = 0; g < 6; ++g)
        EXPECT_EQ(std::memcmp(fmMain->ExprData()->Data[g], ref.Data[g], 6 * sizeof(float)), 0) << g;
    EXPECT_EQ(fmMain->PageControl->currentIndex(), 2);
    EXPECT_TRUE(fmPlot->isVisible());
}

TEST_F(MainWindowTest, CalculateCEFillsTheMatrixLabelsAndPatterns)
{
    const QString path = TestDataPath("examples/sample.txt");
    Load(path);
    fmMain->edCEThreshold->setText("0.90");
    fmMain->edCEPower->setText("01");
    const int lines = LogLines().size();
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);

    cExprData ref;
    ASSERT_GT(ref.Load(path.toLocal8Bit().constData()), 0);
    cCEMatrix m;
    ASSERT_TRUE(m.Alloc(ref.nGenes));
    ASSERT_EQ(ref.CalcCE(&m, 1, 0.9f), 1);
    ref.FindPatterns(&m);
    const int n = ref.nGenes;
    EXPECT_EQ(std::memcmp(fmMain->CEMatrix()->Cells, m.Cells, static_cast<std::size_t>(n) * n), 0);
    EXPECT_EQ(fmMain->ExprData()->nCEGenes, ref.nCEGenes);

    EXPECT_EQ(Text("edCEThreshold"), "0.9"); // written back in canonical form
    EXPECT_EQ(Text("edCEPower"), "1");
    const QStringList log = LogMessages().mid(lines);
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0], ": Calculation of CE matrix is started...");
    EXPECT_EQ(log[1], ": ... end finished.");
    EXPECT_EQ(log[2], QStringLiteral(": Gene assignement to patterns is completed: %1 patterns are detected.")
                          .arg(ref.nPatterns));
    EXPECT_EQ(Text("lbCoexpressed"), QStringLiteral("%1 genes are found coexpressed").arg(ref.nCEGenes));
    EXPECT_EQ(Ctl<QProgressBar>("cgProgress")->value(), 1000);

    // End state: idle caption in black, the result actions usable.
    EXPECT_EQ(Text("btCalcCE"), "Calculate CE");
    EXPECT_EQ(fmMain->btCalcCE->palette().color(QPalette::ButtonText), QColor(Qt::black));
    EXPECT_FALSE(fmMain->CalcRunning());
    for (const char* name : {"btOpen", "btNormalize", "btCalcCE", "btRenewCE", "btShowCE", "btCEPatterns",
                             "btSaveFiltered", "btSaveCE", "btNetwork"})
        EXPECT_TRUE(Ctl(name)->isEnabled()) << name;
    EXPECT_FALSE(Ctl("btBusy")->isEnabled());
    EXPECT_TRUE(Visible(Ctl("btShowCE")));
    EXPECT_FALSE(Visible(Ctl("btShowGN")));
    EXPECT_EQ(fmMain->PageControl->currentIndex(), 2);

    // Pattern detection ran and put its button back.
    EXPECT_EQ(Text("btCEPatterns"), "Detect CE patterns");
    EXPECT_EQ(fmMain->btCEPatterns->palette().color(QPalette::ButtonText), QColor(Qt::black));
    // Pattern summary, counts and chart.
    EXPECT_EQ(Text("lbNPatterns"), QString::number(ref.nPatterns));
    EXPECT_EQ(Text("lbNGenesRep"), "0");
    QStringList expected;
    for (int s = 0; s <= ref.nPatterns; ++s) {
        int q = 0;
        for (int g = 0; g < n; ++g)
            q += ref.Pattern[g] == s;
        expected << (s == 0 ? QStringLiteral("%1 genes do not show co-expression").arg(q)
                            : QStringLiteral("Pattern #%1 has %2 genes").arg(s).arg(q));
    }
    EXPECT_EQ(Text("mPatterns"), expected.join('\n'));
    const QList<QPointF> points = fmMain->serCluster->points();
    ASSERT_EQ(points.size(), n);
    for (int g = 0; g < n; ++g)
        EXPECT_EQ(points[g], QPointF(g, ref.Pattern[g])) << g;

    // A second load releases the matrix and takes the result actions away.
    Load(path);
    EXPECT_EQ(fmMain->CEMatrix(), nullptr);
    EXPECT_FALSE(Visible(Ctl("btShowCE")));
    for (const char* name : {"btSaveFiltered", "btSaveCE", "btRenewCE", "btCEPatterns"})
        EXPECT_FALSE(Ctl(name)->isEnabled()) << name;
    EXPECT_EQ(fmMain->btCalcCE->palette().color(QPalette::ButtonText), QColor(Qt::black));
}

TEST_F(MainWindowTest, CalculateCERefusesTextsAndNumbersItCannotUse)
{
    Load(WriteTable("small.txt", kSmallTable));
    struct {
        const char* Power;
        const char* Threshold;
        const char* Message;
        bool Started; // the conversion runs after the start line, the range check before it
    } cases[] = {
        {"abc", "0.9", "'abc' is not a valid integer value", true},
        {"1.5", "0.9", "'1.5' is not a valid integer value", true},
        {"1", "0,9", "'0,9' is not a valid floating point value", true},
        {"1", "", "'' is not a valid floating point value", true},
        {"0", "0.9", "The correlation power must be a whole number of at least 1.", false},
        {"-2", "0.9", "The correlation power must be a whole number of at least 1.", false},
        {"1", "0", "The filtering threshold must be a number above 0.", false},
        {"1", "-0.5", "The filtering threshold must be a number above 0.", false},
        {"1", "1e-50", "The filtering threshold must be a number above 0.", false}, // 0 as a float
        {"1", "1e39", "The filtering threshold must be a number above 0.", false},  // infinite as a float
    };
    for (const auto& c : cases) {
        Messages.clear();
        fmMain->edCEPower->setText(QLatin1String(c.Power));
        fmMain->edCEThreshold->setText(QLatin1String(c.Threshold));
        const int lines = LogLines().size();
        Click("btCalcCE");
        ASSERT_EQ(Messages.size(), 1u) << c.Power << " " << c.Threshold;
        EXPECT_EQ(Messages[0].Text, QLatin1String(c.Message));
        EXPECT_EQ(Messages[0].Caption, "Error");
        const QStringList log = LogMessages().mid(lines);
        EXPECT_EQ(log.size(), c.Started ? 1 : 0) << c.Power << " " << c.Threshold;
        EXPECT_EQ(fmMain->CEMatrix(), nullptr);
        // Back to idle with the states from before the click.
        EXPECT_FALSE(fmMain->CalcRunning());
        EXPECT_EQ(Text("btCalcCE"), "Calculate CE");
        EXPECT_EQ(fmMain->btCalcCE->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
        for (const char* name : {"btOpen", "btNormalize", "btCalcCE"})
            EXPECT_TRUE(Ctl(name)->isEnabled()) << name;
        for (const char* name : {"btBusy", "btRenewCE", "btSaveFiltered", "btSaveCE"})
            EXPECT_FALSE(Ctl(name)->isEnabled()) << name;
        EXPECT_TRUE(Ctl("btShowCE")->isEnabled()); // hidden, yet never disabled before a calculation
    }
    // A valid run afterwards works as usual.
    fmMain->edCEPower->setText("2");
    fmMain->edCEThreshold->setText("0.81");
    Messages.clear();
    Click("btCalcCE");
    EXPECT_TRUE(Messages.empty());
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    EXPECT_EQ(fmMain->CEMatrix()->At(0, 2), -100); // G1 and its mirror: r = -1, r^2 = 1
    EXPECT_EQ(fmMain->CEMatrix()->At(2, 0), 100);
    EXPECT_EQ(fmMain->CEMatrix()->At(1, 0), 100);
}

TEST_F(MainWindowTest, RecalculationMeasureListAndPatternListing)
{
    const QString path = WriteTable("small.txt", kSmallTable);
    Load(path);
    // Right after a load every gene is in pattern 0.
    Click("btListPattern");
    EXPECT_EQ(Text("mPatterns"),
              "Pattern #0\nGene #0: G1\nGene #1: G2\nGene #2: G3\nGene #3: G4\nGene #4: G5\nGene #5: G6");
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    // G1, G2, G3 are linked (|r| = 1); G4 follows G1 closely enough at 0.9?
    cExprData ref;
    ASSERT_GT(ref.Load(path.toLocal8Bit().constData()), 0);
    cCEMatrix m;
    ASSERT_TRUE(m.Alloc(6));
    ref.CalcCE(&m, 1, 0.9f);
    ref.FindPatterns(&m);
    ASSERT_GE(ref.nPatterns, 1);
    fmMain->edPattern->setText("1");
    Click("btListPattern");
    QStringList expected{QStringLiteral("Pattern #1")};
    for (int g = 0; g < 6; ++g)
        if (ref.Pattern[g] == 1) expected << QStringLiteral("Gene #%1: %2").arg(g).arg(ref.GeneID[g]);
    EXPECT_EQ(Text("mPatterns"), expected.join('\n'));
    // Out of range numbers leave the memo alone; text that is no integer is reported.
    for (const char* s : {"-1", "99"}) {
        fmMain->edPattern->setText(QLatin1String(s));
        Click("btListPattern");
        EXPECT_EQ(Text("mPatterns"), expected.join('\n')) << s;
    }
    fmMain->edPattern->setText("x1");
    Click("btListPattern");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "'x1' is not a valid integer value");

    // Re-calculation with a stricter threshold: log lines, fewer pairs.
    fmMain->edCEThreshold->setText("0.999");
    const int lines = LogLines().size();
    Click("btRenewCE");
    ref.RenewCE(&m, 1, 0.999f);
    ref.FindPatterns(&m);
    EXPECT_EQ(std::memcmp(fmMain->CEMatrix()->Cells, m.Cells, 36), 0);
    const QStringList log = LogMessages().mid(lines);
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0], ": Re-calculation of CE matrix is started...");
    EXPECT_EQ(log[1], ": ...end finished.");
    EXPECT_EQ(Text("lbNPatterns"), QString::number(ref.nPatterns));
    EXPECT_EQ(Text("lbCoexpressed"), QStringLiteral("%1 genes are found coexpressed").arg(ref.nCEGenes));
    EXPECT_TRUE(Ctl("btCEPatterns")->isEnabled());
    EXPECT_FALSE(Ctl("btBusy")->isEnabled());

    // The measure list swaps the parameter panels and enables pattern detection.
    Load(path);
    EXPECT_FALSE(Ctl("btCEPatterns")->isEnabled());
    Ctl<QComboBox>("cbbMeasure")->setCurrentIndex(1);
    EXPECT_FALSE(Visible(Ctl("panCParam")));
    EXPECT_TRUE(Visible(Ctl("panMIParam")));
    EXPECT_TRUE(Ctl("btCEPatterns")->isEnabled());
    Click("btCEPatterns"); // no matrix: nothing happens
    // The load cleared what showed the released matrix.
    EXPECT_EQ(Text("lbNPatterns"), "none");
    Ctl<QComboBox>("cbbMeasure")->setCurrentIndex(0);
    EXPECT_TRUE(Visible(Ctl("panCParam")));
    EXPECT_FALSE(Visible(Ctl("panMIParam")));
}

TEST_F(MainWindowTest, RecalculationRefusesNumbersWithoutACutOffBeforeAnythingChanges)
{
    Load(WriteTable("small.txt", kSmallTable));
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    const std::size_t cells = 36;
    const std::vector<std::int8_t> before(fmMain->CEMatrix()->Cells, fmMain->CEMatrix()->Cells + cells);
    const std::vector<int> nce(fmMain->ExprData()->nCE, fmMain->ExprData()->nCE + 6);
    fmScreen->hide();
    struct {
        const char* Power;
        const char* Threshold;
        const char* Message;
    } cases[] = {
        {"00", "0.9", "The correlation power must be a whole number of at least 1."},
        {"-1", "0.90", "The correlation power must be a whole number of at least 1."},
        {"1", "0.0", "The filtering threshold must be a number above 0."},
        {"1", "1e39", "The filtering threshold must be a number above 0."}, // infinite as a float
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Power << " " << c.Threshold);
        Messages.clear();
        fmMain->PageControl->setCurrentIndex(0);
        fmMain->edCEPower->setText(QLatin1String(c.Power));
        fmMain->edCEThreshold->setText(QLatin1String(c.Threshold));
        const int lines = LogLines().size();
        Click("btRenewCE");
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Caption, "Error");
        EXPECT_EQ(Messages[0].Text, QLatin1String(c.Message));
        // No start line, no page switch, the fields as typed, the results kept.
        EXPECT_EQ(LogLines().size(), lines);
        EXPECT_EQ(fmMain->PageControl->currentIndex(), 0);
        EXPECT_EQ(Text("edCEPower"), QLatin1String(c.Power));
        EXPECT_EQ(Text("edCEThreshold"), QLatin1String(c.Threshold));
        EXPECT_EQ(std::vector<std::int8_t>(fmMain->CEMatrix()->Cells, fmMain->CEMatrix()->Cells + cells),
                  before);
        EXPECT_EQ(std::vector<int>(fmMain->ExprData()->nCE, fmMain->ExprData()->nCE + 6), nce);
        EXPECT_FALSE(Ctl("btBusy")->isEnabled());
        EXPECT_FALSE(fmScreen->isVisible());
    }
    // Texts that are no numbers are still reported by the conversion, after the start line.
    Messages.clear();
    fmMain->edCEPower->setText("1");
    fmMain->edCEThreshold->setText("x");
    const int lines = LogLines().size();
    Click("btRenewCE");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "'x' is not a valid floating point value");
    EXPECT_EQ(LogMessages().mid(lines), QStringList{": Re-calculation of CE matrix is started..."});
    EXPECT_FALSE(Ctl("btBusy")->isEnabled());
}

TEST_F(MainWindowTest, ActionsSetTheirStartStatesBeforeTheyWork)
{
    // The states each action sets at its start, seen at its first log line
    // (written after them), each time from a window with every result action
    // usable and the last tab in front.
    const QString path = WriteTable("small.txt", kSmallTable);
    const char* watched[] = {"btBusy",   "btOpen",    "btNormalize",   "btCalcCE",      "btRenewCE",
                             "btPlot",   "btDistrib", "btShowCE",      "btCEPatterns",  "btSaveFiltered",
                             "btSaveCE", "btExit",    "btListPattern", "btSaveCPattern"};
    struct cSeen {
        bool Done = false;
        std::map<std::string, std::pair<bool, bool>> State; // name: enabled, shown
        int Page = -1;
        QString CalcCaption;
        QColor CalcColor;
        bool Running = false;
    };
    auto snapshot = [&](cSeen& s) {
        for (const char* name : watched)
            s.State[name] = {Ctl(name)->isEnabled(), Visible(Ctl(name))};
        s.Page = fmMain->PageControl->currentIndex();
        s.CalcCaption = fmMain->btCalcCE->text();
        s.CalcColor = fmMain->btCalcCE->palette().color(QPalette::Active, QPalette::ButtonText);
        s.Running = fmMain->CalcRunning();
    };
    struct {
        const char* Action;
        const char* Marker; // the action's first log line begins with it
        int Page;
        std::vector<const char*> Off;    // disabled at the start
        std::vector<const char*> Hidden; // hidden at the start
        std::vector<const char*> On;     // still usable at the start
        bool Cancel;                     // btCalcCE is the cancel button
    } cases[] = {
        {"btOpen",
         ": Data loading from ",
         3,
         {"btNormalize", "btCalcCE", "btRenewCE", "btCEPatterns", "btSaveFiltered", "btSaveCE"},
         {"btPlot", "btDistrib", "btShowCE"},
         {"btBusy", "btExit"},
         false},
        {"btCalcCE",
         ": Calculation of CE matrix is started...",
         2,
         // What reads the matrix being filled is off as well.
         {"btOpen", "btNormalize", "btRenewCE", "btShowCE", "btSaveFiltered", "btSaveCE", "btSaveCPattern"},
         {},
         {"btBusy", "btCalcCE", "btCEPatterns", "btExit", "btListPattern"},
         true},
        {"btRenewCE",
         ": Re-calculation of CE matrix is started...",
         2,
         {},
         {},
         {"btBusy", "btOpen", "btNormalize", "btCalcCE", "btShowCE", "btSaveFiltered", "btSaveCE"},
         false},
        {"btNormalize",
         ": between-genes normalization is performed",
         1,
         {},
         {},
         {"btBusy", "btOpen", "btCalcCE", "btRenewCE", "btShowCE", "btSaveFiltered", "btSaveCE"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Action);
        Load(path);
        Click("btCalcCE");
        ASSERT_NE(fmMain->CEMatrix(), nullptr);
        fmPlot->hide();
        fmScreen->hide();
        fmMain->PageControl->setCurrentIndex(3);
        cSeen seen;
        const QMetaObject::Connection watch =
            QObject::connect(fmMain->mLog, &QPlainTextEdit::textChanged, fmMain, [&] {
                if (!seen.Done && LogMessages().last().startsWith(QLatin1String(c.Marker))) {
                    seen.Done = true;
                    snapshot(seen);
                }
            });
        if (c.Action == std::string("btOpen"))
            Load(path);
        else
            Click(c.Action);
        QObject::disconnect(watch);
        ASSERT_TRUE(seen.Done);
        EXPECT_EQ(seen.Page, c.Page);
        for (const char* name : c.Off)
            EXPECT_FALSE(seen.State[name].first) << name;
        for (const char* name : c.Hidden)
            EXPECT_FALSE(seen.State[name].second) << name;
        for (const char* name : c.On)
            EXPECT_TRUE(seen.State[name].first) << name;
        EXPECT_EQ(seen.Running, c.Cancel);
        EXPECT_EQ(seen.CalcCaption, c.Cancel ? "Cancel" : "Calculate CE");
        EXPECT_EQ(seen.CalcColor, c.Cancel ? QColor(255, 0, 0) : QColor(Qt::black));
        // Every action ends idle.
        EXPECT_FALSE(Ctl("btBusy")->isEnabled());
        EXPECT_FALSE(fmMain->CalcRunning());
    }

    // Exit answered with Cancel leaves every state, the log and the data as they were.
    cSeen before, after;
    snapshot(before);
    const QString log = fmMain->mLog->toPlainText();
    const cWinExprData* data = fmMain->ExprData();
    const cCEMatrix* matrix = fmMain->CEMatrix();
    MessageAnswers = {cMsgResult::Cancel};
    Click("btExit");
    snapshot(after);
    EXPECT_EQ(after.State, before.State);
    EXPECT_EQ(after.Page, before.Page);
    EXPECT_EQ(fmMain->mLog->toPlainText(), log);
    EXPECT_EQ(fmMain->ExprData(), data);
    EXPECT_EQ(fmMain->CEMatrix(), matrix);
    EXPECT_TRUE(fmMain->isVisible());
}

TEST_F(MainWindowTest, ProgressDisplayAndMemoryPanelTexts)
{
    struct {
        float Progress;
        int Genes;
        int Gauge;
        const char* Text;
    } progress[] = {{0.0f, 0, 0, "Approximately 0 genes are found coexpressed"},
                    {37.56f, 412, 375, "Approximately 412 genes are found coexpressed"},
                    {99.9f, 7, 999, "Approximately 7 genes are found coexpressed"},
                    {99.99999f, 7, 999, "7 genes are found coexpressed"},
                    {100.0f, 1234, 1000, "1234 genes are found coexpressed"}};
    for (const auto& c : progress) {
        fmMain->ShowProgress(c.Progress, CoexpressedText(c.Progress, c.Genes));
        EXPECT_EQ(Ctl<QProgressBar>("cgProgress")->value(), c.Gauge) << c.Progress;
        EXPECT_EQ(Text("lbCoexpressed"), QLatin1String(c.Text)) << c.Progress;
    }
    struct {
        unsigned Bytes;
        const char* Text;
    } memory[] = {{0, "Memory allocated: 0 MB  (0 B)"},
                  {3911680, "Memory allocated: 4 MB  (3911680 B)"},
                  {150u * 1048576u, "Memory allocated: 1.5E2 MB  (157286400 B)"},
                  {99u * 1048576u, "Memory allocated: 99 MB  (103809024 B)"},
                  {4294967295u, "Memory allocated: 4.1E3 MB  (4294967295 B)"}};
    for (const auto& c : memory)
        EXPECT_EQ(TfmMain::MemoryText(c.Bytes), QLatin1String(c.Text)) << c.Bytes;

    // A timer tick shows the heap in use and, without R, makes the R button blink.
    fmMain->Session()->RAvailable = false;
    fmMain->Timer1Timer();
    EXPECT_TRUE(fmMain->StatusPanel->text().startsWith("Memory allocated: "));
    EXPECT_FALSE(Ctl("btRProcessing")->isEnabled());
    const QColor first = fmMain->btROptions->palette().color(QPalette::ButtonText);
    fmMain->Timer1Timer();
    const QColor second = fmMain->btROptions->palette().color(QPalette::ButtonText);
    fmMain->Timer1Timer();
    EXPECT_EQ(fmMain->btROptions->palette().color(QPalette::ButtonText), first);
    EXPECT_TRUE((first == QColor(255, 0, 0) && second == QColor(128, 0, 0)) ||
                (first == QColor(128, 0, 0) && second == QColor(255, 0, 0)));
    fmMain->Session()->RAvailable = true;
    fmMain->Timer1Timer();
    EXPECT_TRUE(Ctl("btRProcessing")->isEnabled());
    EXPECT_EQ(fmMain->btROptions->palette().color(QPalette::ButtonText), first); // no blinking
}

TEST_F(MainWindowTest, ColouredCaptionsLookDisabledWhenDisabled)
{
    // Disabled in their own states: "Calculate CE" before a load, "Detect CE
    // patterns" after one.
    EXPECT_FALSE(fmMain->btCalcCE->isEnabled());
    Load(TestDataPath("examples/sample.txt"));
    EXPECT_FALSE(fmMain->btCEPatterns->isEnabled());
    struct {
        const char* Name;
        QColor Colour;
    } cases[] = {
        {"btCalcCE", QColor(0, 128, 0)},      {"btCEPatterns", QColor(Qt::black)},
        {"btRProcessing", QColor(0, 0, 128)}, {"btBuild", QColor(0, 0, 255)},
        {"btClearCon", QColor(255, 0, 0)},
    };
    for (const auto& c : cases) {
        auto* b = Ctl<QAbstractButton>(c.Name);
        ASSERT_NE(b, nullptr);
        b->setEnabled(false);
        const QPalette style = QApplication::palette(b);
        // The style's grey, which differs from the colour, or the test tells nothing.
        ASSERT_NE(style.color(QPalette::Disabled, QPalette::ButtonText), c.Colour) << c.Name;
        for (const QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText})
            EXPECT_EQ(b->palette().color(QPalette::Disabled, role), style.color(QPalette::Disabled, role))
                << c.Name << " " << role;
        EXPECT_EQ(b->palette().color(QPalette::Active, QPalette::ButtonText), c.Colour) << c.Name;
        EXPECT_EQ(b->palette().color(QPalette::Inactive, QPalette::ButtonText), c.Colour) << c.Name;
        b->setEnabled(true);
        EXPECT_EQ(b->palette().color(QPalette::ButtonText), c.Colour) << c.Name;
    }

    // The blinking R button reads its colour back while disabled as well.
    fmMain->btROptions->setEnabled(false);
    fmMain->Session()->RAvailable = false;
    fmMain->Timer1Timer();
    const QColor first = fmMain->btROptions->palette().color(QPalette::Active, QPalette::ButtonText);
    fmMain->Timer1Timer();
    const QColor second = fmMain->btROptions->palette().color(QPalette::Active, QPalette::ButtonText);
    EXPECT_TRUE((first == QColor(255, 0, 0) && second == QColor(128, 0, 0)) ||
                (first == QColor(128, 0, 0) && second == QColor(255, 0, 0)));
}

TEST_F(MainWindowTest, ExitAsksFirstAndAboutShowsItsDisclaimer)
{
    MessageAnswers = {cMsgResult::Cancel};
    Click("btExit");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Exit");
    EXPECT_EQ(Messages[0].Text, "Do you really want to quit?");
    EXPECT_TRUE(fmMain->isVisible());

    Click("btAbout");
    ASSERT_TRUE(fmAbout->isVisible());
    auto* name = fmAbout->findChild<QLabel*>("lbProgram");
    auto* version = fmAbout->findChild<QLabel*>("lbVersion");
    auto* disclaimer = fmAbout->findChild<QLabel*>("lbDisclaimer");
    ASSERT_TRUE(name && version && disclaimer);
    EXPECT_EQ(name->text(), "Korvalent");
    EXPECT_EQ(version->text(), QStringLiteral("Version " KORVALENT_VERSION));
    QTest::mouseClick(disclaimer, Qt::LeftButton);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Caption, "Disclaimer");
    EXPECT_EQ(Messages[1].Text, TfmAbout::DisclaimerText());

    bool closed = false;
    QObject::connect(fmMain, &TfmMain::Closed, [&] { closed = true; });
    MessageAnswers = {cMsgResult::Ok};
    Click("btExit");
    EXPECT_TRUE(closed);
    EXPECT_FALSE(fmMain->isVisible());
}

TEST_F(MainWindowTest, ANewTableTakesTheNetworkButtonWithTheMatrix)
{
    Load(WriteTable("first.txt", kSmallTable));
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    EXPECT_TRUE(Ctl("btNetwork")->isEnabled());
    Load(WriteTable("second.txt", kSmallTable));
    EXPECT_EQ(fmMain->CEMatrix(), nullptr);
    EXPECT_FALSE(Ctl("btNetwork")->isEnabled());
}
