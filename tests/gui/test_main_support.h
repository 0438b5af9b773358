// Shared fixture of the main-window tests: the eight windows built fresh for
// each test, message boxes and file dialogs answered by the test.
#pragma once

#include "app/Analysis.h"
#include "app/Main.h"
#include "app/Windows.h"
#include "ui/Dialogs.h"
#include "ui/Ui.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

struct cShownMessage {
    QString Caption;
    QString Text;
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The control of the main window with this objectName (fails the test if absent).
    template <class W = QWidget> W* Ctl(const char* name)
    {
        W* w = fmMain->findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << "no control " << name;
        return w;
    }
    // Clicks a button the way a user does (disabled buttons ignore it), then
    // waits until a job the click started has ended.
    void Click(const char* name);
    // Lets the window run until no job is left running.
    void WaitIdle();
    QString Text(const char* name);
    QStringList LogLines() const;
    // Log lines without their time stamps (everything before ": ").
    QStringList LogMessages() const;

    // Loads a table through the preset open dialog.
    void Load(const QString& path);
    // Writes a table into the temporary folder and returns its path.
    QString WriteTable(const char* name, const std::string& text);

    // The next file dialogs answer with these paths; an empty entry cancels.
    std::deque<QString> DialogAnswers;
    int DialogsShown = 0;
    std::deque<cMsgResult> MessageAnswers;
    std::vector<cShownMessage> Messages;
    QTemporaryDir Tmp;

  private:
    cMessageBoxFn SavedMessageBox;
    cFileDialogFn SavedFileDialog;
};

std::string ReadFileBytes(const QString& path);
QString TestDataPath(const char* name);
// A table whose genes follow one shared profile with their own weight and
// noise, so nearly every pair has a correlation of at least 0.01.
std::string FactorTable(int genes, int arrays);
