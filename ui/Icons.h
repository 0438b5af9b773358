// The program's glyphs, drawn with QPainter so that no image files are needed.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

enum class cGlyph {
    Busy,
    RFound,
    RMissing,
    Open,
    Normalize,
    CalcCE,
    RenewCE,
    Network,
    About,
    Exit,
    Find,
    App
};

// A square glyph of the given size; `ink` colours the R glyphs (so the missing-R
// glyph can blink with the button's font colour).
QPixmap GlyphPixmap(cGlyph glyph, int size = 32, const QColor& ink = QColor(128, 0, 0));
QIcon GlyphIcon(cGlyph glyph, int size = 32, const QColor& ink = QColor(128, 0, 0));
