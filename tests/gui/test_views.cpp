// The find dialog, the co-expression map, the profile plot and the histogram,
// driven through their controls on small tables put into the main window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "engine/CEMatrix.h"
#include "engine/MapImage.h"
#include "engine/Quartiles.h"
#include "test_main_support.h"
#include "ui/ChartTools.h"
#include "ui/Ui.h"
#include "views/Find.h"
#include "views/Histogram.h"
#include "views/Plot.h"
#include "views/Screen.h"

// Readable failure messages for texts.
static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct cMessage {
    QString caption, text;
};

class Views : public ::testing::Test {
  protected:
    void SetUp() override
    {
        CreateWindows();
        saved = MessageBoxHook();
        MessageBoxHook() = [this](QWidget*, const QString& caption, const QString& text, cMsgButtons) {
            messages.push_back({caption, text});
            return cMsgResult::Ok;
        };
    }
    void TearDown() override
    {
        MessageBoxHook() = saved;
        DestroyWindows();
    }

    // Puts a table read from text into the main window as its current data.
    cExprData* Table(const char* text)
    {
        auto* d = new cWinExprData();
        EXPECT_GE(d->LoadBuffer(text, std::strlen(text)), 0);
        Replace(d);
        return d;
    }
    // A table of n genes and m arrays, all values 0, for the map.
    cExprData* Blank(int n, int m)
    {
        auto* d = new cWinExprData();
        d->Alloc(n, m);
        Replace(d);
        return d;
    }
    void Replace(cWinExprData* d)
    {
        fmMain->Session()->SetTable(std::unique_ptr<cWinExprData>(d), QString());
    }
    cCEMatrix* Matrix()
    {
        auto m = std::make_unique<cCEMatrix>();
        EXPECT_TRUE(m->Alloc(fmMain->ExprData()->nGenes));
        cCEMatrix* raw = m.get();
        fmMain->Session()->SetMatrix(std::move(m), 0);
        return raw;
    }
    template <class T> T* Child(QWidget* w, const char* name)
    {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    cMessageBoxFn saved;
    std::vector<cMessage> messages;
};

QList<QPointF> Points(QChartView* view, const char* name)
{
    for (QAbstractSeries* s : view->chart()->series()) {
        if (s->objectName() != QLatin1String(name)) continue;
        if (auto* line = qobject_cast<QLineSeries*>(s)) return line->points();
        if (auto* area = qobject_cast<QAreaSeries*>(s)) return area->upperSeries()->points();
    }
    ADD_FAILURE() << "no series " << name;
    return {};
}

std::vector<int> ListedGenes(QListWidget* list)
{
    std::vector<int> genes;
    for (int r = 0; r < list->count(); ++r)
        genes.push_back(TfmFind::LineGene(list->item(r)->text()));
    return genes;
}

const char* FindTable = "ID\tName\tA1\tA2\tA3\n"
                        "AB1\tkinase X\t1\t2\t3\n"
                        "xab2\tAB kinase\t1\t2\t3\n"
                        "ABC:9\tphosphatase ab\t1\t2\t3\n"
                        "Q7\tKinase AB\t1\t2\t3\n";

} // namespace

TEST_F(Views, FindListsMatchingGenesInTableOrder)
{
    Table(FindTable);
    auto* edID = Child<QLineEdit>(fmFind, "edID");
    auto* edName = Child<QLineEdit>(fmFind, "edName");
    auto* list = Child<QListWidget>(fmFind, "liResults");
    struct Case {
        const char* id;
        const char* name;
        std::vector<int> genes;
    } cases[] = {
        {"AB", "", {1, 3}},     // case-sensitive: not xab2
        {"", "kinase", {1, 2}}, // not "Kinase AB"
        {"AB", "kinase", {1}},  // both texts must match
        {"", "AB", {2, 4}},     // the name alone decides
        {"", "", {}},           // nothing to look for
        {" AB", "", {}},        // no trimming
        {"b", "X", {}},         // each text matches a different gene
    };
    for (const Case& c : cases) {
        edID->setText(c.id);
        edName->setText(c.name);
        QTest::mouseClick(Child<QPushButton>(fmFind, "btFind"), Qt::LeftButton);
        EXPECT_EQ(ListedGenes(list), c.genes) << c.id << " / " << c.name;
    }
    edID->setText("AB1");
    edName->clear();
    fmFind->btFindClick();
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "#1:  AB1  kinase X");
}

