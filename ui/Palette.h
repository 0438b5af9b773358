// Caption colours of buttons, check boxes and labels.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

// The caption colour of a button, check box or label.
inline void SetTextColor(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::ButtonText, c);
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}
