// The analysis session and its jobs: the signals the windows refresh on, a
// job's end and failure, a second job refused while one runs, and the table
// of control states.
#include "test_main_support.h"

#include "app/ControlStates.h"
#include "app/Jobs.h"
#include "app/WinExprData.h"
#include "engine/CEMatrix.h"
#include "ui/Job.h"
#include "views/Histogram.h"
#include "views/Plot.h"
#include "views/Screen.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include <memory>

namespace {

// A job that ends when told to.
class cManualJob : public cJob {
  public:
    void Start() override { Started = true; }
    void Cancel() override { CancelRequested = true; }
    void End() { Finish(); }
    void Break(const QString& message) { Fail(message); }
    bool Started = false;
};

} // namespace

TEST(Session, AJobEndsOnceAndASecondOneIsRefusedMeanwhile)
{
    cAnalysis session;
    QSignalSpy busy(&session, &cAnalysis::busyChanged);
    QStringList ends;
    bool busyDuringEnd = false;
    auto* job = new cManualJob;
    ASSERT_TRUE(session.StartJob(job, cAnalysis::cJobKind::Load, [&](const QString& error) {
        ends << error;
        busyDuringEnd = session.Busy();
    }));
    EXPECT_TRUE(job->Started);
    EXPECT_TRUE(session.Busy());
    EXPECT_EQ(session.RunningKind(), cAnalysis::cJobKind::Load);

    // Another job while this one runs: refused and deleted.
    QPointer<cManualJob> second = new cManualJob;
    EXPECT_FALSE(session.StartJob(second, cAnalysis::cJobKind::Calculate));
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(session.RunningJob(), job);

    job->End();
    job->End(); // a second end is not heard
    EXPECT_EQ(ends, QStringList{QString()});
    EXPECT_TRUE(busyDuringEnd) << "the end runs while the job still counts";
    EXPECT_FALSE(session.Busy());
    EXPECT_EQ(session.RunningKind(), cAnalysis::cJobKind::None);
    ASSERT_EQ(busy.count(), 2);
    EXPECT_TRUE(busy[0][0].toBool());
    EXPECT_FALSE(busy[1][0].toBool());
    // The session now takes the next job.
    auto* next = new cManualJob;
    EXPECT_TRUE(session.StartJob(next, cAnalysis::cJobKind::Renew));
    next->End();
}

TEST(Session, AFailedJobHandsItsMessageOnAndAHeldJobCanBeDropped)
{
    cAnalysis session;
    QString error;
    auto* job = new cManualJob;
    session.StartJob(job, cAnalysis::cJobKind::RJob, [&](const QString& e) { error = e; });
    job->Break("The disk is full.");
    EXPECT_EQ(error, "The disk is full.");
    EXPECT_FALSE(session.Busy());

    // Held without being started (its preparation failed): dropped without an end.
    bool ended = false;
    auto* held = new cManualJob;
    session.StartJob(
        held, cAnalysis::cJobKind::Calculate, [&](const QString&) { ended = true; }, false);
    EXPECT_FALSE(held->Started);
    EXPECT_TRUE(session.Busy());
    session.DropJob();
    EXPECT_FALSE(session.Busy());
    EXPECT_FALSE(ended);
}

TEST(Session, TheMatrixIsNotReadWhileAJobWritesIt)
{
    cAnalysis session;
    auto data = std::make_unique<cWinExprData>();
    const char text[] = "ID\tName\tA1\tA2\tA3\ng1\tn1\t1\t2\t3\ng2\tn2\t3\t1\t2\n";
    ASSERT_GT(data->LoadBuffer(text, sizeof text - 1), 0);
    QSignalSpy loaded(&session, &cAnalysis::tableLoaded);
    QSignalSpy released(&session, &cAnalysis::matrixReleased);
    session.SetTable(std::move(data), "t.txt");
    EXPECT_EQ(loaded.count(), 1);
    auto m = std::make_unique<cCEMatrix>();
    ASSERT_TRUE(m->Alloc(2));
    const cCEMatrix* raw = m.get();
    session.SetMatrix(std::move(m), 0);
    EXPECT_EQ(session.Matrix(), raw);

    bool readableAtTheEnd = false;
    auto* job = new cManualJob;
    session.StartJob(job, cAnalysis::cJobKind::Renew,
                     [&](const QString&) { readableAtTheEnd = session.Matrix() == raw; });
    EXPECT_EQ(session.Matrix(), nullptr);
    EXPECT_EQ(session.CEMatrix(), raw); // the actions that write it still have it
    job->End();
    EXPECT_TRUE(readableAtTheEnd);
    EXPECT_EQ(session.Matrix(), raw);

    // A new table releases the matrix with the old one.
    session.SetTable(std::make_unique<cWinExprData>(), "u.txt");
    EXPECT_EQ(session.Matrix(), nullptr);
    EXPECT_EQ(released.count(), 1);
}

