#include "views/Screen.h"

#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "engine/MapImage.h"
#include "ui/AnalysisSource.h"
#include "ui/ChartTools.h"

#include <QGraphicsLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

namespace {

QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y, int rightAlignedWidth = 0)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    if (rightAlignedWidth > 0) {
        l->setAlignment(Qt::AlignRight | Qt::AlignTop);
        l->setGeometry(x, y, rightAlignedWidth, l->sizeHint().height());
    } else {
        l->move(x, y);
    }
    return l;
}

// Sets a label's text, keeping a right-aligned label's right edge in place.
void SetText(QLabel* l, const QString& text)
{
    l->setText(text);
    if (!(l->alignment() & Qt::AlignRight)) l->adjustSize();
}

// The matrix, when it belongs to the table (same number of genes).
const std::int8_t* CellsOf(const cExprData* d, const cCEMatrix* m)
{
    if (!d || !m || m->Empty() || m->Size() != d->nGenes) return nullptr;
    return m->Cells;
}

} // namespace

cPicture::cPicture(QWidget* parent, const char* name, int side)
    : QWidget(parent), Image(side, side, QImage::Format_RGB32)
{
    setObjectName(QString::fromLatin1(name));
    Image.fill(Qt::white);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void cPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    // Stretched proportionally, pixels kept sharp.
    const QSize s = Image.size().scaled(size(), Qt::KeepAspectRatio);
    p.drawImage(QRect(QPoint(0, 0), s), Image);
}

void cPicture::mousePressEvent(QMouseEvent* event)
{
    if (!OnMouseDown || Image.isNull()) return;
    const QSize s = Image.size().scaled(size(), Qt::KeepAspectRatio);
    if (s.isEmpty()) return;
    const QPoint pos = event->position().toPoint();
    const int x = pos.x() * Image.width() / s.width();
    const int y = pos.y() * Image.height() / s.height();
    if (x < 0 || y < 0 || x >= Image.width() || y >= Image.height()) return;
    OnMouseDown(x, y);
}

TfmScreen::TfmScreen(const cAnalysisSource* source, QWidget* parent)
    : QWidget(parent, Qt::Window), Source(source)
{
    setObjectName("fmScreen");
    setWindowTitle("Screen");
    resize(780, 832);

    iScreen = new cPicture(this, "iScreen", MapSide);
    iScreen->setGeometry(247, 20, MapSide, MapSide);
    iScreen->setCursor(Qt::CrossCursor);
    iScreen->OnMouseDown = [this](int x, int y) { iScreenMouseDown(x, y); };
    iMacro = new cPicture(this, "iMacro", CloseUpSide);
    iMacro->setGeometry(20, 144, 200, 200);

    lb11 = Label(this, "lb11", "1,1", 239, 3);
    lb12 = Label(this, "lb12", QString(), 656, 3, 83);
    lb21 = Label(this, "lb21", QString(), 164, 507, 73);
    lb22 = Label(this, "lb22", QString(), 49, 11);
    Label5 = Label(this, "Label5", "Selected region (+/-):", 1, 28);
    lbX = Label(this, "lbX", QString(), 16, 47);
    lbY = Label(this, "lbY", QString(), 16, 66);
    lbG11 = Label(this, "lbG11", QString(), 8, 128);
    lbG21 = Label(this, "lbG21", QString(), 120, 128, 100);
    lbG12 = Label(this, "lbG12", QString(), 8, 352);
    lbG22 = Label(this, "lbG22", QString(), 100, 352, 100);

    Chart1 = MakeChartView(this, "Chart1");
    Chart1->setGeometry(189, 526, 575, 132);
    Series1 = AddLine(Chart1, "Series1", QPen(QColor(255, 0, 0)), cMarker::Square, 1, 1, QColor(255, 0, 0),
                      QColor(128, 0, 0));
    AddValueAxes(Chart1, Chart1X, Chart1Y, QString(), "Number of hits");
    Chart1X->setLabelFormat("%d");
    Chart1Y->setLabelFormat("%d");
    Chart2 = MakeChartView(this, "Chart2");
    Chart2->setGeometry(189, 659, 575, 132);
    Series2 = AddLine(Chart2, "Series2", QPen(QColor(0, 0, 255)), cMarker::Circle, 2, 2, QColor(0, 0, 255),
                      QColor(0, 0, 255));
    AddValueAxes(Chart2, Chart2X, Chart2Y, QString(), "Coexpression profile");
    Chart2X->setLabelFormat("%d");
    Chart2Y->setLabelFormat("%.3g");
    // The charts are only 132 pixels high: the frame around the plot goes and
    // the vertical axis titles are a little smaller, so that they fit unelided.
    for (QChartView* v : {Chart1, Chart2})
        v->chart()->layout()->setContentsMargins(0, 0, 0, 0);
    for (QValueAxis* a : {Chart1Y, Chart2Y}) {
        QFont f = a->titleFont();
        f.setPointSizeF(6.5);
        a->setTitleFont(f);
    }

    if (Source) {
        // What the picture showed went with the table.
        connect(Source, &cAnalysisSource::tableLoaded, this, &TfmScreen::Clear);
        connect(Source, &cAnalysisSource::tableReleased, this, &TfmScreen::Clear);
    }
}

