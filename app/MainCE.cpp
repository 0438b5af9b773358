// Co-expression actions of the main window: calculation with progress and
// cancel, re-calculation, pattern detection and listing, and the result files.
#include "app/Analysis.h"
#include "app/Jobs.h"
#include "app/Main.h"
#include "app/MainShared.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "engine/CEMatrix.h"
#include "engine/Memory.h"
#include "engine/Writers.h"
#include "ui/ChartTools.h"
#include "ui/Convert.h"
#include "ui/Ui.h"
#include "views/Screen.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const QColor kRed(255, 0, 0);

// An axis from 0 to top with ticks on round whole numbers.
void SetIntegerAxis(QValueAxis* axis, int top)
{
    double step = 1;
    while (top / step > 6) {
        if (top / (step * 2) <= 6) {
            step *= 2;
            break;
        }
        if (top / (step * 5) <= 6) {
            step *= 5;
            break;
        }
        step *= 10;
    }
    SetTicks(axis, 0, top, step);
}

QByteArray FilePath(const QString& path)
{
    return QFile::encodeName(path);
}

// Every refusal (bad gene, pattern or parameter) and every failure, the file
// that cannot be created included, is shown: a failed write never passes for a file.
void ReportWriteError(const std::string& error)
{
    if (error.empty()) return;
    throw cActionError(QString::fromLocal8Bit(error.c_str()));
}

// The message for a power and threshold that are numbers but give no cut-off
// t^(1/p), or an empty text. Texts that are not numbers are left to the
// conversion inside the action, which reports them.
QString UnusableCEParameters(const QLineEdit* power, const QLineEdit* threshold,
                             bool (*valid)(int, double, QString*))
{
    int p = 0;
    double t = 0;
    QString message;
    if (TryTextToInt(power->text(), p) && TryTextToFloat(threshold->text(), t)) valid(p, t, &message);
    return message;
}

} // namespace

bool TfmMain::ValidCEParameters(int p, double t, QString* message)
{
    const std::string problem = CEParametersProblem(p, t);
    if (message) *message = QString::fromStdString(problem);
    return problem.empty();
}

void TfmMain::ReadCEParameters(int& p, double& t)
{
    p = TextToInt(edCEPower->text());
    edCEPower->setText(QString::number(p));
    t = TextToFloat(edCEThreshold->text());
    edCEThreshold->setText(GeneralText(t, 15));
}

void TfmMain::btCalcCEClick()
{
    if (ExprData() == nullptr) return;
    if (Running) {
        // The cancel button: only flags; the calculation stops at its next pair.
        Running = false;
        if (Analysis->RunningKind() == cAnalysis::cJobKind::Calculate) Analysis->RunningJob()->Cancel();
        return;
    }
    if (Computing()) return;
    // Numbers the calculation cannot use are refused before anything changes.
    if (const QString message = UnusableCEParameters(edCEPower, edCEThreshold, &ValidCEParameters);
        !message.isEmpty()) {
        MessageBox(this, QStringLiteral("Error"), message);
        return;
    }
    // A matrix that cannot fit in the memory left would get the program killed
    // part way; it is refused before anything changes. (A matrix already held
    // is of the same size and is released first.)
    cWinExprData* data = ExprData();
    if (CEMatrix() == nullptr) {
        const std::uint64_t need =
            static_cast<std::uint64_t>(data->nGenes) * static_cast<std::uint64_t>(data->nGenes);
        const std::string what = "the co-expression matrix of " + std::to_string(data->nGenes) + " genes";
        if (const std::string shortfall = MemoryShortfall(need, what.c_str()); !shortfall.empty()) {
            MessageBox(this, QStringLiteral("Error"), QString::fromStdString(shortfall));
            return;
        }
    }
    // 3. The running state: the job is held while it is prepared.
    PageControl->setCurrentIndex(2);
    auto* job = new cCalcCEJob(data);
    Running = true;
    Analysis->StartJob(
        job, cAnalysis::cJobKind::Calculate,
        [this, job](const QString& error) {
            RunAction(this, [this, job, error] {
                if (!error.isEmpty()) {
                    // The matrix stays as far as it was filled.
                    Running = false;
                    throw cActionError(error);
                }
                CalcCEEnded(job);
            });
        },
        false);
    // 4.
    AddLogLine(QStringLiteral(": Calculation of CE matrix is started..."));
    try {
        // 5. A text that is not a number ends the action here.
        int p = 0;
        double t = 0;
        ReadCEParameters(p, t);
        QString message;
        if (!ValidCEParameters(p, t, &message)) throw cActionError(message);
        // 6. The previous matrix goes before the new one is taken.
        Analysis->ReleaseMatrix();
        auto matrix = std::make_unique<cCEMatrix>();
        const std::uint64_t heapBefore = HeapBytes();
        if (!matrix->Alloc(data->nGenes)) {
            const double mb = static_cast<double>(data->nGenes) * data->nGenes / 1048576.0;
            throw cActionError(
                QStringLiteral("Not enough memory for the co-expression matrix of %1 genes (%2 MB).")
                    .arg(data->nGenes)
                    .arg(FixedText(mb, 6, 0)));
        }
        const std::uint64_t cells = static_cast<std::uint64_t>(data->nGenes) * data->nGenes;
        // A block the heap did not hand out is counted by the memory display itself.
        const std::uint64_t beside = HeapBytes() < heapBefore + cells / 2 ? cells : 0;
        job->Prepare(matrix.get(), p, static_cast<float>(t));
        Analysis->SetMatrix(std::move(matrix), beside);
    } catch (...) {
        // Back to idle with the states from before the click.
        Running = false;
        Analysis->DropJob();
        throw;
    }
    // 7. The result is not examined: a cancelled run keeps its rows.
    connect(job, &cJob::progress, this, &TfmMain::ShowProgress);
    job->Start();
}

