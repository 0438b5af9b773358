// R integration of the main window: the start-up search for R, the R
// parameters dialog, custom preprocessing and the network layout job. The
// controls and their wiring exist; the jobs themselves live in rjobs/.
#include "app/Main.h"

#include "app/Icons.h"

#include <QToolButton>
#include <QVariant>

void TfmMain::SearchR()
{
    RFolder.clear();
    RAvailable = false;
    btROptions->setProperty("glyphFound", false);
    btROptions->setIcon(GlyphIcon(cGlyph::RMissing, 28));
}

void TfmMain::btROptionsClick() {}
void TfmMain::btRProcessingClick() {}
void TfmMain::btNetworkClick() {}
