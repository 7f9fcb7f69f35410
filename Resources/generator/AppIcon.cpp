#include "AppIcon.h"

#include <QColor>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <cstdio>

namespace {

const QColor kBlue(0x41, 0x94, 0xFF);

// From this size up the camera shows two people and the corners of its lens
// are rounded; below it, positions are rounded to whole pixels instead.
constexpr int kDetailSize = 48;

const int kThemeSizes[] = {16, 24, 32, 48, 64, 128, 256, 512};

// Positions are designed on a tile of side 1.
class Grid
{
public:
    explicit Grid(int size) : m_size(size), m_snap(size < kDetailSize) {}

    qreal at(qreal unit) const
    {
        const qreal pixels = unit * m_size;
        return m_snap ? std::round(pixels) : pixels;
    }
    qreal length(qreal unit) const { return unit * m_size; }
    QPointF point(qreal x, qreal y) const { return QPointF(at(x), at(y)); }
    QRectF rect(qreal left, qreal top, qreal right, qreal bottom) const
    {
        return QRectF(point(left, top), point(right, bottom));
    }

private:
    int m_size;
    bool m_snap;
};

// A convex polygon whose corners are rounded with the given radius.
QPainterPath roundedPolygon(const QPolygonF& corners, qreal radius)
{
    QPainterPath path;
    const int count = corners.size();
    for (int i = 0; i < count; ++i) {
        const QPointF previous = corners[(i + count - 1) % count];
        const QPointF corner = corners[i];
        const QPointF next = corners[(i + 1) % count];
        const QPointF in = corner - previous;
        const QPointF out = next - corner;
        const qreal inLength = std::hypot(in.x(), in.y());
        const qreal outLength = std::hypot(out.x(), out.y());
        const QPointF from = corner - in * (std::min(radius, inLength / 2) / inLength);
        const QPointF to = corner + out * (std::min(radius, outLength / 2) / outLength);
        if (i == 0)
            path.moveTo(from);
        else
            path.lineTo(from);
        path.quadTo(corner, to);
    }
    path.closeSubpath();
    return path;
}

void drawTile(QPainter& p, const Grid& grid, int size)
{
    // Large sizes keep a small margin, as the theme's other application
    // icons do; small ones use every pixel.
    const qreal margin = size >= kDetailSize ? 0.035 : 0.0;
    const QRectF tile = grid.rect(margin, margin, 1 - margin, 1 - margin);
    const qreal radius = tile.width() * 0.22;
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(tile, radius, radius);
}

void drawCamera(QPainter& p, const Grid& grid, int size)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const QRectF body = grid.rect(0.15, 0.29, 0.63, 0.71);
    const qreal bodyRadius = std::max<qreal>(1.5, grid.length(0.085));
    p.drawRoundedRect(body, bodyRadius, bodyRadius);

    QPolygonF lens;
    lens << grid.point(0.68, 0.44) << grid.point(0.86, 0.31) << grid.point(0.86, 0.69)
         << grid.point(0.68, 0.56);
    if (size >= kDetailSize)
        p.drawPath(roundedPolygon(lens, grid.length(0.03)));
    else
        p.drawPolygon(lens);

    if (size < kDetailSize)
        return;
    // Two people side by side, cut out of the camera in the tile's blue.
    p.setBrush(kBlue);
    for (const qreal centre : {0.315, 0.465}) {
        p.drawEllipse(grid.point(centre, 0.44), grid.length(0.045), grid.length(0.045));
        QPainterPath shoulders;
        const QRectF oval = grid.rect(centre - 0.065, 0.515, centre + 0.065, 0.675);
        shoulders.moveTo(oval.left(), oval.center().y());
        shoulders.arcTo(oval, 180, -180);
        shoulders.closeSubpath();
        p.drawPath(shoulders);
    }
}

} // namespace

QImage drawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const Grid grid(size);
    drawTile(p, grid, size);
    drawCamera(p, grid, size);
    p.end();
    return image;
}

int writeDesktopIcons(const QString& directory, const QString& appId)
{
    int failures = 0;
    for (const int size : kThemeSizes) {
        const QString folder = QString("hicolor/%1x%1/apps").arg(size);
        const QString path = QDir(directory).filePath(folder + "/" + appId + ".png");
        if (!QDir(directory).mkpath(folder) ||
            !drawAppIcon(size).convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
            continue;
        }
        std::printf("%-34s %4d x %d\n", qPrintable(folder + "/" + appId + ".png"), size, size);
    }
    return failures;
}
