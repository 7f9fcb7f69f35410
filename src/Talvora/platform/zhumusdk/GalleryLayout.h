#pragma once
// Where the meeting window's tiles go: how many share a page, in how many
// columns and rows, and the cells they take in a given area. Pure functions,
// so that the arithmetic is tested without a window.

#include <QRect>
#include <QSize>
#include <QVector>

namespace talvora::zhumu {

// More participants than this go on further pages.
constexpr int kTilesPerPage = 16;

struct GalleryGrid
{
    int columns = 0;
    int rows = 0;
};

// The grid for tiles on one page: 1 = 1x1, 2 = 2x1, 3-4 = 2x2, 5-6 = 3x2,
// 7-9 = 3x3, 10-16 = 4x4 (columns x rows). 0x0 for none.
GalleryGrid galleryGrid(int tiles);

struct GalleryPage
{
    int page = 0;  // 0-based, clamped to the pages there are
    int pages = 1; // at least 1, even when nobody is there
    int first = 0; // index of the page's first tile
    int count = 0; // tiles on this page
};

GalleryPage galleryPage(int total, int page);

// Cells of `count` tiles in `area`, row by row: every cell has the same
// 16:9 size that fits the grid into the area with `spacing` between cells;
// the grid is centred, and a last row that is not full is centred too.
QVector<QRect> galleryCells(const QSize& area, int count, int spacing);

} // namespace talvora::zhumu
