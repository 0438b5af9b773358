// The "Analysis by Genes" tab driven through its controls: gene selection by
// track bar and edit, read-outs, the expression and co-expression charts, the
// find buttons, and the removal of the blue gene's direct connections.
#include "test_main_support.h"

#include "app/WinExprData.h"
#include "engine/CEMatrix.h"
#include "engine/Numeric.h"
#include "ui/Convert.h"
#include "views/Find.h"
#include "views/Screen.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// g1 and g5 follow g0 (g5 through missing values), g2 mirrors it (r = -1),
// g3 follows it loosely (r = 31/35 = 0.886), g4 has no value, g6 barely
// relates to it.
const char* kGenes = "ID\tName\tA1\tA2\tA3\tA4\tA5\tA6\n"
                     "AB1\tkinase one\t1\t2\t3\t4\t5\t6\n"
                     "AB2\tkinase two\t2\t4\t6\t8\t10\t12.5\n"
                     "CD3\tmirror\t6\t5\t4\t3\t2\t1\n"
                     "CD4\tloose\t1\t3\t2\t5\t4\t6\n"
                     "EF5\tempty\tN\tN\tN\tN\tN\tN\n"
                     "EF6\tgappy\t1\tN\t3\t4\tN\t6.1\n"
                     "GH7\tnoise\t5\t1\t4\t2\t6\t3\n";
constexpr int kN = 7;

struct cLocaleScope {
    explicit cLocaleScope(const QLocale& l) : Saved(QLocale()) { QLocale::setDefault(l); }
    ~cLocaleScope() { QLocale::setDefault(Saved); }
    QLocale Saved;
};

class GeneTab : public MainWindowTest {
  protected:
    void LoadGenes() { Load(WriteTable("genes.txt", kGenes)); }
    QSlider* Bar(const char* name) { return Ctl<QSlider>(name); }
    QLineEdit* EditCtl(const char* name) { return Ctl<QLineEdit>(name); }
    QLineSeries* Series(const char* name);
    // Types a text into an edit the way its change handler sees it.
    void Type(const char* name, const QString& text) { EditCtl(name)->setText(text); }
    QStringList MessageTexts() const
    {
        QStringList out;
        for (const cShownMessage& m : Messages)
            out << m.Text;
        return out;
    }
    std::vector<std::int8_t> MatrixCells() const
    {
        const cCEMatrix* M = fmMain->CEMatrix();
        const std::size_t n = static_cast<std::size_t>(M->Size());
        return std::vector<std::int8_t>(M->Cells, M->Cells + n * n);
    }
    std::vector<int> CECounts() const
    {
        const cExprData* d = fmMain->ExprData();
        return std::vector<int>(d->nCE, d->nCE + d->nGenes);
    }
};

} // namespace

// The series live inside the chart, not as widgets of the window.
QLineSeries* GeneTab::Series(const char* name)
{
    for (QLineSeries* s : {fmMain->Series1, fmMain->Series2, fmMain->Series3, fmMain->Series4})
        if (s->objectName() == QLatin1String(name)) return s;
    ADD_FAILURE() << "no series " << name;
    return nullptr;
}

TEST_F(GeneTab, HandlersWaitForATable)
{
    Type("edGeneNum1", QStringLiteral("abc"));
    Type("edGeneNum2", QStringLiteral("5"));
    Bar("tbGeneNum1")->setValue(7);
    Click("btBuild");
    Click("btKillDC");
    Click("btFind1");
    EXPECT_TRUE(Messages.empty());
    for (const char* name : {"lbID1", "lbName1", "lbID2", "lbName2", "lbCorrelation"})
        EXPECT_EQ(Text(name), QStringLiteral("none")) << name;
    EXPECT_EQ(Text("lbPattern1"), QStringLiteral("0000"));
    EXPECT_EQ(fmMain->Series1->count(), 0);
    EXPECT_EQ(fmMain->Series3->count(), 0);
    EXPECT_FALSE(fmFind->isVisible());
}