TEST_F(Views, FindWithoutDataKeepsTheList)
{
    auto* list = Child<QListWidget>(fmFind, "liResults");
    list->addItem("#7:  old  line");
    Child<QLineEdit>(fmFind, "edID")->setText("AB");
    fmFind->btFindClick();
    EXPECT_EQ(list->count(), 1);
}

TEST_F(Views, TakeRules)
{
    Table(FindTable);
    auto* list = Child<QListWidget>(fmFind, "liResults");
    auto* take = Child<QPushButton>(fmFind, "btTake");
    Child<QLineEdit>(fmFind, "edID")->setText("AB");
    fmFind->btFindClick();
    ASSERT_EQ(list->count(), 2);

    // The selected line's number, even with a ":" in the ID.
    fmFind->show();
    list->setCurrentRow(1);
    take->click();
    EXPECT_EQ(fmFind->takenGene, 3);
    EXPECT_EQ(fmFind->result(), QDialog::Accepted);
    EXPECT_FALSE(fmFind->isVisible());

    // Lines but none selected: nothing is taken.
    fmFind->show();
    list->clearSelection();
    list->setCurrentRow(-1);
    take->click();
    EXPECT_EQ(fmFind->takenGene, 0);

    // An empty list: nothing is taken.
    list->setCurrentRow(0);
    fmFind->takenGene = 5;
    Child<QLineEdit>(fmFind, "edID")->setText("none of them");
    fmFind->btFindClick();
    EXPECT_EQ(list->count(), 0);
    fmFind->btTakeClick();
    EXPECT_EQ(fmFind->takenGene, 0);

    // A double click takes its line and closes with OK.
    Child<QLineEdit>(fmFind, "edID")->setText("Q");
    fmFind->btFindClick();
    fmFind->show();
    fmFind->setResult(QDialog::Rejected);
    const QRect r = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(fmFind->takenGene, 4);
    EXPECT_EQ(fmFind->result(), QDialog::Accepted);
    EXPECT_FALSE(fmFind->isVisible());
}

TEST_F(Views, TakeIntoMovesTheTrackBarOnlyWithAGeneOfTheTable)
{
    Table(FindTable);
    auto* bar = Child<QSlider>(fmMain, "tbGeneNum2");
    bar->setRange(1, 4);
    bar->setValue(1);
    auto* list = Child<QListWidget>(fmFind, "liResults");
    Child<QLineEdit>(fmFind, "edID")->setText("Q7");
    fmFind->btFindClick();
    ASSERT_EQ(list->count(), 1);

    const auto takeFirstLine = [&] {
        QTimer::singleShot(0, fmFind, [&] {
            list->setCurrentRow(0);
            Child<QPushButton>(fmFind, "btTake")->click();
        });
    };
    takeFirstLine();
    EXPECT_TRUE(fmFind->TakeGene(2));
    EXPECT_EQ(bar->value(), 4);

    // Closed without OK: unchanged.
    bar->setValue(2);
    QTimer::singleShot(0, fmFind, [&] { fmFind->reject(); });
    EXPECT_FALSE(fmFind->TakeGene(2));
    EXPECT_EQ(bar->value(), 2);

    // A line of an earlier, longer table: gene 4 is beyond the new table.
    Table("ID\tName\tA1\tA2\tA3\ng1\tn1\t1\t2\t3\ng2\tn2\t1\t2\t3\n");
    bar->setValue(2); // the load put the track bars back to gene 1
    takeFirstLine();
    EXPECT_FALSE(fmFind->TakeGene(2));
    EXPECT_EQ(bar->value(), 2);
}

namespace {

const char* PlotTable = "ID\tName\tA1\tA2\tA3\tA4\n"
                        "g1\tone\t1\t2\t3\t4\n"
                        "g2\tnone\tN\tN\tN\tN\n"
                        "g3\tflat\t5\t5\t5\t5\n"
                        "g4\tgap\t2\tN\t8\t6\n";

} // namespace

