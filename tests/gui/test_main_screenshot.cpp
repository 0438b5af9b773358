// Not a check: takes the picture of the main window used in the README when
// KORVALENT_SCREENSHOT names the file to write (run it under xvfb-run with
// "-platform xcb" for real fonts); otherwise it skips.
#include "test_main_support.h"

#include <QPixmap>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

TEST_F(MainWindowTest, Screenshot)
{
    const QByteArray target = qgetenv("KORVALENT_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "set KORVALENT_SCREENSHOT to the picture's path";
    const QByteArray table = qgetenv("KORVALENT_SCREENSHOT_TABLE");
    Load(table.isEmpty() ? TestDataPath("examples/sample.txt") : QString::fromLocal8Bit(table));
    Click("btCalcCE");
    const QByteArray page = qgetenv("KORVALENT_SCREENSHOT_PAGE");
    if (!page.isEmpty()) fmMain->PageControl->setCurrentIndex(page.toInt());
    QTest::qWait(1200); // one timer tick fills the memory panel
    ASSERT_TRUE(fmMain->grab().save(QString::fromLocal8Bit(target)));
    if (qEnvironmentVariableIsSet("KORVALENT_SCREENSHOT_SIZES"))
        for (QWidget* w :
             {fmMain->tshImport, fmMain->centralWidget(), static_cast<QWidget*>(fmMain->ToolBar1),
              static_cast<QWidget*>(fmMain->StatusBar), static_cast<QWidget*>(fmMain->PageControl)})
            printf("%s %dx%d at %d,%d\n", qPrintable(w->objectName()), w->width(), w->height(), w->x(),
                   w->y());
}
