#include "ui/Ui.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Depth of the actions running on the window thread; 0 outside any action.
int ActionDepth = 0;

cMsgResult ShowMessageBox(QWidget* parent, const QString& caption, const QString& text, cMsgButtons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    if (buttons == cMsgButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setIcon(QMessageBox::Question);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setIcon(caption == QLatin1String("Error") ? QMessageBox::Critical : QMessageBox::Information);
    }
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? cMsgResult::Ok : cMsgResult::Cancel;
}

} // namespace

cMessageBoxFn& MessageBoxHook()
{
    static cMessageBoxFn hook = ShowMessageBox;
    return hook;
}

cMsgResult MessageBox(QWidget* parent, const QString& caption, const QString& text, cMsgButtons buttons)
{
    // A message box runs its own event loop: clicks handled there are new actions.
    cMsgResult result = cMsgResult::Cancel;
    WithoutActionNesting([&] { result = MessageBoxHook()(parent, caption, text, buttons); });
    return result;
}

void RunAction(QWidget* parent, const std::function<void()>& action)
{
    struct Depth {
        Depth() { ++ActionDepth; }
        ~Depth() { --ActionDepth; }
    };
    if (ActionDepth > 0) {
        Depth d;
        action();
        return;
    }
    QString caption, text;
    {
        Depth d;
        try {
            action();
            return;
        } catch (const cActionError& e) {
            caption = e.Caption;
            text = e.Text;
        } catch (const std::bad_alloc&) {
            caption = QStringLiteral("Error");
            text = QStringLiteral("Out of memory");
        } catch (const std::exception& e) {
            caption = QStringLiteral("Error");
            text = QString::fromLocal8Bit(e.what());
        }
    }
    MessageBox(parent, caption, text);
}

void WithoutActionNesting(const std::function<void()>& f)
{
    const int saved = ActionDepth;
    ActionDepth = 0;
    struct Restore {
        int v;
        ~Restore() { ActionDepth = v; }
    } restore{saved};
    f();
}
