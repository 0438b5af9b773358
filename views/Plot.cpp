#include "views/Plot.h"

TfmPlot::TfmPlot(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("fmPlot");
    setWindowTitle("fmPlot");
}
