// Window-side plumbing shared by every action: the message box and file dialog
// seams (tests replace them so nothing ever blocks), the error that ends an
// action and the guard that reports it.
#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

class QWidget;

// Buttons of a message box and the answer.
enum class cMsgButtons { Ok, OkCancel };
enum class cMsgResult { Ok, Cancel };

// Every message box of the program goes through this function object. The
// default shows a modal QMessageBox; tests install their own to record the
// caption and text and to choose the answer.
using cMessageBoxFn =
    std::function<cMsgResult(QWidget* parent, const QString& caption, const QString& text, cMsgButtons)>;
cMessageBoxFn& MessageBoxHook();
cMsgResult MessageBox(QWidget* parent, const QString& caption, const QString& text,
                      cMsgButtons buttons = cMsgButtons::Ok);

// An error that ends the running action; its text is shown in a message box
// with the given caption.
class cActionError : public std::runtime_error {
  public:
    explicit cActionError(const QString& text, const QString& caption = QStringLiteral("Error"))
        : std::runtime_error(text.toStdString()), Text(text), Caption(caption)
    {
    }
    QString Text;
    QString Caption;
};

// Runs one action. An error thrown inside it ends the outermost action that
// is running and is reported once in a message box; the program keeps going
// with the state reached so far. Nested actions (one handler calling another)
// let the error pass through to the outermost one.
void RunAction(QWidget* parent, const std::function<void()>& action);

// Runs f with the action nesting reset, for the event loop of a modal dialog:
// a click handled there is an action of its own, reporting its own errors.
void WithoutActionNesting(const std::function<void()>& f);
