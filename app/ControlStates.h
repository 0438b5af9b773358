// Which main-window control is enabled, and which is shown, in which state of
// the analysis: a table, applied in one place (TfmMain::UpdateControls).
#pragma once

#include <array>
#include <cstddef>

enum class cWinState {
    NoData,      // nothing loaded (start-up, or after a load that failed)
    Loading,     // Load Data reads a table
    Loaded,      // a table, no co-expression matrix
    Computed,    // a table and its matrix
    Calculating, // Calculate CE runs (btCalcCE is the cancel button)
    Renewing,    // the re-calculation runs
    RJob,        // an R job runs
    Count
};

// What a state does to a control: switch it on, off, or leave it as it is.
enum class cSet : unsigned char { Off, On, Keep };

enum class cCtl {
    btOpen,
    btNormalize,
    btCalcCE,
    btRenewCE,
    btNetwork,
    btShowCE,
    btCEPatterns,
    btSaveFiltered,
    btSaveCE,
    btKillDC,
    btSaveDC,
    btSaveCPattern,
    btPlot,
    btDistrib,
    Count
};

struct cCtlRule {
    const char* Name; // the control's objectName
    std::array<cSet, static_cast<std::size_t>(cWinState::Count)> Enabled;
    std::array<cSet, static_cast<std::size_t>(cWinState::Count)> Visible;
};

// One row per control, in cCtl order.
const cCtlRule& ControlRule(cCtl control);
inline cSet EnabledIn(cCtl control, cWinState state)
{
    return ControlRule(control).Enabled[static_cast<std::size_t>(state)];
}
inline cSet VisibleIn(cCtl control, cWinState state)
{
    return ControlRule(control).Visible[static_cast<std::size_t>(state)];
}