TEST_F(Views, ProfilePlotSeriesForEachChoice)
{
    const cExprData* d = Table(PlotTable);
    auto* show = Child<QComboBox>(fmPlot, "cbbShow");
    auto* variation = Child<QComboBox>(fmPlot, "cbbVariation");
    auto* chart = Child<QChartView>(fmPlot, "Chart");
    const cQuartiles gq = GeneQuartiles(*d), aq = ArrayQuartiles(*d);
    for (int byArrays = 0; byArrays < 2; ++byArrays)
        for (int v = 0; v < 3; ++v) {
            show->setCurrentIndex(byArrays);
            variation->setCurrentIndex(v);
            fmPlot->cbbShowChange();
            const int count = byArrays ? d->nArrays : d->nGenes;
            const float* mean = byArrays ? d->ArrayMean : d->GeneMean;
            const float* sd = byArrays ? d->ArraySD : d->GeneSD;
            const cQuartiles& q = byArrays ? aq : gq;
            QList<QPointF> lo, hi, mid;
            for (int i = 0; i < count; ++i) {
                if (v == 2) {
                    if (std::isnan(q.Median[i])) continue; // no present value: no point
                    lo.append(QPointF(i, q.Q1[i]));
                    hi.append(QPointF(i, q.Q3[i]));
                    mid.append(QPointF(i, q.Median[i]));
                } else {
                    const double k = v == 1 ? 3 : 1;
                    lo.append(QPointF(i, mean[i] - k * sd[i]));
                    hi.append(QPointF(i, mean[i] + k * sd[i]));
                    mid.append(QPointF(i, mean[i]));
                }
            }
            const std::string where = "show " + std::to_string(byArrays) + " variation " + std::to_string(v);
            EXPECT_EQ(Points(chart, "SerMin"), lo) << where;
            EXPECT_EQ(Points(chart, "SerMax"), hi) << where;
            EXPECT_EQ(Points(chart, "SerMean"), mid) << where;
            EXPECT_EQ(chart->chart()->title(), byArrays ? "Expression by Arrays" : "Expression by Genes");
            EXPECT_TRUE(chart->isVisibleTo(fmPlot));
        }
    // Spot checks of the figures themselves.
    show->setCurrentIndex(0);
    variation->setCurrentIndex(2);
    EXPECT_EQ(Points(chart, "SerMean").size(), 3);         // g2 has no present value
    EXPECT_EQ(Points(chart, "SerMean")[2], QPointF(3, 6)); // g4: {2, 6, 8}
    EXPECT_EQ(Points(chart, "SerMin")[2], QPointF(3, 4));
    EXPECT_EQ(Points(chart, "SerMax")[2], QPointF(3, 7));
    variation->setCurrentIndex(0);
    EXPECT_EQ(Points(chart, "SerMin")[2], Points(chart, "SerMax")[2]); // flat gene: sd 0
}

TEST_F(Views, ProfilePlotWithoutDataChangesNothing)
{
    auto* chart = Child<QChartView>(fmPlot, "Chart");
    fmPlot->cbbShowChange();
    EXPECT_EQ(chart->chart()->title(), "Gene profile");
    EXPECT_TRUE(Points(chart, "SerMean").isEmpty());
}

namespace {

// One gene holding the values of the worked example, statistics set to mean
// 0 and standard deviation 1 so the bins are 0.3 wide.
const char* HistTable = "ID\tName\tA1\tA2\tA3\tA4\tA5\tA6\tA7\tA8\n"
                        "g1\tone\t-3\t-3.1\t-3.4\t3\tN\t0\t2.9\t-2.6\n"
                        "g2\ttwo\t1\t1\t1\t1\t1\t1\t1\t1\n"
                        "g3\tthree\t1\t2\t3\t4\t5\t6\t7\t8\n";

} // namespace

TEST_F(Views, HistogramWorkedExample)
{
    cExprData* d = Table(HistTable);
    d->TotalMean = 0;
    d->TotalSD = 1;
    auto* chart = Child<QChartView>(fmHistogram, "ChartHist");
    // g2 and g3 add 8 values near the band's top: 1 x 8 -> bin 13; 1..8.
    fmHistogram->cbbShowChange();
    const QList<QPointF> p = Points(chart, "SerHist");
    ASSERT_EQ(p.size(), 20);
    EXPECT_DOUBLE_EQ(p[0].x(), -2.85);
    EXPECT_DOUBLE_EQ(p[19].x(), 2.85);
    std::vector<double> counts(20, 0);
    counts[0] = 2;      // -3 and -3.1
    counts[1] = 1;      // -2.6
    counts[10] = 1;     // 0
    counts[19] = 1;     // 2.9
    counts[13] = 8 + 1; // the eight 1s of g2 and the 1 of g3 (q = 13.33)
    counts[16] = 1;     // 2 (q = 16.67)
    for (int b = 0; b < 20; ++b)
        EXPECT_EQ(p[b].y(), counts[b]) << b;
    // Outliers: 3, -3.4 and g3's 3..8.
    EXPECT_EQ(chart->chart()->title(), "All Expression Values (except 8 outliers)");
    EXPECT_TRUE(messages.empty());
}

