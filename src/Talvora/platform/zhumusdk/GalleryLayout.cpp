#include "GalleryLayout.h"

#include <algorithm>

namespace talvora::zhumu {

GalleryGrid galleryGrid(int tiles)
{
    if (tiles <= 0)
        return {};
    if (tiles == 1)
        return {1, 1};
    if (tiles == 2)
        return {2, 1};
    if (tiles <= 4)
        return {2, 2};
    if (tiles <= 6)
        return {3, 2};
    if (tiles <= 9)
        return {3, 3};
    return {4, 4};
}

GalleryPage galleryPage(int total, int page)
{
    GalleryPage result;
    total = std::max(total, 0);
    result.pages = std::max(1, (total + kTilesPerPage - 1) / kTilesPerPage);
    result.page = std::clamp(page, 0, result.pages - 1);
    result.first = result.page * kTilesPerPage;
    result.count = std::clamp(total - result.first, 0, kTilesPerPage);
    return result;
}

QVector<QRect> galleryCells(const QSize& area, int count, int spacing)
{
    QVector<QRect> cells;
    const GalleryGrid grid = galleryGrid(std::min(count, kTilesPerPage));
    if (grid.columns == 0 || area.isEmpty())
        return cells;
    const int freeWidth = area.width() - spacing * (grid.columns - 1);
    const int freeHeight = area.height() - spacing * (grid.rows - 1);
    // The widest 16:9 cell that lets the whole grid fit.
    int width = freeWidth / grid.columns;
    int height = width * 9 / 16;
    if (height * grid.rows > freeHeight) {
        height = freeHeight / grid.rows;
        width = height * 16 / 9;
    }
    if (width <= 0 || height <= 0)
        return cells;

    const int usedRows = (std::min(count, kTilesPerPage) + grid.columns - 1) / grid.columns;
    const int top = (area.height() - usedRows * height - (usedRows - 1) * spacing) / 2;
    const int shown = std::min(count, kTilesPerPage);
    for (int index = 0; index < shown; ++index) {
        const int row = index / grid.columns;
        const int inRow = std::min(grid.columns, shown - row * grid.columns);
        const int rowWidth = inRow * width + (inRow - 1) * spacing;
        const int left = (area.width() - rowWidth) / 2;
        const int column = index % grid.columns;
        cells.push_back(
            QRect(left + column * (width + spacing), top + row * (height + spacing), width, height));
    }
    return cells;
}

} // namespace talvora::zhumu
