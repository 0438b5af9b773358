// The 3D network view without an OpenGL context: the generated scene, the view state driven by
// keys, mouse and wheel, the projection, the display-list cache and the scene of a real network.
#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "engine/Numeric.h"
#include "views/Scr3d.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <bit>
#include <cmath>
#include <cstring>

namespace {

// Restores the process-wide generator after a test that fixed its state.
class FixedGenerator {
  public:
    FixedGenerator() : Saved(GlobalRandom()) { GlobalRandom() = cRandom(); }
    ~FixedGenerator() { GlobalRandom() = Saved; }

  private:
    cRandom Saved;
};

bool SameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::array<double, 16> Identity()
{
    std::array<double, 16> m{};
    m[0] = m[5] = m[10] = m[15] = 1;
    return m;
}

void ExpectMatrixNear(const std::array<double, 16>& a, const std::array<double, 16>& b, double tol = 1e-12)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

} // namespace

TEST(Scr3dCoord, Operations)
{
    cCoord c(3, 4, 12);
    EXPECT_EQ(c.Length(), 13.0);
    c.SetLength(26);
    EXPECT_EQ(c.x, 6.0);
    EXPECT_EQ(c.y, 8.0);
    EXPECT_EQ(c.z, 24.0);
    cCoord zero;
    zero.SetLength(5); // a zero vector stays zero
    EXPECT_EQ(zero.x, 0.0);
    EXPECT_EQ(zero.Length(), 0.0);
    c.Clear();
    EXPECT_EQ(c.Length(), 0.0);
    c.Set(1, 2, 2);
    cCoord d(1, 2, 5);
    EXPECT_EQ(Distance(&c, &d), 3.0);
    EXPECT_EQ(Distance(&c, nullptr), 0.0);
    EXPECT_EQ(Distance(nullptr, &d), 0.0);

    FixedGenerator fixed;
    for (int i = 0; i < 50; ++i) {
        cCoord r;
        r.SetRandom(10);
        EXPECT_NEAR(r.Length(), 10.0, 1e-12);
    }
}

TEST(Scr3dScene, GeneratedFromTheSharedGenerator)
{
    FixedGenerator fixed;
    cGeneratedNet net;
    net.Generate();
    const cRandom after = GlobalRandom();

    // The same draws, in the same order, made here step by step from the same state.
    cRandom r;
    cCoord nodes[20], colors[20];
    std::int8_t links[20][20] = {};
    colors[0].Set(1, 1, 1);
    for (int i = 1; i < 20; ++i) {
        double d;
        do {
            double x, y, z;
            do {
                x = r.Range(-1, 1);
                y = r.Range(-1, 1);
                z = r.Range(-1, 1);
            } while (x * x + y * y + z * z > 1);
            nodes[i].Set(x, y, z);
            nodes[i].SetLength(10);
            d = 1e10;
            for (int j = 0; j < i; ++j)
                d = std::min(d, Distance(&nodes[i], &nodes[j]));
        } while (d < 5);
        const int k = r.Int(0, 2);
        const double palette[3][3] = {{1.0, 1.0, 0.2}, {0.2, 1.0, 1.0}, {0.5, 0.0, 1.0}};
        colors[i].Set(palette[k][0], palette[k][1], palette[k][2]);
    }
    for (int j = 0; j < 20; ++j)
        links[0][j] = r.Uniform() > 0.2 ? 1 : -1;
    for (int i = 1; i < 19; ++i)
        for (int j = i; j < 20; ++j)
            links[i][j] = r.Uniform() > 0.9 ? (r.Uniform() > 0.5 ? 1 : -1) : 0;

    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(SameBits(net.nodes[i].x, nodes[i].x) && SameBits(net.nodes[i].y, nodes[i].y) &&
                    SameBits(net.nodes[i].z, nodes[i].z))
            << "node " << i;
        EXPECT_EQ(net.colors[i].x, colors[i].x) << "colour " << i;
        EXPECT_EQ(net.colors[i].y, colors[i].y);
        EXPECT_EQ(net.colors[i].z, colors[i].z);
        for (int j = i; j < 20; ++j)
            EXPECT_EQ(net.links[i][j], links[i][j]) << i << "," << j;
    }
    // Nothing more was drawn than the scene needs.
    EXPECT_EQ(std::memcmp(&after, &r, sizeof r), 0);

    // What the scene promises whatever the draws.
    int linked = 0;
    for (int i = 1; i < 20; ++i) {
        EXPECT_NEAR(net.nodes[i].Length(), 10.0, 1e-12);
        for (int j = 0; j < i; ++j)
            EXPECT_GE(Distance(&net.nodes[i], &net.nodes[j]), 5.0);
        EXPECT_NE(net.links[0][i], 0);
        for (int j = i; j < 20; ++j)
            linked += net.links[i][j] != 0;
    }
    EXPECT_EQ(net.links[19][19], 0); // the last row is never drawn
    EXPECT_LT(linked, 60);           // about one pair in ten of 189

    // The drawn scene: every non-zero link of the upper triangle, in row order.
    const cScene3D s = cScene3D::FromGenerated(net);
    ASSERT_EQ(s.Nodes.size(), 20u);
    EXPECT_EQ(s.NodeRadius, 1.0);
    std::size_t k = 0;
    for (int i = 0; i < 19; ++i)
        for (int j = i; j < 20; ++j)
            if (net.links[i][j] != 0) {
                ASSERT_LT(k, s.Links.size());
                EXPECT_EQ(s.Links[k].A, i);
                EXPECT_EQ(s.Links[k].B, j);
                EXPECT_EQ(s.Links[k].Sign, net.links[i][j]);
                ++k;
            }
    EXPECT_EQ(k, s.Links.size());
}

