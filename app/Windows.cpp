#include "app/Windows.h"

#include "about/About.h"
#include "app/Analysis.h"
#include "app/Main.h"
#include "rjobs/Rparam.h"
#include "ui/Ui.h"
#include "views/Find.h"
#include "views/Histogram.h"
#include "views/Plot.h"
#include "views/Scr3d.h"
#include "views/Screen.h"

#include <utility>

TfmMain* fmMain = nullptr;
TfmFind* fmFind = nullptr;
TfmScreen* fmScreen = nullptr;
TfmScr3D* fmScr3D = nullptr;
TfmAbout* fmAbout = nullptr;
TfmPlot* fmPlot = nullptr;
TfmHistogram* fmHistogram = nullptr;
TfmRParam* fmRParam = nullptr;

namespace {

template <class W, class... A> void Create(W*& slot, A&&... args)
{
    slot = new W(std::forward<A>(args)...);
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
    // Each window gets the session it shows when it is built.
    cAnalysis* session = fmMain->Session();
    Create(fmFind, session);
    QObject::connect(fmFind, &TfmFind::geneTaken, fmMain,
                     [](int which, int gene) { RunAction(fmMain, [=] { fmMain->GeneTaken(which, gene); }); });
    Create(fmScreen, session);
    fmScreen->FormCreate(fmMain->frameGeometry());
    Create(fmScr3D);
    Create(fmAbout);
    Create(fmPlot, session);
    Create(fmHistogram, session);
    Create(fmRParam, session->RFolder);
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
