#include "views/Histogram.h"

TfmHistogram::TfmHistogram(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("fmHistogram");
    setWindowTitle("Expression distribution");
}
