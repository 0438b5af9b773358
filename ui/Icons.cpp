#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

void DrawNode(QPainter& p, QPointF c, double r, const QColor& fill)
{
    p.setBrush(fill);
    p.drawEllipse(c, r, r);
}

} // namespace

QPixmap GlyphPixmap(cGlyph glyph, int size, const QColor& ink)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QPen outline(QColor(40, 40, 40), 1.2);
    switch (glyph) {
    case cGlyph::Busy: { // hourglass
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        p.setBrush(QColor(250, 220, 120));
        QPolygonF top({QPointF(9, 5), QPointF(23, 5), QPointF(16, 16)});
        QPolygonF bottom({QPointF(16, 16), QPointF(23, 27), QPointF(9, 27)});
        p.drawPolygon(top);
        p.drawPolygon(bottom);
        p.drawLine(QPointF(7, 5), QPointF(25, 5));
        p.drawLine(QPointF(7, 27), QPointF(25, 27));
        break;
    }
    case cGlyph::RFound:
    case cGlyph::RMissing: {
        const bool found = glyph == cGlyph::RFound;
        p.setPen(QPen(found ? QColor(60, 90, 160) : QColor(120, 120, 120), 2));
        p.setBrush(found ? QColor(200, 215, 240) : QColor(225, 225, 225));
        p.drawEllipse(QPointF(16, 16), 13, 10);
        QFont f(QStringLiteral("Sans"));
        f.setBold(true);
        f.setPixelSize(18);
        p.setFont(f);
        p.setPen(found ? QColor(30, 60, 150) : ink);
        p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("R"));
        if (!found) {
            p.setPen(QPen(ink, 2.5));
            p.drawLine(QPointF(5, 27), QPointF(27, 5));
        }
        break;
    }
    case cGlyph::Open: { // folder
        p.setPen(outline);
        p.setBrush(QColor(240, 200, 90));
        QPainterPath back;
        back.moveTo(3, 8);
        back.lineTo(12, 8);
        back.lineTo(14, 11);
        back.lineTo(27, 11);
        back.lineTo(27, 26);
        back.lineTo(3, 26);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(250, 225, 130));
        p.drawPolygon(QPolygonF({QPointF(3, 26), QPointF(7, 15), QPointF(30, 15), QPointF(27, 26)}));
        break;
    }
    case cGlyph::Normalize: { // bars of equal height
        p.setPen(outline);
        const QColor c(90, 160, 90);
        const double before[] = {10, 18, 7, 14};
        for (int i = 0; i < 4; ++i) {
            p.setBrush(c.lighter(100 + 15 * i));
            p.drawRect(QRectF(4 + i * 6.5, 28 - before[i], 5, before[i]));
        }
        p.setPen(QPen(QColor(200, 40, 40), 1.5, Qt::DashLine));
        p.drawLine(QPointF(2, 16), QPointF(30, 16));
        break;
    }
    case cGlyph::CalcCE: { // correlation grid
        p.setPen(Qt::NoPen);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                QColor col = r == c ? QColor(40, 40, 40)
                                    : ((r + c) % 3 == 0 ? QColor(210, 40, 40) : QColor(60, 90, 200));
                if ((r * 7 + c * 3) % 5 == 0 && r != c) col = QColor(235, 235, 235);
                p.setBrush(col);
                p.drawRect(QRectF(4 + c * 6.2, 4 + r * 6.2, 5.4, 5.4));
            }
        break;
    }
    case cGlyph::RenewCE: { // circular arrows
        p.setPen(QPen(QColor(30, 120, 40), 2.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 150 * 16);
        p.drawArc(QRectF(6, 6, 20, 20), 210 * 16, 150 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 120, 40));
        p.drawPolygon(QPolygonF({QPointF(3, 12), QPointF(10, 12), QPointF(6, 18)}));
        p.drawPolygon(QPolygonF({QPointF(29, 20), QPointF(22, 20), QPointF(26, 14)}));
        break;
    }
    case cGlyph::Network: {
        p.setPen(QPen(QColor(80, 80, 80), 1.2));
        const QPointF n[] = {QPointF(7, 8), QPointF(24, 6), QPointF(16, 17), QPointF(6, 25), QPointF(26, 25)};
        const int e[][2] = {{0, 2}, {1, 2}, {2, 3}, {2, 4}, {3, 4}, {0, 1}};
        for (const auto& k : e)
            p.drawLine(n[k[0]], n[k[1]]);
        const QColor c[] = {QColor(220, 60, 60), QColor(60, 90, 210), QColor(240, 180, 40),
                            QColor(60, 170, 80), QColor(150, 70, 190)};
        for (int i = 0; i < 5; ++i)
            DrawNode(p, n[i], 3.6, c[i]);
        break;
    }
    case cGlyph::About: {
        p.setPen(QPen(QColor(30, 70, 150), 1.5));
        p.setBrush(QColor(70, 120, 210));
        p.drawEllipse(QPointF(16, 16), 12, 12);
        QFont f(QStringLiteral("Serif"));
        f.setBold(true);
        f.setPixelSize(18);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("i"));
        break;
    }
    case cGlyph::Exit: { // door with an arrow
        p.setPen(outline);
        p.setBrush(QColor(170, 120, 70));
        p.drawRect(QRectF(6, 4, 13, 24));
        p.setBrush(QColor(40, 40, 40));
        p.drawEllipse(QPointF(16, 17), 1.2, 1.2);
        p.setPen(QPen(QColor(200, 30, 30), 2.5));
        p.drawLine(QPointF(17, 16), QPointF(29, 16));
        p.drawLine(QPointF(29, 16), QPointF(24, 11));
        p.drawLine(QPointF(29, 16), QPointF(24, 21));
        break;
    }
    case cGlyph::Find: { // magnifier
        p.setPen(QPen(QColor(50, 50, 50), 3));
        p.setBrush(QColor(210, 230, 250));
        p.drawEllipse(QPointF(13, 13), 8, 8);
        p.setPen(QPen(QColor(90, 60, 30), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19, 19), QPointF(28, 28));
        break;
    }
    case cGlyph::App: { // a correlation matrix with a network over it
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 60, 110));
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c <= r; ++c) {
                p.setBrush(r == c ? QColor(255, 255, 255)
                                  : ((r + c) % 2 ? QColor(230, 70, 70) : QColor(110, 160, 240)));
                p.drawRect(QRectF(4 + c * 5, 4 + r * 5, 4, 4));
            }
        p.setPen(QPen(QColor(250, 210, 80), 1.5));
        const QPointF n[] = {QPointF(19, 8), QPointF(27, 14), QPointF(22, 26), QPointF(12, 27)};
        p.drawLine(n[0], n[1]);
        p.drawLine(n[1], n[2]);
        p.drawLine(n[2], n[3]);
        p.drawLine(n[0], n[2]);
        p.setPen(Qt::NoPen);
        for (const auto& q : n)
            DrawNode(p, q, 2.4, QColor(250, 210, 80));
        break;
    }
    }
    return pm;
}

QIcon GlyphIcon(cGlyph glyph, int size, const QColor& ink)
{
    return QIcon(GlyphPixmap(glyph, size, ink));
}
