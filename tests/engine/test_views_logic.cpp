// Pictures, bins and quartiles behind the map, histogram and profile windows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "ExprData.h"
#include "Histogram.h"
#include "MapImage.h"
#include "Quartiles.h"

namespace {

constexpr float Missing = std::numeric_limits<float>::infinity();

// A square matrix of signed cells, row-major, all 0.
struct Matrix {
    explicit Matrix(int size) : n(size), cells(static_cast<std::size_t>(size) * size, 0) {}
    std::int8_t& at(int row, int col) { return cells[static_cast<std::size_t>(row) * n + col]; }
    void diagonal(std::int8_t v)
    {
        for (int k = 0; k < n; ++k)
            at(k, k) = v;
    }
    int n;
    std::vector<std::int8_t> cells;
};

struct Image {
    Image(int side) : side(side), px(static_cast<std::size_t>(side) * side, 0) {}
    std::uint32_t at(int x, int y) const { return px[static_cast<std::size_t>(y) * side + x]; }
    int side;
    std::vector<std::uint32_t> px;
};

Image Map(const Matrix& m)
{
    Image img(MapSide);
    DrawCEMap(m.cells.data(), m.n, img.px.data(), MapSide);
    return img;
}

Image MapByDefinition(const Matrix& m)
{
    Image img(MapSide);
    DrawCEMapByDefinition(m.cells.data(), m.n, img.px.data(), MapSide);
    return img;
}

int CountColour(const Image& img, std::uint32_t c)
{
    int k = 0;
    for (std::uint32_t p : img.px)
        k += p == c;
    return k;
}

} // namespace

TEST(MapImage, DotIsRimmedEllipse)
{
    // A 4 x 4 box: the corners stay outside, the 8 edge pixels are the black
    // rim and the 2 x 2 inside carries the colour.
    Image img(MapSide);
    std::fill(img.px.begin(), img.px.end(), MapWhite);
    DrawMapDot(img.px.data(), MapSide, 10, 20, 14, 24, MapRed);
    const char* expected[] = {".XX.", "XrrX", "XrrX", ".XX."};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const char e = expected[y][x];
            const std::uint32_t want = e == '.' ? MapWhite : e == 'X' ? MapBlack : MapRed;
            EXPECT_EQ(img.at(10 + x, 20 + y), want) << x << "," << y;
        }
    EXPECT_EQ(CountColour(img, MapRed), 4);
    EXPECT_EQ(CountColour(img, MapBlack), 8);

    // Dots hanging over the edge are clipped, not wrapped or written outside.
    Image edge(MapSide);
    std::fill(edge.px.begin(), edge.px.end(), MapWhite);
    DrawMapDot(edge.px.data(), MapSide, -2, 498, 2, 502, MapBlue);
    EXPECT_EQ(edge.at(0, 499), MapBlue);
    EXPECT_EQ(edge.at(1, 499), MapBlack);
    EXPECT_EQ(CountColour(edge, MapBlue) + CountColour(edge, MapBlack), 3);
}

TEST(MapImage, SmallTableDrawsMirroredDots)
{
    // N = 4: s = 125, so the pair (i, j) gets a dot whose box starts at
    // (125 i + 123, 125 j + 123), and its mirror with x and y exchanged.
    Matrix m(4);
    m.diagonal(100);
    m.at(2, 0) = 57;  // positive pair (0, 2)
    m.at(3, 1) = -93; // negative pair (1, 3)
    m.at(0, 2) = -20; // upper triangle: never drawn
    const Image img = Map(m);
    const auto centre = [&](int i, int j) { return img.at(125 * i + 124, 125 * j + 124); };
    const auto rim = [&](int i, int j) { return img.at(125 * i + 123, 125 * j + 124); };
    struct Case {
        int i, j;
        std::uint32_t colour;
    } cases[] = {
        {0, 2, MapRed},   {2, 0, MapRed},   {1, 3, MapBlue},  {3, 1, MapBlue},  {0, 0, MapRed},
        {1, 1, MapRed},   {2, 2, MapRed},   {3, 3, MapWhite}, // the last diagonal cell is never visited
        {0, 1, MapWhite}, {1, 0, MapWhite}, {0, 3, MapWhite}, {2, 3, MapWhite},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(centre(c.i, c.j), c.colour) << c.i << "," << c.j;
        EXPECT_EQ(rim(c.i, c.j), c.colour == MapWhite ? MapWhite : MapBlack) << c.i << "," << c.j;
    }
    // Seven marks of 4 coloured and 8 rim pixels each, nothing else; the two
    // blue dots at gene 3 hang over the image's edge and keep their top half.
    EXPECT_EQ(CountColour(img, MapRed), 5 * 4);
    EXPECT_EQ(CountColour(img, MapBlue), 2 * 2);
    EXPECT_EQ(CountColour(img, MapBlack), 5 * 8 + 2 * 4);
}