TEST(Session, ALoadJobReadsIntoAFreshObjectAndTellsWhyItFailed)
{
    QTemporaryDir tmp;
    auto run = [](cLoadJob& job) {
        bool done = false;
        QObject::connect(&job, &cJob::finished, [&] { done = true; });
        job.Start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    };
    cLoadJob missing(tmp.filePath("absent.txt"));
    run(missing);
    EXPECT_EQ(missing.Count, -1);
    ASSERT_NE(missing.Data, nullptr);
    EXPECT_EQ(missing.Data->LoadError, cLoadError::CannotOpen);

    cLoadJob sample(TestDataPath("examples/sample.txt"));
    run(sample);
    ASSERT_NE(sample.Data, nullptr);
    EXPECT_EQ(sample.Data->nGenes, 300);
    EXPECT_EQ(sample.Count, 300 * 12);
}

// The windows refresh on the session's signals.
TEST_F(MainWindowTest, ChartWindowsFollowLoadsAndNormalizations)
{
    QSignalSpy loaded(fmMain->Session(), &cAnalysis::tableLoaded);
    QSignalSpy changed(fmMain->Session(), &cAnalysis::valuesChanged);
    Load(TestDataPath("examples/sample.txt"));
    EXPECT_EQ(loaded.count(), 1);
    ASSERT_EQ(fmPlot->SerMean->count(), 300);
    const double before = fmPlot->SerMean->at(0).y();
    EXPECT_EQ(fmHistogram->SerHistLine->count(), 20);

    Click("btNormalize");
    EXPECT_EQ(changed.count(), 2); // between genes, then between arrays
    // Each gene was centred, then the arrays: the first gene's mean is near 0 now.
    EXPECT_NE(fmPlot->SerMean->at(0).y(), before);
    EXPECT_NEAR(fmPlot->SerMean->at(0).y(), 0.0, 0.5);
    EXPECT_TRUE(fmHistogram->ChartHist->chart()->title().startsWith("All Expression Values"));

    // A second table replaces the charts' content.
    Load(WriteTable("two.txt", "ID\tName\tA1\tA2\tA3\ng1\tn1\t1\t2\t3\ng2\tn2\t3\t1\t2\n"));
    EXPECT_EQ(loaded.count(), 2);
    EXPECT_EQ(fmPlot->SerMean->count(), 2);
}

// Every state's controls as the table says, reached the way a user does.
TEST_F(MainWindowTest, ControlStatesFollowTheTable)
{
    const auto check = [this](cWinState state, const char* where) {
        EXPECT_EQ(fmMain->State(), state) << where;
        for (int k = 0; k < static_cast<int>(cCtl::Count); ++k) {
            const cCtlRule& rule = ControlRule(static_cast<cCtl>(k));
            QWidget* w = Ctl(rule.Name);
            if (w == nullptr) continue;
            const cSet enabled = rule.Enabled[static_cast<std::size_t>(state)];
            const cSet visible = rule.Visible[static_cast<std::size_t>(state)];
            if (enabled != cSet::Keep)
                EXPECT_EQ(w->isEnabled(), enabled == cSet::On) << where << " " << rule.Name;
            if (visible != cSet::Keep)
                EXPECT_EQ(!w->isHidden(), visible == cSet::On) << where << " " << rule.Name;
        }
    };
    check(cWinState::NoData, "start-up");
    Load(WriteTable("large.txt", FactorTable(3000, 60)));
    check(cWinState::Loaded, "after a load");

    // While Calculate CE runs (seen at its first progress) and after it.
    bool seen = false;
    auto* gauge = Ctl<QProgressBar>("cgProgress");
    const QMetaObject::Connection c =
        QObject::connect(gauge, &QProgressBar::valueChanged, fmMain, [&](int v) {
            if (seen || v <= 0 || v >= 1000) return;
            seen = true;
            check(cWinState::Calculating, "calculating");
            EXPECT_EQ(fmMain->btCalcCE->text(), "Cancel");
            // Actions that would change or release what the job works on do nothing.
            QTest::mouseClick(fmMain->btNormalize, Qt::LeftButton);
            fmMain->btOpenClick();
            fmMain->btRenewCEClick();
            fmMain->btKillDCClick();
        });
    const int lines = LogLines().size();
    Click("btCalcCE");
    QObject::disconnect(c);
    EXPECT_TRUE(seen);
    check(cWinState::Computed, "after Calculate CE");
    const QStringList log = LogMessages().mid(lines);
    ASSERT_EQ(log.size(), 3) << log.join("\n").toStdString();
    EXPECT_EQ(log[0], ": Calculation of CE matrix is started...");

    // A table that cannot be loaded changes nothing.
    Load(WriteTable("bad.txt", "no header\n"));
    check(cWinState::Computed, "after a failed load");
}