TEST_F(GeneTab, LoadShowsGeneOneTwice)
{
    LoadGenes();
    EXPECT_EQ(Bar("tbGeneNum1")->maximum(), kN);
    for (const char* name : {"lbID1", "lbID2"})
        EXPECT_EQ(Text(name), QStringLiteral("AB1")) << name;
    for (const char* name : {"lbName1", "lbName2"})
        EXPECT_EQ(Text(name), QStringLiteral("kinase one")) << name;
    EXPECT_EQ(Text("lbPattern1"), QStringLiteral("0"));
    EXPECT_EQ(Text("lbCorrelation"), QStringLiteral("1.000"));
    ASSERT_EQ(fmMain->Series1->count(), 6);
    EXPECT_EQ(fmMain->Series1->points(), fmMain->Series2->points());
    EXPECT_EQ(fmMain->Series1->at(0), QPointF(1, 1));
    EXPECT_EQ(fmMain->Series1->at(5), QPointF(6, 6));
}

TEST_F(GeneTab, BlueEditAndTrackBarFollowEachOther)
{
    LoadGenes();
    struct cCase {
        const char* Typed;
        int Position;        // of tbGeneNum1 afterwards
        const char* Edit;    // text of edGeneNum1 afterwards
        const char* Message; // empty: none
    };
    // Each case starts from position 4 with the edit reading "4".
    const cCase cases[] = {
        {"3", 3, "3", ""},
        {"0", 1, "1", ""}, // clamped to the first gene
        {"-12", 1, "1", ""},
        {"99", kN, "7", ""}, // clamped to the last gene
        {" 2", 2, "2", ""},
        {"", 4, "", ""}, // empty text changes nothing
        {"abc", 4, "abc", "'abc' is not a valid integer value"},
        {"2.5", 4, "2.5", "'2.5' is not a valid integer value"},
    };
    for (const cCase& c : cases) {
        SCOPED_TRACE(c.Typed);
        Bar("tbGeneNum1")->setValue(1);
        Bar("tbGeneNum1")->setValue(4);
        ASSERT_EQ(Text("edGeneNum1"), QStringLiteral("4"));
        ASSERT_EQ(Text("lbID1"), QStringLiteral("CD4"));
        Messages.clear();
        Type("edGeneNum1", QLatin1String(c.Typed));
        EXPECT_EQ(Bar("tbGeneNum1")->value(), c.Position);
        EXPECT_EQ(Text("edGeneNum1"), QLatin1String(c.Edit));
        EXPECT_EQ(Text("lbID1"),
                  QString::fromLatin1("AB1,AB2,CD3,CD4,EF5,EF6,GH7").split(QLatin1Char(','))[c.Position - 1]);
        if (*c.Message) {
            ASSERT_EQ(Messages.size(), 1u);
            EXPECT_EQ(Messages[0].Text, QLatin1String(c.Message));
        } else {
            EXPECT_TRUE(Messages.empty()) << MessageTexts().join(QLatin1Char('|')).toStdString();
        }
        // The green selection is not touched.
        EXPECT_EQ(Bar("tbGeneNum2")->value(), 1);
    }
    // A number beyond the table while already at the last gene: the edit keeps it.
    Bar("tbGeneNum1")->setValue(kN);
    Type("edGeneNum1", QStringLiteral("50"));
    EXPECT_EQ(Bar("tbGeneNum1")->value(), kN);
    EXPECT_EQ(Text("edGeneNum1"), QStringLiteral("50"));
}

