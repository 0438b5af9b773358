#include "views/Scr3d.h"

#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "engine/Numeric.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <bit>
#include <cmath>

// ---- cCoord ----

double cCoord::Length() const
{
    return std::sqrt(x * x + y * y + z * z);
}

void cCoord::SetLength(double r)
{
    const double l = Length();
    if (l == 0) return;
    x = x * r / l;
    y = r * y / l;
    z = r * z / l;
}

void cCoord::SetRandom(double r)
{
    do {
        x = RandRange(-1, 1);
        y = RandRange(-1, 1);
        z = RandRange(-1, 1);
    } while (x * x + y * y + z * z > 1);
    SetLength(r);
}

double Distance(const cCoord* a, const cCoord* b)
{
    if (!a || !b) return 0;
    return std::sqrt(Sqr(a->x - b->x) + Sqr(a->y - b->y) + Sqr(a->z - b->z));
}

// ---- scenes ----

void cGeneratedNet::Generate()
{
    nodes[0].Set(0, 0, 0);
    colors[0].Set(1, 1, 1);
    for (int i = 1; i < N; ++i) {
        double d;
        do {
            nodes[i].SetRandom(10);
            d = 1e10;
            for (int j = 0; j < i; ++j)
                d = std::min(d, Distance(&nodes[i], &nodes[j]));
        } while (d < 5);
        switch (RandInt(0, 2)) {
        case 0:
            colors[i].Set(1.0, 1.0, 0.2);
            break;
        case 1:
            colors[i].Set(0.2, 1.0, 1.0);
            break;
        default:
            colors[i].Set(0.5, 0.0, 1.0);
            break;
        }
    }
    for (int i = 0; i < N - 1; ++i)
        for (int j = i; j < N; ++j) {
            if (i == 0)
                links[0][j] = RandUniform() > 0.2 ? 1 : -1;
            else if (RandUniform() > 0.9)
                links[i][j] = RandUniform() > 0.5 ? 1 : -1;
            else
                links[i][j] = 0;
        }
}

cScene3D cScene3D::FromGenerated(const cGeneratedNet& net)
{
    cScene3D s;
    s.Nodes.assign(std::begin(net.nodes), std::end(net.nodes));
    s.Colors.assign(std::begin(net.colors), std::end(net.colors));
    for (int i = 0; i < cGeneratedNet::N - 1; ++i)
        for (int j = i; j < cGeneratedNet::N; ++j)
            if (net.links[i][j] != 0) s.Links.push_back({i, j, net.links[i][j]});
    s.NodeRadius = 1.0;
    return s;
}

cCoord PatternColor(int pattern)
{
    static const double palette[][3] = {
        {1.0, 1.0, 0.2}, {0.2, 1.0, 1.0}, {0.6, 0.3, 1.0}, {1.0, 0.5, 0.1}, {0.3, 1.0, 0.3}, {1.0, 0.4, 0.7},
        {0.4, 0.6, 1.0}, {0.8, 1.0, 0.5}, {1.0, 0.8, 0.6}, {0.6, 1.0, 0.8}, {0.9, 0.6, 1.0}, {1.0, 0.3, 0.3},
    };
    if (pattern == 0) return {0.6, 0.6, 0.6};
    const unsigned k =
        (static_cast<unsigned>(pattern < 0 ? -(pattern + 1) : pattern - 1)) % std::size(palette);
    return {palette[k][0], palette[k][1], palette[k][2]};
}

cScene3D NetworkScene(const cNetworkLayout& layout, const cExprData& data, const cCEMatrix& matrix)
{
    // The farthest gene lies this far from the centre (the generated nodes lie at 10).
    constexpr double SceneRadius = 15.0;
    cScene3D s;
    const std::size_t n = std::min(layout.Genes.size(), layout.Positions.size());
    double far = 0;
    for (std::size_t k = 0; k < n; ++k)
        far = std::max(far, layout.Positions[k].Length());
    const double f = far > 0 ? SceneRadius / far : 1.0;
    s.Nodes.reserve(n);
    s.Colors.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const cCoord& p = layout.Positions[k];
        s.Nodes.emplace_back(p.x * f, p.y * f, p.z * f);
        const int g = layout.Genes[k];
        s.Colors.push_back(PatternColor(g >= 0 && g < data.nGenes && data.Pattern ? data.Pattern[g] : 0));
    }
    // Many genes: smaller spheres, so that the links between them stay visible.
    s.NodeRadius = std::clamp(4.0 / std::cbrt(static_cast<double>(std::max<std::size_t>(n, 1))), 0.3, 1.0);
    // Pairs in row order of the lower triangle: row of the later gene, column of the earlier.
    for (std::size_t b = 1; b < n; ++b) {
        const int gb = layout.Genes[b];
        if (gb < 0 || gb >= matrix.Size()) continue;
        const std::int8_t* row = matrix.Row(gb);
        for (std::size_t a = 0; a < b; ++a) {
            const int ga = layout.Genes[a];
            if (ga < 0 || ga >= gb) continue;
            const std::int8_t v = row[ga];
            if (v != 0)
                s.Links.push_back(
                    {static_cast<int>(a), static_cast<int>(b), static_cast<std::int8_t>(v > 0 ? 1 : -1)});
        }
    }
    return s;
}