TEST_F(MainWindowTest, LoadDataClearsWhatShowedTheReleasedMatrix)
{
    Load(TestDataPath("examples/sample.txt"));
    fmMain->edCEThreshold->setText("0.5");
    Click("btCalcCE");
    Click("btShowCE");
    Click("btBuild");
    ASSERT_FALSE(Text("mPatterns").isEmpty());
    ASSERT_GT(fmMain->serCluster->count(), 0);
    ASSERT_GT(fmScreen->Series1->count(), 0);
    ASSERT_GT(fmMain->Series3->count(), 0);
    QTest::mouseClick(fmScreen->iScreen, Qt::LeftButton, {}, QPoint(250, 250));
    const auto white = [](const QImage& img) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != qRgb(255, 255, 255)) return false;
        return true;
    };
    ASSERT_FALSE(white(fmScreen->iScreen->Image));
    ASSERT_FALSE(white(fmScreen->iMacro->Image));

    Load(WriteTable("two.txt", "ID\tName\tA1\tA2\tA3\ng1\tn1\t1\t2\t3\ng2\tn2\t3\t1\t2\n"));
    EXPECT_EQ(Text("lbCoexpressed"), "none genes are found coexpressed");
    EXPECT_EQ(Text("lbNPatterns"), "none");
    EXPECT_EQ(Text("lbNGenesRep"), "none");
    EXPECT_EQ(Text("mPatterns"), "");
    EXPECT_EQ(fmMain->serCluster->count(), 0);
    EXPECT_EQ(fmMain->Series3->count(), 0);
    EXPECT_EQ(fmMain->Series4->count(), 0);
    EXPECT_EQ(Ctl<QProgressBar>("cgProgress")->value(), 0);
    EXPECT_TRUE(white(fmScreen->iScreen->Image));
    EXPECT_TRUE(white(fmScreen->iMacro->Image));
    EXPECT_EQ(fmScreen->Series1->count(), 0);
    EXPECT_EQ(fmScreen->Series2->count(), 0);
    EXPECT_EQ(fmScreen->lbX->text(), "");
}

TEST_F(MainWindowTest, AMatrixThatCannotFitIsRefusedBeforeAnythingChanges)
{
    Load(TestDataPath("examples/sample.txt"));
    const int lines = LogLines().size();
    qputenv("KORVALENT_MEMORY_AVAILABLE", "1000");
    Click("btCalcCE");
    qunsetenv("KORVALENT_MEMORY_AVAILABLE");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error");
    EXPECT_TRUE(Messages[0].Text.startsWith("Not enough memory for the co-expression matrix of 300 genes"))
        << Messages[0].Text.toStdString();
    EXPECT_EQ(LogLines().size(), lines);
    EXPECT_EQ(fmMain->CEMatrix(), nullptr);
    EXPECT_EQ(fmMain->State(), cWinState::Loaded);
    EXPECT_EQ(Text("btCalcCE"), "Calculate CE");
    // With the memory there it runs.
    Click("btCalcCE");
    EXPECT_NE(fmMain->CEMatrix(), nullptr);
}
