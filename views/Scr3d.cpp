#include "views/Scr3d.h"

TfmScr3D::TfmScr3D(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("fmScr3D");
    setWindowTitle("Gene coexpression network");
    resize(507, 516);
}
