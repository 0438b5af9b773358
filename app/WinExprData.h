// The window's data object: the engine table whose progress the window shows
// on its gauge and label (through the typed OnProgress hook).
#pragma once

#include "engine/ExprData.h"

class cWinExprData : public cExprData {
  public:
    // The console texts are not shown: the window shows the figures that
    // OnProgress reports, and messages come back through return values.
    void Print(const char*) override {}
};