TEST(MapImage, OverlappingDotsLastDrawnWins)
{
    // N = 500 (still dots, s = 1). Column 10 is visited as (10,10) then (10,11)
    // and its mirror, so the later dots paint over the diagonal dot.
    Matrix m(500);
    m.at(10, 10) = 100;
    m.at(11, 10) = -50;
    const Image img = Map(m);
    EXPECT_EQ(img.at(10, 10), MapBlack);    // red inside of the diagonal dot, then both later rims
    EXPECT_EQ(img.at(10, 11), MapBlack);    // blue from the pair, then the mirror's rim
    EXPECT_EQ(img.at(10, 12), MapBlue);     // the pair's inside, outside the mirror
    EXPECT_EQ(img.at(12, 10), MapBlue);     // the mirror's inside
    EXPECT_EQ(img.at(11, 11), MapBlue);     // both later dots' insides cover the diagonal's
    EXPECT_EQ(img.at(9, 9), MapWhite);      // a corner of the diagonal dot's box
    EXPECT_EQ(CountColour(img, MapRed), 0); // the diagonal dot is covered entirely
}

TEST(MapImage, LargeTablePixelsAndMirror)
{
    // N = 1000: two genes per pixel; gene 999 maps to 499.
    Matrix m(1000);
    m.at(999, 0) = 40;
    m.at(999, 999) = 100; // the last diagonal cell is never visited
    m.at(500, 300) = -70;
    const Image img = Map(m);
    EXPECT_EQ(img.at(0, 499), MapRed);
    EXPECT_EQ(img.at(499, 0), MapRed);
    EXPECT_EQ(img.at(150, 250), MapBlue);
    EXPECT_EQ(img.at(250, 150), MapBlue);
    EXPECT_EQ(img.at(499, 499), MapWhite);
    EXPECT_EQ(CountColour(img, MapWhite), MapSide * MapSide - 4);
}

TEST(MapImage, SharedPixelGoesToLastVisitedPair)
{
    // N = 1000: pixel (0, 1) gathers columns 0-1 and rows 2-3. The visiting
    // order is column-major, so the largest column wins, then the largest row;
    // a row-by-row reading must not let row 3 column 0 win over row 2 column 1.
    struct Case {
        std::int8_t r2c0, r3c0, r2c1, r3c1;
        std::uint32_t expected;
    } cases[] = {
        {0, -5, 7, 0, MapRed}, {0, 0, 7, -5, MapBlue}, {-5, 0, 0, 0, MapBlue}, {5, -5, 0, 0, MapBlue},
        {-5, 5, 0, 0, MapRed}, {0, 0, 0, 0, MapWhite}, {5, 5, -5, 0, MapBlue}, {-5, -5, 0, 5, MapRed},
    };
    for (const Case& c : cases) {
        Matrix m(1000);
        m.at(2, 0) = c.r2c0;
        m.at(3, 0) = c.r3c0;
        m.at(2, 1) = c.r2c1;
        m.at(3, 1) = c.r3c1;
        const Image img = Map(m);
        EXPECT_EQ(img.at(0, 1), c.expected);
        EXPECT_EQ(img.at(1, 0), c.expected);
        EXPECT_EQ(img.px, MapByDefinition(m).px);
    }
}

TEST(MapImage, FastPathEqualsDefinition)
{
    // Random sign patterns of many densities and sizes just above the dot
    // mode, with uneven numbers of genes per pixel.
    std::mt19937 rng(20240611);
    const int sizes[] = {501, 523, 777, 1000, 1499};
    const double densities[] = {0.0005, 0.01, 0.2, 0.9};
    for (int n : sizes)
        for (double p : densities) {
            Matrix m(n);
            std::bernoulli_distribution hit(p), positive(0.6);
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    if (hit(rng)) m.at(j, i) = positive(rng) ? 42 : -42;
            const Image fast = Map(m);
            ASSERT_EQ(fast.px, MapByDefinition(m).px) << "n=" << n << " p=" << p;
            // The picture is symmetric.
            for (int y = 0; y < MapSide; ++y)
                for (int x = 0; x < y; ++x)
                    ASSERT_EQ(fast.at(x, y), fast.at(y, x)) << n << " " << p;
        }
}

