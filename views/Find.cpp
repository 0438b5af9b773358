#include "views/Find.h"

#include "engine/ExprData.h"
#include "ui/AnalysisSource.h"
#include "ui/Ui.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace {

// Plain, case-sensitive containment on the stored bytes.
bool Contains(const char* text, const QByteArray& part)
{
    return std::strstr(text, part.constData()) != nullptr;
}

} // namespace

TfmFind::TfmFind(const cAnalysisSource* source, QWidget* parent) : QDialog(parent), Source(source)
{
    setObjectName("fmFind");
    setWindowTitle("fmFind");
    resize(420, 360);

    GroupBox1 = new QGroupBox("Find genes/spots containing:", this);
    GroupBox1->setObjectName("GroupBox1");
    edID = new QLineEdit(GroupBox1);
    edID->setObjectName("edID");
    edName = new QLineEdit(GroupBox1);
    edName->setObjectName("edName");
    btFind = new QPushButton("Find gene (spot)", GroupBox1);
    btFind->setObjectName("btFind");
    btTake = new QPushButton("Take it!", GroupBox1);
    btTake->setObjectName("btTake");
    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(new QLabel("ID:", GroupBox1), 0, 0);
    grid->addWidget(edID, 0, 1);
    grid->addWidget(btFind, 0, 2);
    grid->addWidget(new QLabel("Name:", GroupBox1), 1, 0);
    grid->addWidget(edName, 1, 1);
    grid->addWidget(btTake, 1, 2);

    liResults = new QListWidget(this);
    liResults->setObjectName("liResults");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(liResults, 1);

    btFind->setAutoDefault(false);
    btTake->setAutoDefault(false);
    connect(btFind, &QPushButton::clicked, this, [this] { RunAction(this, [this] { btFindClick(); }); });
    connect(btTake, &QPushButton::clicked, this, [this] {
        RunAction(this, [this] { btTakeClick(); });
        accept();
    });
    connect(liResults, &QListWidget::itemDoubleClicked, this,
            [this] { RunAction(this, [this] { liResultsDblClick(); }); });
}

QString TfmFind::ResultLine(int gene, const char* id, const char* name)
{
    return QStringLiteral("#%1:  %2  %3")
        .arg(gene + 1)
        .arg(QString::fromLocal8Bit(id), QString::fromLocal8Bit(name));
}

int TfmFind::LineGene(const QString& line)
{
    QString s = line;
    const qsizetype colon = s.indexOf(QLatin1Char(':'));
    if (colon >= 0) s.truncate(colon);
    s.remove(0, 1);
    bool ok = false;
    const int n = s.toInt(&ok);
    return ok ? n : 0;
}

void TfmFind::btFindClick()
{
    FindIn(Source ? Source->Table() : nullptr);
}

void TfmFind::FindIn(const cExprData* d)
{
    if (!d) return;
    liResults->clear();
    const QByteArray id = edID->text().toLocal8Bit();
    const QByteArray name = edName->text().toLocal8Bit();
    const bool haveID = !id.isEmpty(), haveName = !name.isEmpty();
    QStringList lines;
    for (int g = 0; g < d->nGenes; ++g) {
        const bool idHit = haveID && Contains(d->GeneID[g], id);
        const bool nameHit = haveName && Contains(d->GeneName[g], name);
        const bool match = haveID && haveName ? idHit && nameHit : idHit || nameHit;
        if (match) lines << ResultLine(g, d->GeneID[g], d->GeneName[g]);
    }
    liResults->addItems(lines);
}

void TfmFind::btTakeClick()
{
    // With lines but none selected nothing is taken, as for an empty list.
    const QListWidgetItem* item = liResults->currentItem();
    takenGene = item && item->isSelected() ? LineGene(item->text()) : 0;
}

void TfmFind::liResultsDblClick()
{
    btTakeClick();
    accept();
}

bool TfmFind::TakeGene(int which)
{
    if (exec() != QDialog::Accepted) return false;
    const cExprData* d = Source ? Source->Table() : nullptr;
    if (!d || takenGene < 1 || takenGene > d->nGenes) return false;
    emit geneTaken(which, takenGene);
    return true;
}
