#include "app/Windows.h"

#include "about/About.h"
#include "app/Main.h"
#include "rjobs/Rparam.h"
#include "views/Find.h"
#include "views/Histogram.h"
#include "views/Plot.h"
#include "views/Scr3d.h"
#include "views/Screen.h"

TfmMain* fmMain = nullptr;
TfmFind* fmFind = nullptr;
TfmScreen* fmScreen = nullptr;
TfmScr3D* fmScr3D = nullptr;
TfmAbout* fmAbout = nullptr;
TfmPlot* fmPlot = nullptr;
TfmHistogram* fmHistogram = nullptr;
TfmRParam* fmRParam = nullptr;

namespace {

template <class W> void Create(W*& slot)
{
    slot = new W();
    slot->hide();
    // Only the main window's closing ends the program.
    slot->setAttribute(Qt::WA_QuitOnClose, false);
}

template <class W> void Destroy(W*& slot)
{
    delete slot;
    slot = nullptr;
}

} // namespace

void CreateWindows()
{
    // The main window comes first: it seeds the shared random generator that
    // the 3D window draws its scene from.
    fmMain = new TfmMain();
    fmMain->hide();
    Create(fmFind);
    Create(fmScreen);
    Create(fmScr3D);
    Create(fmAbout);
    Create(fmPlot);
    Create(fmHistogram);
    Create(fmRParam);
}

void DestroyWindows()
{
    Destroy(fmRParam);
    Destroy(fmHistogram);
    Destroy(fmPlot);
    Destroy(fmAbout);
    Destroy(fmScr3D);
    Destroy(fmScreen);
    Destroy(fmFind);
    Destroy(fmMain);
}
