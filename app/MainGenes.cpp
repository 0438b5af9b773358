// The "Analysis by Genes" tab: the blue and green gene selections, their
// expression chart and correlation, the co-expression chart of a gene and the
// removal of the blue gene's direct connections.
#include "app/Main.h"
#include "app/MainShared.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "engine/CEMatrix.h"
#include "engine/GeneLinks.h"
#include "ui/ChartTools.h"
#include "ui/Convert.h"
#include "ui/Ui.h"
#include "views/Find.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <vector>

namespace {

QValueAxis* ChartAxis(QChartView* view, Qt::Orientation o)
{
    const QList<QAbstractAxis*> axes = view->chart()->axes(o);
    return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
}

// Whole-number labels along the gene or array axis, the value axis around the data.
void FitChart(QChartView* view, const QList<const QList<QPointF>*>& lists, bool yFromZero)
{
    QValueAxis* x = ChartAxis(view, Qt::Horizontal);
    QValueAxis* y = ChartAxis(view, Qt::Vertical);
    if (x == nullptr || y == nullptr) return;
    x->setLabelFormat(QStringLiteral("%d"));
    FitAxes(x, y, lists, yFromZero);
    // Round ticks on the value axis (-1, -0.5, 0, ...) rather than the extremes.
    y->applyNiceNumbers();
    // The widened range may want another step, and labels with its decimals.
    NiceTicks(y);
}

// One point per array; a missing value is drawn at 0, not left out.
QList<QPointF> ExpressionPoints(const cExprData* d, int g)
{
    QList<QPointF> points;
    points.reserve(d->nArrays);
    const float* row = d->Data[g];
    for (int a = 0; a < d->nArrays; ++a)
        points.append(QPointF(a + 1, IsPresent(row[a]) ? static_cast<double>(row[a]) : 0.0));
    return points;
}

QList<QPointF> CoexprPoints(const cExprData* d, int g, int p, double t)
{
    std::vector<double> v(static_cast<std::size_t>(d->nGenes));
    CoexprProfile(*d, g, p, t, v.data());
    QList<QPointF> points;
    points.reserve(d->nGenes);
    for (int k = 0; k < d->nGenes; ++k)
        points.append(QPointF(k + 1, v[static_cast<std::size_t>(k)]));
    return points;
}

QString GeneText(const char* s)
{
    return QString::fromLocal8Bit(s);
}

bool InTable(const cExprData* d, int g)
{
    return d != nullptr && g >= 0 && g < d->nGenes;
}

} // namespace

void TfmMain::gbGeneProfilesClick()
{
    if (ExprData() == nullptr) return;
    const cExprData* d = ExprData();
    const int g1 = tbGeneNum1->value() - 1;
    const int g2 = tbGeneNum2->value() - 1;
    // While a load sets up the two track bars one after the other, the other
    // may still point beyond the new table; the refresh that ends the load
    // then shows both.
    if (!InTable(d, g1) || !InTable(d, g2)) return;

    lbID1->setText(GeneText(d->GeneID[g1]));
    lbName1->setText(GeneText(d->GeneName[g1]));
    lbPattern1->setText(QString::number(d->Pattern[g1]));
    lbID2->setText(GeneText(d->GeneID[g2]));
    lbName2->setText(GeneText(d->GeneName[g2]));
    lbPattern2->setText(QString::number(d->Pattern[g2]));

    const bool compare = cbCompare->isChecked();
    const QList<QPointF> blue = ExpressionPoints(d, g1);
    const QList<QPointF> green = compare ? ExpressionPoints(d, g2) : QList<QPointF>();
    Series1->replace(blue);
    Series2->replace(green);
    FitChart(Chart1, {&blue, &green}, false);

    if (compare) lbCorrelation->setText(FixedText(d->Corr(g1, g2), 3, 3));
}

void TfmMain::tbGeneNum1Change()
{
    if (ExprData() == nullptr) return;
    // Each write fires the edit's own change handler when the text differs.
    edGeneNum1->setText(QString::number(tbGeneNum1->value()));
    edGeneNum2->setText(QString::number(tbGeneNum2->value()));
    const int g1 = tbGeneNum1->value() - 1;
    const int g2 = tbGeneNum2->value() - 1;
    if (InTable(ExprData(), g1)) lbPattern1->setText(QString::number(ExprData()->Pattern[g1]));
    if (InTable(ExprData(), g2)) lbPattern2->setText(QString::number(ExprData()->Pattern[g2]));
    gbGeneProfilesClick();
}

