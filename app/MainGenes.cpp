// The "Analysis by Genes" tab: gene selection, comparison chart and the
// co-expression chart of a gene. The controls and their wiring exist; the
// handlers are filled in with the gene comparison views.
#include "app/Main.h"

void TfmMain::gbGeneProfilesClick() {}
void TfmMain::tbGeneNum1Change() {}
void TfmMain::edGeneNum1Change() {}
void TfmMain::edGeneNum2Change() {}
void TfmMain::cbCompareClick() {}
void TfmMain::btFind1Click() {}
void TfmMain::btFind2Click() {}
void TfmMain::btBuildClick() {}
void TfmMain::btKillDCClick() {}
