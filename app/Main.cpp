#include "app/Main.h"
#include "app/Analysis.h"
#include "app/Jobs.h"
#include "app/MainShared.h"

#include "about/About.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "engine/CEMatrix.h"
#include "engine/Numeric.h"
#include "rjobs/RJob.h"
#include "ui/ChartTools.h"
#include "ui/Convert.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/Ui.h"
#include "views/Histogram.h"
#include "views/Plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPen>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <malloc.h>

#include <algorithm>
#include <cstdint>

namespace {

const QColor kRed(255, 0, 0);
const QColor kMaroon(128, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kNavy(0, 0, 128);

template <class W> W* Named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w = -1)
{
    auto* l = new QLabel(text, parent);
    l->adjustSize();
    l->move(x, y);
    if (w > 0) l->resize(w, l->height());
    return l;
}

QLabel* ValueLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w)
{
    auto* l = Named(new QLabel(text, parent), name);
    l->setGeometry(x, y, w, 18);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h = 26)
{
    auto* b = Named(new QPushButton(text, parent), name);
    b->setGeometry(x, y, w, h);
    return b;
}

QLineEdit* Edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w)
{
    auto* e = Named(new QLineEdit(text, parent), name);
    e->setGeometry(x, y, w, 24);
    return e;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text, int x, int y, int w, bool checked)
{
    auto* c = Named(new QCheckBox(text, parent), name);
    c->setGeometry(x, y, w, 22);
    c->setChecked(checked);
    return c;
}

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        cGlyph glyph)
{
    auto* b = Named(new QToolButton(parent), name);
    b->setText(text);
    b->setToolTip(hint);
    b->setIcon(GlyphIcon(glyph, 24));
    b->setIconSize(QSize(24, 24));
    b->setAutoRaise(true);
    b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    return b;
}

QPlainTextEdit* Memo(QWidget* parent, const char* name, bool bothScrollBars)
{
    auto* m = Named(new QPlainTextEdit(parent), name);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (bothScrollBars) {
        m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
    }
    return m;
}

void SetBold(QWidget* w, bool bold = true)
{
    QFont f = w->font();
    f.setBold(bold);
    w->setFont(f);
}

QPen LinePen(const QColor& color, int width)
{
    QPen pen(color);
    pen.setWidth(width);
    return pen;
}

// The main window's charts carry bold axis titles.
void AddAxes(QChartView* view, QValueAxis*& x, QValueAxis*& y, const QString& xTitle = QString(),
             const QString& yTitle = QString())
{
    AddValueAxes(view, x, y, xTitle, yTitle);
    for (QValueAxis* axis : {x, y}) {
        QFont f = axis->titleFont();
        f.setBold(true);
        axis->setTitleFont(f);
    }
}

} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent),
      dlgOpen("dlgOpen", cFileDialog::cKind::Open,
              QStringLiteral("Text files|*.txt|Filtered expression files|*.flt|All files|*.*"),
              QStringLiteral("txt")),
      dlgSave("dlgSave", cFileDialog::cKind::Save,
              QStringLiteral("Text|*.txt|Filtered expression (text)|*.flt|Coexpression (text)|*.ce|All|*.*"),
              QStringLiteral("txt"))
{
    Analysis = new cAnalysis(this);
    Analysis->StartFolder = QDir::currentPath();
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Korvalent"));
    setWindowIcon(GlyphIcon(cGlyph::App, 64));

    CreateToolBar();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnMain"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(3);
    auto* top = new QHBoxLayout();
    top->setSpacing(3);

    GroupBox4 = Named(new QGroupBox(central), "GroupBox4");
    GroupBox4->setFixedWidth(100);
    auto* side = new QVBoxLayout(GroupBox4);
    side->setContentsMargins(4, 6, 4, 6);
    btPlot = Named(new QPushButton(QStringLiteral("Profiles"), GroupBox4), "btPlot");
    btDistrib = Named(new QPushButton(QStringLiteral("Distributions"), GroupBox4), "btDistrib");
    btShowCE = Named(new QPushButton(QStringLiteral("CE Map"), GroupBox4), "btShowCE");
    btShowGN = Named(new QPushButton(QStringLiteral("Gene Net"), GroupBox4), "btShowGN");
    for (QPushButton* b : {btPlot, btDistrib, btShowCE, btShowGN}) {
        b->setMinimumHeight(30);
        side->addWidget(b);
        b->hide();
    }
    side->addStretch(1);

    PageControl = Named(new QTabWidget(central), "PageControl");
    tshImport = Named(new QWidget(), "tshImport");
    tshNormalization = Named(new QWidget(), "tshNormalization");
    tshCalcCE = Named(new QWidget(), "tshCalcCE");
    tshAnalyze = Named(new QWidget(), "tshAnalyze");
    PageControl->addTab(tshImport, QStringLiteral("Data"));
    PageControl->addTab(tshNormalization, QStringLiteral("Normalization"));
    PageControl->addTab(tshCalcCE, QStringLiteral("CE && Patterns"));
    PageControl->addTab(tshAnalyze, QStringLiteral("Analysis by Genes"));

    top->addWidget(GroupBox4);
    top->addWidget(PageControl, 1);
    outer->addLayout(top, 1);

    mLog = Memo(central, "mLog", false);
    mLog->setReadOnly(true);
    mLog->setFixedHeight(108);
    outer->addWidget(mLog);
    setCentralWidget(central);

    StatusBar = Named(new QStatusBar(this), "StatusBar");
    StatusBar->setSizeGripEnabled(false);
    StatusPanel = Named(new QLabel(QStringLiteral("Memory allocated:")), "StatusPanel");
    StatusPanel->setMinimumWidth(50);
    StatusBar->addWidget(StatusPanel, 1);
    setStatusBar(StatusBar);

    CreateDataTab();
    CreateNormalizationTab();
    CreateCETab();
    CreateAnalyzeTab();
    PageControl->setCurrentIndex(0);

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);

    // Fixed client area of 744 x 600, not resizable.
    setFixedSize(744, 600);

    // The shared generator is seeded before any window builds a scene from it.
    RandInit();

    Connect();
    FormCreate();
    Timer1->start();
}

