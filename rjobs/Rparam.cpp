#include "rjobs/Rparam.h"

TfmRParam::TfmRParam(QWidget* parent) : QDialog(parent)
{
    setObjectName("fmRParam");
    setWindowTitle("R parameters");
    setWindowFlag(Qt::Tool);
    resize(579, 180);
}
