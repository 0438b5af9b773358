// Caption colours of buttons, check boxes and labels.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

// The caption colour of a button, check box or label while it is enabled; a
// disabled one keeps the style's greyed caption, so that it looks disabled.
inline void SetTextColor(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(g, QPalette::ButtonText, c);
        pal.setColor(g, QPalette::WindowText, c);
    }
    w->setPalette(pal);
}
