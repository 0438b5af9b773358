// The window's data object: the engine table whose progress hook shows the
// progress on the main window's gauge and label.
#pragma once

#include "engine/ExprData.h"

#include <QPointer>

class TfmMain;

class cWinExprData : public cExprData {
  public:
    explicit cWinExprData(TfmMain* owner = nullptr) : Owner(owner) {}

    // The text is ignored. On the window thread the gauge and label are updated
    // at once and pending events run (so a Cancel click is handled); from a
    // worker thread the figures are posted to the window thread.
    void Print(const char* text) override;

    QPointer<TfmMain> Owner;
};
