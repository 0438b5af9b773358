// The window's data object: the engine table whose progress the window shows
// on its gauge and label.
#pragma once

#include "engine/ExprData.h"

#include <functional>

class cWinExprData : public cExprData {
  public:
    // The text is ignored: the window shows figures, not the console texts.
    // Called on the thread that runs the computation.
    void Print(const char* text) override;

    // Receives Progress and nCEGenes at every progress report.
    std::function<void(float progress, int genes)> Progressed;
};