TEST_F(GeneTab, GreenEditMovesTheGreenGeneOnlyWhileComparing)
{
    LoadGenes();
    Type("edGeneNum2", QStringLiteral("6"));
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 6);
    EXPECT_EQ(Text("lbID2"), QStringLiteral("EF6"));
    EXPECT_EQ(Text("lbName2"), QStringLiteral("gappy"));
    // A missing value is a point at 0, not a gap.
    const QList<QPointF> want = {{1, 1}, {2, 0}, {3, 3}, {4, 4}, {5, 0}, {6, 6.1f}};
    EXPECT_EQ(fmMain->Series2->points(), want);

    Type("edGeneNum2", QStringLiteral("x1"));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, QStringLiteral("'x1' is not a valid integer value"));
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 6);
    EXPECT_EQ(Text("lbID2"), QStringLiteral("EF6"));

    Type("edGeneNum2", QStringLiteral("0"));
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 1);
    EXPECT_EQ(Text("edGeneNum2"), QStringLiteral("1"));

    // Unchecked: typing a green number does nothing, not even for bad text.
    Click("cbCompare");
    ASSERT_FALSE(fmMain->cbCompare->isChecked());
    Messages.clear();
    Type("edGeneNum2", QStringLiteral("3"));
    Type("edGeneNum2", QStringLiteral("bad"));
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 1);

    // The track bar still moves the green gene and its labels.
    Bar("tbGeneNum2")->setValue(3);
    EXPECT_EQ(Text("edGeneNum2"), QStringLiteral("3"));
    EXPECT_EQ(Text("lbID2"), QStringLiteral("CD3"));
}

TEST_F(GeneTab, CorrelationReadOut)
{
    LoadGenes();
    struct cCase {
        int Blue, Green;
        const char* Shown;
    };
    const cCase cases[] = {
        {1, 1, "1.000"}, {1, 3, "-1.000"}, {1, 4, "0.886"},  {4, 1, "0.886"},
        {5, 1, "0.000"}, {5, 5, "0.000"},  {4, 3, "-0.886"},
    };
    for (const cCase& c : cases) {
        Bar("tbGeneNum1")->setValue(c.Blue);
        Bar("tbGeneNum2")->setValue(c.Green);
        EXPECT_EQ(Text("lbCorrelation"), QLatin1String(c.Shown)) << c.Blue << " " << c.Green;
    }
    // Every pair shows its correlation rounded to 3 significant digits with
    // exactly 3 decimals.
    for (int a = 1; a <= kN; ++a)
        for (int b = 1; b <= kN; ++b) {
            Bar("tbGeneNum1")->setValue(a);
            Bar("tbGeneNum2")->setValue(b);
            const QString shown = Text("lbCorrelation");
            EXPECT_TRUE(shown.contains(QRegularExpression(QStringLiteral("^-?[01]\\.\\d\\d\\d$"))))
                << shown.toStdString();
            EXPECT_NEAR(shown.toDouble(), fmMain->ExprData()->Corr(a - 1, b - 1), 0.0005 + 1e-12);
        }
    {
        cLocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
        Bar("tbGeneNum1")->setValue(1);
        Bar("tbGeneNum2")->setValue(4);
        EXPECT_EQ(Text("lbCorrelation"), QStringLiteral("0,886"));
    }
}

TEST_F(GeneTab, UncheckedCompareKeepsTheLastCorrelationAndDropsTheGreenCurve)
{
    LoadGenes();
    Bar("tbGeneNum2")->setValue(4);
    ASSERT_EQ(Text("lbCorrelation"), QStringLiteral("0.886"));
    Click("cbCompare");
    // Unchecking changes nothing at once.
    EXPECT_EQ(fmMain->Series2->count(), 6);
    Bar("tbGeneNum1")->setValue(3);
    EXPECT_EQ(fmMain->Series1->count(), 6);
    EXPECT_EQ(fmMain->Series2->count(), 0);
    EXPECT_EQ(Text("lbCorrelation"), QStringLiteral("0.886"));
    EXPECT_EQ(Text("lbID2"), QStringLiteral("CD4")); // still written

    // A green number typed meanwhile is taken when comparing is checked again.
    Type("edGeneNum2", QStringLiteral("2"));
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 4);
    Click("cbCompare");
    ASSERT_TRUE(fmMain->cbCompare->isChecked());
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 2);
    EXPECT_EQ(Text("edGeneNum2"), QStringLiteral("2"));
    EXPECT_EQ(Text("lbID2"), QStringLiteral("AB2"));
    EXPECT_EQ(fmMain->Series2->count(), 6);
    EXPECT_EQ(fmMain->Series2->at(5), QPointF(6, 12.5));
    EXPECT_EQ(Text("lbCorrelation"), FixedText(fmMain->ExprData()->Corr(2, 1), 3, 3)); // blue 3, green 2

    // A green number outside the table reaching the click leaves everything.
    Ctl<QLineEdit>("edGeneNum2")->blockSignals(true);
    Type("edGeneNum2", QStringLiteral("70"));
    Ctl<QLineEdit>("edGeneNum2")->blockSignals(false);
    fmMain->cbCompareClick();
    EXPECT_EQ(Text("lbID2"), QStringLiteral("AB2"));
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 2);
}

