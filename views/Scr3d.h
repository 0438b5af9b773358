// The 3D network window: lit spheres for genes, coloured lines for their links, turned, shifted
// and zoomed with mouse and keyboard. Before any network job it shows a small network generated
// at start-up; after one it shows the genes laid out by their principal components.
//
// The view's logic lives in plain classes (scene, view state, list cache) so that it can be
// tested without an OpenGL context; TfmScr3D and its GL widget only draw what they hold.
#pragma once

#include <QOpenGLWidget>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>

class cCEMatrix;
class cExprData;

// Three doubles: a position, or a colour as red, green, blue in 0..1.
class cCoord {
  public:
    cCoord() = default;
    cCoord(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    virtual ~cCoord() = default;
    cCoord(const cCoord&) = default;
    cCoord& operator=(const cCoord&) = default;

    void Clear() { x = y = z = 0; }
    void Set(double x_, double y_, double z_)
    {
        x = x_;
        y = y_;
        z = z_;
    }
    double Length() const;
    // Scales to length r; a zero vector stays zero.
    void SetLength(double r);
    // A random point on the sphere of radius r (the process-wide generator).
    void SetRandom(double r);

    double x = 0, y = 0, z = 0;
};

// Euclidean distance; 0 when either is absent.
double Distance(const cCoord* a, const cCoord* b);

// The generated network: node 0 in the centre linked to all others, 19 nodes on a sphere.
struct cGeneratedNet {
    static constexpr int N = 20;
    cCoord nodes[N];
    cCoord colors[N];
    std::int8_t links[N][N] = {}; // used for i <= j: +1, -1 or 0

    // Draws the whole network from the process-wide random generator.
    void Generate();
};

// What a frame draws: spheres at positions (times the zoom) and lines between them.
struct cScene3D {
    struct cLink {
        int A, B;
        std::int8_t Sign; // +1 red, -1 blue
    };
    std::vector<cCoord> Nodes;
    std::vector<cCoord> Colors;
    std::vector<cLink> Links; // in drawing order
    double NodeRadius = 1.0;  // sphere radius before the zoom

    static cScene3D FromGenerated(const cGeneratedNet& net);
};

// The genes of a layout read back from the network job, with their coordinates.
struct cNetworkLayout {
    std::vector<int> Genes;        // gene index of each node
    std::vector<cCoord> Positions; // PC1, PC2, PC3 of each node
};

// The real network: one node per laid-out gene, scaled so that the farthest lies SceneRadius from
// the centre, coloured by its pattern, a link for every co-expressed pair of laid-out genes.
cScene3D NetworkScene(const cNetworkLayout& layout, const cExprData& data, const cCEMatrix& matrix);
// The colour of a pattern label (0: none; a negative label is a gene in several patterns).
cCoord PatternColor(int pattern);

// Projection of a client area of w x h pixels: a square viewport of the larger side anchored at the
// bottom-left corner, an orthographic volume of +-100 with near -1000 and far 1000, the eye on +x.
struct cProjection {
    int ViewportSize = 0;
    static constexpr double Half = 100.0, Near = -1000.0, Far = 1000.0;
    static cProjection For(int w, int h) { return {w > h ? w : h}; }
};

// Zoom, shift, turn and sensitivity of the view, and the rotations keys have multiplied into
// the model-view matrix (column-major, as OpenGL keeps it).
class cView3D {
  public:
    enum class cKeyEffect { Repaint, Close };

    cView3D();
    void Reset();
    cKeyEffect KeyPress(char key);
    void MouseDown(int x, int y);
    // Returns true when a frame is to be drawn at once (a button was held).
    bool MouseMove(int x, int y, bool left, bool right);
    // One wheel notch up (delta > 0) or down (delta < 0).
    void Wheel(int delta);

    double scale = 10.0;
    double step = 0.5;
    int lastX = 0, lastY = 0;
    int panY = 0, panZ = 0;
    double angleY = 0, angleZ = 0;
    std::array<double, 16> KeyMatrix;

  private:
    void Rotate(double angle, double ax, double ay, double az);
};

// The product m * r of two column-major 4x4 matrices, and glRotated's rotation matrix.
std::array<double, 16> MatMul(const std::array<double, 16>& m, const std::array<double, 16>& r);
std::array<double, 16> RotationMatrix(double angle, double x, double y, double z);

// Compiled display lists keyed by a drawing kind and its parameter (compared bit for bit), most
// recently used first. The cache holds at most Capacity lists; adding one more evicts the least
// recently used, whose name the caller then deletes.
class cListCache {
  public:
    // A sphere of 16 slices and stacks; a coarse one of 8 for spheres only a few pixels wide.
    enum cKind { Sphere = 1, CoarseSphere = 2 };
    struct cEntry {
        int Kind;
        double Param;
        unsigned Name;
    };
    explicit cListCache(std::size_t capacity = 32) : Capacity(capacity) {}

    // The list compiled for the key, moved to the front; 0 when there is none.
    unsigned Find(int kind, double param);
    // Adds a new list at the front; returns the name of an evicted list, or 0.
    unsigned Add(int kind, double param, unsigned name);
    // Forgets everything, returning the names to delete.
    std::vector<unsigned> Clear();
    std::size_t Size() const { return Entries.size(); }
    const std::list<cEntry>& Items() const { return Entries; }

    const std::size_t Capacity;

  private:
    std::list<cEntry> Entries;
};

class cGLView;

class TfmScr3D : public QWidget {
    Q_OBJECT
  public:
    explicit TfmScr3D(QWidget* parent = nullptr);
    ~TfmScr3D() override;

    // Shows the network of a layout read back from the network job.
    void ShowNetwork(const cNetworkLayout& layout, const cExprData& data, const cCEMatrix& matrix);
    // Back to the network generated at start-up.
    void ShowGeneratedScene();
    bool ShowsNetwork() const { return Network; }

    // Handlers (also called by tests).
    void btResetClick();
    void FormKeyPress(char key);
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y, bool left, bool right);
    void FormMouseWheel(int delta);

    cGeneratedNet Generated;
    cScene3D Scene;
    cView3D View;
    // The OpenGL surface; null where the platform offers no OpenGL (the window then stays black
    // with a note, and keeps its state).
    cGLView* glView = nullptr;

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    // The GL surface leaves mouse events to the window.
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    void Repaint();

    QTimer FrameTimer;
    bool Network = false;
    int WheelRest = 0;
};

// The OpenGL surface of the window (compatibility profile, fixed-function lighting).
class cGLView : public QOpenGLWidget {
    Q_OBJECT
  public:
    explicit cGLView(TfmScr3D* owner);
    ~cGLView() override;

    // Drops the cached line arrays after the scene changed.
    void SceneChanged();
    cListCache Cache;
    // Frames drawn so far.
    long Frames = 0;

  protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

  private:
    void SetupLighting();
    void SetProjection();
    void RenderScene();
    void DrawSphere(double r, bool coarse = false);
    void ReleaseLists();

    TfmScr3D* Owner;
    cProjection Projection;
    std::vector<float> LineVertices;
    std::vector<float> LineColors;
    bool LinesReady = false;
};
