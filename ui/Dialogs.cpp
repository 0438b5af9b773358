#include "ui/Dialogs.h"

#include "ui/Ui.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <utility>

QString QtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return out.join(QStringLiteral(";;"));
}

namespace {

bool ShowFileDialog(cFileDialog& d, QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setNameFilters(QtNameFilters(d.Filter).split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(d.DefaultExt);
    if (d.Kind == cFileDialog::cKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!d.FileName.isEmpty()) {
        const QFileInfo fi(d.FileName);
        dialog.setDirectory(fi.absolutePath());
        dialog.selectFile(fi.fileName());
    }
    bool accepted = false;
    WithoutActionNesting([&] { accepted = dialog.exec() == QDialog::Accepted; });
    if (!accepted || dialog.selectedFiles().isEmpty()) return false;
    d.FileName = dialog.selectedFiles().constFirst();
    return true;
}

} // namespace

cFileDialogFn& FileDialogHook()
{
    static cFileDialogFn hook = ShowFileDialog;
    return hook;
}

cFileDialog::cFileDialog(const char* name, cKind kind, QString filter, QString defaultExt)
    : Kind(kind), Filter(std::move(filter)), DefaultExt(std::move(defaultExt))
{
    setObjectName(QLatin1String(name));
}

bool cFileDialog::Execute(QWidget* parent)
{
    return FileDialogHook()(*this, parent);
}
