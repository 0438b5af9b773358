// The "R parameters" dialog: where R's front end lives, and the text of the last job script.
#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

class TfmRParam : public QDialog {
    Q_OBJECT
  public:
    // rFolder: the R folder found at start-up (empty when none was found).
    explicit TfmRParam(const QString& rFolder = QString(), QWidget* parent = nullptr);

    // Fills edPath from the R folder found at start-up (empty when none was found).
    void FormCreate(const QString& rFolder);
    void btOKClick();
    void btCancelClick();
    void btBrowseClick();
    void chbShowBatClick();

    // Where OK stores the text of edPath (the main window's RFolder).
    QString* RFolderTarget = nullptr;
    // The folder the browse dialog starts in.
    QString BrowseFolder;
    // Runs the browse dialog (dlgOpen); returns the chosen file, or an empty text on cancel.
    // Tests replace it.
    std::function<QString(QWidget* parent, const QString& folder)> dlgOpen;

    QLabel* Label21;
    QLineEdit* edPath;
    QToolButton* btBrowse;
    QPushButton* btOK;
    QPushButton* btCancel;
    QCheckBox* chbShowBat;
    QPlainTextEdit* mBat;
};
