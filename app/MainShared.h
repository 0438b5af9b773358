// Small pieces shared by the main window's source files: the scopes its
// actions hold while they let events run, and its coloured captions.
#pragma once

#include "app/Main.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

// Counts an action that holds the data object or the matrix across event
// processing, so that a click handled meanwhile cannot release or change them.
struct cComputeScope {
    explicit cComputeScope(int& depth) : Depth(depth) { ++Depth; }
    ~cComputeScope() { --Depth; }
    cComputeScope(const cComputeScope&) = delete;
    cComputeScope& operator=(const cComputeScope&) = delete;
    int& Depth;
};

// Busy indicator on for the scope's lifetime, and off again when an error or
// a refusal ends the action early: the indicator means "an action is running".
struct cBusyScope {
    explicit cBusyScope(TfmMain* w) : Window(w) { Window->SetBusy(true); }
    ~cBusyScope() { Window->SetBusy(false); }
    cBusyScope(const cBusyScope&) = delete;
    cBusyScope& operator=(const cBusyScope&) = delete;
    TfmMain* Window;
};

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
