// Small pieces shared by the main window's source files.
#pragma once

#include "app/Main.h"
#include "ui/Palette.h"

// Busy indicator on for the scope's lifetime, and off again when an error or
// a refusal ends the action early: the indicator means "an action is running".
struct cBusyScope {
    explicit cBusyScope(TfmMain* w) : Window(w) { Window->SetBusy(true); }
    ~cBusyScope() { Window->SetBusy(false); }
    cBusyScope(const cBusyScope&) = delete;
    cBusyScope& operator=(const cBusyScope&) = delete;
    TfmMain* Window;
};
