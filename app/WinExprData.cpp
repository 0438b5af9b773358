#include "app/WinExprData.h"

void cWinExprData::Print(const char*)
{
    if (Progressed) Progressed(Progress, nCEGenes);
}