TEST_F(GeneTab, PatternLabelsFollowTheSelection)
{
    LoadGenes();
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    Bar("tbGeneNum1")->setValue(2);
    Bar("tbGeneNum2")->setValue(5);
    EXPECT_EQ(Text("lbPattern1"), QString::number(fmMain->ExprData()->Pattern[1]));
    EXPECT_NE(Text("lbPattern1"), QStringLiteral("0"));
    EXPECT_EQ(Text("lbPattern2"), QStringLiteral("0")); // no values, no pattern
}

TEST_F(GeneTab, FindButtonsMoveTheirGene)
{
    LoadGenes();
    auto* list = fmFind->findChild<QListWidget*>(QStringLiteral("liResults"));
    fmFind->findChild<QLineEdit*>(QStringLiteral("edID"))->setText(QStringLiteral("CD"));
    fmFind->btFindClick();
    ASSERT_EQ(list->count(), 2);

    struct cCase {
        const char* Button;
        const char* Bar;
        int Row; // -1: the dialog is closed without OK
        int Want;
    };
    const cCase cases[] = {{"btFind1", "tbGeneNum1", 1, 4},
                           {"btFind2", "tbGeneNum2", 0, 3},
                           {"btFind1", "tbGeneNum1", -1, 4},
                           {"btFind2", "tbGeneNum2", -1, 3}};
    for (const cCase& c : cases) {
        QTimer::singleShot(0, fmFind, [&] {
            if (c.Row < 0) {
                fmFind->reject();
                return;
            }
            list->setCurrentRow(c.Row);
            fmFind->findChild<QPushButton*>(QStringLiteral("btTake"))->click();
        });
        Click(c.Button);
        EXPECT_EQ(Bar(c.Bar)->value(), c.Want) << c.Button << " " << c.Row;
    }
    EXPECT_EQ(Text("lbID1"), QStringLiteral("CD4"));
    EXPECT_EQ(Text("edGeneNum2"), QStringLiteral("3"));

    // The green find works with comparing switched off.
    Click("cbCompare");
    QTimer::singleShot(0, fmFind, [&] {
        list->setCurrentRow(1);
        fmFind->findChild<QPushButton*>(QStringLiteral("btTake"))->click();
    });
    Click("btFind2");
    EXPECT_EQ(Bar("tbGeneNum2")->value(), 4);
}