TEST(MapImage, FastPathEqualsDefinitionWithWideColumns)
{
    // N = 5000: ten genes per pixel, so zero stretches within a row and
    // within one pixel's share of it span whole words. Scattered cells, a few
    // dense rows and cells at word and pixel edges.
    const int n = 5000;
    Matrix m(n);
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> gene(0, n - 1);
    for (int k = 0; k < 40000; ++k) {
        const int a = gene(rng), b = gene(rng);
        m.at(std::max(a, b), std::min(a, b)) = (k % 3) ? 12 : -12;
    }
    for (int j : {7, 2500, 2501, 4999})
        for (int i = 0; i <= j; ++i)
            if (i % 7 != 3) m.at(j, i) = (i % 5) ? -3 : 3;
    for (int j = 100; j < n; j += 97)
        for (int i : {0, 7, 8, 9, 10, 31, 32, 33, 39, 40})
            if (i <= j) m.at(j, i) = m.at(j, i) ? static_cast<std::int8_t>(-m.at(j, i)) : 1;
    EXPECT_EQ(Map(m).px, MapByDefinition(m).px);
}

TEST(MapImage, EmptyInputsGiveWhiteMap)
{
    Matrix one(1);
    one.diagonal(100);
    EXPECT_EQ(CountColour(Map(one), MapWhite), MapSide * MapSide); // its only cell is the last diagonal one
    Image img(MapSide);
    DrawCEMap(nullptr, 0, img.px.data(), MapSide);
    EXPECT_EQ(CountColour(img, MapWhite), MapSide * MapSide);
}

TEST(MapClick, ReadOutsAndCorners)
{
    struct Case {
        int x, y, n;
        int gx, gy, h, left, top, right, bottom;
    } cases[] = {
        {250, 250, 1000, 501, 501, 1, 450, 450, 549, 549}, {0, 0, 1000, 1, 1, 1, -50, -50, 49, 49},
        {499, 0, 1000, 999, 1, 1, 948, -50, 1047, 49},     {250, 100, 10, 5, 2, 0, -45, -48, 54, 51},
        {10, 20, 499, 10, 20, 0, -40, -30, 59, 69},        {10, 20, 500, 11, 21, 1, -40, -30, 59, 69},
        {10, 20, 1499, 31, 61, 1, -20, 10, 79, 109},       {10, 20, 1500, 32, 62, 2, -20, 10, 79, 109},
    };
    for (const Case& c : cases) {
        const cMapClick k = MapClickAt(c.x, c.y, c.n);
        EXPECT_EQ(k.gx, c.gx) << c.x << "," << c.y << " n=" << c.n;
        EXPECT_EQ(k.gy, c.gy) << c.x << "," << c.y << " n=" << c.n;
        EXPECT_EQ(k.h, c.h) << c.n;
        EXPECT_EQ(k.left, c.left) << c.x << " n=" << c.n;
        EXPECT_EQ(k.top, c.top) << c.y << " n=" << c.n;
        EXPECT_EQ(k.right, c.right) << c.x << " n=" << c.n;
        EXPECT_EQ(k.bottom, c.bottom) << c.y << " n=" << c.n;
    }
}

