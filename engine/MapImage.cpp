#include "MapImage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "Numeric.h"

namespace {

// Map coordinate of a gene: trunc(k * 500 / n), at most 499. Exact in integers.
int MapPos(int k, int n)
{
    const int p = static_cast<int>(static_cast<std::int64_t>(k) * MapSide / n);
    return p > MapSide - 1 ? MapSide - 1 : p;
}

std::uint32_t CellColour(std::int8_t v)
{
    return v > 0 ? MapRed : MapBlue;
}

void FillWhite(std::uint32_t* pixels, std::ptrdiff_t stride, int side)
{
    for (int y = 0; y < side; ++y)
        std::fill_n(pixels + y * stride, side, MapWhite);
}

// Dot mode: the pairs are visited in the defining order; the matrix has at
// most 500 x 500 cells, so the column walk stays in cache.
void DrawDots(const std::int8_t* cells, int n, std::uint32_t* pixels, std::ptrdiff_t stride)
{
    const double s = static_cast<double>(MapSide) / n;
    for (int i = 0; i <= n - 2; ++i) {
        const int x = MapPos(i, n);
        for (int j = i; j < n; ++j) {
            const std::int8_t v = cells[static_cast<std::size_t>(j) * n + i];
            if (v == 0) continue;
            const int y = MapPos(j, n);
            const std::uint32_t c = CellColour(v);
            DrawMapDot(pixels, stride, static_cast<int>(x + s - 2), static_cast<int>(y + s - 2),
                       static_cast<int>(x + s + 2), static_cast<int>(y + s + 2), c);
            DrawMapDot(pixels, stride, static_cast<int>(y + s - 2), static_cast<int>(x + s - 2),
                       static_cast<int>(y + s + 2), static_cast<int>(x + s + 2), c);
        }
    }
}

// High bit of each non-zero byte of w, other bits clear.
std::uint64_t NonZeroBytes(std::uint64_t w)
{
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return (((w & low7) + low7) | w) & ~low7;
}

constexpr bool LittleEndian = std::endian::native == std::endian::little;

// Index of the first non-zero byte of p[from..to), or `to`. Zero stretches
// are skipped 32, then 8 bytes at a time.
int FirstNonZero(const std::int8_t* p, int from, int to)
{
    int k = from;
    while (to - k >= 32) {
        std::uint64_t w[4];
        std::memcpy(w, p + k, sizeof w);
        if ((w[0] | w[1] | w[2] | w[3]) != 0) break;
        k += 32;
    }
    while (to - k >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p + k, sizeof w);
        if (w != 0) {
            if constexpr (LittleEndian) return k + std::countr_zero(NonZeroBytes(w)) / 8;
            break;
        }
        k += 8;
    }
    while (k < to && p[k] == 0)
        ++k;
    return k;
}

// Index of the last non-zero byte of p[from..to), or -1. The stretch is one
// map column's share of a row, a few dozen bytes at most.
int LastNonZero(const std::int8_t* p, int from, int to)
{
    int k = to;
    while (k - from >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p + k - 8, sizeof w);
        if (w != 0) {
            if constexpr (LittleEndian) return k - 8 + (63 - std::countl_zero(NonZeroBytes(w))) / 8;
            break;
        }
        k -= 8;
    }
    while (k > from) {
        --k;
        if (p[k] != 0) return k;
    }
    return -1;
}

} // namespace

void DrawMapDot(std::uint32_t* pixels, std::ptrdiff_t stride, int left, int top, int right, int bottom,
                std::uint32_t colour)
{
    const int w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0) return;
    // Pixel centres are tested against the inscribed ellipse in doubled
    // coordinates, where every quantity is an exact integer.
    const std::int64_t rx = w, ry = h; // doubled semi-axes
    const auto inside = [&](int px, int py) {
        if (px < left || px >= right || py < top || py >= bottom) return false;
        const std::int64_t dx = 2 * (px - left) + 1 - w;
        const std::int64_t dy = 2 * (py - top) + 1 - h;
        return dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry;
    };
    for (int py = std::max(top, 0); py < std::min(bottom, MapSide); ++py) {
        for (int px = std::max(left, 0); px < std::min(right, MapSide); ++px) {
            if (!inside(px, py)) continue;
            const bool rim =
                !inside(px - 1, py) || !inside(px + 1, py) || !inside(px, py - 1) || !inside(px, py + 1);
            pixels[py * stride + px] = rim ? MapBlack : colour;
        }
    }
}