TEST_F(GeneTab, CoexpressChartFromFreshCorrelations)
{
    LoadGenes();
    struct cCase {
        int Blue, Green;
        const char* Power;
        const char* Threshold;
        const char* PowerAfter;
        const char* ThresholdAfter;
    };
    const cCase cases[] = {
        {1, 4, "1", "0.9", "1", "0.9"}, {1, 4, "02", "0.50", "2", "0.5"}, {3, 1, "3", "0.2", "3", "0.2"},
        {5, 2, "1", "0.1", "1", "0.1"}, {1, 1, "0", "0.9", "0", "0.9"},   {7, 6, "1", "-1", "1", "-1"},
    };
    for (const cCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.Blue << " " << c.Green << " p " << c.Power << " t " << c.Threshold);
        fmMain->pcPlots->setCurrentIndex(0);
        Bar("tbGeneNum1")->setValue(c.Blue);
        Bar("tbGeneNum2")->setValue(c.Green);
        Type("edCEPower", QLatin1String(c.Power));
        Type("edCEThreshold", QLatin1String(c.Threshold));
        Click("btBuild");
        EXPECT_TRUE(Messages.empty());
        EXPECT_EQ(Text("edCEPower"), QLatin1String(c.PowerAfter));
        EXPECT_EQ(Text("edCEThreshold"), QLatin1String(c.ThresholdAfter));
        EXPECT_EQ(fmMain->pcPlots->currentWidget(), fmMain->tshCEProfile);
        const int p = QString::fromLatin1(c.PowerAfter).toInt();
        const double t = QString::fromLatin1(c.ThresholdAfter).toDouble();
        for (auto [series, gene] : {std::pair{"Series3", c.Blue - 1}, std::pair{"Series4", c.Green - 1}}) {
            std::vector<float> r(kN);
            fmMain->ExprData()->CorrProfile(gene, r.data());
            QLineSeries* s = Series(series);
            ASSERT_EQ(s->count(), kN) << series;
            for (int k = 0; k < kN; ++k) {
                const double v = IntPower(r[static_cast<std::size_t>(k)], p);
                EXPECT_EQ(s->at(k), QPointF(k + 1, std::fabs(v) > t ? v : 0.0)) << series << " gene " << k;
            }
        }
    }
    // The gene itself shows 1; power 0 makes every gene 1.
    Bar("tbGeneNum1")->setValue(4);
    Type("edCEPower", QStringLiteral("1"));
    Type("edCEThreshold", QStringLiteral("0.95"));
    Click("btBuild");
    EXPECT_EQ(fmMain->Series3->at(3).y(), 1.0);
    EXPECT_EQ(fmMain->Series3->at(0).y(), 0.0);
    Type("edCEPower", QStringLiteral("0"));
    Click("btBuild");
    for (const QPointF& pt : fmMain->Series3->points())
        EXPECT_EQ(pt.y(), 1.0);
}

TEST_F(GeneTab, CoexpressRewritesTheGeneEditsAndStopsOnBadNumbers)
{
    LoadGenes();
    Bar("tbGeneNum1")->setValue(kN);
    Type("edGeneNum1", QStringLiteral("40")); // kept: the bar is already at the end
    Click("btBuild");
    EXPECT_EQ(Text("edGeneNum1"), QStringLiteral("7"));
    const QList<QPointF> before = fmMain->Series3->points();
    ASSERT_EQ(before.size(), kN);

    struct cCase {
        const char* Power;
        const char* Threshold;
        const char* Message;
    };
    const cCase cases[] = {{"x", "0.9", "'x' is not a valid integer value"},
                           {"1", "0.9.", "'0.9.' is not a valid floating point value"},
                           {"", "0.9", "'' is not a valid integer value"}};
    Bar("tbGeneNum1")->setValue(1);
    for (const cCase& c : cases) {
        Messages.clear();
        fmMain->pcPlots->setCurrentIndex(0);
        Type("edCEPower", QLatin1String(c.Power));
        Type("edCEThreshold", QLatin1String(c.Threshold));
        Click("btBuild");
        ASSERT_EQ(Messages.size(), 1u) << c.Power << " " << c.Threshold;
        EXPECT_EQ(Messages[0].Text, QLatin1String(c.Message));
        EXPECT_EQ(fmMain->Series3->points(), before);
        EXPECT_EQ(fmMain->pcPlots->currentIndex(), 0);
    }
}

