// Calculate CE on a table large enough to take a while: the window stays
// responsive, Cancel stops it part way and keeps the rows done, closing the
// window stops it too.
#include "test_main_support.h"

#include "app/WinExprData.h"
#include "engine/CEMatrix.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdint>
#include <string>

namespace {

struct cRunningState {
    bool Seen = false;
    QString Caption;
    QColor Color;
    bool OpenEnabled = true, NormalizeEnabled = true, BusyEnabled = false, RunningFlag = false;
    int Page = -1;
};

} // namespace

class MainCancelTest : public MainWindowTest {
  protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Load(WriteTable("large.txt", FactorTable(kGenes, 100)));
        ASSERT_NE(fmMain->ExprData(), nullptr);
        ASSERT_EQ(fmMain->ExprData()->nGenes, kGenes);
    }
    // Runs f once, at the first progress shown part way through the calculation.
    void AtFirstProgress(std::function<void()> f)
    {
        auto* gauge = Ctl<QProgressBar>("cgProgress");
        auto fired = std::make_shared<bool>(false);
        QObject::connect(gauge, &QProgressBar::valueChanged, fmMain, [this, fired, f](int v) {
            if (*fired || v <= 0 || v >= 1000) return;
            *fired = true;
            State.Seen = true;
            State.Caption = fmMain->btCalcCE->text();
            State.Color = fmMain->btCalcCE->palette().color(QPalette::ButtonText);
            State.OpenEnabled = fmMain->btOpen->isEnabled();
            State.NormalizeEnabled = fmMain->btNormalize->isEnabled();
            State.BusyEnabled = fmMain->btBusy->isEnabled();
            State.RunningFlag = fmMain->CalcRunning();
            State.Page = fmMain->PageControl->currentIndex();
            // Queued: handled by the window's event loop while the work goes on.
            QTimer::singleShot(0, fmMain, f);
        });
    }
    static constexpr int kGenes = 8000;
    cRunningState State;
};

TEST_F(MainCancelTest, CancelStopsPartWayKeepingTheRowsDone)
{
    QElapsedTimer sinceCancel;
    AtFirstProgress([&] {
        sinceCancel.start();
        QTest::mouseClick(fmMain->btCalcCE, Qt::LeftButton);
        // The click only flags: the caption stays until the calculation ends.
        EXPECT_EQ(fmMain->btCalcCE->text(), "Cancel");
        EXPECT_FALSE(fmMain->CalcRunning());
    });
    const int lines = LogLines().size();
    Click("btCalcCE");
    const qint64 stopMs = sinceCancel.elapsed();

    // While running: the cancel button, red, the pipeline locked, busy on.
    ASSERT_TRUE(State.Seen);
    EXPECT_EQ(State.Caption, "Cancel");
    EXPECT_EQ(State.Color, QColor(255, 0, 0));
    EXPECT_TRUE(State.RunningFlag);
    EXPECT_FALSE(State.OpenEnabled);
    EXPECT_FALSE(State.NormalizeEnabled);
    EXPECT_TRUE(State.BusyEnabled);
    EXPECT_EQ(State.Page, 2);
    EXPECT_LT(stopMs, 1000) << "the calculation took too long to stop";

    // After: idle, the log as after a normal end, the progress left part way.
    const cWinExprData* d = fmMain->ExprData();
    EXPECT_EQ(d->Progress, 0.0f);
    EXPECT_LT(Ctl<QProgressBar>("cgProgress")->value(), 1000);
    EXPECT_TRUE(Text("lbCoexpressed").startsWith("Approximately ")) << Text("lbCoexpressed").toStdString();
    const QStringList log = LogMessages().mid(lines);
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0], ": Calculation of CE matrix is started...");
    EXPECT_EQ(log[1], ": ... end finished.");
    EXPECT_TRUE(log[2].startsWith(": Gene assignement to patterns is completed: "));
    EXPECT_EQ(Text("btCalcCE"), "Calculate CE");
    EXPECT_EQ(fmMain->btCalcCE->palette().color(QPalette::ButtonText), QColor(Qt::black));
    for (const char* name : {"btOpen", "btNormalize", "btCalcCE", "btRenewCE", "btShowCE", "btCEPatterns",
                             "btSaveFiltered", "btSaveCE"})
        EXPECT_TRUE(Ctl(name)->isEnabled()) << name;
    EXPECT_FALSE(Ctl("btBusy")->isEnabled());
    EXPECT_FALSE(fmMain->Computing());

    // The matrix keeps what was computed: every filled upper cell is the
    // pair's correlation, and part of the triangle was never reached.
    const cCEMatrix* m = fmMain->CEMatrix();
    ASSERT_NE(m, nullptr);
    long long filled = 0, checked = 0;
    for (int i = 0; i < kGenes; ++i)
        for (int j = i + 1; j < kGenes; ++j) {
            const int cell = m->At(i, j);
            if (cell == 0) continue;
            ++filled;
            if ((i * 7919 + j) % 997 == 0) { // a spread sample checked against the definition
                EXPECT_EQ(cell, static_cast<int>(100 * d->Corr(i, j))) << i << "," << j;
                ++checked;
            }
        }
    const long long pairs = static_cast<long long>(kGenes) * (kGenes - 1) / 2;
    EXPECT_GT(filled, 0);
    EXPECT_GT(checked, 0);
    EXPECT_LT(filled, pairs * 9 / 10) << "the calculation was not stopped part way";

    // A new calculation then runs to its end.
    Click("btCalcCE");
    EXPECT_EQ(fmMain->ExprData()->Progress, 100.0f);
    EXPECT_FALSE(Text("lbCoexpressed").startsWith("Approximately "));
    long long full = 0;
    for (int i = 0; i < kGenes; ++i)
        for (int j = i + 1; j < kGenes; ++j)
            full += fmMain->CEMatrix()->At(i, j) != 0;
    EXPECT_GT(full, pairs * 9 / 10);
    // The status panel counts the matrix, wherever its block comes from.
    EXPECT_GE(fmMain->MemoryInUse(), static_cast<unsigned>(kGenes) * kGenes);
    fmMain->Timer1Timer();
    EXPECT_TRUE(fmMain->StatusPanel->text().startsWith("Memory allocated: "));
}