void TfmMain::CalcCEEnded(cJob*)
{
    // 8.
    AddLogLine(QStringLiteral(": ... end finished."));
    // 9. The control states follow when the job has gone.
    Running = false;
    CalcDone = true;
    Analysis->NotifyMatrixComputed();
    // 10.
    DetectPatterns();
    // 11.
    AddLogLine(QStringLiteral(": Gene assignement to patterns is completed: ") +
               QString::number(ExprData()->nPatterns) + QStringLiteral(" patterns are detected."));
}

void TfmMain::btRenewCEClick()
{
    if (ExprData() == nullptr || CEMatrix() == nullptr || Computing()) return;
    // Refused as by the calculation: before the page, the log or the fields change.
    if (const QString message = UnusableCEParameters(edCEPower, edCEThreshold, &ValidCEParameters);
        !message.isEmpty()) {
        MessageBox(this, QStringLiteral("Error"), message);
        return;
    }
    PageControl->setCurrentIndex(2);
    // Busy from here: the job is held while it is prepared.
    auto* job = new cRenewCEJob(ExprData(), CEMatrix());
    Analysis->StartJob(
        job, cAnalysis::cJobKind::Renew,
        [this](const QString& error) { RunAction(this, [this, error] { RenewCEEnded(error); }); }, false);
    AddLogLine(QStringLiteral(": Re-calculation of CE matrix is started..."));
    try {
        int p = 0;
        double t = 0;
        ReadCEParameters(p, t);
        QString message;
        if (!ValidCEParameters(p, t, &message)) throw cActionError(message);
        job->Prepare(p, static_cast<float>(t));
    } catch (...) {
        Analysis->DropJob();
        throw;
    }
    connect(job, &cJob::progress, this, &TfmMain::ShowProgress);
    job->Start();
}

void TfmMain::RenewCEEnded(const QString& error)
{
    if (!error.isEmpty()) throw cActionError(error);
    AddLogLine(QStringLiteral(": ...end finished."));
    Analysis->NotifyMatrixRefiltered();
    DetectPatterns();
    DrawMap();
}

void TfmMain::cbbMeasureChange()
{
    const bool pearson = cbbMeasure->currentIndex() == 0;
    panCParam->setVisible(pearson);
    panMIParam->setVisible(!pearson);
    PatternsUnlocked = true;
    btCEPatterns->setEnabled(true);
}

void TfmMain::btCEPatternsClick()
{
    if (ExprData() == nullptr || CEMatrix() == nullptr || Computing()) return;
    DetectPatterns();
}