TEST_F(Views, HistogramControls)
{
    Table(HistTable);
    auto* chart = Child<QChartView>(fmHistogram, "ChartHist");
    auto* show = Child<QComboBox>(fmHistogram, "cbbShow");
    auto* number = Child<QLineEdit>(fmHistogram, "edNumber");
    auto* bins = Child<QLineEdit>(fmHistogram, "edNBins");
    auto* std = Child<QLineEdit>(fmHistogram, "edNStd");
    EXPECT_FALSE(number->isEnabled());
    fmHistogram->cbbShowChange();
    ASSERT_EQ(Points(chart, "SerHist").size(), 20);

    // Typing: each change refreshes at once.
    struct Case {
        QLineEdit* edit;
        const char* text;
        int points;          // -1: the previous points stay
        const char* title;   // null: not checked
        const char* message; // null: none expected
        const char* corrected = nullptr;
    } cases[] = {
        {bins, "", -1, nullptr, nullptr},
        {bins, "1", 0, nullptr, nullptr},
        {bins, "10", 10, "All Expression Values (except 0 outliers)", nullptr},
        {bins, "abc", 0, nullptr, "'abc' is not a valid integer value"},
        {bins, "200000", 0, nullptr, "'200000' bins are too many (at most 100000)"},
        {bins, "4", 4, nullptr, nullptr},
        {std, "0", 0, "All Expression Values: the range is empty (low equals high)", nullptr},
        {std, "x", 0, nullptr, "'x' is not a valid floating point value"},
        {std, "2", 4, nullptr, nullptr},
        {number, "zz", 4, nullptr, nullptr}, // not read while all values are shown
        {number, "2", 4, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const QList<QPointF> before = Points(chart, "SerHist");
        messages.clear();
        c.edit->setText(c.text);
        const QList<QPointF> after = Points(chart, "SerHist");
        const std::string where = c.edit->objectName().toStdString() + " '" + c.text + "'";
        if (c.points < 0)
            EXPECT_EQ(after, before) << where;
        else
            EXPECT_EQ(after.size(), c.points) << where;
        if (c.title) EXPECT_EQ(chart->chart()->title(), c.title) << where;
        if (c.message) {
            ASSERT_EQ(messages.size(), 1u) << where;
            EXPECT_EQ(messages[0].text, c.message);
        } else {
            EXPECT_TRUE(messages.empty()) << where << ": " << messages.front().text.toStdString();
        }
    }

    // One gene or array: the number is settled into the table's range. With
    // one standard deviation: gene 0 loses 3 and 2.9; gene 2 (1..8) loses 7
    // and 8 while 1 and 2 fall into bin 0; array 7 (-2.6, 1, 8) loses 8.
    struct Settle {
        int item;
        const char* typed;
        const char* settled;
        const char* title;
    } settles[] = {
        {1, "-5", "0", "Expressions for gene #0 (except 2 outliers)"},
        {1, "99", "2", "Expressions for gene #2 (except 2 outliers)"},
        {1, "1", "1", "Expressions for gene #1: the range is empty (low equals high)"},
        {2, "7", "7", "Expressions for array #7 (except 1 outliers)"},
        {2, "8", "7", "Expressions for array #7 (except 1 outliers)"},
    };
    std->setText("1");
    for (const Settle& s : settles) {
        show->setCurrentIndex(s.item);
        EXPECT_TRUE(number->isEnabled());
        number->setText(s.typed);
        EXPECT_EQ(number->text(), s.settled) << s.typed;
        EXPECT_EQ(chart->chart()->title(), s.title) << s.typed;
    }
    messages.clear();
    number->setText("q");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "'q' is not a valid integer value");
    show->setCurrentIndex(0);
    EXPECT_FALSE(number->isEnabled());
}

