#include "ShareLayout.h"

#include <QtGlobal>

namespace talvora::zhumu {

ShareArrangement shareArrangement(const QSize& area, int people, int spacing)
{
    ShareArrangement result;
    const int stripWidth = qBound(160, area.width() / 5, 320);
    if (people <= 0 || area.width() < 2 * stripWidth + spacing) {
        result.share = QRect(QPoint(0, 0), area);
        return result;
    }
    const int tileHeight = stripWidth * 9 / 16;
    const int fit = qMax(1, (area.height() + spacing) / (tileHeight + spacing));
    const int left = area.width() - stripWidth;
    for (int i = 0; i < qMin(people, fit); ++i)
        result.strip << QRect(left, i * (tileHeight + spacing), stripWidth, tileHeight);
    result.share = QRect(0, 0, left - spacing, area.height());
    return result;
}

} // namespace talvora::zhumu