// ---- view state ----

std::array<double, 16> MatMul(const std::array<double, 16>& m, const std::array<double, 16>& r)
{
    std::array<double, 16> p{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += m[k * 4 + row] * r[c * 4 + k];
            p[c * 4 + row] = sum;
        }
    return p;
}

std::array<double, 16> RotationMatrix(double angle, double x, double y, double z)
{
    std::array<double, 16> r{};
    r[15] = 1;
    const double len = std::sqrt(x * x + y * y + z * z);
    if (len == 0) {
        r[0] = r[5] = r[10] = 1;
        return r;
    }
    x /= len;
    y /= len;
    z /= len;
    const double a = angle * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a), t = 1 - c;
    // Column-major: r[column * 4 + row].
    r[0] = x * x * t + c;
    r[1] = y * x * t + z * s;
    r[2] = x * z * t - y * s;
    r[4] = x * y * t - z * s;
    r[5] = y * y * t + c;
    r[6] = y * z * t + x * s;
    r[8] = x * z * t + y * s;
    r[9] = y * z * t - x * s;
    r[10] = z * z * t + c;
    return r;
}

cView3D::cView3D()
{
    KeyMatrix = RotationMatrix(0, 0, 0, 1);
}

void cView3D::Reset()
{
    KeyMatrix = RotationMatrix(0, 0, 0, 1);
    angleY = angleZ = 0;
    panZ = -20;
    panY = 0;
    scale = 4.0;
}

void cView3D::Rotate(double angle, double ax, double ay, double az)
{
    KeyMatrix = MatMul(KeyMatrix, RotationMatrix(angle, ax, ay, az));
}

cView3D::cKeyEffect cView3D::KeyPress(char key)
{
    switch (UpCase(key)) {
    case 27:
        return cKeyEffect::Close;
    case '*':
        step *= 2;
        break;
    case '/':
        step *= 0.5;
        break;
    case '+':
        scale *= 1 + 0.1 * step;
        break;
    case '-':
        scale /= 1 + 0.1 * step;
        break;
    case 'A':
        Rotate(-3.6 * step, 0, 1, 0);
        break;
    case 'S':
        Rotate(3.6 * step, 0, 1, 0);
        break;
    case 'Q':
        Rotate(-3.6 * step, 1, 0, 0);
        break;
    case 'W':
        Rotate(3.6 * step, 1, 0, 0);
        break;
    case 'Z':
        Rotate(-3.6 * step, 0, 0, 1);
        break;
    case 'X':
        Rotate(3.6 * step, 0, 0, 1);
        break;
    default:
        break;
    }
    return cKeyEffect::Repaint;
}

void cView3D::MouseDown(int x, int y)
{
    lastX = x;
    lastY = y;
}

namespace {

// Truncation toward zero, kept inside int: a step doubled many times must not overflow.
int TruncPan(double v)
{
    return static_cast<int>(std::clamp(v, -1e9, 1e9));
}

} // namespace

bool cView3D::MouseMove(int x, int y, bool left, bool right)
{
    if (left) {
        angleY = angleY + (y - lastY) * step;
        angleZ = angleZ + (x - lastX) * step;
    } else if (right) {
        panY = TruncPan(panY + (x - lastX) * step);
        panZ = TruncPan(panZ + (lastY - y) * step);
    } else {
        return false;
    }
    lastX = x;
    lastY = y;
    return true;
}

void cView3D::Wheel(int delta)
{
    if (delta > 0)
        scale *= 1.1;
    else if (delta < 0)
        scale *= 0.9090909090909091;
}

// ---- list cache ----

unsigned cListCache::Find(int kind, double param)
{
    for (auto it = Entries.begin(); it != Entries.end(); ++it)
        if (it->Kind == kind &&
            std::bit_cast<std::uint64_t>(it->Param) == std::bit_cast<std::uint64_t>(param)) {
            Entries.splice(Entries.begin(), Entries, it);
            return Entries.front().Name;
        }
    return 0;
}

unsigned cListCache::Add(int kind, double param, unsigned name)
{
    Entries.push_front({kind, param, name});
    if (Entries.size() <= Capacity) return 0;
    const unsigned evicted = Entries.back().Name;
    Entries.pop_back();
    return evicted;
}

