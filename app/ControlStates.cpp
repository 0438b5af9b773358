#include "app/ControlStates.h"

namespace {

constexpr cSet O = cSet::On, X = cSet::Off, K = cSet::Keep;

// Columns: NoData, Loading, Loaded, Computed, Calculating, Renewing, RJob.
// While a job works on the table or the matrix, what would change, release or
// read them is off. The short re-calculation leaves the controls as they are
// (their actions refuse while it runs), and so does Calculate CE for "Detect
// CE patterns", which a measure change switches on too (TfmMain::UpdateControls
// handles that exception). "CE Map" is hidden while there is no matrix, but
// only a calculation disables it.
const cCtlRule Rules[] = {
    // control          enabled                    visible
    {"btOpen", {O, X, O, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btNormalize", {X, X, O, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btCalcCE", {X, X, O, O, O, K, X}, {K, K, K, K, K, K, K}},
    {"btRenewCE", {X, X, X, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btNetwork", {X, X, X, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btShowCE", {O, K, O, O, X, K, X}, {X, X, X, O, K, K, K}},
    {"btCEPatterns", {X, X, X, O, K, K, X}, {K, K, K, K, K, K, K}},
    {"btSaveFiltered", {X, X, X, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btSaveCE", {X, X, X, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btKillDC", {O, X, O, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btSaveDC", {O, X, O, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btSaveCPattern", {O, X, O, O, X, K, X}, {K, K, K, K, K, K, K}},
    {"btPlot", {K, K, K, K, K, K, K}, {X, X, O, O, K, K, K}},
    {"btDistrib", {K, K, K, K, K, K, K}, {X, X, O, O, K, K, K}},
};
static_assert(sizeof Rules / sizeof Rules[0] == static_cast<std::size_t>(cCtl::Count));

} // namespace

const cCtlRule& ControlRule(cCtl control)
{
    return Rules[static_cast<std::size_t>(control)];
}