TEST_F(GeneTab, KillDCRemovesTheBlueGenesPositivePartners)
{
    LoadGenes();
    Type("edCEThreshold", QStringLiteral("0.8"));
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    const std::vector<std::int8_t> before = MatrixCells();
    ASSERT_GT(CECounts()[1], 0);
    ASSERT_GT(CECounts()[2], 0); // the mirror gene is co-expressed (by magnitude)
    fmScreen->hide();
    fmMain->PageControl->setCurrentWidget(fmMain->tshAnalyze);
    fmMain->mLog->clear();

    Bar("tbGeneNum1")->setValue(1);
    Bar("tbGeneNum2")->setValue(7); // plays no part
    Type("edCEPower", QStringLiteral("01"));
    Click("btKillDC");
    EXPECT_TRUE(Messages.empty()) << MessageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Text("edCEPower"), QStringLiteral("1"));

    // Genes 2, 4 and 6 (indices 1, 3, 5) lose every stored cell; the rest of
    // the upper triangle (the stored correlations) is untouched.
    const cCEMatrix* M = fmMain->CEMatrix();
    for (int i = 0; i < kN; ++i)
        for (int j = 0; j < kN; ++j) {
            const bool cleared = i == 1 || i == 3 || i == 5 || j == 1 || j == 3 || j == 5;
            if (cleared)
                EXPECT_EQ(M->At(i, j), 0) << i << "," << j;
            else if (i <= j)
                EXPECT_EQ(M->At(i, j), before[static_cast<std::size_t>(i * kN + j)]) << i << "," << j;
        }
    // The renewal ran: removed genes have no partner, the blue gene keeps its
    // anti-correlated one, patterns and map follow.
    const std::vector<int> nce = CECounts();
    for (int k : {1, 3, 5})
        EXPECT_EQ(nce[static_cast<std::size_t>(k)], 0) << k;
    EXPECT_EQ(nce[0], 1);
    EXPECT_EQ(nce[2], 1);
    EXPECT_LT(M->At(2, 0), 0);
    for (int k : {1, 3, 5})
        EXPECT_EQ(fmMain->ExprData()->Pattern[k], 0) << k;
    EXPECT_TRUE(LogMessages().contains(QStringLiteral(": Re-calculation of CE matrix is started...")));
    EXPECT_TRUE(fmScreen->isVisible());
    EXPECT_FALSE(fmMain->btBusy->isEnabled());

    // The co-expression chart still shows the removed genes.
    Click("btBuild");
    EXPECT_GT(fmMain->Series3->at(1).y(), 0.8);

    // A second kill for the same gene changes nothing further.
    const std::vector<std::int8_t> once = MatrixCells();
    Click("btKillDC");
    EXPECT_EQ(MatrixCells(), once);
    EXPECT_EQ(CECounts(), nce);
}

TEST_F(GeneTab, KillDCWithAnEvenPowerLeavesAntiCorrelatedGenes)
{
    LoadGenes();
    Type("edCEPower", QStringLiteral("2"));
    Type("edCEThreshold", QStringLiteral("0.7"));
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    Bar("tbGeneNum1")->setValue(3); // the mirror gene: every strong partner is anti-correlated
    // The renewal works from the stored hundredths, which may differ from a
    // fresh calculation in the last digit: compare with a plain renewal.
    Click("btRenewCE");
    const std::vector<int> nce = CECounts();
    const std::vector<std::int8_t> before = MatrixCells();
    Click("btKillDC");
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(MatrixCells(), before);
    EXPECT_EQ(CECounts(), nce);
    EXPECT_TRUE(fmScreen->isVisible()); // renewed and redrawn all the same
}