std::vector<unsigned> cListCache::Clear()
{
    std::vector<unsigned> names;
    for (const cEntry& e : Entries)
        names.push_back(e.Name);
    Entries.clear();
    return names;
}

// ---- window ----

namespace {

// Whether this platform can give the window an OpenGL context at all (a headless one cannot).
bool OpenGLAvailable()
{
    QOpenGLContext probe;
    return probe.create();
}

} // namespace

TfmScr3D::TfmScr3D(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("fmScr3D");
    setWindowTitle("Gene coexpression network");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    resize(507, 516);
    setFocusPolicy(Qt::StrongFocus);

    Generated.Generate();
    Scene = cScene3D::FromGenerated(Generated);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (OpenGLAvailable()) {
        glView = new cGLView(this);
        layout->addWidget(glView);
    } else {
        auto* note = new QLabel(QStringLiteral("OpenGL is not available on this display."), this);
        note->setAlignment(Qt::AlignCenter);
        note->setStyleSheet(QStringLiteral("color: white"));
        note->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(note);
    }

    // Redraw continuously while visible, at most at the display's pace.
    FrameTimer.setInterval(16);
    connect(&FrameTimer, &QTimer::timeout, this, &TfmScr3D::Repaint);
    btResetClick();
}

TfmScr3D::~TfmScr3D() = default;

void TfmScr3D::Repaint()
{
    if (glView) glView->update();
}

void TfmScr3D::ShowNetwork(const cNetworkLayout& layout, const cExprData& data, const cCEMatrix& matrix)
{
    Scene = NetworkScene(layout, data, matrix);
    Network = true;
    if (glView) glView->SceneChanged();
}

void TfmScr3D::ShowGeneratedScene()
{
    Scene = cScene3D::FromGenerated(Generated);
    Network = false;
    if (glView) glView->SceneChanged();
}

void TfmScr3D::btResetClick()
{
    View.Reset();
    Repaint();
}

void TfmScr3D::FormKeyPress(char key)
{
    if (View.KeyPress(key) == cView3D::cKeyEffect::Close)
        close();
    else
        Repaint();
}

void TfmScr3D::FormMouseDown(int x, int y)
{
    View.MouseDown(x, y);
    Repaint();
}

void TfmScr3D::FormMouseMove(int x, int y, bool left, bool right)
{
    View.MouseMove(x, y, left, right);
    Repaint();
}

void TfmScr3D::FormMouseWheel(int delta)
{
    View.Wheel(delta);
    Repaint();
}

void TfmScr3D::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    FrameTimer.start();
    Repaint();
}

void TfmScr3D::hideEvent(QHideEvent* e)
{
    FrameTimer.stop();
    QWidget::hideEvent(e);
}

void TfmScr3D::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        FormKeyPress(27);
        return;
    }
    const QString text = e->text();
    if (text.size() == 1 && text[0].unicode() < 128) {
        FormKeyPress(static_cast<char>(text[0].unicode()));
        return;
    }
    QWidget::keyPressEvent(e);
}

// ---- OpenGL surface ----

cGLView::cGLView(TfmScr3D* owner) : QOpenGLWidget(owner), Owner(owner)
{
    setObjectName("glScene");
    QSurfaceFormat fmt;
    fmt.setRenderableType(QSurfaceFormat::OpenGL);
    fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
    fmt.setVersion(2, 1);
    fmt.setDepthBufferSize(24);
    fmt.setRedBufferSize(8);
    fmt.setGreenBufferSize(8);
    fmt.setBlueBufferSize(8);
    setFormat(fmt);
    setFocusPolicy(Qt::NoFocus);
}

cGLView::~cGLView()
{
    ReleaseLists();
}

void cGLView::ReleaseLists()
{
    if (!context()) return;
    makeCurrent();
    for (unsigned name : Cache.Clear())
        glDeleteLists(name, 1);
    doneCurrent();
}

void cGLView::SceneChanged()
{
    LinesReady = false;
    update();
}

void cGLView::initializeGL()
{
    // Lists belong to the context; a new context starts with an empty cache.
    Cache.Clear();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &cGLView::ReleaseLists,
            Qt::UniqueConnection);
    SetupLighting();
}

void cGLView::SetupLighting()
{
    static const GLfloat lightPos[4] = {100, 100, 100, 1};
    static const GLfloat spotDir[3] = {-1, -1, -1};
    static const GLfloat ambient[4] = {0.3f, 0.3f, 0.3f, 1};
    static const GLfloat material[4] = {1, 1, 1, 1};
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, lightPos);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spotDir);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, material);
}

void cGLView::resizeGL(int w, int h)
{
    Projection = cProjection::For(w, h);
}

