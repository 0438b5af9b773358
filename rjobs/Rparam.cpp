#include "rjobs/Rparam.h"

#include "rjobs/RSearch.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString RunOpenDialog(QWidget* parent, const QString& folder)
{
    QFileDialog dlg(parent, QStringLiteral("Specigy the location of Rcmd"), folder,
                    QStringLiteral("Rcmd file (%1)").arg(RcmdName()));
    dlg.setObjectName(QStringLiteral("dlgOpen"));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().constFirst();
}

} // namespace

TfmRParam::TfmRParam(const QString& rFolder, QWidget* parent) : QDialog(parent)
{
    setObjectName("fmRParam");
    setWindowTitle("R parameters");
    setWindowFlag(Qt::Tool);
    dlgOpen = RunOpenDialog;

    Label21 = new QLabel(QStringLiteral("Specify the path to Rcmd file:"), this);
    Label21->setObjectName("Label21");
    QFont bold = Label21->font();
    bold.setBold(true);
    Label21->setFont(bold);
    edPath = new QLineEdit(this);
    edPath->setObjectName("edPath");
    btBrowse = new QToolButton(this);
    btBrowse->setObjectName("btBrowse");
    btBrowse->setText(QStringLiteral("..."));
    btBrowse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName("btOK");
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName("btCancel");
    chbShowBat = new QCheckBox(QStringLiteral("View Rcmd shell script"), this);
    chbShowBat->setObjectName("chbShowBat");
    mBat = new QPlainTextEdit(this);
    mBat->setObjectName("mBat");
    mBat->setLineWrapMode(QPlainTextEdit::NoWrap);
    mBat->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mBat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label21);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edPath, 1);
    pathRow->addWidget(btBrowse);
    layout->addLayout(pathRow);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chbShowBat);
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    layout->addLayout(buttons);
    layout->addWidget(mBat, 1);
    layout->addStretch(0);

    connect(btOK, &QPushButton::clicked, this, &TfmRParam::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfmRParam::btCancelClick);
    connect(btBrowse, &QToolButton::clicked, this, &TfmRParam::btBrowseClick);
    connect(chbShowBat, &QCheckBox::clicked, this, &TfmRParam::chbShowBatClick);

    resize(579, 180);
    FormCreate(rFolder);
}

void TfmRParam::FormCreate(const QString& rFolder)
{
    edPath->setText(rFolder);
    chbShowBatClick();
}

void TfmRParam::chbShowBatClick()
{
    const bool show = chbShowBat->isChecked();
    mBat->setVisible(show);
    resize(579, show ? 400 : 180);
}

void TfmRParam::btBrowseClick()
{
    const QString chosen = dlgOpen(this, BrowseFolder);
    if (chosen.isEmpty()) return;
    edPath->setText(FolderOfChosenRcmd(chosen));
}

void TfmRParam::btOKClick()
{
    if (RFolderTarget) *RFolderTarget = edPath->text();
    accept();
}

void TfmRParam::btCancelClick()
{
    reject();
}