TEST_F(GeneTab, KillDCRefusesParametersWithoutACutOff)
{
    LoadGenes();
    Click("btKillDC"); // no matrix yet: nothing happens
    EXPECT_TRUE(Messages.empty());
    Type("edCEThreshold", QStringLiteral("0.8"));
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    const std::vector<std::int8_t> before = MatrixCells();
    const std::vector<int> nce = CECounts();

    struct cCase {
        const char* Power;
        const char* Threshold;
        const char* Message;
    };
    const cCase cases[] = {
        {"0", "0.8", "The correlation power must be a whole number of at least 1."},
        {"-2", "0.8", "The correlation power must be a whole number of at least 1."},
        {"1", "0", "The filtering threshold must be a number above 0."},
        {"1", "-0.5", "The filtering threshold must be a number above 0."},
        {"p", "0.8", "'p' is not a valid integer value"},
        {"1", "0,8", "'0,8' is not a valid floating point value"},
    };
    for (const cCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Power << " " << c.Threshold);
        Messages.clear();
        fmMain->mLog->clear();
        Type("edCEPower", QLatin1String(c.Power));
        Type("edCEThreshold", QLatin1String(c.Threshold));
        Click("btKillDC");
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Text, QLatin1String(c.Message));
        EXPECT_EQ(MatrixCells(), before);
        EXPECT_EQ(CECounts(), nce);
        EXPECT_TRUE(LogLines().isEmpty()); // no renewal
        EXPECT_FALSE(fmMain->btBusy->isEnabled());
        EXPECT_EQ(Text("edCEPower"), QLatin1String(c.Power));
        EXPECT_EQ(Text("edCEThreshold"), QLatin1String(c.Threshold));
    }
}

// Not a check: takes the picture of the gene tab used in the documentation
// when KORVALENT_GENES_SCREENSHOT names the file to write (run it under
// xvfb-run with "-platform xcb" for real fonts), and prints how long the
// co-expression chart takes to fill and paint; otherwise it skips. The blue
// gene is one with many partners, the green one its closest partner.
TEST_F(MainWindowTest, GeneTabScreenshot)
{
    const QByteArray target = qgetenv("KORVALENT_GENES_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "set KORVALENT_GENES_SCREENSHOT to the picture's path";
    const QByteArray table = qgetenv("KORVALENT_SCREENSHOT_TABLE");
    Load(table.isEmpty() ? TestDataPath("examples/sample.txt") : QString::fromLocal8Bit(table));
    Click("btCalcCE");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    fmScreen->hide();
    const cExprData* d = fmMain->ExprData();
    const int n = d->nGenes;

    // The blue gene: the one with most partners among genes without missing
    // values (a full curve); the green gene: its most correlated partner.
    int blue = 0;
    for (int g = 0; g < n; ++g)
        if (d->nPresent[g] == static_cast<unsigned>(d->nArrays) && d->nCE[g] > d->nCE[blue]) blue = g;
    std::vector<float> r(static_cast<std::size_t>(n));
    d->CorrProfile(blue, r.data());
    int green = blue == 0 ? 1 : 0;
    for (int g = 0; g < n; ++g)
        if (g != blue && r[static_cast<std::size_t>(g)] > r[static_cast<std::size_t>(green)]) green = g;

    fmMain->PageControl->setCurrentWidget(fmMain->tshAnalyze);
    fmMain->tbGeneNum1->setValue(blue + 1);
    fmMain->tbGeneNum2->setValue(green + 1);
    fmMain->grab();

    std::vector<qint64> fill, paint;
    QElapsedTimer t;
    for (int run = 0; run < 5; ++run) {
        t.start();
        Click("btBuild");
        fill.push_back(t.elapsed());
        t.restart();
        fmMain->Chart2->grab();
        paint.push_back(t.elapsed());
    }
    std::sort(fill.begin(), fill.end());
    std::sort(paint.begin(), paint.end());
    QTest::qWait(300);
    ASSERT_TRUE(fmMain->grab().save(QString::fromLocal8Bit(target)));
    printf("genes: %d, blue %d (%d partners), green %d (r = %.3f)\n", n, blue + 1, d->nCE[blue], green + 1,
           r[static_cast<std::size_t>(green)]);
    printf("co-expression chart, median of 5: fill %lld ms, paint %lld ms\n", static_cast<long long>(fill[2]),
           static_cast<long long>(paint[2]));

    // Removing the blue gene's partners (once: removal is cumulative), with the
    // renewal and the map that follow it.
    fmMain->PageControl->setCurrentWidget(fmMain->tshAnalyze);
    t.restart();
    Click("btKillDC");
    printf("Kill DC genes with renewal and map: %lld ms, %d genes left co-expressed\n",
           static_cast<long long>(t.elapsed()), d->nCEGenes);
}
