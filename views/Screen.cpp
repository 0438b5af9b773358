#include "views/Screen.h"

TfmScreen::TfmScreen(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("fmScreen");
    setWindowTitle("Screen");
}