TEST(Scr3dWindow, CreatedWithTheResetView)
{
    FixedGenerator fixed;
    TfmScr3D a;
    EXPECT_EQ(a.objectName(), "fmScr3D");
    EXPECT_EQ(a.windowTitle(), "Gene coexpression network");
    EXPECT_EQ(a.size(), QSize(507, 516));
    EXPECT_TRUE(a.isHidden());
    EXPECT_EQ(a.View.scale, 4.0);
    EXPECT_EQ(a.View.step, 0.5);
    EXPECT_EQ(a.View.panY, 0);
    EXPECT_EQ(a.View.panZ, -20);
    EXPECT_EQ(a.View.angleY, 0.0);
    EXPECT_EQ(a.View.angleZ, 0.0);
    EXPECT_EQ(a.View.lastX, 0);
    EXPECT_FALSE(a.ShowsNetwork());
    EXPECT_EQ(a.Scene.Nodes.size(), 20u);

    // A fresh view before the reset zooms by 10.
    EXPECT_EQ(cView3D().scale, 10.0);

    // The scene comes from the generator: the same state gives the same scene.
    GlobalRandom() = cRandom();
    TfmScr3D b;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(a.Generated.nodes[i].x, b.Generated.nodes[i].x);
    TfmScr3D c; // the generator moved on
    EXPECT_NE(a.Generated.nodes[1].x, c.Generated.nodes[1].x);
}