TEST(MapClick, CloseUpShowsPairsMirroredWithGreyBorders)
{
    Matrix m(1000);
    m.diagonal(100);
    m.at(500, 460) = 30;
    m.at(20, 5) = -30;
    Image img(CloseUpSide);

    // Centre of the map: genes 450..549 both ways, all inside.
    DrawCloseUp(m.cells.data(), m.n, 250, 250, img.px.data(), CloseUpSide);
    EXPECT_EQ(img.at(10, 50), MapRed); // column gene 460, row gene 500
    EXPECT_EQ(img.at(50, 10), MapRed); // mirrored
    EXPECT_EQ(img.at(7, 7), MapRed);   // diagonal
    EXPECT_EQ(img.at(10, 51), MapWhite);
    EXPECT_EQ(CountColour(img, MapGrey), 0);
    EXPECT_EQ(CountColour(img, MapRed), 102);

    // Top left corner: genes -50..49, so the first 50 columns and rows are grey.
    DrawCloseUp(m.cells.data(), m.n, 0, 0, img.px.data(), CloseUpSide);
    for (int k = 0; k < CloseUpSide; ++k) {
        EXPECT_EQ(img.at(49, k), MapGrey);
        EXPECT_EQ(img.at(k, 49), MapGrey);
    }
    EXPECT_EQ(CountColour(img, MapGrey), 100 * 100 - 50 * 50);
    EXPECT_EQ(img.at(55, 70), MapBlue); // genes 5 and 20
    EXPECT_EQ(img.at(70, 55), MapBlue);
    EXPECT_EQ(img.at(50, 50), MapRed);

    // Bottom right: genes 948..1047; columns and rows from gene 1000 on are grey.
    DrawCloseUp(m.cells.data(), m.n, 499, 499, img.px.data(), CloseUpSide);
    EXPECT_EQ(img.at(51, 51), MapRed); // gene 999's diagonal cell: stored, so shown here
    EXPECT_EQ(img.at(52, 10), MapGrey);
    EXPECT_EQ(img.at(10, 52), MapGrey);
    EXPECT_EQ(CountColour(img, MapGrey), 100 * 100 - 52 * 52);

    // A table smaller than the close-up sits in its middle.
    Matrix small(10);
    small.diagonal(100);
    DrawCloseUp(small.cells.data(), small.n, 250, 250, img.px.data(), CloseUpSide);
    EXPECT_EQ(CountColour(img, MapGrey), 100 * 100 - 10 * 10);
    EXPECT_EQ(img.at(45, 45), MapRed);
    EXPECT_EQ(img.at(54, 54), MapRed);
    EXPECT_EQ(img.at(44, 45), MapGrey);

    // No matrix: all grey.
    DrawCloseUp(nullptr, 1000, 250, 250, img.px.data(), CloseUpSide);
    EXPECT_EQ(CountColour(img, MapGrey), 100 * 100);
}

namespace {

// A table of one gene per row of values, with its statistics set by hand.
void Fill(cExprData& d, const std::vector<std::vector<float>>& rows)
{
    d.Alloc(static_cast<int>(rows.size()), static_cast<int>(rows.at(0).size()));
    for (int g = 0; g < d.nGenes; ++g)
        for (int a = 0; a < d.nArrays; ++a)
            d.Data[g][a] = rows[g][a];
}

} // namespace

TEST(Histogram, WorkedExampleBinsAndOutliers)
{
    // 20 bins, 3 standard deviations, mean 0 and sd 1: bins 0.3 wide.
    cExprData d;
    Fill(d, {{-3.0f, -3.1f, -3.4f, 3.0f, Missing, 0.0f, 2.9f, -2.6f}});
    d.TotalMean = 0;
    d.TotalSD = 1;
    cHistogram h;
    ASSERT_TRUE(CountHistogram(d, eHistSource::All, 0, 3, 20, h));
    EXPECT_EQ(h.Low, -3);
    EXPECT_EQ(h.High, 3);
    ASSERT_EQ(h.nBins(), 20u);
    EXPECT_DOUBLE_EQ(h.BinCentre(0), -2.85);
    EXPECT_DOUBLE_EQ(h.BinCentre(19), 2.85);
    std::vector<unsigned> expected(20, 0);
    expected[0] = 2;  // -3.0 and -3.1 (q = -0.33 truncates to 0)
    expected[1] = 1;  // -2.6
    expected[10] = 1; // 0.0
    expected[19] = 1; // 2.9
    EXPECT_EQ(h.Counts, expected);
    EXPECT_EQ(h.Outliers, 2u); // 3.0 (equal to high) and -3.4 (q = -1.33); the missing value is not counted
    unsigned sum = h.Outliers;
    for (unsigned c : h.Counts)
        sum += c;
    EXPECT_EQ(sum, 7u);
}

TEST(Histogram, SelectionsUseTheirOwnMeanAndSpread)
{
    cExprData d;
    Fill(d, {{1, 2, 3}, {10, 20, Missing}});
    d.TotalMean = 100;
    d.TotalSD = 1;
    d.GeneMean[1] = 15;
    d.GeneSD[1] = 5;
    d.ArrayMean[0] = 5.5f;
    d.ArraySD[0] = 4.5f;
    struct Case {
        eHistSource src;
        int index;
        std::vector<unsigned> counts;
        unsigned outliers;
    } cases[] = {
        {eHistSource::All, 7, {0, 0, 0, 0}, 5},   // band 98..102 holds none of the 5 values
        {eHistSource::Gene, 1, {0, 1, 0, 1}, 0},  // band 5..25: 10 and 20 give q = 1 and 3
        {eHistSource::Array, 0, {0, 1, 0, 1}, 0}, // band -3.5..14.5: 1 and 10 give q = 1 and 3
    };
    for (const Case& c : cases) {
        cHistogram h;
        ASSERT_TRUE(CountHistogram(d, c.src, c.index, 2, 4, h)) << int(c.src);
        EXPECT_EQ(h.Counts, c.counts) << int(c.src);
        EXPECT_EQ(h.Outliers, c.outliers) << int(c.src);
    }
}

