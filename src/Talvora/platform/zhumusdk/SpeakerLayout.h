#pragma once
// Where the tiles go when one of them is shown large (the active speaker, a
// pinned tile, a shared screen): the others in a strip of small 16:9 tiles
// along the top, the large one in all the room below. Pure functions, like
// GalleryLayout.

#include <QRect>
#include <QSize>
#include <QVector>

namespace talvora::zhumu {

// The strip's tiles: at most this high, and at least this wide.
constexpr int kStripTileHeight = 135;
constexpr int kStripTileMinWidth = 160;

struct SpeakerCells
{
    QRect large;          // the large tile (it letterboxes what it shows)
    QRect strip;          // the band of the small tiles; empty without any
    QVector<QRect> small; // one per small tile shown, left to right
    int capacity = 0;     // how many small tiles the strip holds at most
};

// How many small tiles fit side by side into a strip `width` wide.
int stripCapacity(int width, int spacing);

// `count` small tiles in `strip`, each 16:9 as high as the strip allows (and
// no smaller than the minimum width), centred as a row; at most
// stripCapacity() of them.
QVector<QRect> stripLayout(const QRect& strip, int count, int spacing);

// The large tile and `others` small ones in `area` (origin 0,0). Without
// others the large tile takes the whole area.
SpeakerCells speakerLayout(const QSize& area, int others, int spacing);

} // namespace talvora::zhumu
