// R integration of the main window: the start-up search for R, the R
// parameters dialog, custom preprocessing and the network layout job. The
// jobs live in rjobs/; the window lends them its state and controls.
#include "app/Analysis.h"
#include "app/Main.h"
#include "app/MainShared.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "rjobs/RActions.h"
#include "rjobs/RJob.h"
#include "rjobs/Rparam.h"
#include "ui/Icons.h"
#include "ui/Ui.h"
#include "views/Scr3d.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVariant>

namespace {

cRHost MakeHost(TfmMain* w)
{
    cRHost h;
    h.Window = w;
    cAnalysis* session = w->Session();
    h.StartFolder = session->StartFolder;
    h.RFolder = &session->RFolder;
    h.RAvailable = &session->RAvailable;
    h.Data = [w]() -> const cExprData* { return w->ExprData(); };
    h.Matrix = [w]() -> const cCEMatrix* { return w->CEMatrix(); };
    h.DataPath = [w] { return w->lbPath->text(); };
    h.DataFile = [w] { return w->lbFileName->text(); };
    h.OutName = [w] { return w->edFileNameOut->text(); };
    h.ScriptText = [w] { return w->mRNorm->toPlainText(); };
    h.Message = [w](const QString& caption, const QString& text) { MessageBox(w, caption, text); };
    h.Log = [w](const QString& text) { w->AddLogText(text); };
    h.SetRGlyph = [w](bool found) { w->SetRGlyph(found); };
    h.Busy = [w](bool on) { w->SetBusy(on); };
    h.Start = [session](cJob* job) { return session->StartJob(job, cAnalysis::cJobKind::RJob); };
    h.LoadPreset = [w](const QString& path) {
        w->dlgOpen.FileName = path;
        w->dlgOpen.Preset = 1;
        w->btOpenClick();
    };
    h.SaveFilteredPreset = [w](const QString& path) {
        w->dlgSave.FileName = path;
        w->dlgSave.Preset = 1;
        w->btSaveFilteredClick();
    };
    return h;
}

} // namespace

void TfmMain::SetRGlyph(bool found)
{
    btROptions->setProperty("glyphFound", found);
    btROptions->setIcon(QIcon((found ? imgR : imgNoR)->pixmap()));
}

void TfmMain::SearchR()
{
    cRHost h = MakeHost(this);
    RSearch = ::SearchR(h);
    if (!RSearch || RSearch->Ended()) return;
    // The R parameters dialog was made with the folder known before the check ended.
    connect(RSearch, &cJob::finished, this, [this] {
        if (fmRParam && !fmRParam->isVisible()) fmRParam->edPath->setText(RFolder());
    });
}

bool TfmMain::SearchingR() const
{
    return RSearch && !RSearch->Ended();
}

void TfmMain::btROptionsClick()
{
    if (fmRParam == nullptr) return;
    cRHost h = MakeHost(this);
    ::btROptionsClick(h, fmRParam);
}

void TfmMain::btRProcessingClick()
{
    if (Computing()) return;
    cRHost h = MakeHost(this);
    ::btRProcessingClick(h, fmRParam);
}

void TfmMain::btNetworkClick()
{
    if (Computing()) return;
    cRHost h = MakeHost(this);
    ::btNetworkClick(h, fmRParam, fmScr3D);
}

void TfmMain::BitBtn1Click()
{
    // An edited script is only replaced when the user agrees: it may be hours of work.
    const QString routine = DefaultRNormText();
    if (mRNorm->toPlainText() == routine) return;
    if (MessageBox(this, QStringLiteral("Preprocessing routine"),
                   QStringLiteral("Replace the script with the example preprocessing routine?"),
                   cMsgButtons::OkCancel) != cMsgResult::Ok)
        return;
    mRNorm->setPlainText(routine);
}
