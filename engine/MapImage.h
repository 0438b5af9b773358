// Pictures of the co-expression matrix: the whole-matrix map and the
// one-pixel-per-pair close-up around a clicked point. Pixels are 0xAARRGGBB
// words, so a window can hand its image buffer over directly.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MapSide = 500;     // the map is MapSide x MapSide pixels
constexpr int CloseUpSide = 100; // the close-up is CloseUpSide x CloseUpSide pixels

constexpr std::uint32_t MapWhite = 0xFFFFFFFFu;
constexpr std::uint32_t MapBlack = 0xFF000000u;
constexpr std::uint32_t MapRed = 0xFFFF0000u;
constexpr std::uint32_t MapBlue = 0xFF0000FFu;
constexpr std::uint32_t MapGrey = 0xFF888888u;

// Draws the map of an n x n matrix (cells[j * n + i] is row j, column i; only
// the lower triangle with the diagonal is read) into a MapSide x MapSide
// buffer whose rows are `stride` pixels apart. Every co-expressed pair (i, j)
// is marked at (i, j) and mirrored at (j, i), red when its cell is positive
// and blue when negative, in the visiting order column i = 0..n-2, then row
// j = i..n-1, the last mark on a pixel winning. Up to MapSide genes a mark is
// a small black-rimmed dot, above that a single pixel. The pixel case reads the
// matrix row by row in memory order and gives the same picture.
void DrawCEMap(const std::int8_t* cells, int n, std::uint32_t* pixels, std::ptrdiff_t stride);

// The same picture by the plain visiting order (column by column). Kept as the
// reference the fast path is checked and timed against.
void DrawCEMapByDefinition(const std::int8_t* cells, int n, std::uint32_t* pixels, std::ptrdiff_t stride);

// Fills the dot of one mark: the ellipse inscribed in pixels left..right-1 and
// top..bottom-1, rimmed in black, its inside in `colour`, clipped to the map.
void DrawMapDot(std::uint32_t* pixels, std::ptrdiff_t stride, int left, int top, int right, int bottom,
                std::uint32_t colour);

// What a click at map pixel (x, y) shows for a table of n genes: the gene
// positions under the pixel centre with half a pixel's worth of genes, and the
// 0-based gene indices at the close-up's corners.
struct cMapClick {
    int gx, gy, h;
    int left, top;     // gene indices of the close-up's first column and row
    int right, bottom; // of its last column and row
    double cx, cy;     // close-up origin, before centring
};
cMapClick MapClickAt(int x, int y, int n);

// Draws the close-up around map pixel (x, y) into a CloseUpSide x CloseUpSide
// buffer: one pixel per gene pair, mirrored about the diagonal; pairs outside
// the table are grey. A missing matrix (cells null) paints it all grey.
void DrawCloseUp(const std::int8_t* cells, int n, int x, int y, std::uint32_t* pixels, std::ptrdiff_t stride);