void TfmMain::edGeneNum1Change()
{
    if (ExprData() == nullptr) return;
    const QString text = edGeneNum1->text();
    if (text.isEmpty()) return;
    // The track bar clamps into 1..N and reports only a real change.
    tbGeneNum1->setValue(TextToInt(text));
    gbGeneProfilesClick();
}

void TfmMain::edGeneNum2Change()
{
    if (ExprData() == nullptr || !cbCompare->isChecked()) return;
    const QString text = edGeneNum2->text();
    if (text.isEmpty()) return;
    tbGeneNum2->setValue(TextToInt(text));
    cbCompareClick();
}

void TfmMain::cbCompareClick()
{
    if (ExprData() == nullptr || !cbCompare->isChecked()) return;
    const QString text = edGeneNum2->text();
    if (text.isEmpty()) return;
    // Widened: the typed number may be the smallest int.
    const long long k = static_cast<long long>(TextToInt(text)) - 1;
    if (k < 0 || k >= ExprData()->nGenes) return;
    // A number typed while comparing was off never reached the track bar; the
    // green gene shown must be the one the edit names.
    tbGeneNum2->setValue(static_cast<int>(k) + 1);
    if (ExprData() == nullptr) return;
    lbID2->setText(GeneText(ExprData()->GeneID[k]));
    lbName2->setText(GeneText(ExprData()->GeneName[k]));
    gbGeneProfilesClick();
}

void TfmMain::btFind1Click()
{
    if (ExprData() == nullptr || fmFind == nullptr) return;
    fmFind->TakeGene(1);
}

void TfmMain::btFind2Click()
{
    if (ExprData() == nullptr || fmFind == nullptr) return;
    fmFind->TakeGene(2);
}

void TfmMain::GeneTaken(int which, int gene)
{
    if (ExprData() == nullptr || gene < 1 || gene > ExprData()->nGenes) return;
    // Moving the track bar fires its change handler.
    (which == 1 ? tbGeneNum1 : tbGeneNum2)->setValue(gene);
}

void TfmMain::btBuildClick()
{
    if (ExprData() == nullptr) return;
    int g1 = tbGeneNum1->value() - 1;
    int g2 = tbGeneNum2->value() - 1;
    edGeneNum1->setText(QString::number(g1 + 1));
    edGeneNum2->setText(QString::number(g2 + 1));
    int p = 0;
    double t = 0;
    ReadCEParameters(p, t);
    // The edits' handlers may have refreshed; the table is still the same one.
    if (ExprData() == nullptr || ExprData()->nGenes <= 0) return;
    if (!InTable(ExprData(), g1)) g1 = 0;
    if (!InTable(ExprData(), g2)) g2 = 0;

    // Correlations come fresh from the data, so genes removed from the matrix
    // still show their values here.
    const QList<QPointF> blue = CoexprPoints(ExprData(), g1, p, t);
    const QList<QPointF> green = CoexprPoints(ExprData(), g2, p, t);
    Series3->replace(blue);
    Series4->replace(green);
    FitChart(Chart2, {&blue, &green}, true);
    pcPlots->setCurrentWidget(tshCEProfile);
}

void TfmMain::btKillDCClick()
{
    if (ExprData() == nullptr || CEMatrix() == nullptr || Computing()) return;
    {
        cBusyScope busy(this);
        const int g = tbGeneNum1->value() - 1;
        const int p = TextToInt(edCEPower->text());
        const double t = TextToFloat(edCEThreshold->text());
        // With a power below 1 or a threshold not above 0 the cut-off t^(1/p)
        // has no finite positive value: refused before anything changes.
        QString message;
        if (!ValidCEParameters(p, t, &message)) {
            MessageBox(this, QStringLiteral("Error"), message);
            return;
        }
        edCEPower->setText(GeneralText(p, 15));
        edCEThreshold->setText(GeneralText(t, 15));
        KillDirectConnections(*ExprData(), *CEMatrix(), g, p, t);
    }
    // The re-calculation ends by detecting the patterns and drawing the map.
    btRenewCEClick();
}
