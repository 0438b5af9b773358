#include "app/WinExprData.h"

#include "app/Main.h"
#include "app/Ui.h"

#include <QThread>

void cWinExprData::Print(const char*)
{
    TfmMain* owner = Owner.data();
    if (owner == nullptr) return;
    const float progress = Progress;
    const int genes = nCEGenes;
    if (QThread::currentThread() == owner->thread()) {
        owner->ShowProgress(progress, genes);
        ProcessMessages();
    } else {
        QMetaObject::invokeMethod(
            owner, [owner, progress, genes] { owner->ShowProgress(progress, genes); }, Qt::QueuedConnection);
    }
}
