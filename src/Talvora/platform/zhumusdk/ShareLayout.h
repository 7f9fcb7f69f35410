#pragma once
// Where things go while someone shares a screen: the share takes the area
// but a strip on the right, where the people's tiles stand one under the
// other (as many as fit). Pure functions, so that the arithmetic is tested
// without a window; meant to make way for the views' own share layout.

#include <QRect>
#include <QSize>
#include <QVector>

namespace talvora::zhumu {

struct ShareArrangement
{
    QRect share;          // the shared picture's cell
    QVector<QRect> strip; // one cell per tile that fits, from the top
};

// `people` tiles beside the share in `area` (origin 0,0), `spacing` apart.
// The strip is a fifth of the width, 160 to 320 pixels, tiles 16:9; with
// nobody to show, or no room, the share takes it all.
ShareArrangement shareArrangement(const QSize& area, int people, int spacing);

} // namespace talvora::zhumu
