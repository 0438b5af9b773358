// Histogram of the expression values of the whole table, of one gene or of
// one array, over a band of standard deviations around the selection's mean.
#pragma once

#include <QWidget>

class QAreaSeries;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QValueAxis;
class cAnalysisSource;
class cExprData;

class TfmHistogram : public QWidget {
    Q_OBJECT
  public:
    // Refreshes when the source loads a table or changes its values.
    explicit TfmHistogram(const cAnalysisSource* source, QWidget* parent = nullptr);

  public slots:
    // The refresh from the source's current table. Called by the four
    // controls when they change, after a load and after each normalization.
    // A text that is not a number is reported here in a message box, so a
    // refresh never ends the action that called it.
    void cbbShowChange();
    void Refresh() { cbbShowChange(); }

  public:
    // The refresh from the given table (null: stops after the control checks).
    // Throws cActionError for a text that is not a number.
    void RefreshFrom(const cExprData* data);

    // More bins than this are refused: the counters and the chart's points
    // would otherwise follow any number typed.
    static constexpr int MaxBins = 100000;

    QLabel* Label1;
    QComboBox* cbbShow;
    QLineEdit* edNumber;
    QLabel* Label2;
    QLineEdit* edNBins;
    QLabel* Label4;
    QLineEdit* edNStd;
    QChartView* ChartHist;
    QAreaSeries* SerHist;
    QLineSeries* SerHistLine; // the area's upper line, which holds the points
    QValueAxis* AxisX;
    QValueAxis* AxisY;

  private:
    void Change();
    // Writes the corrected gene or array number into edNumber and returns it.
    int SettleNumber(int count);
    bool Settling = false;
    const cAnalysisSource* Source;
};