TEST(Scr3dView, Keys)
{
    struct Case {
        const char* keys;
        double scale, step;
        std::array<double, 16> matrix;
    } cases[] = {
        {"", 4.0, 0.5, Identity()},
        {"+", 4.0 * 1.05, 0.5, Identity()},
        {"-", 4.0 / 1.05, 0.5, Identity()},
        {"*+", 4.0 * 1.1, 1.0, Identity()},
        {"**/", 4.0, 1.0, Identity()},
        {"//", 4.0, 0.125, Identity()},
        {"a", 4.0, 0.5, RotationMatrix(-1.8, 0, 1, 0)},
        {"A", 4.0, 0.5, RotationMatrix(-1.8, 0, 1, 0)},
        {"s", 4.0, 0.5, RotationMatrix(1.8, 0, 1, 0)},
        {"q", 4.0, 0.5, RotationMatrix(-1.8, 1, 0, 0)},
        {"W", 4.0, 0.5, RotationMatrix(1.8, 1, 0, 0)},
        {"z", 4.0, 0.5, RotationMatrix(-1.8, 0, 0, 1)},
        {"x", 4.0, 0.5, RotationMatrix(1.8, 0, 0, 1)},
        {"aa", 4.0, 0.5, RotationMatrix(-3.6, 0, 1, 0)},
        {"*a", 4.0, 1.0, RotationMatrix(-3.6, 0, 1, 0)},
        {"as", 4.0, 0.5, Identity()},
        // Rotations multiply on the right, as the model-view matrix does.
        {"aq", 4.0, 0.5, MatMul(RotationMatrix(-1.8, 0, 1, 0), RotationMatrix(-1.8, 1, 0, 0))},
        {"b1 .?", 4.0, 0.5, Identity()},
    };
    for (const Case& c : cases) {
        cView3D v;
        v.Reset();
        for (const char* k = c.keys; *k; ++k)
            EXPECT_EQ(v.KeyPress(*k), cView3D::cKeyEffect::Repaint);
        EXPECT_DOUBLE_EQ(v.scale, c.scale) << c.keys;
        EXPECT_EQ(v.step, c.step) << c.keys;
        SCOPED_TRACE(c.keys);
        ExpectMatrixNear(v.KeyMatrix, c.matrix);
    }
    cView3D v;
    EXPECT_EQ(v.KeyPress(27), cView3D::cKeyEffect::Close);
    // Key rotations stay until the reset.
    v.Reset();
    v.KeyPress('x');
    v.Reset();
    ExpectMatrixNear(v.KeyMatrix, Identity(), 0);
}

TEST(Scr3dView, RotationMatrixTurnsTheWayOpenGLDoes)
{
    // A quarter turn about z takes x to y; about x takes y to z; about y takes z to x.
    struct Case {
        double ax, ay, az;
        double in[3], out[3];
    } cases[] = {
        {0, 0, 1, {1, 0, 0}, {0, 1, 0}},
        {1, 0, 0, {0, 1, 0}, {0, 0, 1}},
        {0, 1, 0, {0, 0, 1}, {1, 0, 0}},
        {0, 0, 5, {1, 0, 0}, {0, 1, 0}}, // the axis need not be of unit length
    };
    for (const Case& c : cases) {
        const std::array<double, 16> m = RotationMatrix(90, c.ax, c.ay, c.az);
        for (int row = 0; row < 3; ++row) {
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v += m[k * 4 + row] * c.in[k];
            EXPECT_NEAR(v, c.out[row], 1e-15);
        }
    }
}

TEST(Scr3dView, MouseAndWheel)
{
    cView3D v;
    v.Reset();
    v.MouseDown(100, 50);
    EXPECT_EQ(v.lastX, 100);
    EXPECT_EQ(v.lastY, 50);
    // Left drag turns: a vertical move about world y, a horizontal one about world z.
    EXPECT_TRUE(v.MouseMove(104, 70, true, false));
    EXPECT_EQ(v.angleY, 10.0);
    EXPECT_EQ(v.angleZ, 2.0);
    EXPECT_EQ(v.lastX, 104);
    // Left wins over right.
    EXPECT_TRUE(v.MouseMove(106, 70, true, true));
    EXPECT_EQ(v.angleZ, 3.0);
    EXPECT_EQ(v.panY, 0);
    // Right drag shifts: right is +y, up is +z.
    EXPECT_TRUE(v.MouseMove(110, 60, false, true));
    EXPECT_EQ(v.panY, 2);
    EXPECT_EQ(v.panZ, -15);
    // A move worth less than a unit is lost at every step.
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(v.MouseMove(110 + i, 60 + i, false, true));
    EXPECT_EQ(v.panY, 2);
    EXPECT_EQ(v.panZ, -15);
    // Truncation is toward zero on both sides (the last position is now 115, 65).
    v.panY = 0;
    v.MouseMove(112, 62, false, true);
    EXPECT_EQ(v.panY, -1);  // -1.5
    EXPECT_EQ(v.panZ, -13); // -13.5
    // No button: nothing moves and the last position stays.
    EXPECT_FALSE(v.MouseMove(500, 500, false, false));
    EXPECT_EQ(v.lastX, 112);
    EXPECT_EQ(v.angleY, 10.0);
    // `*` pressed n times makes every step 2^n larger; a huge step cannot overflow the shift.
    v.KeyPress('*');
    v.KeyPress('*');
    v.MouseMove(113, 62, false, true);
    EXPECT_EQ(v.panY, 1);
    for (int i = 0; i < 60; ++i)
        v.KeyPress('*');
    v.MouseMove(120, 62, false, true);
    EXPECT_EQ(v.panY, 1000000000);

    cView3D w;
    w.Reset();
    w.Wheel(1);
    EXPECT_TRUE(SameBits(w.scale, 4.0 * 1.1));
    w.Wheel(-1);
    EXPECT_TRUE(SameBits(w.scale, 4.0 * 1.1 * 0.9090909090909091));
    w.Wheel(0);
    EXPECT_TRUE(SameBits(w.scale, 4.0 * 1.1 * 0.9090909090909091));
}

