// Times the main window's actions on a real table, as a user meets them:
// Load Data, Calculate CE (worker thread, progress, pattern detection and the
// pattern chart; the first run of the process separately, since it meets a
// fresh matrix), Detect CE patterns alone and the gene ID printout.
//
//   bench_window [TABLE] [RUNS] [--charts]
//
// (default ../shared/data/bladder.txt, 5 runs). --charts opens the profile
// plot and histogram windows first, as a user working with them has them.
// Runs headless unless QT_QPA_PLATFORM says otherwise (use xvfb-run with
// QT_QPA_PLATFORM=xcb for a real X display); prints medians.
#include "Timing.h"
#include "app/Analysis.h"
#include "app/Main.h"
#include "app/WinExprData.h"
#include "app/Windows.h"
#include "ui/Ui.h"
#include "views/Histogram.h"
#include "views/Plot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QtCharts/QChartView>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Clicks a toolbar action and runs the event loop until its job has ended, as
// the program's own loop would (sleeping between events, not polling).
void RunToEnd(void (TfmMain::*action)())
{
    QEventLoop loop;
    const QMetaObject::Connection c = QObject::connect(fmMain->Session(), &cAnalysis::busyChanged, &loop,
                                                       [&loop](bool busy) {
                                                           if (!busy) loop.quit();
                                                       });
    RunAction(fmMain, [action] { (fmMain->*action)(); });
    if (fmMain->Computing()) loop.exec();
    QObject::disconnect(c);
    // What the end queued for painting.
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool charts = false;
    std::vector<const char*> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--charts") == 0)
            charts = true;
        else
            args.push_back(argv[i]);
    }
    const QString table =
        !args.empty() ? QString::fromLocal8Bit(args[0]) : QStringLiteral("../shared/data/bladder.txt");
    const int runs = args.size() > 1 ? std::max(1, atoi(args[1])) : 5;
    if (!QFileInfo(table).isFile()) {
        std::fprintf(stderr, "bench_window: no table %s\n", qPrintable(table));
        return 1;
    }
    MessageBoxHook() = [](QWidget*, const QString& caption, const QString& text, cMsgButtons) {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(caption), qPrintable(text));
        return cMsgResult::Ok;
    };
    CreateWindows();
    fmMain->show();
    if (charts) {
        fmPlot->show();
        fmHistogram->show();
    }
    QApplication::processEvents();

    std::vector<double> load, calc, patterns, chart, ids, pause, progress;
    double firstCalc = 0;
    for (int r = 0; r < runs; ++r) {
        fmMain->dlgOpen.FileName = table;
        fmMain->dlgOpen.Preset = 1;
        load.push_back(TimeMs([] { RunToEnd(&TfmMain::btOpenClick); }));
        // A 5 ms timer on the window thread: the longest gap between its ticks
        // is the longest time the window could not repaint or take a click.
        QElapsedTimer sinceTick;
        double longest = 0;
        int progressCalls = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.start();
        });
        const QMetaObject::Connection counting = QObject::connect(
            fmMain->cgProgress, &QProgressBar::valueChanged, [&progressCalls] { ++progressCalls; });
        sinceTick.start();
        ticker.start();
        const double ms = TimeMs([] { RunToEnd(&TfmMain::btCalcCEClick); });
        if (r == 0)
            firstCalc = ms;
        else
            calc.push_back(ms);
        ticker.stop();
        QObject::disconnect(counting);
        pause.push_back(longest);
        progress.push_back(progressCalls);
        patterns.push_back(TimeMs([] { RunAction(fmMain, [] { fmMain->btCEPatternsClick(); }); }));
        // Painting the pattern chart: one point per gene.
        fmMain->PageControl->setCurrentIndex(2);
        chart.push_back(TimeMs([] { fmMain->Chart3->grab(); }));
        ids.push_back(TimeMs([] {
            fmMain->btShowIDClick();
            QApplication::processEvents();
        }));
        std::printf("run %d: load %.0f ms, calculate %.0f ms (longest window pause %.0f ms, %.0f progress "
                    "updates), patterns %.0f ms, chart paint %.0f ms, gene IDs %.0f ms\n",
                    r + 1, load.back(), ms, pause.back(), progress.back(), patterns.back(), chart.back(),
                    ids.back());
    }
    const cWinExprData* d = fmMain->ExprData();
    std::printf("table: %s (%d genes x %d arrays), %d co-expressed genes, %d patterns, %d threads, %s, "
                "chart windows %s\n",
                qPrintable(table), d ? d->nGenes : 0, d ? d->nArrays : 0, d ? d->nCEGenes : 0,
                d ? d->nPatterns : 0, QThread::idealThreadCount(), qPrintable(QApplication::platformName()),
                charts ? "open" : "closed");
    std::printf(
        "median of %d runs: Load Data %.0f ms, first Calculate CE %.0f ms, later Calculate CE %.0f ms "
        "(with pattern detection and chart), longest window pause %.0f ms, Detect CE patterns %.0f ms, "
        "pattern chart paint %.0f ms, Gene IDs printout %.0f ms\n",
        runs, Median(load), firstCalc, calc.empty() ? firstCalc : Median(calc), Median(pause),
        Median(patterns), Median(chart), Median(ids));
    DestroyWindows();
    return 0;
}
