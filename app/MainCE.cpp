// Co-expression actions of the main window: calculation with progress and
// cancel, re-calculation, pattern detection and listing, and the result files.
#include "app/Convert.h"
#include "app/Main.h"
#include "app/MainShared.h"
#include "app/Ui.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "engine/CEMatrix.h"
#include "engine/Writers.h"
#include "views/ChartTools.h"
#include "views/Screen.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
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
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <thread>
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

// A file that cannot be created is passed over in silence, as the window
// always did; a refused request (bad gene, pattern or parameter) and a failure
// while writing are shown, so that a failed write never passes for a file.
void ReportWriteError(const std::string& error)
{
    if (error.empty()) return;
    if (error.rfind("Cannot create the file", 0) == 0 || error.rfind("No file name was given", 0) == 0)
        return;
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
    const float tf = static_cast<float>(t);
    if (p < 1) {
        if (message) *message = QStringLiteral("The correlation power must be a whole number of at least 1.");
        return false;
    }
    if (!(std::isfinite(tf) && tf > 0.0f)) {
        if (message) *message = QStringLiteral("The filtering threshold must be a number above 0.");
        return false;
    }
    return true;
}

void TfmMain::ReadCEParameters(int& p, double& t)
{
    p = TextToInt(edCEPower->text());
    edCEPower->setText(QString::number(p));
    t = TextToFloat(edCEThreshold->text());
    edCEThreshold->setText(GeneralText(t, 15));
}

void TfmMain::LeaveRunningState()
{
    Running = false;
    btCalcCE->setText(QStringLiteral("Calculate CE"));
    SetTextColor(btCalcCE, Qt::black);
}

void TfmMain::RunCalcCE(int p, float t)
{
    cWinExprData* data = ExprData;
    cCEMatrix* matrix = CEMatrix;
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            data->CalcCE(matrix, p, t);
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // The window keeps repainting and handles the Cancel click meanwhile.
    WithoutActionNesting([&] {
        if (!done) loop.exec();
    });
    if (!done) data->Stop = true; // the event loops are ending: the program is closing
    worker.join();
    // Progress posted by the worker before it ended is shown before going on.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (failure) std::rethrow_exception(failure);
}

void TfmMain::btCalcCEClick()
{
    if (ExprData == nullptr) return;
    if (Running) {
        // The cancel button: only flags; the calculation stops at its next pair.
        Running = false;
        CancelPending = true;
        ExprData->Stop = true;
        return;
    }
    if (Computing()) return;
    // Numbers the calculation cannot use are refused before anything changes.
    if (const QString message = UnusableCEParameters(edCEPower, edCEThreshold, &ValidCEParameters);
        !message.isEmpty()) {
        MessageBox(this, QStringLiteral("Error"), message);
        return;
    }
    // 3. Running state.
    CancelPending = false;
    PageControl->setCurrentIndex(2);
    SetBusy(true);
    QWidget* toDisable[] = {btOpen, btNormalize, btRenewCE, btShowCE, btSaveFiltered, btSaveCE};
    bool wasEnabled[6];
    for (int i = 0; i < 6; ++i)
        wasEnabled[i] = toDisable[i]->isEnabled();
    Running = true;
    btCalcCE->setText(QStringLiteral("Cancel"));
    SetTextColor(btCalcCE, kRed);
    for (QWidget* w : toDisable)
        w->setEnabled(false);
    auto backToIdle = [&] {
        for (int i = 0; i < 6; ++i)
            toDisable[i]->setEnabled(wasEnabled[i]);
        LeaveRunningState();
        if (CalcDone == false) SetTextColor(btCalcCE, QColor(0, 128, 0));
        SetBusy(false);
    };
    {
        cComputeScope scope(ComputeDepth);
        // 4.
        AddLogLine(QStringLiteral(": Calculation of CE matrix is started..."));
        ProcessMessages();
        // 5.
        int p = 0;
        double t = 0;
        QString message;
        try {
            ReadCEParameters(p, t);
        } catch (...) {
            backToIdle();
            throw;
        }
        if (!ValidCEParameters(p, t, &message)) {
            backToIdle();
            throw cActionError(message);
        }
        // 6.
        ReleaseMatrix();
        auto* matrix = new cCEMatrix();
        const std::uint64_t heapBefore = HeapBytes();
        const bool allocated = matrix->Alloc(ExprData->nGenes);
        const std::uint64_t cells = static_cast<std::uint64_t>(ExprData->nGenes) * ExprData->nGenes;
        // A block the heap did not hand out is counted by the memory display itself.
        MatrixBesideHeap = allocated && HeapBytes() < heapBefore + cells / 2 ? cells : 0;
        if (!allocated) {
            delete matrix;
            // The previous matrix is gone: what needs one stays off.
            for (int i = 2; i < 6; ++i)
                wasEnabled[i] = false; // btRenewCE .. btSaveCE
            backToIdle();
            const double mb = static_cast<double>(ExprData->nGenes) * ExprData->nGenes / 1048576.0;
            throw cActionError(
                QStringLiteral("Not enough memory for the co-expression matrix of %1 genes (%2 MB).")
                    .arg(ExprData->nGenes)
                    .arg(FixedText(mb, 6, 0)));
        }
        CEMatrix = matrix;
        // 7. The result is not examined: a cancelled run keeps its rows.
        try {
            RunCalcCE(p, static_cast<float>(t));
        } catch (...) {
            for (int i = 2; i < 6; ++i)
                wasEnabled[i] = true; // the matrix exists, partly filled
            backToIdle();
            throw;
        }
        CancelPending = false;
    }
    // 8.
    AddLogLine(QStringLiteral(": ... end finished."));
    // 9.
    SetBusy(false);
    CalcDone = true;
    LeaveRunningState();
    for (QWidget* w : {static_cast<QWidget*>(btOpen), static_cast<QWidget*>(btNormalize),
                       static_cast<QWidget*>(btRenewCE), static_cast<QWidget*>(btShowCE),
                       static_cast<QWidget*>(btCEPatterns), static_cast<QWidget*>(btSaveFiltered),
                       static_cast<QWidget*>(btSaveCE), static_cast<QWidget*>(btNetwork)})
        w->setEnabled(true);
    btShowCE->show();
    // 10.
    btCEPatternsClick();
    // 11.
    AddLogLine(QStringLiteral(": Gene assignement to patterns is completed: ") +
               QString::number(ExprData->nPatterns) + QStringLiteral(" patterns are detected."));
}