void TfmMain::DetectPatterns()
{
    if (ExprData() == nullptr || CEMatrix() == nullptr) return;
    {
        cBusyScope busy(this);
        btCEPatterns->setText(QStringLiteral("Detecting patterns..."));
        SetTextColor(btCEPatterns, kRed);
        btCEPatterns->repaint();
        cExprData* d = ExprData();
        d->FindPatterns(CEMatrix());

        const int n = d->nGenes;
        const int np = d->nPatterns;
        std::vector<int> count(static_cast<std::size_t>(np < 0 ? 1 : np + 1), 0);
        int negative = 0, top = 0;
        for (int g = 0; g < n; ++g) {
            const int s = d->Pattern[g];
            if (s < 0)
                ++negative;
            else if (s <= np)
                ++count[static_cast<std::size_t>(s)];
            if (s > top) top = s;
        }
        lbNPatterns->setText(QString::number(np));
        lbNGenesRep->setText(QString::number(negative));
        QString text = QString::number(count[0]) + QStringLiteral(" genes do not show co-expression");
        for (int s = 1; s <= np; ++s)
            text +=
                QStringLiteral("\nPattern #%1 has %2 genes").arg(s).arg(count[static_cast<std::size_t>(s)]);
        mPatterns->setPlainText(text);

        QList<QPointF> points;
        points.reserve(n);
        for (int g = 0; g < n; ++g)
            points.append(QPointF(g, d->Pattern[g]));
        serCluster->replace(points);
        SetIntegerAxis(Chart3AxisX, n > 1 ? n - 1 : 1);
        SetIntegerAxis(Chart3AxisY, top > 0 ? top : 1);
    }
    Analysis->NotifyPatternsChanged();
    btCEPatterns->setText(QStringLiteral("Detect CE patterns"));
    SetTextColor(btCEPatterns, Qt::black);
}

void TfmMain::SetEmptyPatternAxes()
{
    // Until a detection only the ends 0 and 1: whole-number labels of five
    // ticks would read 0 0 0 0 1.
    SetIntegerAxis(Chart3AxisX, 1);
    SetIntegerAxis(Chart3AxisY, 1);
}

void TfmMain::btListPatternClick()
{
    if (ExprData() == nullptr) return;
    const int s = TextToInt(edPattern->text());
    const cExprData* d = ExprData();
    if (s < 0 || s > d->nPatterns) return;
    QString text = QStringLiteral("Pattern #%1").arg(s);
    for (int g = 0; g < d->nGenes; ++g)
        if (d->Pattern[g] == s)
            text += QStringLiteral("\nGene #%1: ").arg(g) + QString::fromLocal8Bit(d->GeneID[g]);
    mPatterns->setPlainText(text);
}

// ---- result files ----

void TfmMain::SaveResult(bool takePreset, const std::function<std::string(const char* path)>& write)
{
    if (ExprData() == nullptr || CEMatrix() == nullptr || Computing()) return;
    if (takePreset) {
        if (dlgSave.Preset == 0 && !dlgSave.Execute(this)) return;
        dlgSave.Preset = 0;
    } else if (!dlgSave.Execute(this)) {
        return;
    }
    const QByteArray path = FilePath(dlgSave.FileName);
    cBusyScope busy(this);
    ReportWriteError(write(path.constData()));
}

void TfmMain::btSaveFilteredClick()
{
    // The network job hands its input file's name over as a preset.
    SaveResult(true,
               [this](const char* path) { return WriteFilteredTable(path, *ExprData(), DecimalChar()); });
}

void TfmMain::btSaveCEClick()
{
    SaveResult(false, [this](const char* path) {
        // Both numbers are read before the file is created, so that a typing
        // error leaves no file holding only its first line.
        const int p = TextToInt(edCEPower->text());
        const double t = TextToFloat(edCEThreshold->text());
        return WritePairwiseCE(path, *ExprData(), *CEMatrix(), p, t);
    });
}

void TfmMain::btSaveDCClick()
{
    SaveResult(false, [this](const char* path) {
        const int g = tbGeneNum1->value() - 1;
        int p = 0;
        double t = 0;
        ReadCEParameters(p, t);
        // The writer refuses a power below 1 (with 0 the cut-off has no value) with a message.
        return WriteGeneList(path, *ExprData(), g, p, t, DecimalChar());
    });
}

void TfmMain::btSaveCPatternClick()
{
    SaveResult(false, [this](const char* path) {
        const int i = tbGeneNum1->value() - 1;
        const int P = TextToInt(edPattern->text());
        int p = 0;
        double t = 0;
        ReadCEParameters(p, t);
        // A pattern that no gene carries is refused by the writer with a message.
        return WritePatternFile(path, *ExprData(), *CEMatrix(), i, P, p, t, DecimalChar());
    });
}

void TfmMain::btShowCEClick()
{
    if (ExprData() == nullptr || CEMatrix() == nullptr || Computing()) return;
    DrawMap();
}

void TfmMain::DrawMap()
{
    if (ExprData() == nullptr || CEMatrix() == nullptr || fmScreen == nullptr) return;
    fmScreen->Draw();
    fmScreen->show();
    fmScreen->raise();
}
