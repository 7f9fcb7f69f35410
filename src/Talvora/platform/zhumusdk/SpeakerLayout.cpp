#include "SpeakerLayout.h"

#include <algorithm>

namespace talvora::zhumu {
namespace {

int stripHeightFor(const QSize& area)
{
    // A fifth of the height, within the strip's limits: on a low window
    // the large tile keeps most of the room.
    return std::clamp(area.height() / 5, kStripTileMinWidth * 9 / 16, kStripTileHeight);
}

} // namespace

int stripCapacity(int width, int spacing)
{
    if (width < kStripTileMinWidth)
        return 0;
    return (width + spacing) / (kStripTileMinWidth + spacing);
}

QVector<QRect> stripLayout(const QRect& strip, int count, int spacing)
{
    QVector<QRect> cells;
    const int shown = std::min(count, stripCapacity(strip.width(), spacing));
    if (shown <= 0 || strip.height() <= 0)
        return cells;
    int height = strip.height();
    int width = height * 16 / 9;
    // Narrower tiles when the row would not fit at the full height.
    const int widest = (strip.width() - spacing * (shown - 1)) / shown;
    if (width > widest) {
        width = widest;
        height = width * 9 / 16;
    }
    const int rowWidth = shown * width + (shown - 1) * spacing;
    const int left = strip.left() + (strip.width() - rowWidth) / 2;
    const int top = strip.top() + (strip.height() - height) / 2;
    for (int i = 0; i < shown; ++i)
        cells.push_back(QRect(left + i * (width + spacing), top, width, height));
    return cells;
}

SpeakerCells speakerLayout(const QSize& area, int others, int spacing)
{
    SpeakerCells cells;
    if (area.isEmpty())
        return cells;
    if (others <= 0) {
        cells.large = QRect(QPoint(0, 0), area);
        return cells;
    }
    cells.strip = QRect(0, 0, area.width(), stripHeightFor(area));
    cells.capacity = stripCapacity(area.width(), spacing);
    cells.small = stripLayout(cells.strip, others, spacing);
    const int top = cells.strip.height() + spacing;
    cells.large = QRect(0, top, area.width(), std::max(0, area.height() - top));
    return cells;
}

} // namespace talvora::zhumu