void TfmMain::btRenewCEClick()
{
    if (ExprData == nullptr || CEMatrix == nullptr || Computing()) return;
    // Refused as by the calculation: before the page, the log or the fields change.
    if (const QString message = UnusableCEParameters(edCEPower, edCEThreshold, &ValidCEParameters);
        !message.isEmpty()) {
        MessageBox(this, QStringLiteral("Error"), message);
        return;
    }
    PageControl->setCurrentIndex(2);
    {
        cComputeScope scope(ComputeDepth);
        cBusyScope busy(this);
        AddLogLine(QStringLiteral(": Re-calculation of CE matrix is started..."));
        ProcessMessages();
        int p = 0;
        double t = 0;
        ReadCEParameters(p, t);
        QString message;
        if (!ValidCEParameters(p, t, &message)) throw cActionError(message);
        ExprData->RenewCE(CEMatrix, p, static_cast<float>(t));
        AddLogLine(QStringLiteral(": ...end finished."));
    }
    btCEPatterns->setEnabled(true);
    btCEPatternsClick();
    btShowCEClick();
}

void TfmMain::cbbMeasureChange()
{
    const bool pearson = cbbMeasure->currentIndex() == 0;
    panCParam->setVisible(pearson);
    panMIParam->setVisible(!pearson);
    btCEPatterns->setEnabled(true);
}

void TfmMain::btCEPatternsClick()
{
    if (ExprData == nullptr || CEMatrix == nullptr || Computing()) return;
    cComputeScope scope(ComputeDepth);
    {
        cBusyScope busy(this);
        btCEPatterns->setText(QStringLiteral("Detecting patterns..."));
        SetTextColor(btCEPatterns, kRed);
        ProcessMessages();
        cExprData* d = ExprData;
        d->FindPatterns(CEMatrix);

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
    btCEPatterns->setText(QStringLiteral("Detect CE patterns"));
    SetTextColor(btCEPatterns, Qt::black);
}

void TfmMain::btListPatternClick()
{
    if (ExprData == nullptr) return;
    const int s = TextToInt(edPattern->text());
    const cExprData* d = ExprData;
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
    if (ExprData == nullptr || CEMatrix == nullptr || Computing()) return;
    if (takePreset) {
        if (dlgSave.Preset == 0 && !dlgSave.Execute(this)) return;
        dlgSave.Preset = 0;
    } else if (!dlgSave.Execute(this)) {
        return;
    }
    const QByteArray path = FilePath(dlgSave.FileName);
    cComputeScope scope(ComputeDepth);
    cBusyScope busy(this);
    ProcessMessages();
    ReportWriteError(write(path.constData()));
}

void TfmMain::btSaveFilteredClick()
{
    // The network job hands its input file's name over as a preset.
    SaveResult(true, [this](const char* path) { return WriteFilteredTable(path, *ExprData, DecimalChar()); });
}

void TfmMain::btSaveCEClick()
{
    SaveResult(false, [this](const char* path) {
        // Both numbers are read before the file is created, so that a typing
        // error leaves no file holding only its first line.
        const int p = TextToInt(edCEPower->text());
        const double t = TextToFloat(edCEThreshold->text());
        return WritePairwiseCE(path, *ExprData, *CEMatrix, p, t);
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
        return WriteGeneList(path, *ExprData, g, p, t, DecimalChar());
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
        return WritePatternFile(path, *ExprData, *CEMatrix, i, P, p, t, DecimalChar());
    });
}

void TfmMain::btShowCEClick()
{
    if (ExprData == nullptr || CEMatrix == nullptr || Computing()) return;
    if (fmScreen == nullptr) return;
    fmScreen->Draw();
    fmScreen->show();
    fmScreen->raise();
}