TEST(Scr3dView, ProjectionIsASquareOfTheLargerSide)
{
    struct Case {
        int w, h, s;
    } cases[] = {{507, 516, 516}, {800, 600, 800}, {300, 300, 300}, {0, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(cProjection::For(c.w, c.h).ViewportSize, c.s) << c.w << "x" << c.h;
}

TEST(Scr3dCache, ListsAreReusedForBitEqualRadiiAndBounded)
{
    cListCache cache(3);
    EXPECT_EQ(cache.Find(cListCache::Sphere, 4.0), 0u);
    EXPECT_EQ(cache.Add(cListCache::Sphere, 4.0, 11), 0u);
    EXPECT_EQ(cache.Find(cListCache::Sphere, 4.0), 11u);
    EXPECT_EQ(cache.Find(2, 4.0), 0u); // another kind
    EXPECT_EQ(cache.Find(cListCache::Sphere, -0.0), 0u);
    cache.Add(cListCache::Sphere, 0.0, 12);
    EXPECT_EQ(cache.Find(cListCache::Sphere, -0.0), 0u); // keys compare bit for bit
    EXPECT_EQ(cache.Find(cListCache::Sphere, 0.0), 12u);

    // A wheel notch up and one down need not give the same bits back.
    cView3D v;
    v.Reset();
    v.Wheel(1);
    v.Wheel(-1);
    const bool same = SameBits(v.scale, 4.0);
    EXPECT_EQ(cache.Find(cListCache::Sphere, v.scale) != 0, same);

    // Most recently used first; the least recently used goes when the bound is passed.
    cache.Add(cListCache::Sphere, 5.0, 13); // 13, 12, 11
    cache.Find(cListCache::Sphere, 4.0);    // 11, 13, 12
    EXPECT_EQ(cache.Add(cListCache::Sphere, 6.0, 14), 12u);
    EXPECT_EQ(cache.Size(), 3u);
    EXPECT_EQ(cache.Find(cListCache::Sphere, 0.0), 0u);
    EXPECT_EQ(cache.Find(cListCache::Sphere, 5.0), 13u);
    std::vector<unsigned> names = cache.Clear();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<unsigned>{11, 13, 14}));
    EXPECT_EQ(cache.Size(), 0u);
}

