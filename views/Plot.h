// Profile plot: per gene or per array, the mean (or median) with a band of
// variation around it.
#pragma once

#include <QWidget>

class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QValueAxis;
class cAnalysisSource;
class cExprData;

class TfmPlot : public QWidget {
    Q_OBJECT
  public:
    // Refreshes when the source loads a table or changes its values.
    explicit TfmPlot(const cAnalysisSource* source, QWidget* parent = nullptr);

  public slots:
    // The refresh: rebuilds the three series from the source's current
    // table (nothing without one). Called by both lists, after a load and
    // after each normalization.
    void cbbShowChange();
    void Refresh() { cbbShowChange(); }
    // The same from the given table (null: nothing happens).
    void RefreshFrom(const cExprData* data);

  public:
    QLabel* Label1;
    QComboBox* cbbShow;
    QLabel* Label2;
    QComboBox* cbbVariation;
    QChartView* Chart;
    QLineSeries* SerMin;
    QLineSeries* SerMax;
    QLineSeries* SerMean;
    QValueAxis* AxisX;
    QValueAxis* AxisY;

  private:
    const cAnalysisSource* Source;
};
