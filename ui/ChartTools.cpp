#include "ui/ChartTools.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QImage MarkerImage(cMarker shape, int w, int h, const QColor& fill, const QColor& outline)
{
    QImage img(w + 2, h + 2, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(outline.isValid() ? QPen(outline, 1) : QPen(Qt::NoPen));
    p.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    const QRectF r(0.5, 0.5, w + 1, h + 1);
    switch (shape) {
    case cMarker::None:
        break;
    case cMarker::Circle:
        p.drawEllipse(r);
        break;
    case cMarker::Square:
        p.drawRect(r);
        break;
    case cMarker::Triangle:
        p.drawPolygon(QPolygonF({QPointF(r.center().x(), r.top()), r.bottomRight(), r.bottomLeft()}));
        break;
    case cMarker::DownTriangle:
        p.drawPolygon(QPolygonF({r.topLeft(), r.topRight(), QPointF(r.center().x(), r.bottom())}));
        break;
    }
    return img;
}

// Ticks at round multiples anchored at 0 over lo..hi, about `ticks` of them,
// so that labels read 0, 0.5, 1 ... rather than evenly split range ends such
// as -0.5612 or 1.006e-09; the labels carry as many decimals as the step.
void RoundTicks(QValueAxis* axis, double lo, double hi, int ticks)
{
    const double span = hi - lo;
    if (!(span > 0) || !std::isfinite(span)) {
        // No round step: a handful of evenly split ticks, whatever the range.
        axis->setTickType(QValueAxis::TicksFixed);
        if (lo < hi) axis->setRange(lo, hi);
        return;
    }
    const double raw = span / std::max(ticks, 1);
    int exponent = static_cast<int>(std::floor(std::log10(raw)));
    const double f = raw / std::pow(10.0, exponent);
    const int digit = f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10;
    if (digit == 10) ++exponent;
    double step = (digit == 10 ? 1 : digit) * std::pow(10.0, exponent);
    if (axis->labelFormat().contains(QLatin1Char('d'))) {
        // Whole-number labels need whole steps, or neighbouring labels repeat.
        SetTicks(axis, lo, hi, std::max(1.0, std::round(step)), 0.0);
        return;
    }
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(std::max(0, -exponent)));
    // Ticks are reached by repeated additions of the step, so the one at zero
    // may come out as -1e-17 and read "-0.0"; an anchor a hair above 0 keeps
    // it on the positive side, far below anything a label shows.
    SetTicks(axis, lo, hi, step, step * 1e-9);
}

} // namespace

QChartView* MakeChartView(QWidget* parent, const char* name, const QString& title)
{
    auto* chart = new QChart();
    chart->legend()->hide();
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setTitle(title);
    auto* view = new QChartView(chart, parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setRenderHint(QPainter::Antialiasing, false);
    return view;
}

QWidget* MakeShowPanel(QWidget* window, QLabel*& label1, QComboBox*& cbbShow, const QStringList& items,
                       int showWidth)
{
    auto* panel = new QWidget(window);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(65);
    label1 = new QLabel("Show:", panel);
    label1->setObjectName("Label1");
    QFont bold = label1->font();
    bold.setBold(true);
    label1->setFont(bold);
    label1->move(8, 8);
    cbbShow = new QComboBox(panel);
    cbbShow->setObjectName("cbbShow");
    cbbShow->addItems(items);
    cbbShow->setGeometry(8, 28, showWidth, 24);
    return panel;
}

void LayOutChartWindow(QWidget* window, QWidget* panel, QChartView* chart)
{
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel);
    layout->addWidget(chart, 1);
}

QLineSeries* AddLine(QChartView* view, const char* name, const QPen& pen, cMarker shape, int markerW,
                     int markerH, const QColor& fill, const QColor& outline)
{
    auto* s = new QLineSeries();
    s->setObjectName(QString::fromLatin1(name));
    s->setPen(pen);
    if (shape != cMarker::None) {
        const QImage marker = MarkerImage(shape, markerW, markerH, fill, outline);
        s->setLightMarker(marker);
        s->setMarkerSize(marker.width());
    }
    view->chart()->addSeries(s);
    return s;
}

void AddValueAxes(QChartView* view, QValueAxis*& x, QValueAxis*& y, const QString& xTitle,
                  const QString& yTitle)
{
    x = new QValueAxis();
    y = new QValueAxis();
    x->setTitleText(xTitle);
    y->setTitleText(yTitle);
    QFont f = x->labelsFont();
    f.setPointSizeF(7.5);
    x->setLabelsFont(f);
    y->setLabelsFont(f);
    x->setTitleFont(f);
    y->setTitleFont(f);
    view->chart()->addAxis(x, Qt::AlignBottom);
    view->chart()->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : view->chart()->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
}

void FitAxes(QValueAxis* x, QValueAxis* y, const QList<const QList<QPointF>*>& lists, bool yFromZero)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    double x0 = inf, x1 = -inf, y0 = inf, y1 = -inf;
    for (const QList<QPointF>* l : lists)
        for (const QPointF& p : *l) {
            if (!std::isfinite(p.x()) || !std::isfinite(p.y())) continue;
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y());
            y1 = std::max(y1, p.y());
        }
    if (x0 > x1) return;
    if (yFromZero) {
        y0 = std::min(y0, 0.0);
        y1 = std::max(y1, 0.0);
    }
    const auto widen = [](double& lo, double& hi) {
        if (lo == hi) {
            lo -= 1;
            hi += 1;
        }
    };
    widen(x0, x1);
    widen(y0, y1);
    RoundTicks(x, x0, x1, 5);
    RoundTicks(y, y0, y1, 5);
}

void NiceTicks(QValueAxis* axis, int ticks)
{
    RoundTicks(axis, axis->min(), axis->max(), ticks);
}

void SetTicks(QValueAxis* axis, double lo, double hi, double step, double anchor)
{
    // A range change lays the axis out at once with the step then in force,
    // one tick item per step: the old step of 0-9 over a new 0-150000 is
    // 150000 items and a frozen window. So the larger of the two steps is in
    // force while the range changes; a smaller new step follows it.
    const bool stepFirst = axis->tickType() != QValueAxis::TicksDynamic || step >= axis->tickInterval();
    axis->setTickAnchor(anchor);
    if (stepFirst) axis->setTickInterval(step);
    axis->setRange(lo, hi);
    axis->setTickInterval(step);
    axis->setTickType(QValueAxis::TicksDynamic);
}
