#include "views/Plot.h"

#include "engine/ExprData.h"
#include "engine/Quartiles.h"
#include "ui/AnalysisSource.h"
#include "ui/ChartTools.h"

#include <QComboBox>
#include <QLabel>
#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

TfmPlot::TfmPlot(const cAnalysisSource* source, QWidget* parent) : QWidget(parent, Qt::Window), Source(source)
{
    setObjectName("fmPlot");
    setWindowTitle("fmPlot");
    resize(582, 386);

    QWidget* top = MakeShowPanel(this, Label1, cbbShow, {"Expression by genes", "Expression by arrays"}, 200);
    Label2 = new QLabel("Show variation as:", top);
    Label2->setObjectName("Label2");
    Label2->move(230, 8);
    cbbVariation = new QComboBox(top);
    cbbVariation->setObjectName("cbbVariation");
    cbbVariation->addItems(
        {"Mean +/- standard deviation", "Mean +/- 3x standard deviations", "IQR (50% data points)"});
    cbbVariation->setGeometry(230, 28, 260, 24);

    Chart = MakeChartView(this, "Chart", "Gene profile");
    QPen dotted(QColor(0, 0, 255));
    dotted.setStyle(Qt::DotLine);
    SerMin = AddLine(Chart, "SerMin", dotted);
    dotted.setColor(QColor(255, 0, 0));
    SerMax = AddLine(Chart, "SerMax", dotted);
    SerMean = AddLine(Chart, "SerMean", QPen(Qt::black), cMarker::Circle, 3, 3, QColor(0, 255, 0),
                      QColor(0, 128, 0));
    AddValueAxes(Chart, AxisX, AxisY, QString(), "Expression");
    AxisX->setLabelFormat("%d");
    AxisY->setLabelFormat("%.4g");

    LayOutChartWindow(this, top, Chart);

    connect(cbbShow, &QComboBox::currentIndexChanged, this, [this] { cbbShowChange(); });
    connect(cbbVariation, &QComboBox::currentIndexChanged, this, [this] { cbbShowChange(); });
    if (Source) {
        connect(Source, &cAnalysisSource::tableLoaded, this, &TfmPlot::cbbShowChange);
        connect(Source, &cAnalysisSource::valuesChanged, this, &TfmPlot::cbbShowChange);
    }
}

void TfmPlot::cbbShowChange()
{
    RefreshFrom(Source ? Source->Table() : nullptr);
}

void TfmPlot::RefreshFrom(const cExprData* d)
{
    if (!d) return;
    Chart->setVisible(false);
    SerMin->clear();
    SerMax->clear();
    SerMean->clear();

    const bool byGenes = cbbShow->currentIndex() != 1;
    const int count = byGenes ? d->nGenes : d->nArrays;
    const float* mean = byGenes ? d->GeneMean : d->ArrayMean;
    const float* sd = byGenes ? d->GeneSD : d->ArraySD;
    Chart->chart()->setTitle(byGenes ? "Expression by Genes" : "Expression by Arrays");
    AxisX->setTitleText(byGenes ? "Gene #" : "Array #");

    QList<QPointF> lo, hi, mid;
    lo.reserve(count);
    hi.reserve(count);
    mid.reserve(count);
    const int variation = cbbVariation->currentIndex();
    if (variation == 2) {
        // The middle half of the present values: the quartiles as the band and
        // the median in the middle. An item without present values has none
        // of the three and gets no point.
        const cQuartiles q = byGenes ? GeneQuartiles(*d) : ArrayQuartiles(*d);
        for (int i = 0; i < count; ++i) {
            if (std::isnan(q.Median[i])) continue;
            lo.append(QPointF(i, q.Q1[i]));
            hi.append(QPointF(i, q.Q3[i]));
            mid.append(QPointF(i, q.Median[i]));
        }
    } else {
        const double k = variation == 1 ? 3 : 1;
        for (int i = 0; i < count; ++i) {
            const double m = mean[i], s = sd[i];
            lo.append(QPointF(i, m - k * s));
            hi.append(QPointF(i, m + k * s));
            mid.append(QPointF(i, m));
        }
    }
    FitAxes(AxisX, AxisY, {&lo, &hi, &mid});
    SerMin->replace(lo);
    SerMax->replace(hi);
    SerMean->replace(mid);
    Chart->setVisible(true);
}
