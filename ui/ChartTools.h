// Small builders shared by the chart windows: white two-dimensional charts
// without legend, line series with image point markers, value axes that
// follow their data, and the selector panel above a chart.
#pragma once

#include <QColor>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QString>
#include <QStringList>

class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QValueAxis;
class QWidget;

enum class cMarker { None, Circle, Triangle, DownTriangle, Square };

QChartView* MakeChartView(QWidget* parent, const char* name, const QString& title = QString());

// The control panel on top of a chart window ("Panel1"): the bold caption
// Label1 "Show:" over the selector cbbShow, which lists `items`.
QWidget* MakeShowPanel(QWidget* window, QLabel*& label1, QComboBox*& cbbShow, const QStringList& items,
                       int showWidth);

// A chart window's layout: the panel on top, the chart filling the rest.
void LayOutChartWindow(QWidget* window, QWidget* panel, QChartView* chart);

// A line series named `name`, added to the chart of `view`. Markers are drawn
// once as an image so that charts of tens of thousands of points stay fast.
QLineSeries* AddLine(QChartView* view, const char* name, const QPen& pen, cMarker shape = cMarker::None,
                     int markerW = 0, int markerH = 0, const QColor& fill = QColor(),
                     const QColor& outline = QColor());

// Bottom and left value axes with the given titles, attached to every series
// the chart holds.
void AddValueAxes(QChartView* view, QValueAxis*& x, QValueAxis*& y, const QString& xTitle,
                  const QString& yTitle);

// Sets the axis ranges to span the given point lists (a flat line or a single
// point gets a unit band around it; no points leave the axes as they are).
void FitAxes(QValueAxis* x, QValueAxis* y, const QList<const QList<QPointF>*>& lists, bool yFromZero = false);
// Round tick steps anchored at 0 for the axis's present range, about `ticks`
// of them (fewer for a short chart, whose crowded labels Qt elides).
void NiceTicks(QValueAxis* axis, int ticks = 5);
// The range lo..hi with ticks every `step` from `anchor`, set in an order that
// never lays out more ticks than the old or the new setting has.
void SetTicks(QValueAxis* axis, double lo, double hi, double step, double anchor = 0.0);