TEST(Histogram, RefusesEmptyOrUnusableRange)
{
    cExprData d;
    Fill(d, {{1, 1, 1}, {1, 2, 3}});
    d.TotalMean = 1.5f;
    d.TotalSD = 4;
    d.GeneMean[0] = 1;
    d.GeneSD[0] = 0;
    d.GeneMean[1] = 2;
    d.GeneSD[1] = 1;
    struct Case {
        eHistSource src;
        int index;
        double k;
        int bins;
        bool ok;
    } cases[] = {
        {eHistSource::All, 0, 3, 20, true},
        {eHistSource::All, 0, 0, 20, false},  // zero limits: high equals low
        {eHistSource::Gene, 0, 3, 20, false}, // constant gene: sd 0
        {eHistSource::Gene, 1, 3, 20, true},
        {eHistSource::Gene, 2, 3, 20, false}, // beyond the table
        {eHistSource::Gene, -1, 3, 20, false},
        {eHistSource::Array, 3, 3, 20, false},
        {eHistSource::All, 0, 1e308, 20, false}, // bounds overflow to infinity
        {eHistSource::All, 0, 3, 0, false},
    };
    for (const Case& c : cases) {
        cHistogram h;
        EXPECT_EQ(CountHistogram(d, c.src, c.index, c.k, c.bins, h), c.ok)
            << int(c.src) << " " << c.index << " " << c.k;
        if (!c.ok) EXPECT_TRUE(h.Counts.empty());
    }
}

TEST(Quartiles, InterpolatedOrderStatistics)
{
    struct Case {
        std::vector<float> v;
        double q1, median, q3;
    } cases[] = {
        {{7}, 7, 7, 7},
        {{2, 1}, 1.25, 1.5, 1.75},
        {{4, 1, 3, 2}, 1.75, 2.5, 3.25},
        {{5, 3, 1, 4, 2}, 2, 3, 4},
        {{-1, -1, -1, 8}, -1, -1, 1.25},
        {{0.5f, 0.25f, 0.75f}, 0.375, 0.5, 0.625},
    };
    for (Case& c : cases) {
        double q1, m, q3;
        ASSERT_TRUE(QuartilesOf(c.v.data(), static_cast<int>(c.v.size()), q1, m, q3));
        EXPECT_EQ(q1, c.q1);
        EXPECT_EQ(m, c.median);
        EXPECT_EQ(q3, c.q3);
    }
    double q1, m, q3;
    EXPECT_FALSE(QuartilesOf(nullptr, 0, q1, m, q3));
    EXPECT_TRUE(std::isnan(q1) && std::isnan(m) && std::isnan(q3));
}

TEST(Quartiles, PerGeneAndPerArraySkipMissing)
{
    cExprData d;
    Fill(d, {{1, 2, 3, 4, Missing}, {Missing, Missing, Missing, Missing, Missing}, {9, 8, 7, 6, 5}});
    const cQuartiles g = GeneQuartiles(d);
    ASSERT_EQ(g.Median.size(), 3u);
    EXPECT_EQ(g.Q1[0], 1.75);
    EXPECT_EQ(g.Median[0], 2.5);
    EXPECT_EQ(g.Q3[0], 3.25);
    EXPECT_TRUE(std::isnan(g.Median[1]));
    EXPECT_EQ(g.Q1[2], 6);
    EXPECT_EQ(g.Median[2], 7);
    EXPECT_EQ(g.Q3[2], 8);

    const cQuartiles a = ArrayQuartiles(d);
    ASSERT_EQ(a.Median.size(), 5u);
    EXPECT_EQ(a.Q1[0], 3); // {1, 9}
    EXPECT_EQ(a.Median[0], 5);
    EXPECT_EQ(a.Q3[0], 7);
    EXPECT_EQ(a.Median[4], 5); // {5} alone
    EXPECT_EQ(a.Q1[4], 5);
}
