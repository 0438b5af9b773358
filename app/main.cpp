// The desktop program: no command-line options, no saved state.
#include "app/Main.h"
#include "app/Windows.h"
#include "ui/Icons.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvalent"));
    QApplication::setApplicationVersion(QStringLiteral(KORVALENT_VERSION));
    QApplication::setWindowIcon(GlyphIcon(cGlyph::App, 64));
    CreateWindows();
    fmMain->show();
    const int rc = app.exec();
    DestroyWindows();
    return rc;
}