TEST_F(MainCancelTest, ACancelBeforeTheWorkStartsStillStopsIt)
{
    // The click arrives while the window lets events run after logging the
    // start, before the calculation has taken off.
    QTimer::singleShot(0, fmMain, [] { QTest::mouseClick(fmMain->btCalcCE, Qt::LeftButton); });
    QElapsedTimer t;
    t.start();
    Click("btCalcCE");
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(fmMain->ExprData()->Progress, 0.0f); // stopped, not finished
    EXPECT_TRUE(Text("lbCoexpressed").startsWith("Approximately ")) << Text("lbCoexpressed").toStdString();
    EXPECT_EQ(Text("btCalcCE"), "Calculate CE");
    // The next calculation is not cancelled by the earlier click.
    Click("btCalcCE");
    EXPECT_EQ(fmMain->ExprData()->Progress, 100.0f);
}

TEST_F(MainCancelTest, ClosingTheWindowStopsTheCalculation)
{
    bool closed = false;
    QObject::connect(fmMain, &TfmMain::Closed, [&] { closed = true; });
    QElapsedTimer sinceClose;
    AtFirstProgress([&] {
        sinceClose.start();
        fmMain->close();
    });
    Click("btCalcCE");
    EXPECT_TRUE(State.Seen);
    EXPECT_TRUE(closed);
    EXPECT_LT(sinceClose.elapsed(), 1000);
    EXPECT_EQ(fmMain->ExprData()->Progress, 0.0f); // stopped, not finished
    EXPECT_FALSE(fmMain->Computing());
    EXPECT_FALSE(fmMain->CalcRunning());
}

TEST_F(MainCancelTest, ActionsThatWouldChangeTheDataWaitForTheCalculation)
{
    // Clicks that reach the window while the worker fills the matrix: loading,
    // normalizing and pattern detection must not touch the data meanwhile.
    float before = 0;
    AtFirstProgress([&] {
        before = fmMain->ExprData()->Data[0][0];
        fmMain->dlgOpen.FileName = Tmp.filePath("large.txt");
        fmMain->dlgOpen.Preset = 1;
        fmMain->btOpenClick();
        fmMain->btArrayNormClick();
        fmMain->btGeneNormClick();
        fmMain->btNormalizeClick();
        fmMain->btCEPatternsClick();
        fmMain->btRenewCEClick();
        fmMain->btSaveCPatternClick();
        EXPECT_EQ(fmMain->dlgOpen.Preset, 1);
        EXPECT_EQ(fmMain->ExprData()->Data[0][0], before);
        QTest::mouseClick(fmMain->btCalcCE, Qt::LeftButton); // then cancel
    });
    const cWinExprData* data = fmMain->ExprData();
    Click("btCalcCE");
    ASSERT_TRUE(State.Seen);
    EXPECT_EQ(fmMain->ExprData(), data);
    EXPECT_EQ(fmMain->ExprData()->Data[0][0], before);
    EXPECT_EQ(DialogsShown, 0);
    EXPECT_TRUE(Messages.empty());
}
