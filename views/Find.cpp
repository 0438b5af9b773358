#include "views/Find.h"

TfmFind::TfmFind(QWidget* parent) : QDialog(parent)
{
    setObjectName("fmFind");
    setWindowTitle("fmFind");
}
