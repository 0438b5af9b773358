#include "app/Main.h"

#include <QDir>

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent), StartFolder(QDir::currentPath())
{
    setWindowTitle("Korvalent");
}

TfmMain::~TfmMain() = default;