namespace {

QImage EngineMap(const cCEMatrix& m)
{
    QImage img(MapSide, MapSide, QImage::Format_RGB32);
    DrawCEMap(m.Cells, m.N, reinterpret_cast<std::uint32_t*>(img.bits()), img.bytesPerLine() / 4);
    return img;
}

QString Text(QWidget* w, const char* name)
{
    return w->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

} // namespace

TEST_F(Views, MapOfASmallTable)
{
    cExprData* d = Blank(4, 3);
    cCEMatrix* m = Matrix();
    ASSERT_FALSE(m->Empty());
    m->At(2, 0) = 57;
    m->At(3, 1) = -93;
    const int nce[] = {1, 1, 1, 1};
    const float level[] = {0.1425f, -0.2325f, 0.1425f, -0.2325f};
    for (int g = 0; g < 4; ++g) {
        d->nCE[g] = nce[g];
        d->CELevel[g] = level[g];
    }
    ASSERT_TRUE(fmScreen->Draw());
    EXPECT_TRUE(fmScreen->isVisible());
    const QImage& img = fmScreen->iScreen->Image;
    EXPECT_EQ(img, EngineMap(*m));
    EXPECT_EQ(img.pixel(124, 374), qRgb(255, 0, 0)); // pair (0, 2)
    EXPECT_EQ(img.pixel(374, 124), qRgb(255, 0, 0)); // mirrored
    EXPECT_EQ(img.pixel(249, 499), qRgb(0, 0, 255)); // pair (1, 3), at the edge
    EXPECT_EQ(img.pixel(123, 374), qRgb(0, 0, 0));   // a dot's rim
    EXPECT_EQ(img.pixel(499, 499), qRgb(255, 255, 255));
    EXPECT_EQ(Text(fmScreen, "lb11"), "1,1");
    EXPECT_EQ(Text(fmScreen, "lb12"), "1,4");
    EXPECT_EQ(Text(fmScreen, "lb21"), "4,1");
    EXPECT_EQ(Text(fmScreen, "lb22"), "4,4");
    QList<QPointF> hits, strength;
    for (int g = 0; g < 4; ++g) {
        hits.append(QPointF(g + 1, nce[g]));
        strength.append(QPointF(g + 1, level[g]));
    }
    EXPECT_EQ(Points(Child<QChartView>(fmScreen, "Chart1"), "Series1"), hits);
    EXPECT_EQ(Points(Child<QChartView>(fmScreen, "Chart2"), "Series2"), strength);
}

TEST_F(Views, MapOfALargeTableAndItsCloseUp)
{
    Blank(1000, 3);
    cCEMatrix* m = Matrix();
    ASSERT_FALSE(m->Empty());
    m->At(999, 0) = 40;
    m->At(500, 460) = -30;
    fmMain->btShowCEClick();
    EXPECT_TRUE(fmScreen->isVisible());
    const QImage& img = fmScreen->iScreen->Image;
    EXPECT_EQ(img, EngineMap(*m));
    EXPECT_EQ(img.pixel(0, 499), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(499, 0), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(230, 250), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(250, 230), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(250, 250), qRgb(255, 0, 0)); // diagonal
    EXPECT_EQ(Text(fmScreen, "lb22"), "1000,1000");

    // A click anywhere on the picture, with any button.
    QTest::mouseClick(fmScreen->iScreen, Qt::RightButton, {}, QPoint(250, 250));
    EXPECT_EQ(Text(fmScreen, "lbX"), "501 +/- 1");
    EXPECT_EQ(Text(fmScreen, "lbY"), "501 +/- 1");
    EXPECT_EQ(Text(fmScreen, "lbG11"), "450, 450");
    EXPECT_EQ(Text(fmScreen, "lbG21"), "549, 450");
    EXPECT_EQ(Text(fmScreen, "lbG12"), "450, 549");
    EXPECT_EQ(Text(fmScreen, "lbG22"), "549, 549");
    const QImage& close = fmScreen->iMacro->Image;
    EXPECT_EQ(close.pixel(10, 50), qRgb(0, 0, 255));
    EXPECT_EQ(close.pixel(50, 10), qRgb(0, 0, 255));
    EXPECT_EQ(close.pixel(20, 20), qRgb(255, 0, 0));
    EXPECT_EQ(close.pixel(20, 21), qRgb(255, 255, 255));

    // Near the corner: genes below 0 are grey. (A click at (0, 0) would be
    // sent to the widget's centre by the test tool, so (1, 1): genes -48..51.)
    QTest::mouseClick(fmScreen->iScreen, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(Text(fmScreen, "lbG11"), "-48, -48");
    EXPECT_EQ(Text(fmScreen, "lbG22"), "51, 51");
    EXPECT_EQ(close.pixel(47, 60), qRgb(136, 136, 136));
    EXPECT_EQ(close.pixel(60, 47), qRgb(136, 136, 136));
    EXPECT_EQ(close.pixel(60, 61), qRgb(255, 255, 255));
    EXPECT_EQ(close.pixel(48, 48), qRgb(255, 0, 0)); // gene 0's diagonal cell

    // Without a matrix (a new table loaded since) the close-up is grey.
    fmMain->Session()->ReleaseMatrix();
    QTest::mouseClick(fmScreen->iScreen, Qt::LeftButton, {}, QPoint(250, 250));
    for (int y = 0; y < CloseUpSide; ++y)
        for (int x = 0; x < CloseUpSide; ++x)
            ASSERT_EQ(close.pixel(x, y), qRgb(136, 136, 136));
    EXPECT_EQ(Text(fmScreen, "lbX"), "501 +/- 1");
}

TEST_F(Views, MapNeedsDataAndMatrix)
{
    EXPECT_FALSE(fmScreen->Draw());
    Blank(10, 3);
    EXPECT_FALSE(fmScreen->Draw());
    EXPECT_FALSE(fmScreen->isVisible());
}

namespace {

// The ticks an axis is laid out with at its present range and step.
int Ticks(const QValueAxis* a)
{
    if (a->tickType() != QValueAxis::TicksDynamic) return a->tickCount();
    const double step = a->tickInterval(), anchor = a->tickAnchor();
    const double first = anchor + std::ceil((a->min() - anchor) / step) * step;
    return static_cast<int>(std::floor((a->max() - first) / step)) + 1;
}

// The most ticks the watched axes had at any range they took: Qt lays an axis
// out at once on each range change, with the step then in force.
struct cTickWatch {
    void Watch(QValueAxis* a)
    {
        QObject::connect(a, &QValueAxis::rangeChanged, &Guard, [this, a] { Most = std::max(Most, Ticks(a)); });
    }
    int Most = 0;
    QObject Guard;
};

// The visible texts of a laid-out chart: the labels below the plot (horizontal
// axis), those left of it (vertical axis), and the titles.
struct cChartTexts {
    QStringList X, Y, Titles;
};

cChartTexts ChartTexts(QChartView* view)
{
    cChartTexts t;
    const QRectF plot = view->chart()->plotArea();
    QStringList titles{view->chart()->title()};
    for (QAbstractAxis* a : view->chart()->axes())
        titles << a->titleText();
    for (QGraphicsItem* i : view->scene()->items()) {
        auto* item = dynamic_cast<QGraphicsTextItem*>(i);
        if (item == nullptr || !item->isVisible() || item->toPlainText().isEmpty()) continue;
        const QString text = item->toPlainText();
        // A title, whole or elided ("Coexpression ...").
        const bool title = std::any_of(titles.begin(), titles.end(), [&](const QString& full) {
            const QString head = text.endsWith(QLatin1String("...")) ? text.chopped(3) : text;
            return !full.isEmpty() && !head.isEmpty() && (text == full || (head != text && full.startsWith(head)));
        });
        if (title) {
            t.Titles << text;
            continue;
        }
        const QRectF r = item->sceneBoundingRect();
        if (r.top() >= plot.bottom() - 1)
            t.X << text;
        else if (r.right() <= plot.left() + 1)
            t.Y << text;
    }
    return t;
}

// Labels a reader can use: whole, distinct, evenly stepped, and with just the
// decimals the step needs.
void ExpectReadable(QStringList labels, const std::string& where)
{
    ASSERT_GE(labels.size(), 2) << where << ": " << labels.join(' ').toStdString();
    std::vector<double> values;
    int decimals = -1;
    for (const QString& l : labels) {
        bool ok = false;
        values.push_back(l.toDouble(&ok));
        EXPECT_TRUE(ok) << where << ": '" << l.toStdString() << "'";
        EXPECT_FALSE(l.startsWith(QLatin1String("-0")) && values.back() == 0) << where << ": " << l.toStdString();
        const int dot = static_cast<int>(l.indexOf(QLatin1Char('.')));
        const int d = dot < 0 ? 0 : static_cast<int>(l.size()) - dot - 1;
        if (decimals < 0) decimals = d;
        EXPECT_EQ(d, decimals) << where << ": " << labels.join(' ').toStdString();
    }
    std::sort(values.begin(), values.end());
    const double step = values[1] - values[0];
    for (std::size_t k = 1; k < values.size(); ++k) {
        EXPECT_GT(values[k], values[k - 1]) << where << ": " << labels.join(' ').toStdString();
        EXPECT_NEAR(values[k] - values[k - 1], step, step * 1e-6) << where;
    }
    const auto whole = [](double v) { return std::fabs(v - std::round(v)) < 1e-6; };
    EXPECT_TRUE(whole(step * std::pow(10.0, decimals))) << where << ": too few decimals for " << step;
    if (decimals > 0)
        EXPECT_FALSE(whole(step * std::pow(10.0, decimals - 1))) << where << ": more decimals than " << step;
}

void Settle(QWidget* w)
{
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    QTest::qWait(20);
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(Views, FittingAcrossAJumpOfTheRangeLaysOutFewTicks)
{
    std::unique_ptr<QChartView> view(MakeChartView(nullptr, "probe"));
    AddLine(view.get(), "line", QPen(Qt::blue));
    QValueAxis *x = nullptr, *y = nullptr;
    AddValueAxes(view.get(), x, y, "x", "y");
    y->setLabelFormat("%d");
    cTickWatch watch;
    watch.Watch(x);
    watch.Watch(y);
    const QList<QPointF> small{{0, 0}, {9, 9}}, large{{0, 0}, {150000, 150000}},
        tiny{{-0.02, -0.02}, {0.01, 0.01}}, shifted{{149990, 149990}, {150000, 150000}},
        tenths{{-0.42, 0}, {0.2, 1}}; // the tick at 0 is summed up from -0.4
    const QList<QPointF>* jumps[] = {&small, &large, &small, &tiny,  &large,
                                     &tiny,  &shifted, &small, &tenths, &shifted};
    // Not shown yet, nothing is laid out: a bad order shows here as a count,
    // not as minutes of layout.
    for (const QList<QPointF>* p : jumps)
        FitAxes(x, y, {p});
    ASSERT_LE(watch.Most, 12);

    view->resize(564, 500);
    Settle(view.get());
    for (const QList<QPointF>* p : jumps) {
        QElapsedTimer t;
        t.start();
        FitAxes(x, y, {p}, true);
        QCoreApplication::processEvents();
        view->grab();
        EXPECT_LT(t.elapsed(), 500) << p->back().x();
        EXPECT_LE(Ticks(x), 12);
        EXPECT_LE(Ticks(y), 12);
        ExpectReadable(ChartTexts(view.get()).X, "x up to " + std::to_string(p->back().x()));
    }
    EXPECT_LE(watch.Most, 12);
    EXPECT_LT(view->scene()->items().size(), 200);
}

TEST_F(Views, HistogramSwitchesBetweenSmallAndLargeCountsAtOnce)
{
    // 15000 genes x 10 arrays, one value in seven a 1: all values give a bin
    // of about 128600, one gene bins of 0 to 8.
    cExprData* d = Blank(15000, 10);
    for (int g = 0; g < d->nGenes; ++g)
        for (int a = 0; a < d->nArrays; ++a)
            d->Data[g][a] = (g * 10 + a) % 7 == 0 ? 1.f : 0.f;
    d->CalcStat();
    auto* show = Child<QComboBox>(fmHistogram, "cbbShow");
    auto* bins = Child<QLineEdit>(fmHistogram, "edNBins");
    auto* chart = Child<QChartView>(fmHistogram, "ChartHist");
    cTickWatch watch;
    watch.Watch(fmHistogram->AxisX);
    watch.Watch(fmHistogram->AxisY);
    // Hidden first, where nothing is laid out: one gene, all values, and back.
    for (int item : {1, 0, 1, 0})
        show->setCurrentIndex(item);
    ASSERT_LE(watch.Most, 12);
    Settle(fmHistogram);
    struct {
        int show;
        const char* bins;
        double top; // the highest count
    } steps[] = {{1, "20", 8}, {0, "20", 128572}, {1, "20", 8}, {0, "20", 128572}, {0, "2", 128572},
                 {0, "20", 128572}, {0, "200", 128572}, {0, "2000", 128572}, {1, "2000", 8}, {0, "2000", 128572}};
    for (const auto& s : steps) {
        QElapsedTimer t;
        t.start();
        show->setCurrentIndex(s.show);
        bins->setText(s.bins);
        QCoreApplication::processEvents();
        fmHistogram->grab();
        const std::string where = std::to_string(s.show) + "/" + s.bins;
        EXPECT_LT(t.elapsed(), 500) << where;
        double top = 0;
        for (const QPointF& p : Points(chart, "SerHist"))
            top = std::max(top, p.y());
        EXPECT_NEAR(top, s.top, 1) << where;
        EXPECT_LE(Ticks(fmHistogram->AxisY), 12) << where;
        const cChartTexts texts = ChartTexts(chart);
        ExpectReadable(texts.Y, "counts " + where);
        ExpectReadable(texts.X, "values " + where);
    }
    EXPECT_LE(watch.Most, 12);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Views, AxisLabelsAndTitlesFitTheirCharts)
{
    // The gene tab's expression chart at the main window's size: raw values
    // from about 2.7 to 14, one gene's narrower band, normalized values.
    struct {
        double lo, hi;
    } genes[] = {{2.7, 14}, {8.37, 10.83}, {-2.93, 3.1}, {0.0012, 0.0047}};
    fmMain->PageControl->setCurrentWidget(fmMain->tshAnalyze);
    Settle(fmMain);
    for (const auto& c : genes) {
        std::string text = "ID\tName";
        for (int a = 0; a < 57; ++a)
            text += "\tA" + std::to_string(a);
        text += "\ng1\tone";
        for (int a = 0; a < 57; ++a)
            text += "\t" + std::to_string(c.lo + (c.hi - c.lo) * ((a * 17) % 57) / 56.0);
        text += "\n";
        Table(text.c_str());
        fmMain->gbGeneProfilesClick();
        QTest::qWait(20);
        const cChartTexts t = ChartTexts(fmMain->Chart1);
        const std::string where = "gene chart " + std::to_string(c.lo) + ".." + std::to_string(c.hi);
        ExpectReadable(t.Y, where);
        ExpectReadable(t.X, where);
    }

    // The map window's short charts: hits 0 to 13, strengths from -0.023 to 0.016.
    cExprData* d = Blank(300, 3);
    Matrix();
    for (int g = 0; g < 300; ++g) {
        d->nCE[g] = g % 14;
        d->CELevel[g] = -0.023f + 0.039f * static_cast<float>((g * 37) % 300) / 299.f;
    }
    ASSERT_TRUE(fmScreen->Draw());
    Settle(fmScreen);
    for (const char* name : {"Chart1", "Chart2"}) {
        const cChartTexts t = ChartTexts(Child<QChartView>(fmScreen, name));
        ExpectReadable(t.Y, name);
        ExpectReadable(t.X, name);
    }
    EXPECT_EQ(ChartTexts(fmScreen->Chart1).Titles, QStringList{"Number of hits"});
    EXPECT_EQ(ChartTexts(fmScreen->Chart2).Titles, QStringList{"Coexpression profile"});
}

TEST_F(Views, TheEmptyPatternChartSpansZeroToOne)
{
    fmMain->PageControl->setCurrentWidget(fmMain->tshCalcCE);
    Settle(fmMain);
    const cChartTexts t = ChartTexts(fmMain->Chart3);
    QStringList x = t.X, y = t.Y;
    x.sort();
    y.sort();
    EXPECT_EQ(x, (QStringList{"0", "1"}));
    EXPECT_EQ(y, (QStringList{"0", "1"}));
    QStringList titles = t.Titles;
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"Gene #", "Pattern index"}));
}

// Not a check: takes the picture of the map window used in the documentation
// when KORVALENT_MAP_SCREENSHOT names the file to write (run it under xvfb-run
// with "-platform xcb" for real fonts), and prints how long the map window and
// the profile plot took to draw their content; otherwise it skips.
TEST_F(MainWindowTest, MapWindowScreenshot)
{
    const QByteArray target = qgetenv("KORVALENT_MAP_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "set KORVALENT_MAP_SCREENSHOT to the picture's path";
    const QByteArray table = qgetenv("KORVALENT_SCREENSHOT_TABLE");
    Load(table.isEmpty() ? TestDataPath("examples/sample.txt") : QString::fromLocal8Bit(table));
    Click("btCalcCE");
    for (int k = 0; k < 600 && (fmMain->Computing() || fmMain->CEMatrix() == nullptr); ++k)
        QTest::qWait(100);
    ASSERT_NE(fmMain->CEMatrix(), nullptr);

    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(fmScreen->Draw());
    const qint64 draw = t.elapsed();
    t.restart();
    fmScreen->grab();
    const qint64 paint = t.elapsed();
    QTest::mouseClick(fmScreen->iScreen, Qt::LeftButton, {}, QPoint(120, 160));
    QTest::qWait(200);
    ASSERT_TRUE(fmScreen->grab().save(QString::fromLocal8Bit(target)));
    printf("genes: %d\nmap window: draw %lld ms, first paint %lld ms\n", fmMain->ExprData()->nGenes,
           static_cast<long long>(draw), static_cast<long long>(paint));

    fmPlot->show();
    auto* variation = fmPlot->findChild<QComboBox*>("cbbVariation");
    for (int v = 0; v < 3; ++v) {
        {
            const QSignalBlocker quiet(variation);
            variation->setCurrentIndex(v);
        }
        t.restart();
        fmPlot->cbbShowChange();
        const qint64 refresh = t.elapsed();
        t.restart();
        fmPlot->grab();
        printf("profile plot, variation %d: refresh %lld ms, paint %lld ms\n", v,
               static_cast<long long>(refresh), static_cast<long long>(t.elapsed()));
    }
}
