// The program's windows: created once at start-up, hidden, in this order, and
// living for the whole run; the main window's session is handed to the others.
#pragma once

class TfmMain;
class TfmFind;
class TfmScreen;
class TfmScr3D;
class TfmAbout;
class TfmPlot;
class TfmHistogram;
class TfmRParam;

extern TfmMain* fmMain;
extern TfmFind* fmFind;
extern TfmScreen* fmScreen;
extern TfmScr3D* fmScr3D;
extern TfmAbout* fmAbout;
extern TfmPlot* fmPlot;
extern TfmHistogram* fmHistogram;
extern TfmRParam* fmRParam;

// Creates the eight windows in start-up order; only the main window is shown by the caller.
void CreateWindows();
// Destroys them in reverse order (tests create and destroy the set repeatedly).
void DestroyWindows();