TEST(Scr3dWindow, EventsReachTheViewState)
{
    TfmScr3D w;
    w.show();
    QCoreApplication::processEvents();

    QTest::keyClick(&w, 'a');
    ExpectMatrixNear(w.View.KeyMatrix, RotationMatrix(-1.8, 0, 1, 0));
    QTest::keyClick(&w, '+');
    EXPECT_DOUBLE_EQ(w.View.scale, 4.2);

    // Offscreen there is no GL surface; where there is one, it leaves the mouse to the window.
    QWidget* gl = &w;
    const auto mouse = [&](QEvent::Type t, QPoint p, Qt::MouseButton b, Qt::MouseButtons held) {
        QMouseEvent e(t, p, gl->mapToGlobal(p), b, held, Qt::NoModifier);
        QApplication::sendEvent(gl, &e);
    };
    mouse(QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(w.View.lastX, 10);
    mouse(QEvent::MouseMove, {30, 0}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(w.View.panY, 10);
    EXPECT_EQ(w.View.panZ, -15);
    mouse(QEvent::MouseMove, {34, 4}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.View.angleY, 2.0);
    EXPECT_EQ(w.View.angleZ, 2.0);

    // A wheel notch is 120; half notches add up.
    const double before = w.View.scale;
    for (int delta : {60, 60}) {
        QWheelEvent e(QPointF(5, 5), gl->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(gl, &e);
    }
    EXPECT_TRUE(SameBits(w.View.scale, before * 1.1));

    // Esc hides; showing again keeps the pose.
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    w.show();
    EXPECT_EQ(w.View.panY, 10);
    ExpectMatrixNear(w.View.KeyMatrix, RotationMatrix(-1.8, 0, 1, 0));
    w.btResetClick();
    EXPECT_EQ(w.View.scale, 4.0);
    EXPECT_EQ(w.View.panY, 0);
    ExpectMatrixNear(w.View.KeyMatrix, Identity(), 0);
}

TEST(Scr3dScene, NetworkOfALayout)
{
    cExprData d;
    const char* table = "ID\tName\tA1\tA2\tA3\n"
                        "g1\tgene one\t1\t2\t3\n"
                        "g2\tgene two\t1\t2\t4\n"
                        "g3\tgene three\t3\t2\t1\n"
                        "g4\tgene four\t5\t5\t1\n";
    ASSERT_GT(d.LoadBuffer(table, std::strlen(table)), 0);
    const int pattern[4] = {1, 0, -2, 2};
    for (int g = 0; g < 4; ++g)
        d.Pattern[g] = pattern[g];
    cCEMatrix m;
    ASSERT_TRUE(m.Alloc(4));
    m.At(0, 1) = 77;  // upper triangle: a correlation, not a link
    m.At(2, 0) = -80; // g3 - g1
    m.At(1, 0) = 95;  // g2 - g1, but g2 is not laid out below
    m.At(3, 2) = 91;  // g4 - g3

    cNetworkLayout l;
    l.Genes = {0, 2, 3};
    l.Positions = {cCoord(1, 0, 0), cCoord(0, -2, 0), cCoord(0, 0, 0.5)};
    cScene3D s = NetworkScene(l, d, m);
    ASSERT_EQ(s.Nodes.size(), 3u);
    // Scaled so that the farthest gene lies 15 from the centre.
    EXPECT_EQ(s.Nodes[0].x, 7.5);
    EXPECT_EQ(s.Nodes[1].y, -15.0);
    EXPECT_EQ(s.Nodes[2].z, 3.75);
    // Colours by pattern; a gene in several patterns takes its pattern's colour.
    EXPECT_EQ(s.Colors[0].x, PatternColor(1).x);
    EXPECT_EQ(s.Colors[1].y, PatternColor(2).y);
    EXPECT_EQ(s.Colors[1].z, PatternColor(2).z);
    EXPECT_EQ(PatternColor(-2).x, PatternColor(2).x);
    ASSERT_EQ(s.Links.size(), 2u);
    EXPECT_EQ(s.Links[0].A, 0);
    EXPECT_EQ(s.Links[0].B, 1);
    EXPECT_EQ(s.Links[0].Sign, -1);
    EXPECT_EQ(s.Links[1].A, 1);
    EXPECT_EQ(s.Links[1].B, 2);
    EXPECT_EQ(s.Links[1].Sign, 1);
    EXPECT_EQ(s.NodeRadius, 1.0);

    // Thousands of genes get smaller spheres; all at the centre stays put.
    cNetworkLayout many;
    for (int i = 0; i < 8000; ++i) {
        many.Genes.push_back(-1);
        many.Positions.emplace_back(0, 0, 0);
    }
    s = NetworkScene(many, d, m);
    EXPECT_EQ(s.Nodes.size(), 8000u);
    EXPECT_LT(s.NodeRadius, 0.5);
    EXPECT_TRUE(s.Links.empty());
    EXPECT_EQ(s.Nodes[7].Length(), 0.0);
    EXPECT_TRUE(NetworkScene(cNetworkLayout(), d, m).Nodes.empty());

    TfmScr3D w;
    const double first = w.Generated.nodes[1].x;
    w.ShowNetwork(l, d, m);
    EXPECT_TRUE(w.ShowsNetwork());
    EXPECT_EQ(w.Scene.Nodes.size(), 3u);
    w.ShowGeneratedScene();
    EXPECT_FALSE(w.ShowsNetwork());
    EXPECT_EQ(w.Scene.Nodes[1].x, first);
}
