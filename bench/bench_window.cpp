// Times the main window's actions on a real table, as a user meets them:
// Load Data, Calculate CE (worker thread, progress, pattern detection and the
// pattern chart), Detect CE patterns alone and the gene ID printout.
//
//   bench_window [TABLE] [RUNS]    (default ../shared/data/bladder.txt, 5 runs)
//
// Runs headless unless QT_QPA_PLATFORM says otherwise; prints medians.
#include "Timing.h"
#include "app/Main.h"
#include "app/Ui.h"
#include "app/WinExprData.h"
#include "app/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QtCharts/QChartView>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString table =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("../shared/data/bladder.txt");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
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
    QApplication::processEvents();

    std::vector<double> load, calc, patterns, chart, ids, pause, progress;
    for (int r = 0; r < runs; ++r) {
        fmMain->dlgOpen.FileName = table;
        fmMain->dlgOpen.Preset = 1;
        load.push_back(TimeMs([] { RunAction(fmMain, [] { fmMain->btOpenClick(); }); }));
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
        calc.push_back(TimeMs([] { RunAction(fmMain, [] { fmMain->btCalcCEClick(); }); }));
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
                    r + 1, load.back(), calc.back(), pause.back(), progress.back(), patterns.back(),
                    chart.back(), ids.back());
    }
    const cWinExprData* d = fmMain->ExprData;
    std::printf("table: %s (%d genes x %d arrays), %d co-expressed genes, %d patterns, %d threads\n",
                qPrintable(table), d ? d->nGenes : 0, d ? d->nArrays : 0, d ? d->nCEGenes : 0,
                d ? d->nPatterns : 0, QThread::idealThreadCount());
    std::printf(
        "median of %d runs: Load Data %.0f ms, Calculate CE %.0f ms (with pattern detection and chart), "
        "longest window pause during it %.0f ms, Detect CE patterns %.0f ms, pattern chart paint %.0f ms, "
        "Gene IDs printout %.0f ms\n",
        runs, Median(load), Median(calc), Median(pause), Median(patterns), Median(chart), Median(ids));
    DestroyWindows();
    return 0;
}