void DrawCEMapByDefinition(const std::int8_t* cells, int n, std::uint32_t* pixels, std::ptrdiff_t stride)
{
    FillWhite(pixels, stride, MapSide);
    if (!cells || n <= 0) return;
    if (n <= MapSide) {
        DrawDots(cells, n, pixels, stride);
        return;
    }
    for (int i = 0; i <= n - 2; ++i) {
        const int x = MapPos(i, n);
        for (int j = i; j < n; ++j) {
            const std::int8_t v = cells[static_cast<std::size_t>(j) * n + i];
            if (v == 0) continue;
            const int y = MapPos(j, n);
            pixels[y * stride + x] = CellColour(v);
            pixels[x * stride + y] = CellColour(v);
        }
    }
}

void DrawCEMap(const std::int8_t* cells, int n, std::uint32_t* pixels, std::ptrdiff_t stride)
{
    FillWhite(pixels, stride, MapSide);
    if (!cells || n <= 0) return;
    if (n <= MapSide) {
        DrawDots(cells, n, pixels, stride);
        return;
    }
    // Pixel (a, b), a <= b, and its mirror (b, a) are marked only by pairs
    // i <= j with column i in map column a and row j in map row b, and the
    // visiting order makes the pair with the largest i win, then the largest
    // j. So each band of rows sharing a map row is read row by row, keeping per
    // map column the winning column index so far; a later row wins ties.
    std::vector<int> firstOf(MapSide + 1, n); // first gene of each map position
    for (int k = n - 1; k >= 0; --k)
        firstOf[MapPos(k, n)] = k;
    for (int p = MapSide - 1; p >= 0; --p)
        firstOf[p] = std::min(firstOf[p], firstOf[p + 1]);
    std::vector<int> best(MapSide);
    std::vector<std::uint32_t> colour(MapSide);
    for (int b = 0; b < MapSide; ++b) {
        const int rowFrom = firstOf[b], rowTo = firstOf[b + 1];
        if (rowFrom >= rowTo) continue;
        std::fill_n(best.begin(), b + 1, -1);
        for (int j = rowFrom; j < rowTo; ++j) {
            const std::int8_t* row = cells + static_cast<std::size_t>(j) * n;
            const int last = std::min(j, n - 2); // the last diagonal cell is never visited
            // Zero stretches are skipped forward; at the first non-zero cell
            // of a map column its last non-zero cell is sought backwards, and
            // the walk goes on at the next map column.
            const int end = last + 1;
            int i = 0;
            while (i < end) {
                i = FirstNonZero(row, i, end);
                if (i >= end) break;
                const int a = MapPos(i, n);
                const int to = std::min(firstOf[a + 1], end);
                const int k = LastNonZero(row, i, to);
                if (k >= best[a]) {
                    best[a] = k;
                    colour[a] = CellColour(row[k]);
                }
                i = to;
            }
        }
        for (int a = 0; a <= b; ++a) {
            if (best[a] < 0) continue;
            pixels[b * stride + a] = colour[a];
            pixels[a * stride + b] = colour[a];
        }
    }
}

cMapClick MapClickAt(int x, int y, int n)
{
    cMapClick c{};
    c.gx = RoundInt((x + 0.5) * n * 0.002);
    c.gy = RoundInt((y + 0.5) * n * 0.002);
    c.h = RoundInt(n * 0.5 * 0.002);
    c.cx = n * x * 0.002;
    c.cy = n * y * 0.002;
    c.left = RoundInt(c.cx - 50);
    c.top = RoundInt(c.cy - 50);
    c.right = RoundInt(c.cx - 50 + 99);
    c.bottom = RoundInt(c.cy - 50 + 99);
    return c;
}

void DrawCloseUp(const std::int8_t* cells, int n, int x, int y, std::uint32_t* pixels, std::ptrdiff_t stride)
{
    if (!cells || n <= 0) {
        for (int j = 0; j < CloseUpSide; ++j)
            std::fill_n(pixels + j * stride, CloseUpSide, MapGrey);
        return;
    }
    const cMapClick c = MapClickAt(x, y, n);
    for (int j = 0; j < CloseUpSide; ++j) {
        const int b = RoundInt(c.cy - 50 + j);
        for (int i = 0; i < CloseUpSide; ++i) {
            const int a = RoundInt(c.cx - 50 + i);
            std::uint32_t p = MapWhite;
            if (a < 0 || a >= n || b < 0 || b >= n) {
                p = MapGrey;
            } else {
                const std::int8_t v = cells[static_cast<std::size_t>(std::max(a, b)) * n + std::min(a, b)];
                if (v != 0) p = CellColour(v);
            }
            pixels[j * stride + i] = p;
        }
    }
}
