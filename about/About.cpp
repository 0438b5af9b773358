#include "about/About.h"

#include "ui/Icons.h"
#include "ui/Ui.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);

    imgLogo = new QLabel(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(GlyphPixmap(cGlyph::App, 64));
    imgLogo->setFixedSize(64, 64);

    lbProgram = new QLabel(QStringLiteral("Korvalent"), this);
    lbProgram->setObjectName(QStringLiteral("lbProgram"));
    QFont f = lbProgram->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.8);
    lbProgram->setFont(f);

    lbVersion = new QLabel(QStringLiteral("Version ") + QStringLiteral(KORVALENT_VERSION), this);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));

    lbDescription =
        new QLabel(QStringLiteral("Co-expression analysis of microarray gene expression data."), this);
    lbDescription->setObjectName(QStringLiteral("lbDescription"));

    lbDisclaimer = new QLabel(QStringLiteral("<u>Disclaimer</u>"), this);
    lbDisclaimer->setObjectName(QStringLiteral("lbDisclaimer"));
    lbDisclaimer->setCursor(Qt::PointingHandCursor);
    lbDisclaimer->setToolTip(QStringLiteral("Click to read the disclaimer"));
    QPalette pal = lbDisclaimer->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 192));
    lbDisclaimer->setPalette(pal);
    lbDisclaimer->installEventFilter(this);

    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    connect(btOK, &QPushButton::clicked, this, &QDialog::hide);

    auto* text = new QVBoxLayout();
    text->addWidget(lbProgram);
    text->addWidget(lbVersion);
    text->addSpacing(6);
    text->addWidget(lbDescription);
    text->addSpacing(6);
    text->addWidget(lbDisclaimer);
    auto* top = new QHBoxLayout();
    top->addWidget(imgLogo, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addSpacing(10);
    all->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}

QString TfmAbout::DisclaimerText()
{
    return QStringLiteral("Korvalent is provided \"as is\", without warranty of any kind, express or "
                          "implied. The authors are not "
                          "liable for any claim, damage or other liability arising from its use. Results are "
                          "meant for research; "
                          "check them independently before drawing conclusions from them.");
}

void TfmAbout::lbDisclaimerClick()
{
    MessageBox(this, QStringLiteral("Disclaimer"), DisclaimerText());
}

bool TfmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lbDisclaimer && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            RunAction(this, [this] { lbDisclaimerClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