void cGLView::SetProjection()
{
    const qreal dpr = devicePixelRatioF();
    Projection = cProjection::For(qRound(width() * dpr), qRound(height() * dpr));
    glViewport(0, 0, Projection.ViewportSize, Projection.ViewportSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-cProjection::Half, cProjection::Half, -cProjection::Half, cProjection::Half, cProjection::Near,
            cProjection::Far);
    gluLookAt(1, 0, 0, 0, 0, 0, 0, 0, 1);
    glMatrixMode(GL_MODELVIEW);
}

void cGLView::paintGL()
{
    SetProjection();
    RenderScene();
    ++Frames;
}

void cGLView::DrawSphere(double r, bool coarse)
{
    const int kind = coarse ? cListCache::CoarseSphere : cListCache::Sphere;
    const int slices = coarse ? 8 : 16;
    unsigned name = Cache.Find(kind, r);
    if (name) {
        glCallList(name);
        return;
    }
    GLUquadric* q = gluNewQuadric();
    name = glGenLists(1);
    if (name) glNewList(name, GL_COMPILE_AND_EXECUTE);
    gluQuadricDrawStyle(q, GLU_FILL);
    gluQuadricNormals(q, GLU_SMOOTH);
    gluSphere(q, r, slices, slices);
    if (name) {
        glEndList();
        if (const unsigned evicted = Cache.Add(kind, r, name)) glDeleteLists(evicted, 1);
    }
    gluDeleteQuadric(q);
}

void cGLView::RenderScene()
{
    const cScene3D& scene = Owner->Scene;
    const cView3D& v = Owner->View;

    if (!LinesReady) {
        LineVertices.clear();
        LineColors.clear();
        LineVertices.reserve(scene.Links.size() * 6);
        LineColors.reserve(scene.Links.size() * 6);
        for (const cScene3D::cLink& l : scene.Links) {
            const float r = l.Sign > 0 ? 0.8f : 0.2f, g = l.Sign > 0 ? 0.2f : 0.5f,
                        b = l.Sign > 0 ? 0.2f : 1.0f;
            for (const cCoord* p : {&scene.Nodes[l.A], &scene.Nodes[l.B]}) {
                LineVertices.insert(LineVertices.end(), {static_cast<float>(p->x), static_cast<float>(p->y),
                                                         static_cast<float>(p->z)});
                LineColors.insert(LineColors.end(), {r, g, b});
            }
        }
        LinesReady = true;
    }

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(v.KeyMatrix.data());
    glPushMatrix();
    glTranslated(0, v.panY, v.panZ);
    glRotated(v.angleY, 0, 1, 0);
    glRotated(v.angleZ, 0, 0, 1);

    glEnable(GL_LIGHTING);
    const double radius = v.scale * scene.NodeRadius;
    // Thousands of genes make spheres a few pixels wide, where 8 slices look as round as 16 at a
    // quarter of the cost; the generated scene keeps its 16.
    const bool coarse =
        Owner->ShowsNetwork() && radius * Projection.ViewportSize / (2 * cProjection::Half) < 6;
    for (std::size_t i = 0; i < scene.Nodes.size(); ++i) {
        glPushMatrix();
        const cCoord& c = scene.Colors[i];
        glColor3d(c.x, c.y, c.z);
        const cCoord& p = scene.Nodes[i];
        glTranslated(v.scale * p.x, v.scale * p.y, v.scale * p.z);
        DrawSphere(radius, coarse);
        glPopMatrix();
    }

    glDisable(GL_LIGHTING);
    if (!LineVertices.empty()) {
        glPushMatrix();
        glScaled(v.scale, v.scale, v.scale);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, LineVertices.data());
        glColorPointer(3, GL_FLOAT, 0, LineColors.data());
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(LineVertices.size() / 3));
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        glPopMatrix();
    }

    glColor3d(0.5, 0.5, 0.5);
    glBegin(GL_LINES);
    glVertex3d(0, 0, 0);
    glVertex3d(100, 0, 0);
    glVertex3d(0, 0, 0);
    glVertex3d(0, 100, 0);
    glVertex3d(0, 0, 0);
    glVertex3d(0, 0, 100);
    glEnd();

    glPopMatrix();
}

void TfmScr3D::mousePressEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    FormMouseDown(p.x(), p.y());
}

void TfmScr3D::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    FormMouseMove(p.x(), p.y(), e->buttons() & Qt::LeftButton, e->buttons() & Qt::RightButton);
}

void TfmScr3D::wheelEvent(QWheelEvent* e)
{
    // A mouse wheel notch is 120; finer devices (touchpads) add up to whole notches.
    WheelRest += e->angleDelta().y();
    while (WheelRest >= 120) {
        WheelRest -= 120;
        FormMouseWheel(1);
    }
    while (WheelRest <= -120) {
        WheelRest += 120;
        FormMouseWheel(-1);
    }
    e->accept();
}