TfmMain::~TfmMain()
{
    Timer1->stop();
    // The session stops and waits for a job still running before the table goes.
    delete Analysis;
    Analysis = nullptr;
}

cWinExprData* TfmMain::ExprData() const
{
    return Analysis->Data();
}

cCEMatrix* TfmMain::CEMatrix() const
{
    return Analysis->CEMatrix();
}

const QString& TfmMain::RFolder() const
{
    return Analysis->RFolder;
}

const QString& TfmMain::StartFolder() const
{
    return Analysis->StartFolder;
}

bool TfmMain::RAvailable() const
{
    return Analysis->RAvailable;
}

bool TfmMain::Computing() const
{
    return Analysis->Busy();
}

void TfmMain::CreateToolBar()
{
    ToolBar1 = Named(new QToolBar(this), "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->toggleViewAction()->setEnabled(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    setContextMenuPolicy(Qt::NoContextMenu);

    auto arrow = [this] {
        auto* l = new QLabel(QStringLiteral("->"), ToolBar1);
        SetBold(l);
        l->setContentsMargins(3, 0, 3, 0);
        ToolBar1->addWidget(l);
    };

    btBusy = ToolButton(ToolBar1, "btBusy", QString(), QString(), cGlyph::Busy);
    btROptions = ToolButton(
        ToolBar1, "btROptions", QString(),
        QStringLiteral("Cannot find R (some functions are disabled).\r\nPress to set the path manualy"),
        cGlyph::RMissing);
    btROptions->setIconSize(QSize(28, 28));
    btOpen = ToolButton(ToolBar1, "btOpen", QStringLiteral("Load Data"),
                        QStringLiteral("Load expression data table"), cGlyph::Open);
    btNormalize = ToolButton(ToolBar1, "btNormalize", QStringLiteral("Normalize"),
                             QStringLiteral("Normalize data using current settings"), cGlyph::Normalize);
    btCalcCE = ToolButton(ToolBar1, "btCalcCE", QStringLiteral("Calculate CE"),
                          QStringLiteral("Calculate co-expression using current settings"), cGlyph::CalcCE);
    SetTextColor(btCalcCE, kGreen);
    btCalcCE->setMinimumWidth(118);
    btRenewCE = ToolButton(ToolBar1, "btRenewCE", QString(), QString(), cGlyph::RenewCE);
    btNetwork = ToolButton(ToolBar1, "btNetwork", QStringLiteral("Network"), QString(), cGlyph::Network);
    SetBold(btNetwork);
    btNetwork->setFixedWidth(96);
    btAbout = ToolButton(ToolBar1, "btAbout", QString(), QString(), cGlyph::About);
    btExit =
        ToolButton(ToolBar1, "btExit", QStringLiteral("Exit"), QStringLiteral("Exit program"), cGlyph::Exit);

    ToolBar1->addWidget(btBusy);
    ToolBar1->addWidget(btROptions);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(btOpen);
    arrow();
    ToolBar1->addWidget(btNormalize);
    arrow();
    ToolBar1->addWidget(btCalcCE);
    ToolBar1->addWidget(btRenewCE);
    arrow();
    ToolBar1->addWidget(btNetwork);
    auto* gap = new QWidget(ToolBar1);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ToolBar1->addWidget(gap);
    ToolBar1->addWidget(btAbout);
    ToolBar1->addWidget(btExit);

    btBusy->setEnabled(false);
    btNormalize->setEnabled(false);
    btCalcCE->setEnabled(false);
    btRenewCE->setEnabled(false);
    btNetwork->setEnabled(false);
}

void TfmMain::CreateDataTab()
{
    QWidget* t = tshImport;
    const char* captions[] = {"Path:",           "File:",       "Number of genes:", "Number of arrays:",
                              "Missing values:", "Total mean:", "Total st.dev.:"};
    QLabel** values[] = {&lbPath, &lbFileName, &lbNGenes, &lbNArrays, &lbMissing, &lbMean, &lbStDev};
    const char* names[] = {"lbPath", "lbFileName", "lbNGenes", "lbNArrays", "lbMissing", "lbMean", "lbStDev"};
    for (int i = 0; i < 7; ++i) {
        Caption(t, QLatin1String(captions[i]), 10, 10 + 22 * i);
        *values[i] = ValueLabel(t, names[i], QStringLiteral("none"), 130, 10 + 22 * i, 260);
        SetBold(*values[i]);
        (*values[i])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    lbPath->setToolTip(QString());

    GroupBox5 = Named(new QGroupBox(QStringLiteral("Print >>"), t), "GroupBox5");
    GroupBox5->setGeometry(10, 172, 300, 146);
    Caption(GroupBox5, QStringLiteral("by microarrays"), 12, 22);
    Caption(GroupBox5, QStringLiteral("by genes"), 156, 22);
    btShowMA = Button(GroupBox5, "btShowMA", QStringLiteral("Array names"), 10, 42, 136);
    btMeanByMA = Button(GroupBox5, "btMeanByMA", QStringLiteral("Mean for arrays"), 10, 72, 136);
    btStdByMA = Button(GroupBox5, "btStdByMA", QStringLiteral("St.dev. for arrays"), 10, 102, 136);
    btShowID = Button(GroupBox5, "btShowID", QStringLiteral("Gene IDs"), 154, 42, 136);
    btMean4Genes = Button(GroupBox5, "btMean4Genes", QStringLiteral("Mean for genes"), 154, 72, 136);
    btSTD4Genes = Button(GroupBox5, "btSTD4Genes", QStringLiteral("St.dev. for genes"), 154, 102, 136);
    btClearCon = Button(GroupBox5, "btClearCon", QStringLiteral("X"), 270, 18, 24, 22);
    SetBold(btClearCon);
    SetTextColor(btClearCon, kRed);
    btClearCon->setToolTip(QStringLiteral("Clear the console"));

    mCon = Memo(t, "mCon", true);
    mCon->setReadOnly(true);
    mCon->setGeometry(396, 4, 232, 390);

    imgR = Named(new QLabel(t), "imgR");
    imgR->setPixmap(GlyphPixmap(cGlyph::RFound, 32));
    imgR->setGeometry(320, 200, 32, 32);
    imgR->hide();
    imgNoR = Named(new QLabel(t), "imgNoR");
    imgNoR->setPixmap(GlyphPixmap(cGlyph::RMissing, 32));
    imgNoR->setGeometry(356, 200, 32, 32);
    imgNoR->hide();
    Button1 = Button(t, "Button1", QStringLiteral("FreeMemory"), 320, 250, 70);
    Button1->hide();
}

void TfmMain::CreateNormalizationTab()
{
    QWidget* t = tshNormalization;
    GroupBox1 = Named(new QGroupBox(QStringLiteral("On-the-fly normalization"), t), "GroupBox1");
    GroupBox1->setGeometry(6, 4, 620, 90);
    btArrayNorm =
        Button(GroupBox1, "btArrayNorm", QStringLiteral("Between-array normalization"), 10, 22, 220, 28);
    chbCenterArrays =
        Check(GroupBox1, "chbCenterArrays", QStringLiteral("Center data (mean = 0)"), 246, 25, 180, true);
    chbScaleArrays =
        Check(GroupBox1, "chbScaleArrays", QStringLiteral("Scale data (variance = 1)"), 424, 25, 190, true);
    btGeneNorm =
        Button(GroupBox1, "btGeneNorm", QStringLiteral("Between-gene normalization"), 10, 56, 220, 28);
    chbCenterGenes =
        Check(GroupBox1, "chbCenterGenes", QStringLiteral("Center data (mean = 0)"), 246, 59, 180, true);
    chbScaleGenes =
        Check(GroupBox1, "chbScaleGenes", QStringLiteral("Scale data (variance = 1)"), 424, 59, 190, true);

    GroupBox3 = Named(new QGroupBox(QStringLiteral("Preprocess using R scipt"), t), "GroupBox3");
    GroupBox3->setGeometry(6, 98, 620, 296);
    Label19 = Named(Caption(GroupBox3, QStringLiteral("Save normalized data to:"), 10, 26), "Label19");
    edFileNameOut = Edit(GroupBox3, "edFileNameOut", QStringLiteral("data.norm"), 166, 22, 136);
    btRProcessing = Button(GroupBox3, "btRProcessing", QStringLiteral("Start processing"), 312, 20, 140, 28);
    SetBold(btRProcessing);
    SetTextColor(btRProcessing, kNavy);
    btRProcessing->setEnabled(false);
    BitBtn1 = Button(GroupBox3, "BitBtn1", QStringLiteral("Preprocessing routine"), 460, 20, 150, 28);
    BitBtn1->setToolTip(QStringLiteral("Put the example preprocessing script back"));
    mRNorm = Memo(GroupBox3, "mRNorm", true);
    mRNorm->setGeometry(10, 56, 600, 232);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setBold(true);
    mono.setPointSizeF(8);
    mRNorm->setFont(mono);
    mRNorm->setPlainText(DefaultRNormText());
}

void TfmMain::CreateCETab()
{
    QWidget* t = tshCalcCE;
    Caption(t, QStringLiteral("Measure:"), 8, 11);
    cbbMeasure = Named(new QComboBox(t), "cbbMeasure");
    cbbMeasure->addItems({QStringLiteral("Pearson Correlation"), QStringLiteral("Mutual Information")});
    cbbMeasure->setGeometry(70, 6, 184, 26);

    panCParam = Named(new QFrame(t), "panCParam");
    panCParam->setGeometry(4, 38, 252, 62);
    Caption(panCParam, QStringLiteral("Correlation power:"), 4, 8);
    edCEPower = Edit(panCParam, "edCEPower", QStringLiteral("1"), 146, 4, 100);
    Caption(panCParam, QStringLiteral("Filtering threshold:"), 4, 37);
    edCEThreshold = Edit(panCParam, "edCEThreshold", QStringLiteral("0.9"), 146, 33, 100);

    panMIParam = Named(new QFrame(t), "panMIParam");
    panMIParam->setGeometry(4, 38, 252, 62);
    Caption(panMIParam, QStringLiteral("Number of bins:"), 4, 8)->setEnabled(false);
    Edit3 = Edit(panMIParam, "Edit3", QStringLiteral("16"), 146, 4, 100);
    Edit3->setEnabled(false);
    Caption(panMIParam, QStringLiteral("Filtering threshold:"), 4, 37)->setEnabled(false);
    Edit4 = Edit(panMIParam, "Edit4", QStringLiteral("0.5"), 146, 33, 100);
    Edit4->setEnabled(false);
    panMIParam->hide();

    Caption(t, QStringLiteral("Progress"), 8, 110);
    cgProgress = Named(new QProgressBar(t), "cgProgress");
    cgProgress->setGeometry(8, 130, 248, 20);
    cgProgress->setRange(0, 1000);
    cgProgress->setValue(0);
    cgProgress->setFormat(QStringLiteral("%p%"));
    cgProgress->setTextVisible(true);
    {
        QPalette pal = cgProgress->palette();
        pal.setColor(QPalette::Highlight, kNavy);
        cgProgress->setPalette(pal);
    }
    lbCoexpressed = Named(new QLabel(QStringLiteral("none genes are found coexpressed"), t), "lbCoexpressed");
    lbCoexpressed->setWordWrap(true);
    lbCoexpressed->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbCoexpressed->setGeometry(8, 156, 248, 40);

    btSaveFiltered = Button(t, "btSaveFiltered", QStringLiteral("Save filtered DATA"), 8, 206, 248, 28);
    btSaveCE = Button(t, "btSaveCE", QStringLiteral("Save pairwise CE"), 8, 240, 248, 28);
    btSaveFiltered->setEnabled(false);
    btSaveCE->setEnabled(false);

    GroupBox6 = Named(new QGroupBox(QStringLiteral("Coexpression patterns"), t), "GroupBox6");
    GroupBox6->setGeometry(262, 2, 366, 392);
    btCEPatterns = Button(GroupBox6, "btCEPatterns", QStringLiteral("Detect CE patterns"), 8, 20, 136, 28);
    btCEPatterns->setEnabled(false);
    QLabel* nPatternsCaption = Caption(GroupBox6, QStringLiteral("Number of Patterns:"), 152, 17);
    QLabel* nRepCaption = Caption(GroupBox6, QStringLiteral("Genes in several patterns:"), 152, 35);
    const int valueX = 152 + std::max(nPatternsCaption->width(), nRepCaption->width()) + 6;
    lbNPatterns = ValueLabel(GroupBox6, "lbNPatterns", QStringLiteral("none"), valueX, 17, 360 - valueX);
    lbNGenesRep = ValueLabel(GroupBox6, "lbNGenesRep", QStringLiteral("none"), valueX, 35, 360 - valueX);
    SetBold(lbNPatterns);
    SetBold(lbNGenesRep);
    mPatterns = Memo(GroupBox6, "mPatterns", false);
    mPatterns->setReadOnly(true);
    mPatterns->setLineWrapMode(QPlainTextEdit::NoWrap);
    mPatterns->setGeometry(8, 56, 236, 112);
    edPattern = Edit(GroupBox6, "edPattern", QStringLiteral("0"), 250, 56, 108);
    btListPattern = Button(GroupBox6, "btListPattern", QStringLiteral("List CE pattern"), 250, 84, 108, 28);
    btSaveCPattern =
        Button(GroupBox6, "btSaveCPattern", QStringLiteral("Save CE pattern"), 250, 116, 108, 28);

    Chart3 = MakeChartView(GroupBox6, "Chart3");
    Chart3->setGeometry(4, 172, 358, 216);
    // Red 2 x 2 squares, one per gene, with no line between them. A point
    // series would keep one graphics item per gene, which costs a second to
    // make again for a large table each time the chart is emptied.
    serCluster = AddLine(Chart3, "serCluster", QPen(Qt::NoPen), cMarker::Square, 2, 2, kRed, kRed);
    AddAxes(Chart3, Chart3AxisX, Chart3AxisY, QStringLiteral("Gene #"), QStringLiteral("Pattern index"));
    Chart3AxisX->setLabelFormat(QStringLiteral("%d"));
    Chart3AxisY->setLabelFormat(QStringLiteral("%d"));
    SetEmptyPatternAxes();
}

void TfmMain::CreateAnalyzeTab()
{
    QWidget* t = tshAnalyze;
    auto geneGroup = [&](const char* name, const QString& title, const QColor& color, int y, QLineEdit*& ed,
                         const char* edName, QSlider*& tb, const char* tbName, QToolButton*& find,
                         const char* findName, QLabel*& id, const char* idName, QLabel*& nm,
                         const char* nmName, QLabel*& pat, const char* patName) {
        auto* g = Named(new QGroupBox(title, t), name);
        g->setGeometry(4, y, 622, 70);
        QFont f = g->font();
        f.setBold(true);
        g->setFont(f);
        SetTextColor(g, color);
        QFont plain = t->font();
        plain.setBold(false);
        ed = Edit(g, edName, QStringLiteral("1"), 6, 18, 44);
        tb = Named(new QSlider(Qt::Horizontal, g), tbName);
        tb->setGeometry(52, 14, 540, 28);
        tb->setTickPosition(QSlider::TicksAbove);
        tb->setRange(0, 1000);
        tb->setValue(1);
        tb->setToolTip(QStringLiteral("Select a gene of interest"));
        find = Named(new QToolButton(g), findName);
        find->setGeometry(594, 16, 24, 24);
        find->setIcon(GlyphIcon(cGlyph::Find, 18));
        find->setIconSize(QSize(18, 18));
        id = ValueLabel(g, idName, QStringLiteral("none"), 8, 46, 130);
        QLabel* nameCaption = Caption(g, QStringLiteral("Name:"), 144, 46);
        nm = ValueLabel(g, nmName, QStringLiteral("none"), 186, 46, 318);
        QLabel* patternCaption = Caption(g, QStringLiteral("Pattern"), 510, 46);
        pat = ValueLabel(g, patName, QStringLiteral("0000"), 562, 46, 56);
        for (QWidget* w : {static_cast<QWidget*>(ed), static_cast<QWidget*>(id), static_cast<QWidget*>(nm),
                           static_cast<QWidget*>(pat), static_cast<QWidget*>(nameCaption),
                           static_cast<QWidget*>(patternCaption)}) {
            w->setFont(plain);
            SetTextColor(w, Qt::black);
        }
        return g;
    };
    GroupBox7 = geneGroup("GroupBox7", QStringLiteral("Blue gene"), QColor(0, 0, 255), 2, edGeneNum1,
                          "edGeneNum1", tbGeneNum1, "tbGeneNum1", btFind1, "btFind1", lbID1, "lbID1", lbName1,
                          "lbName1", lbPattern1, "lbPattern1");
    GroupBox2 = geneGroup("GroupBox2", QStringLiteral("Green gene"), QColor(0, 128, 0), 74, edGeneNum2,
                          "edGeneNum2", tbGeneNum2, "tbGeneNum2", btFind2, "btFind2", lbID2, "lbID2", lbName2,
                          "lbName2", lbPattern2, "lbPattern2");
    cbCompare = Check(GroupBox2, "cbCompare", QStringLiteral("Compare"), 110, -2, 90, true);
    {
        QFont plain = t->font();
        plain.setBold(false);
        cbCompare->setFont(plain);
    }
    SetTextColor(cbCompare, Qt::black);

    pCmpCorrelation = Named(new QFrame(t), "pCmpCorrelation");
    pCmpCorrelation->setFrameShape(QFrame::StyledPanel);
    pCmpCorrelation->setGeometry(4, 147, 150, 30);
    pCmpCorrelation->setToolTip(QStringLiteral("Correlation"));
    Caption(pCmpCorrelation, QStringLiteral("Correlation:"), 6, 7);
    lbCorrelation = ValueLabel(pCmpCorrelation, "lbCorrelation", QStringLiteral("none"), 88, 6, 58);
    SetBold(lbCorrelation);
    SetTextColor(lbCorrelation, kRed);

    Label23 = Named(Caption(t, QStringLiteral("\"Blue gene\" direct conections (DC):"), 160, 144), "Label23");
    Label23->setWordWrap(true);
    Label23->setGeometry(160, 144, 128, 36);
    btBuild = Button(t, "btBuild", QStringLiteral("Co-express gene"), 292, 147, 126, 30);
    SetBold(btBuild);
    SetTextColor(btBuild, QColor(0, 0, 255));
    btKillDC = Button(t, "btKillDC", QStringLiteral("Kill DC genes"), 422, 147, 106, 30);
    btSaveDC = Button(t, "btSaveDC", QStringLiteral("Save DC"), 532, 147, 94, 30);

    pcPlots = Named(new QTabWidget(t), "pcPlots");
    pcPlots->setGeometry(4, 182, 622, 212);
    tshProfile = Named(new QWidget(), "tshProfile");
    tshCEProfile = Named(new QWidget(), "tshCEProfile");
    pcPlots->addTab(tshProfile, QStringLiteral("Expression"));
    pcPlots->addTab(tshCEProfile, QStringLiteral("Coexpression"));
    for (QWidget* page : {tshProfile, tshCEProfile}) {
        auto* l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
    }
    QValueAxis* x = nullptr;
    QValueAxis* y = nullptr;
    Chart1 = MakeChartView(tshProfile, "Chart1");
    tshProfile->layout()->addWidget(Chart1);
    Series1 = AddLine(Chart1, "Series1", LinePen(QColor(0, 0, 255), 1), cMarker::Circle, 3, 3,
                      QColor(0, 255, 255), QColor(0, 0, 128));
    Series2 = AddLine(Chart1, "Series2", LinePen(QColor(0, 255, 0), 1), cMarker::Circle, 3, 3,
                      QColor(255, 255, 128), QColor(0, 128, 0));
    AddAxes(Chart1, x, y);
    Chart2 = MakeChartView(tshCEProfile, "Chart2");
    tshCEProfile->layout()->addWidget(Chart2);
    // The green gene's curve is drawn first, the blue one over it.
    Series4 = AddLine(Chart2, "Series4", LinePen(QColor(0, 255, 0), 3), cMarker::DownTriangle, 3, 2,
                      QColor(255, 255, 0), QColor(0, 255, 0));
    Series3 = AddLine(Chart2, "Series3", LinePen(QColor(0, 0, 255), 1), cMarker::Triangle, 2, 3,
                      QColor(0, 255, 255), QColor(0, 0, 255));
    AddAxes(Chart2, x, y);
    pcPlots->setCurrentIndex(0);
}

void TfmMain::Connect()
{
    auto wire = [this](QAbstractButton* b, void (TfmMain::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { RunAction(this, [this, handler] { (this->*handler)(); }); });
    };
    wire(btOpen, &TfmMain::btOpenClick);
    wire(btExit, &TfmMain::btExitClick);
    wire(btAbout, &TfmMain::btAboutClick);
    wire(btROptions, &TfmMain::btROptionsClick);
    wire(btNormalize, &TfmMain::btNormalizeClick);
    wire(btCalcCE, &TfmMain::btCalcCEClick);
    wire(btRenewCE, &TfmMain::btRenewCEClick);
    wire(btNetwork, &TfmMain::btNetworkClick);
    wire(btPlot, &TfmMain::btPlotClick);
    wire(btDistrib, &TfmMain::btDistribClick);
    wire(btShowCE, &TfmMain::btShowCEClick);
    wire(btShowGN, &TfmMain::btShowCEClick);
    wire(Button1, &TfmMain::Button1Click);
    wire(btShowMA, &TfmMain::btShowMAClick);
    wire(btMeanByMA, &TfmMain::btMeanByMAClick);
    wire(btStdByMA, &TfmMain::btStdByMAClick);
    wire(btShowID, &TfmMain::btShowIDClick);
    wire(btMean4Genes, &TfmMain::btMean4GenesClick);
    wire(btSTD4Genes, &TfmMain::btSTD4GenesClick);
    wire(btClearCon, &TfmMain::btClearConClick);
    wire(btArrayNorm, &TfmMain::btArrayNormClick);
    wire(btGeneNorm, &TfmMain::btGeneNormClick);
    wire(btRProcessing, &TfmMain::btRProcessingClick);
    wire(BitBtn1, &TfmMain::BitBtn1Click);
    wire(btSaveFiltered, &TfmMain::btSaveFilteredClick);
    wire(btSaveCE, &TfmMain::btSaveCEClick);
    wire(btCEPatterns, &TfmMain::btCEPatternsClick);
    wire(btListPattern, &TfmMain::btListPatternClick);
    wire(btSaveCPattern, &TfmMain::btSaveCPatternClick);
    wire(btFind1, &TfmMain::btFind1Click);
    wire(btFind2, &TfmMain::btFind2Click);
    wire(btBuild, &TfmMain::btBuildClick);
    wire(btKillDC, &TfmMain::btKillDCClick);
    wire(btSaveDC, &TfmMain::btSaveDCClick);
    wire(cbCompare, &TfmMain::cbCompareClick);

    connect(cbbMeasure, &QComboBox::currentIndexChanged, this,
            [this] { RunAction(this, [this] { cbbMeasureChange(); }); });
    // Both track bars share one change handler.
    for (QSlider* tb : {tbGeneNum1, tbGeneNum2})
        connect(tb, &QSlider::valueChanged, this,
                [this] { RunAction(this, [this] { tbGeneNum1Change(); }); });
    connect(edGeneNum1, &QLineEdit::textChanged, this,
            [this] { RunAction(this, [this] { edGeneNum1Change(); }); });
    connect(edGeneNum2, &QLineEdit::textChanged, this,
            [this] { RunAction(this, [this] { edGeneNum2Change(); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { RunAction(this, [this] { Timer1Timer(); }); });

    // The session says what changed; the window shows it.
    connect(Analysis, &cAnalysis::busyChanged, this, [this] { UpdateControls(); });
    connect(Analysis, &cAnalysis::matrixReleased, this, [this] { UpdateControls(); });
    connect(Analysis, &cAnalysis::tableLoaded, this, [this] { RunAction(this, [this] { TableLoaded(); }); });
    connect(Analysis, &cAnalysis::tableReleased, this, [this] { UpdateControls(); });
}

// The creation handler: default threshold, empty log and console, R search.
void TfmMain::FormCreate()
{
    edCEThreshold->setText(QStringLiteral("0.9"));
    mLog->clear();
    mCon->clear();
    SearchR();
    UpdateControls();
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    // A job still running is asked to stop; the session waits for it before the table goes.
    Analysis->CancelJob();
    Timer1->stop();
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit Closed();
}

void TfmMain::AddLogLine(const QString& message)
{
    mLog->appendPlainText(TimeStamp() + message);
}

void TfmMain::AddLogText(const QString& text)
{
    mLog->appendPlainText(text);
}

void TfmMain::SetBusy(bool on)
{
    SyncBusy += on ? 1 : -1;
    if (SyncBusy < 0) SyncBusy = 0;
    btBusy->setEnabled(SyncBusy > 0 || Analysis->Busy());
    // Painted now: the action runs to its end before the event loop paints again.
    if (on) btBusy->repaint();
}

void TfmMain::ShowProgress(double progress, const QString& text)
{
    cgProgress->setValue(static_cast<int>(static_cast<float>(progress) * 10.0f));
    lbCoexpressed->setText(text);
}

cWinState TfmMain::State() const
{
    switch (Analysis->RunningKind()) {
    case cAnalysis::cJobKind::Load:
        return cWinState::Loading;
    case cAnalysis::cJobKind::Calculate:
        return cWinState::Calculating;
    case cAnalysis::cJobKind::Renew:
        return cWinState::Renewing;
    case cAnalysis::cJobKind::RJob:
        return cWinState::RJob;
    case cAnalysis::cJobKind::None:
        break;
    }
    if (Analysis->Data() == nullptr) return cWinState::NoData;
    return Analysis->CEMatrix() != nullptr ? cWinState::Computed : cWinState::Loaded;
}

void TfmMain::UpdateControls()
{
    const cWinState state = State();
    QWidget* const controls[] = {btOpen,   btNormalize,    btCalcCE,       btRenewCE, btNetwork,
                                 btShowCE, btCEPatterns,   btSaveFiltered, btSaveCE,  btKillDC,
                                 btSaveDC, btSaveCPattern, btPlot,         btDistrib};
    static_assert(std::size(controls) == static_cast<std::size_t>(cCtl::Count));
    for (std::size_t k = 0; k < std::size(controls); ++k) {
        const cCtl c = static_cast<cCtl>(k);
        QWidget* w = controls[k];
        const cSet visible = VisibleIn(c, state);
        if (visible != cSet::Keep) w->setVisible(visible == cSet::On);
        const cSet enabled = EnabledIn(c, state);
        if (enabled != cSet::Keep) w->setEnabled(enabled == cSet::On);
    }
    // A measure change enables "Detect CE patterns" outside the jobs as well.
    if (PatternsUnlocked && (state == cWinState::NoData || state == cWinState::Loaded))
        btCEPatterns->setEnabled(true);
    btBusy->setEnabled(SyncBusy > 0 || Analysis->Busy());
    if (state == cWinState::Calculating) {
        btCalcCE->setText(QStringLiteral("Cancel"));
        SetTextColor(btCalcCE, kRed);
    } else {
        btCalcCE->setText(QStringLiteral("Calculate CE"));
        // Green only until the first calculation.
        SetTextColor(btCalcCE, CalcDone ? QColor(Qt::black) : kGreen);
    }
}

std::uint64_t TfmMain::HeapBytes()
{
    // Bytes handed out by the heap, including the large blocks it maps directly.
    const struct mallinfo2 mi = mallinfo2();
    return static_cast<std::uint64_t>(mi.uordblks) + static_cast<std::uint64_t>(mi.hblkhd);
}

unsigned TfmMain::MemoryInUse() const
{
    // A large matrix may be taken from the system beside the heap; it is
    // counted too, since it is most of what the program holds. The figure is
    // shown as an unsigned 32-bit count.
    const std::uint64_t bytes = HeapBytes() + Analysis->MatrixBesideHeap();
    return static_cast<unsigned>(static_cast<std::uint32_t>(bytes));
}

QString TfmMain::MemoryText(unsigned bytes)
{
    return QStringLiteral("Memory allocated: ") + FixedText(bytes / 1048576.0, 0, 0) +
           QStringLiteral(" MB  (") + QString::number(bytes) + QStringLiteral(" B)");
}

void TfmMain::Timer1Timer()
{
    if (Analysis->RAvailable) {
        btRProcessing->setEnabled(true);
    } else {
        btRProcessing->setEnabled(false);
        const QColor now = btROptions->palette().color(QPalette::Active, QPalette::ButtonText);
        const QColor next = now == kRed ? kMaroon : kRed;
        SetTextColor(btROptions, next);
        // The button shows only its glyph, so the glyph carries the colour.
        if (btROptions->property("glyphFound").toBool() == false)
            btROptions->setIcon(GlyphIcon(cGlyph::RMissing, 28, next));
    }
    StatusPanel->setText(MemoryText(MemoryInUse()));
}

void TfmMain::btExitClick()
{
    if (MessageBox(this, QStringLiteral("Exit"), QStringLiteral("Do you really want to quit?"),
                   cMsgButtons::OkCancel) == cMsgResult::Ok)
        close();
}

void TfmMain::btAboutClick()
{
    if (fmAbout == nullptr) return;
    QWidget* w = fmAbout;
    w->show();
    w->raise();
    w->activateWindow();
}

void TfmMain::Button1Click()
{
    if (ExprData() != nullptr && !Computing()) ExprData()->Free();
}

void TfmMain::btPlotClick()
{
    if (fmPlot == nullptr) return;
    QWidget* w = fmPlot;
    w->show();
    w->raise();
}

void TfmMain::btDistribClick()
{
    if (fmHistogram == nullptr) return;
    QWidget* w = fmHistogram;
    w->show();
    w->raise();
}

void TfmMain::btOpenClick()
{
    if (Computing()) return;
    // 1. Dialog or preset name.
    if (dlgOpen.Preset > 0) {
        dlgOpen.Preset = 0;
    } else {
        dlgOpen.Preset = 0;
        if (!dlgOpen.Execute(this)) return;
    }
    const QString path = dlgOpen.FileName;
    // 2.
    if (!QFileInfo(path).isFile()) {
        MessageBox(this, QStringLiteral("Open expressions"), QStringLiteral("No file found!"));
        return;
    }
    // 3.-7. The table is read into a new object on a worker thread; the current
    // table and its matrix stay until it has loaded.
    auto* job = new cLoadJob(path);
    Analysis->StartJob(job, cAnalysis::cJobKind::Load, [this, job](const QString& error) {
        RunAction(this, [this, job, error] {
            if (!error.isEmpty()) throw cActionError(error);
            LoadEnded(job);
        });
    });
}

void TfmMain::LoadEnded(cJob* finished)
{
    auto* job = static_cast<cLoadJob*>(finished);
    const QString path = job->Path;
    const int n = job->Count;
    // 8.
    AddLogLine(QStringLiteral(": Data loading from ") + path + QStringLiteral(" .  ") + QString::number(n) +
               QStringLiteral(" values are loaded."));
    // Nothing is lost: for a file that cannot be loaded, or that holds no
    // values while a table is loaded, the table and the matrix in memory stay,
    // and so do the labels that describe them.
    if (n < 0) {
        MessageBox(this, QStringLiteral("Open expressions"),
                   QStringLiteral("The file '%1' cannot be loaded. %2")
                       .arg(path, QString::fromLocal8Bit(job->Data->LoadMessage.c_str())));
        return;
    }
    if (n == 0 && ExprData() != nullptr) {
        MessageBox(this, QStringLiteral("Open expressions"),
                   QStringLiteral("The file '%1' holds no values; the table loaded before stays.").arg(path));
        return;
    }
    // 9.
    const QFileInfo fi(path);
    lbPath->setText(QDir::toNativeSeparators(fi.absolutePath()));
    lbFileName->setText(fi.fileName());
    // 4. The matrix goes with the old table; what showed it is cleared.
    Analysis->ReleaseMatrix();
    ClearMatrixDisplays();
    const cWinExprData* data = job->Data.get();
    // 10.-12.
    lbNGenes->setText(QString::number(data->nGenes));
    lbNArrays->setText(QString::number(data->nArrays));
    lbMissing->setText(MissingText(data));
    lbMean->setText(FixedText(data->TotalMean, 5, 5));
    lbStDev->setText(FixedText(data->TotalSD, 5, 5));
    // 13.-14. The new table: the track bars and the gene tab, then the chart windows.
    Analysis->SetTable(std::move(job->Data), path);
    // 15.
    PageControl->setCurrentWidget(tshImport);
    UpdateControls();
}

void TfmMain::TableLoaded()
{
    const cWinExprData* data = ExprData();
    if (data == nullptr) return;
    UpdateControls();
    for (QSlider* tb : {tbGeneNum1, tbGeneNum2}) {
        tb->setMinimum(1);
        tb->setMaximum(data->nGenes);
        tb->setValue(1);
        tb->setTickInterval(data->nGenes / 20);
    }
    gbGeneProfilesClick();
}

void TfmMain::ClearMatrixDisplays()
{
    cgProgress->setValue(0);
    lbCoexpressed->setText(QStringLiteral("none genes are found coexpressed"));
    lbNPatterns->setText(QStringLiteral("none"));
    lbNGenesRep->setText(QStringLiteral("none"));
    mPatterns->clear();
    serCluster->clear();
    SetEmptyPatternAxes();
    Series3->clear();
    Series4->clear();
}

QString TfmMain::MissingText(const cExprData* d)
{
    return QString::fromStdString(MissingValuesText(*d));
}

// ---- console printouts ----

void TfmMain::PrintList(int count, const char* number, const std::function<QString(int)>& text)
{
    // Built as one text: tens of thousands of lines appended one by one would
    // take seconds to lay out.
    const QString pattern = QLatin1String(number);
    QString listing;
    listing.reserve(count * 16);
    for (int k = 0; k < count; ++k) {
        if (k > 0) listing += QLatin1Char('\n');
        listing += pattern.arg(k + 1) + text(k);
    }
    mCon->clear();
    if (count > 0) mCon->setPlainText(listing);
}

void TfmMain::btShowMAClick()
{
    if (const cExprData* d = ExprData())
        PrintList(d->nArrays, "#%1: ", [d](int k) { return QString::fromLocal8Bit(d->ArrayName[k]); });
}

void TfmMain::btMeanByMAClick()
{
    if (const cExprData* d = ExprData())
        PrintList(d->nArrays, "#%1: ", [d](int k) { return GeneralText(d->ArrayMean[k], 5); });
}

void TfmMain::btStdByMAClick()
{
    if (const cExprData* d = ExprData())
        PrintList(d->nArrays, "#%1: ", [d](int k) { return GeneralText(d->ArraySD[k], 5); });
}

void TfmMain::btShowIDClick()
{
    if (const cExprData* d = ExprData())
        PrintList(d->nGenes, "%1: ", [d](int k) { return QString::fromLocal8Bit(d->GeneID[k]); });
}

void TfmMain::btMean4GenesClick()
{
    if (const cExprData* d = ExprData())
        PrintList(d->nGenes, "#%1:\t", [d](int k) { return GeneralText(d->GeneMean[k], 5); });
}

void TfmMain::btSTD4GenesClick()
{
    if (const cExprData* d = ExprData())
        PrintList(d->nGenes, "#%1:\t", [d](int k) { return GeneralText(d->GeneSD[k], 5); });
}

void TfmMain::btClearConClick()
{
    mCon->clear();
}

// ---- normalization ----

void TfmMain::Normalize(const char* between, QCheckBox* centerBox, QCheckBox* scaleBox,
                        void (cExprData::*norm)(bool center, bool scale))
{
    if (ExprData() == nullptr || Computing()) return;
    cBusyScope busy(this);
    const bool center = centerBox->isChecked();
    const bool scale = scaleBox->isChecked();
    (ExprData()->*norm)(center, scale);
    lbMean->setText(FixedText(ExprData()->TotalMean, 5, 5));
    lbStDev->setText(FixedText(ExprData()->TotalSD, 5, 5));
    // The chart windows re-run their current selection.
    Analysis->NotifyValuesChanged();
    AddLogLine(QStringLiteral(": between-") + QLatin1String(between) +
               QStringLiteral(" normalization is performed (") +
               (center ? QStringLiteral("centring ") : QString()) +
               (scale ? QStringLiteral("scaling ") : QString()) + QStringLiteral(")."));
}

void TfmMain::btArrayNormClick()
{
    Normalize("arrays", chbCenterArrays, chbScaleArrays, &cExprData::NormArrays);
}

void TfmMain::btGeneNormClick()
{
    Normalize("genes", chbCenterGenes, chbScaleGenes, &cExprData::NormGenes);
}

void TfmMain::btNormalizeClick()
{
    if (ExprData() == nullptr || Computing()) return;
    PageControl->setCurrentIndex(1);
    btGeneNormClick();
    btArrayNormClick();
    btPlotClick();
    PageControl->setCurrentIndex(2);
}
