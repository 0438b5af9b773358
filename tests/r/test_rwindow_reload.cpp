// Custom preprocessing whose result cannot be loaded: the table and the matrix
// in memory stay, and a message box names the file.
#include "r_helpers.h"

#include "app/Analysis.h"
#include "app/Main.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "engine/CEMatrix.h"
#include "ui/Dialogs.h"
#include "ui/Ui.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

TEST(RWindowReload, AResultThatCannotBeLoadedKeepsTheTableAndTheMatrix)
{
    REQUIRE_R(rFolder);
    QTemporaryDir tmp;
    const QString start = tmp.path() + "/program";
    rtest::MakeStartFolder(start, false);
    const QString saved = QDir::currentPath();
    QDir::setCurrent(start);
    QStringList messages;
    const cMessageBoxFn savedBox = MessageBoxHook();
    MessageBoxHook() = [&](QWidget*, const QString& caption, const QString& text, cMsgButtons) {
        messages << caption + "|" + text;
        return cMsgResult::Ok;
    };
    qunsetenv("KORVALENT_R_ROOTS");
    CreateWindows();
    // R is checked at start-up without blocking; the job needs its outcome.
    ASSERT_TRUE(QTest::qWaitFor([] { return !fmMain->SearchingR(); }, 30000));
    const auto idle = [] { return QTest::qWaitFor([] { return !fmMain->Computing(); }, 120000); };

    const QString table = tmp.path() + "/data/table.txt";
    rtest::WriteFile(table, "ID\tName\tA1\tA2\tA3\tA4\n"
                            "g1\tone\t1\t2\t3\t4\n"
                            "g2\ttwo\t2\t4\t6\t8.5\n"
                            "g3\tthree\t4\t3\t2\t1\n");
    fmMain->dlgOpen.FileName = table;
    fmMain->dlgOpen.Preset = 1;
    QTest::mouseClick(fmMain->btOpen, Qt::LeftButton);
    ASSERT_TRUE(idle());
    QTest::mouseClick(fmMain->btCalcCE, Qt::LeftButton);
    ASSERT_TRUE(idle());
    const cWinExprData* data = fmMain->ExprData();
    const cCEMatrix* matrix = fmMain->CEMatrix();
    ASSERT_NE(matrix, nullptr);
    fmMain->Timer1Timer();

    // Junk, an empty line, and a header alone: none replaces the table.
    for (const char* text : {"junk", "", "ID\\tName\\tA1\\tA2"}) {
        const QString script = QStringLiteral("writeLines('%1', file.path(Sys.getenv('KORVALENT_DATAPATH'), "
                                              "Sys.getenv('KORVALENT_DATANAMEOUT')))\n")
                                   .arg(QLatin1String(text));
        messages.clear();
        fmMain->mRNorm->setPlainText(script);
        QTest::mouseClick(fmMain->findChild<QAbstractButton*>("btRProcessing"), Qt::LeftButton);
        ASSERT_TRUE(idle());
        ASSERT_EQ(messages.size(), 1) << messages.join("\n").toStdString();
        EXPECT_TRUE(messages[0].startsWith("Open expressions|The file '" + tmp.path() + "/data/data.norm'"))
            << messages[0].toStdString();
        EXPECT_EQ(fmMain->ExprData(), data);
        EXPECT_EQ(fmMain->CEMatrix(), matrix);
        EXPECT_EQ(fmMain->lbFileName->text(), "table.txt");
    }

    DestroyWindows();
    MessageBoxHook() = savedBox;
    QDir::setCurrent(saved);
}
