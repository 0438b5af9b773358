// Co-expression map: the whole matrix as a 500 x 500 picture, the per-gene
// partner counts and strengths, and a close-up around a clicked point.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QChartView;
class QLabel;
class QLineSeries;
class QValueAxis;
class cAnalysisSource;
class cCEMatrix;
class cExprData;

// A picture shown stretched proportionally over its widget, reporting mouse
// presses in picture pixels.
class cPicture : public QWidget {
    Q_OBJECT
  public:
    cPicture(QWidget* parent, const char* name, int side);
    QImage Image;
    std::function<void(int x, int y)> OnMouseDown;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
};

class TfmScreen : public QWidget {
    Q_OBJECT
  public:
    // Reads the table and matrix of the source when it draws or is clicked, and
    // clears its picture when the source loads or releases a table.
    explicit TfmScreen(const cAnalysisSource* source, QWidget* parent = nullptr);

    // Places the window at the right edge of the main window's frame.
    void FormCreate(const QRect& mainFrame);

  public slots:
    // Draws the map and the charts from the source's table and matrix, then
    // shows the window. Returns false, doing nothing, without both.
    bool Draw();
    // Click at map pixel (x, y): read-outs and close-up from the source's
    // current table and matrix; grey close-up without a matrix.
    void iScreenMouseDown(int x, int y);
    // Picture, close-up, charts and labels back to their look before any map.
    void Clear();

  public:
    bool DrawFrom(const cExprData* data, const cCEMatrix* matrix);
    void CloseUpFrom(const cExprData* data, const cCEMatrix* matrix, int x, int y);

    cPicture* iScreen;
    cPicture* iMacro;
    QLabel* lb11;
    QLabel* lb12;
    QLabel* lb21;
    QLabel* lb22;
    QLabel* Label5;
    QLabel* lbX;
    QLabel* lbY;
    QLabel* lbG11;
    QLabel* lbG21;
    QLabel* lbG12;
    QLabel* lbG22;
    QChartView* Chart1;
    QLineSeries* Series1;
    QValueAxis* Chart1X;
    QValueAxis* Chart1Y;
    QChartView* Chart2;
    QLineSeries* Series2;
    QValueAxis* Chart2X;
    QValueAxis* Chart2Y;

  private:
    const cAnalysisSource* Source;
};