void TfmScreen::FormCreate(const QRect& m)
{
    move(m.left() + m.width(), m.top());
}

bool TfmScreen::Draw()
{
    return Source && DrawFrom(Source->Table(), Source->Matrix());
}

void TfmScreen::Clear()
{
    iScreen->Image.fill(Qt::white);
    iScreen->update();
    iMacro->Image.fill(Qt::white);
    iMacro->update();
    for (QLabel* l : {lb12, lb21, lb22, lbX, lbY, lbG11, lbG21, lbG12, lbG22})
        SetText(l, QString());
    Series1->clear();
    Series2->clear();
}

bool TfmScreen::DrawFrom(const cExprData* d, const cCEMatrix* m)
{
    const std::int8_t* cells = CellsOf(d, m);
    if (!cells) return false;
    hide();
    const int n = d->nGenes;
    QImage& img = iScreen->Image;
    DrawCEMap(cells, n, reinterpret_cast<std::uint32_t*>(img.bits()), img.bytesPerLine() / 4);
    iScreen->update();
    SetText(lb11, QStringLiteral("1,1"));
    SetText(lb12, QStringLiteral("1,%1").arg(n));
    SetText(lb21, QStringLiteral("%1,1").arg(n));
    SetText(lb22, QStringLiteral("%1,%1").arg(n));

    QList<QPointF> hits, level;
    hits.reserve(n);
    level.reserve(n);
    for (int i = 0; i < n; ++i) {
        hits.append(QPointF(i + 1, static_cast<unsigned>(d->nCE[i])));
        level.append(QPointF(i + 1, d->CELevel[i]));
    }
    FitAxes(Chart1X, Chart1Y, {&hits});
    FitAxes(Chart2X, Chart2Y, {&level});
    // Short charts: with more rows of labels than fit, Qt elides them all.
    NiceTicks(Chart1Y, 3);
    NiceTicks(Chart2Y, 3);
    Series1->replace(hits);
    Series2->replace(level);
    show();
    return true;
}

void TfmScreen::iScreenMouseDown(int x, int y)
{
    if (!Source) return;
    // While a calculation fills the matrix on worker threads the source gives
    // no matrix; the close-up is grey until it ends.
    CloseUpFrom(Source->Table(), Source->Matrix(), x, y);
}

void TfmScreen::CloseUpFrom(const cExprData* d, const cCEMatrix* m, int x, int y)
{
    const int n = d ? d->nGenes : 0;
    const cMapClick c = MapClickAt(x, y, n);
    SetText(lbX, QStringLiteral("%1 +/- %2").arg(c.gx).arg(c.h));
    SetText(lbY, QStringLiteral("%1 +/- %2").arg(c.gy).arg(c.h));
    SetText(lbG11, QStringLiteral("%1, %2").arg(c.left).arg(c.top));
    SetText(lbG21, QStringLiteral("%1, %2").arg(c.right).arg(c.top));
    SetText(lbG12, QStringLiteral("%1, %2").arg(c.left).arg(c.bottom));
    SetText(lbG22, QStringLiteral("%1, %2").arg(c.right).arg(c.bottom));
    QImage& img = iMacro->Image;
    DrawCloseUp(CellsOf(d, m), n, x, y, reinterpret_cast<std::uint32_t*>(img.bits()), img.bytesPerLine() / 4);
    iMacro->update();
}
