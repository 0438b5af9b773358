// Times the network view's path on a real table: the layout job in R (filtered export, R's
// principal components, reading the layout back), building the network scene, and drawing frames
// when a display with OpenGL is there (run under xvfb-run with QT_QPA_PLATFORM=xcb for that).
//
//   bench_network [TABLE] [RUNS] [THRESHOLD]   (default ../shared/data/bladder.txt, 5 runs, 0.9)
//
// Prints medians. Needs R (Rcmd under the usual roots) and is run from the source tree's root,
// which holds scripts/genes2pca.r.
#include "Timing.h"
#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "engine/Writers.h"
#include "rjobs/RActions.h"
#include "rjobs/RJob.h"
#include "rjobs/RSearch.h"
#include "views/Scr3d.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class cQuiet : public cExprData {
  public:
    void Print(const char*) override {}
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString table =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("../shared/data/bladder.txt");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const float threshold = argc > 3 ? static_cast<float>(atof(argv[3])) : 0.9f;
    const cRDiscovery r = DiscoverR(RSearchRoots());
    if (!QFileInfo(table).isFile() || !r.Found || !QFileInfo("scripts/genes2pca.r").isFile()) {
        std::fprintf(stderr, "bench_network: needs the table %s, R and scripts/genes2pca.r\n",
                     qPrintable(table));
        return 1;
    }

    cQuiet d;
    if (d.Load(QFile::encodeName(table).constData()) <= 0) return 1;
    cCEMatrix m;
    if (!m.Alloc(d.nGenes) || d.CalcCE(&m, 1, threshold) < 0) return 1;
    d.FindPatterns(&m);

    QTemporaryDir start;
    QDir().mkpath(start.filePath("scripts"));
    QFile::copy("scripts/genes2pca.r", start.filePath("scripts/genes2pca.r"));
    const QString input = start.filePath("scripts/temp.genes4pca.txt");
    const QString output = start.filePath("scripts/temp.pca.txt");

    std::vector<double> job, read, scene, frame;
    std::optional<cNetworkLayout> layout;
    cScene3D s;
    for (int i = 0; i < runs; ++i) {
        job.push_back(TimeMs([&] {
            WriteFilteredTable(QFile::encodeName(input).constData(), d, '.');
            std::unique_ptr<cRJobRunner> runner(
                PrepareBatchJob(NetworkJob(start.path()), start.path(), r.RFolder, nullptr, nullptr));
            if (!runner) return;
            runner->Start();
            while (!runner->Ended())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }));
        read.push_back(TimeMs([&] { layout = ReadPcaLayout(output, d); }));
        if (!layout) {
            std::fprintf(stderr, "bench_network: no layout read back\n");
            return 1;
        }
        scene.push_back(TimeMs([&] { s = NetworkScene(*layout, d, m); }));
    }

    TfmScr3D view;
    if (view.glView) {
        view.ShowNetwork(*layout, d, m);
        view.show();
        QElapsedTimer wait;
        wait.start();
        while (view.glView->Frames == 0 && wait.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        view.glView->grabFramebuffer(); // compiles the sphere list and the line arrays
        for (int i = 0; i < runs; ++i)
            frame.push_back(TimeMs([&] { view.glView->grabFramebuffer(); }));
    }

    std::printf("table: %s\n", qPrintable(table));
    std::printf("genes: %d, co-expressed (laid out): %zu, links: %zu, threshold %.2f\n", d.nGenes,
                s.Nodes.size(), s.Links.size(), threshold);
    std::printf("layout job (export + R): %.0f ms\n", Median(job));
    std::printf("read layout: %.1f ms\n", Median(read));
    std::printf("build scene: %.1f ms\n", Median(scene));
    if (!frame.empty())
        std::printf("frame (%s): %.1f ms\n", qPrintable(QGuiApplication::platformName()), Median(frame));
    else
        std::printf("frame: no OpenGL on this display\n");
    return 0;
}
