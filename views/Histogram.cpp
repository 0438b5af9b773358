#include "views/Histogram.h"

#include "engine/ExprData.h"
#include "engine/Histogram.h"
#include "ui/AnalysisSource.h"
#include "ui/ChartTools.h"
#include "ui/Convert.h"
#include "ui/Ui.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPen>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

TfmHistogram::TfmHistogram(const cAnalysisSource* source, QWidget* parent)
    : QWidget(parent, Qt::Window), Source(source)
{
    setObjectName("fmHistogram");
    setWindowTitle("Expression distribution");
    resize(564, 568);

    QWidget* top = MakeShowPanel(this, Label1, cbbShow,
                                 {"All expressions", "Expression for gene #", "Expression for array #"}, 180);
    edNumber = new QLineEdit("20", top);
    edNumber->setObjectName("edNumber");
    edNumber->setGeometry(192, 28, 64, 24);
    edNumber->setEnabled(false);

    Label2 = new QLabel("Number of bins:", top);
    Label2->setObjectName("Label2");
    Label2->move(280, 10);
    edNBins = new QLineEdit("20", top);
    edNBins->setObjectName("edNBins");
    Label4 = new QLabel("Limits:  +/-          standard deviations", top);
    Label4->setObjectName("Label4");
    Label4->move(280, 38);
    edNStd = new QLineEdit("3", top);
    edNStd->setObjectName("edNStd");
    // The edits sit beside their label, edNStd in the gap of Label4's text.
    const QFontMetrics fm(Label4->font());
    edNBins->setGeometry(280 + fm.horizontalAdvance(Label2->text()) + 8, 6, 48, 22);
    const int gapX = 280 + fm.horizontalAdvance(QStringLiteral("Limits:  +/- "));
    edNStd->setGeometry(gapX, 35, fm.horizontalAdvance(QStringLiteral("         ")), 22);
    Label4->adjustSize();

    ChartHist = MakeChartView(this, "ChartHist", "Histogram");
    SerHistLine = new QLineSeries(this);
    SerHistLine->setObjectName("SerHistLine");
    SerHist = new QAreaSeries(SerHistLine);
    SerHist->setObjectName("SerHist");
    const QColor colour(128, 128, 255);
    SerHist->setBrush(colour);
    SerHist->setPen(QPen(colour));
    ChartHist->chart()->addSeries(SerHist);
    AddValueAxes(ChartHist, AxisX, AxisY, "Expression", "Frequency");
    AxisX->setLabelFormat("%.4g");
    AxisY->setLabelFormat("%d");

    LayOutChartWindow(this, top, ChartHist);

    connect(cbbShow, &QComboBox::currentIndexChanged, this, [this] { Change(); });
    for (QLineEdit* e : {edNumber, edNBins, edNStd})
        connect(e, &QLineEdit::textChanged, this, [this] { Change(); });
    if (Source) {
        connect(Source, &cAnalysisSource::tableLoaded, this, &TfmHistogram::cbbShowChange);
        connect(Source, &cAnalysisSource::valuesChanged, this, &TfmHistogram::cbbShowChange);
    }
}

void TfmHistogram::Change()
{
    // Correcting edNumber inside a refresh changes its text; the refresh goes
    // on with the corrected number, so that change needs no second refresh.
    if (Settling) return;
    cbbShowChange();
}

void TfmHistogram::cbbShowChange()
{
    try {
        RefreshFrom(Source ? Source->Table() : nullptr);
    } catch (const cActionError& e) {
        MessageBox(this, e.Caption, e.Text);
    }
}

int TfmHistogram::SettleNumber(int count)
{
    struct Guard {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(Settling);
    int k = TextToInt(edNumber->text());
    if (k < 0) {
        edNumber->setText("0");
        k = TextToInt(edNumber->text());
    }
    if (k > count - 1) {
        edNumber->setText(QString::number(count - 1));
        k = TextToInt(edNumber->text());
    }
    return k;
}

void TfmHistogram::RefreshFrom(const cExprData* d)
{
    const int item = cbbShow->currentIndex();
    edNumber->setEnabled(item == 1 || item == 2);
    if (edNBins->text().isEmpty() || edNStd->text().isEmpty() || edNumber->text().isEmpty()) return;
    if (!d) return;
    SerHistLine->clear();

    const int n = TextToInt(edNBins->text());
    if (n < 2) return;
    if (n > MaxBins)
        throw cActionError(
            QStringLiteral("'%1' bins are too many (at most %2)").arg(edNBins->text()).arg(MaxBins));

    eHistSource src = eHistSource::All;
    int index = 0;
    QString title = QStringLiteral("All Expression Values");
    if (item == 1 || item == 2) {
        const int count = item == 1 ? d->nGenes : d->nArrays;
        // A table without genes or arrays has nothing to select.
        if (count < 1) return;
        index = SettleNumber(count);
        src = item == 1 ? eHistSource::Gene : eHistSource::Array;
        title = QString::fromLatin1(item == 1 ? "Expressions for gene #%1" : "Expressions for array #%1")
                    .arg(index);
    }
    const double k = TextToFloat(edNStd->text());

    cHistogram h;
    if (!CountHistogram(*d, src, index, k, n, h)) {
        // No spread to bin over: the chart stays empty and says why.
        ChartHist->chart()->setTitle(title + (h.High == h.Low
                                                  ? QStringLiteral(": the range is empty (low equals high)")
                                                  : QStringLiteral(": the range is not finite")));
        return;
    }
    ChartHist->chart()->setTitle(title + QStringLiteral(" (except %1 outliers)").arg(h.Outliers));
    QList<QPointF> points;
    points.reserve(n);
    for (int b = 0; b < n; ++b)
        points.append(QPointF(h.BinCentre(b), h.Counts[static_cast<std::size_t>(b)]));
    FitAxes(AxisX, AxisY, {&points}, true);
    SerHistLine->replace(points);
}
