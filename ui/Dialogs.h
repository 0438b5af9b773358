// The main window's open and save dialogs. Each carries the file name of its
// last use and a preset flag: an action may fill FileName and set Preset to 1
// so that the next action using the dialog takes that name without showing it.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

class cFileDialog : public QObject {
    Q_OBJECT
  public:
    enum class cKind { Open, Save };

    // name: the dialog's objectName ("dlgOpen", "dlgSave").
    cFileDialog(const char* name, cKind kind, QString filter, QString defaultExt);

    // Shows the dialog; true with FileName set when the user chose a file.
    bool Execute(QWidget* parent);

    cKind Kind;
    QString Filter;     // "Text files|*.txt|All files|*.*"
    QString DefaultExt; // added to a typed name without an extension
    QString FileName;
    int Preset = 0;
};

// What Execute runs: the default shows a QFileDialog. Tests install their own
// (returning the chosen path, or false for a cancel) so no dialog ever appears.
using cFileDialogFn = std::function<bool(cFileDialog& dialog, QWidget* parent)>;
cFileDialogFn& FileDialogHook();

// "Text|*.txt|All|*.*" as QFileDialog name filters: "Text (*.txt);;All (*.*)".
QString QtNameFilters(const QString& filter);
