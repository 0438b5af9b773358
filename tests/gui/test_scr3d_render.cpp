// The 3D view drawn for real: a frame of the generated scene grabbed from the GL surface shows lit
// spheres where the nodes project. Needs a display with OpenGL: it runs under xvfb-run with
// "-platform xcb" and skips itself on the headless platform.
//
// Also holds the picture of the sample table's network used in the README (not a check: it runs
// only when KORVALENT_SCREENSHOT_3D names the file to write).
#include "test_main_support.h"

#include "engine/Numeric.h"
#include "views/Scr3d.h"

#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include <cmath>

namespace {

bool HasDisplay()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

double Brightness(QRgb p)
{
    return qRed(p) + qGreen(p) + qBlue(p);
}

// Cosine of the angle between a pixel's colour and a colour (r, g, b in 0..1).
double ColourMatch(QRgb p, const cCoord& c)
{
    const double a[3] = {qRed(p) / 255.0, qGreen(p) / 255.0, qBlue(p) / 255.0};
    const double b[3] = {c.x, c.y, c.z};
    double ab = 0, aa = 0, bb = 0;
    for (int k = 0; k < 3; ++k) {
        ab += a[k] * b[k];
        aa += a[k] * a[k];
        bb += b[k] * b[k];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

} // namespace

TEST(Scr3dRender, FrameShowsLitSpheresWhereTheNodesProject)
{
    // The run under the virtual display demands a real frame; elsewhere the test steps aside.
    const bool required = qEnvironmentVariableIsSet("KORVALENT_REQUIRE_GL");
    if (!HasDisplay()) {
        ASSERT_FALSE(required) << "no display: platform " << QGuiApplication::platformName().toStdString();
        GTEST_SKIP() << "needs a display with OpenGL; run under xvfb-run with -platform xcb";
    }
    const cRandom saved = GlobalRandom();
    GlobalRandom() = cRandom();
    TfmScr3D w;
    GlobalRandom() = saved;
    if (!w.glView) {
        ASSERT_FALSE(required) << "the display offers no OpenGL";
        GTEST_SKIP() << "this display offers no OpenGL";
    }
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.glView->Frames > 0; }, 5000));
    // Continuous repaint while visible.
    const long frames = w.glView->Frames;
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.glView->Frames > frames + 2; }, 5000));

    const QImage img = w.glView->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(img.isNull());
    const int s = std::max(img.width(), img.height()); // the square viewport, bottom-left anchored
    const double px = s / 200.0;                       // pixels per world unit
    const cView3D& v = w.View;
    const double r = v.scale * w.Scene.NodeRadius;
    const auto project = [&](const cCoord& n) {
        const double y = v.scale * n.y + v.panY, z = v.scale * n.z + v.panZ;
        return QPointF((y + 100) * px, img.height() - (z + 100) * px);
    };

    int checked = 0;
    const std::size_t n = w.Scene.Nodes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const cCoord& a = w.Scene.Nodes[i];
        // Only nodes that no nearer sphere covers, well inside the picture.
        bool covered = false;
        for (std::size_t j = 0; j < n; ++j) {
            const cCoord& b = w.Scene.Nodes[j];
            if (j != i && b.x > a.x && std::hypot(b.y - a.y, b.z - a.z) * v.scale < 2.5 * r) covered = true;
        }
        const QPointF c = project(a);
        const int off = static_cast<int>(0.5 * r * px);
        if (covered || c.x() < off + 2 || c.y() < off + 2 || c.x() > img.width() - off - 3 ||
            c.y() > img.height() - off - 3)
            continue;
        // The sphere's colour, lit, around its centre (a link may cross the centre itself).
        const int k = std::max(1, static_cast<int>(0.3 * r * px));
        int total = 0, lit = 0;
        for (int dy = -k; dy <= k; ++dy)
            for (int dx = -k; dx <= k; ++dx) {
                const QRgb p = img.pixel(c.toPoint() + QPoint(dx, dy));
                ++total;
                lit += Brightness(p) > 150 && ColourMatch(p, w.Scene.Colors[i]) > 0.97;
            }
        EXPECT_GT(lit * 4, total * 3) << "node " << i << ": " << lit << " of " << total << " pixels";
        // Lit from the upper right and front: brighter toward the light than away from it.
        const QRgb towards = img.pixel(c.toPoint() + QPoint(off, -off));
        const QRgb away = img.pixel(c.toPoint() + QPoint(-off, off));
        EXPECT_GT(Brightness(towards), Brightness(away) + 30) << "node " << i;
        ++checked;
    }
    EXPECT_GE(checked, 8);
    // Black around the scene, and red and blue links.
    EXPECT_EQ(img.pixel(1, 1) & 0xffffff, 0u);
    int red = 0, blue = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            red += qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100;
            blue += qBlue(p) > 200 && qRed(p) < 100 && qGreen(p) > 80 && qGreen(p) < 160;
        }
    EXPECT_GT(red, 50);
    EXPECT_GT(blue, 10);

    // Zooming in makes a new, larger sphere list; the cache stays bounded.
    for (int k = 0; k < 40; ++k) {
        w.FormMouseWheel(1);
        w.glView->grabFramebuffer();
    }
    EXPECT_LE(w.glView->Cache.Size(), w.glView->Cache.Capacity);
    EXPECT_GE(w.glView->Cache.Size(), 2u);

    w.hide();
    const long hidden = w.glView->Frames;
    QTest::qWait(200);
    EXPECT_EQ(w.glView->Frames, hidden); // no repainting while hidden
}

class Scr3dNetworkPicture : public MainWindowTest {
  protected:
    void SetUp() override
    {
        // The program's folder: a scripts folder with the delivered network script.
        ASSERT_TRUE(Start.isValid());
        QDir().mkpath(Start.filePath("scripts"));
        ASSERT_TRUE(QFile::copy(TestDataPath("scripts/genes2pca.r"), Start.filePath("scripts/genes2pca.r")));
        Saved = QDir::currentPath();
        QDir::setCurrent(Start.path());
        MainWindowTest::SetUp();
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        QDir::setCurrent(Saved);
    }
    QTemporaryDir Start;
    QString Saved;
};

TEST_F(Scr3dNetworkPicture, SampleNetwork)
{
    const QByteArray target = qgetenv("KORVALENT_SCREENSHOT_3D");
    if (target.isEmpty()) GTEST_SKIP() << "set KORVALENT_SCREENSHOT_3D to the picture's path";
    if (!HasDisplay()) GTEST_SKIP() << "needs a display with OpenGL";
    ASSERT_TRUE(fmMain->RAvailable()) << "R is needed for the layout";
    Load(TestDataPath("examples/sample.txt"));
    Click("btCalcCE");
    ASSERT_TRUE(
        QTest::qWaitFor([] { return fmMain->CEMatrix() != nullptr && !fmMain->CalcRunning(); }, 20000));
    Click("btNetwork");
    ASSERT_TRUE(QTest::qWaitFor([] { return fmScr3D->isVisible(); }, 30000));
    ASSERT_TRUE(fmScr3D->ShowsNetwork());
    ASSERT_NE(fmScr3D->glView, nullptr);
    // A slight turn shows the depth of the layout.
    fmScr3D->FormMouseDown(0, 0);
    fmScr3D->FormMouseMove(30, 20, true, false);
    QTest::qWait(300);
    ASSERT_TRUE(fmScr3D->glView->grabFramebuffer().save(QString::fromLocal8Bit(target)));
}
