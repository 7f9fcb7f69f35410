// Draws every picture of the client and writes it into the directory given on
// the command line. The pictures are flat: the client's blue, white and a few
// greys. Sizes equal the widgets that show them, because style-sheet border
// images are stretched without smoothing and look best at 1:1.
//
// Each picture is drawn twice from the same shapes: name.png at the widget's
// size and name@2x.png at twice that size, which Qt picks on screens with a
// device-pixel ratio above 1. The 2x picture is not an upscale: every drawing
// runs again on a painter scaled by 2, and the shadow is computed per pixel
// at the finer grid.

#include "AppIcon.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>
#include <QtMath>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kBlue(0x41, 0x94, 0xFF);
const QColor kBluePressed(0x2F, 0x7D, 0xE6);
const QColor kBlueTint(0xEB, 0xF3, 0xFF);
const QColor kBlueSoft(0xD4, 0xE6, 0xFF);
const QColor kInk(0x33, 0x33, 0x33);
const QColor kIconGrey(0x66, 0x66, 0x66);
const QColor kMidGrey(0x99, 0x99, 0x99);
const QColor kLightGrey(0xCC, 0xCC, 0xCC);
const QColor kLine(0xDD, 0xDD, 0xDD);
const QColor kKeyFill(0xF5, 0xF7, 0xFA);
const QColor kKeyBorder(0xE3, 0xE7, 0xED);
const QColor kPanel(0xF4, 0xF6, 0xF9);

// Source Han Sans under its fontconfig name: the style sheet asks for the same
// face, so the digits on the keys match the digits the client types.
const char* const kFontFamily = "Noto Sans CJK SC";

using Drawing = std::function<void(QPainter&)>;

QString g_outDir;
int g_failures = 0;

// The device-pixel ratios every picture is written for, with the file-name
// suffix Qt looks for.
struct Scale
{
    int factor;
    const char* suffix;
};
const Scale kScales[] = {{1, ""}, {2, "@2x"}};

// w x h is the picture's size in the widget's (logical) pixels; the image has
// `scale` times as many pixels and the drawing sees the logical grid.
QImage render(int w, int h, const Drawing& draw, int scale = 1)
{
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (scale != 1)
        p.scale(scale, scale);
    draw(p);
    p.end();
    return image;
}

// "name.png" as "name@2x.png" for a suffix "@2x".
QString scaledName(const QString& name, const Scale& scale)
{
    QString scaled = name;
    return scaled.insert(name.lastIndexOf(QLatin1Char('.')), QLatin1String(scale.suffix));
}

void save(const QString& name, const QImage& image)
{
    const QString path = QDir(g_outDir).filePath(name);
    if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%-34s %4d x %d\n", qPrintable(name), image.width(), image.height());
}

// Writes the picture at every scale.
void save(const QString& name, int w, int h, const Drawing& draw)
{
    for (const Scale& scale : kScales)
        save(scaledName(name, scale), render(w, h, draw, scale.factor));
}

QPen strokePen(const QColor& colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A flat rounded box whose 1-pixel border lands on whole pixels.
void box(QPainter& p, QRectF r, qreal radius, const QColor& fill, const QColor& border = QColor(),
         qreal borderWidth = 1.0)
{
    if (border.isValid()) {
        const qreal inset = borderWidth / 2.0;
        r.adjust(inset, inset, -inset, -inset);
        p.setPen(QPen(border, borderWidth));
    } else {
        p.setPen(Qt::NoPen);
    }
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
}

// Text centred on its ink rather than on the font's line box, so digits sit in
// the optical middle of a key whatever the font's ascent.
void centredText(QPainter& p, const QRectF& r, const QString& text, int pixelSize, const QColor& colour)
{
    QFont font(kFontFamily);
    font.setPixelSize(pixelSize);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    p.save();
    p.translate(r.center() - ink.center());
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

// ---- glyphs, drawn in a 32 x 32 design grid -----------------------------

void glyphCalendar(QPainter& p, const QColor& c)
{
    p.setPen(strokePen(c, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(5, 7, 22, 21), 3, 3);
    p.drawLine(QPointF(11, 4), QPointF(11, 10));
    p.drawLine(QPointF(21, 4), QPointF(21, 10));
    p.drawLine(QPointF(6, 13.5), QPointF(26, 13.5));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (const QPointF& dot :
         {QPointF(11, 18.5), QPointF(16, 18.5), QPointF(21, 18.5), QPointF(11, 23), QPointF(16, 23)})
        p.drawEllipse(dot, 1.5, 1.5);
}

void glyphCamera(QPainter& p, const QColor& c, bool filled)
{
    p.setPen(strokePen(c, 2));
    p.setBrush(filled ? QBrush(c) : QBrush(Qt::NoBrush));
    p.drawRoundedRect(QRectF(4, 9, 17, 15), 3, 3);
    const QPointF lens[] = {{21, 14}, {28, 10}, {28, 23}, {21, 19}};
    p.drawPolygon(lens, 4);
}

void glyphEnter(QPainter& p, const QColor& c)
{
    p.setPen(strokePen(c, 2));
    p.setBrush(Qt::NoBrush);
    QPainterPath door;
    door.moveTo(17, 5);
    door.lineTo(24, 5);
    door.quadTo(27, 5, 27, 8);
    door.lineTo(27, 24);
    door.quadTo(27, 27, 24, 27);
    door.lineTo(17, 27);
    p.drawPath(door);
    p.drawLine(QPointF(5, 16), QPointF(20, 16));
    p.drawLine(QPointF(15, 11), QPointF(20, 16));
    p.drawLine(QPointF(15, 21), QPointF(20, 16));
}

void glyphGear(QPainter& p, const QColor& c)
{
    const QPointF centre(16, 16);
    const qreal outer = 11.5, root = 8.8;
    QPolygonF gear;
    for (int tooth = 0; tooth < 8; ++tooth) {
        const qreal a = tooth * 45.0;
        for (const auto& [r, da] :
             {std::pair<qreal, qreal>{root, -15}, {outer, -8}, {outer, 8}, {root, 15}}) {
            const qreal rad = qDegreesToRadians(a + da);
            gear << centre + QPointF(r * std::cos(rad), r * std::sin(rad));
        }
    }
    p.setPen(strokePen(c, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(gear);
    p.drawEllipse(centre, 3.8, 3.8);
}

void glyphHide(QPainter& p, const QColor& c)
{
    p.setPen(strokePen(c, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(16, 16), 11, 11);
    p.drawLine(QPointF(11, 16), QPointF(21, 16));
}

void glyphPower(QPainter& p, const QColor& c)
{
    p.setPen(strokePen(c, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.5, 6.5, 21, 21), (90 + 38) * 16, 284 * 16);
    p.drawLine(QPointF(16, 4.5), QPointF(16, 15));
}

void glyphMicrophone(QPainter& p, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(12.5, 5, 7, 13), 3.5, 3.5);
    p.setPen(strokePen(c, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 9, 14, 14), 180 * 16, 180 * 16);
    p.drawLine(QPointF(16, 23), QPointF(16, 27));
    p.drawLine(QPointF(12, 27), QPointF(20, 27));
}

// Draws a 32-grid glyph scaled into the square `r`.
void inSquare(QPainter& p, const QRectF& r, const std::function<void()>& glyph)
{
    p.save();
    p.translate(r.topLeft());
    p.scale(r.width() / 32.0, r.height() / 32.0);
    glyph();
    p.restore();
}

// ---- the pictures --------------------------------------------------------

// Soft shadow in the band of 5 px left and right, 3 px on top and 7 px at the
// bottom around a white body. Each edge strip is uniform along its length
// because the windows stretch the edges and keep only the corners as drawn.
QImage shadowImage(int scale)
{
    const int w = 210, h = 143;
    const QRect body(5, 3, 200, 133);
    QImage image(w * scale, h * scale, QImage::Format_ARGB32);
    for (int y = 0; y < h * scale; ++y) {
        for (int x = 0; x < w * scale; ++x) {
            // The pixel's centre in logical pixels.
            const qreal cx = (x + 0.5) / scale, cy = (y + 0.5) / scale;
            qreal dx = 0, dy = 0, bandX = 5, bandY = 3;
            if (cx < body.left())
                dx = body.left() - cx;
            else if (cx > body.right() + 1)
                dx = cx - (body.right() + 1);
            if (cy < body.top()) {
                dy = body.top() - cy;
            } else if (cy > body.bottom() + 1) {
                dy = cy - (body.bottom() + 1);
                bandY = 7;
            }
            if (dx == 0 && dy == 0) {
                image.setPixel(x, y, qRgba(255, 255, 255, 255));
                continue;
            }
            const qreal t = std::sqrt((dx / bandX) * (dx / bandX) + (dy / bandY) * (dy / bandY));
            const qreal strength = bandY == 7 ? 52.0 : 36.0;
            const qreal fall = t >= 1 ? 0 : (1 - t) * (1 - t);
            image.setPixel(x, y, qRgba(0, 0, 0, qRound(strength * fall)));
        }
    }
    return image;
}

// Soft shadow in the band of 5 px left and right, 3 px on top and 7 px at the
// bottom around a white body. Each edge strip is uniform along its length
// because the windows stretch the edges and keep only the corners as drawn.
void makeShadow()
{
    for (const Scale& scale : kScales)
        save(scaledName("shadow.png", scale), shadowImage(scale.factor));
}

void makeMenuIcons()
{
    struct Entry
    {
        const char* name;
        std::function<void(QPainter&, const QColor&)> glyph;
    };
    const Entry upper[] = {
        {"menu_icon_mymeeting", glyphCalendar},
        {"menu_icon_starup", [](QPainter& p, const QColor& c) { glyphCamera(p, c, false); }},
        {"menu_icon_join", glyphEnter},
    };
    for (const Entry& e : upper) {
        save(QString(e.name) + "_on.png", 32, 32, [&](QPainter& p) { e.glyph(p, kBlue); });
        save(QString(e.name) + "_nor.png", 32, 32, [&](QPainter& p) { e.glyph(p, kIconGrey); });
    }
    // The lower entries sit in 48 x 48 labels: the same 32-grid glyph, centred
    // at its drawn size so that the strokes keep the upper entries' weight.
    const Entry lower[] = {
        {"menu_icon_setting", glyphGear}, {"menu_icon_min", glyphHide}, {"menu_icon_quite", glyphPower}};
    for (const Entry& e : lower)
        save(QString(e.name) + ".png", 48, 48,
             [&](QPainter& p) { inSquare(p, QRectF(8, 8, 32, 32), [&] { e.glyph(p, kIconGrey); }); });
}

void makeUserIcon()
{
    save("icon_user.png", 24, 24, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(0, 0, 24, 24));
        QPainterPath clip;
        clip.addEllipse(QRectF(0, 0, 24, 24));
        p.setClipPath(clip);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(12, 9.5), 4.2, 4.2);
        p.drawEllipse(QRectF(4.5, 15.5, 15, 13));
    });
}

void makeKeys()
{
    struct Key
    {
        QString file;
        QString label; // empty: drawn as a picture
        int kind;      // 0 text, 1 point, 2 backspace
    };
    std::vector<Key> keys;
    for (int d = 1; d <= 9; ++d)
        keys.push_back({QString("keyboard_btn_0%1").arg(d), QString::number(d), 0});
    keys.push_back({"keyboard_btn_0-", "0", 0});
    keys.push_back({"keyboard_btn_point", QString(), 1});
    keys.push_back({"keyboard_btn_delet", QString(), 2});

    for (const Key& key : keys) {
        for (bool pressed : {false, true}) {
            const QColor ink = pressed ? Qt::white : kInk;
            save(key.file + (pressed ? "_press.png" : "_nor.png"), 160, 56, [&](QPainter& p) {
                if (pressed)
                    box(p, QRectF(0, 0, 160, 56), 6, kBlue);
                else
                    box(p, QRectF(0, 0, 160, 56), 6, kKeyFill, kKeyBorder);
                if (key.kind == 0) {
                    centredText(p, QRectF(0, 0, 160, 56), key.label, 28, ink);
                } else if (key.kind == 1) {
                    p.setPen(Qt::NoPen);
                    p.setBrush(ink);
                    p.drawEllipse(QPointF(80, 37), 3, 3);
                } else {
                    p.setPen(strokePen(ink, 2));
                    p.setBrush(Qt::NoBrush);
                    const QPointF outline[] = {{66, 28}, {74, 19}, {95, 19}, {95, 37}, {74, 37}};
                    p.drawPolygon(outline, 5);
                    p.drawLine(QPointF(80.5, 24), QPointF(88.5, 32));
                    p.drawLine(QPointF(88.5, 24), QPointF(80.5, 32));
                }
            });
        }
    }
}

void makeButtons()
{
    save("choose_on.png", 96, 36, [](QPainter& p) { box(p, QRectF(0, 0, 96, 36), 4, kBlue); });
    save("choose_on_press.png", 96, 36, [](QPainter& p) { box(p, QRectF(0, 0, 96, 36), 4, kBluePressed); });
    save("choose_nor.png", 96, 36, [](QPainter& p) { box(p, QRectF(0, 0, 96, 36), 4, Qt::white, kBlue); });
    save("choose_nor_press.png", 96, 36,
         [](QPainter& p) { box(p, QRectF(0, 0, 96, 36), 4, kBlueTint, kBlue); });

    for (int w : {140, 160}) {
        save(QString("btn_blue_%1.png").arg(w), w, 56,
             [w](QPainter& p) { box(p, QRectF(0, 0, w, 56), 6, kBlue); });
        save(QString("btn_blue_%1_press.png").arg(w), w, 56,
             [w](QPainter& p) { box(p, QRectF(0, 0, w, 56), 6, kBluePressed); });
    }
    save("btn_white_140.png", 140, 56,
         [](QPainter& p) { box(p, QRectF(0, 0, 140, 56), 6, Qt::white, kLightGrey); });
    save("btn_white_140_press.png", 140, 56,
         [](QPainter& p) { box(p, QRectF(0, 0, 140, 56), 6, QColor(0xF2, 0xF2, 0xF2), kLightGrey); });

    save("type_bg_nor.png", 560, 64, [](QPainter& p) { box(p, QRectF(0, 0, 560, 64), 6, Qt::white, kLine); });
    save("type_bg_on.png", 560, 64,
         [](QPainter& p) { box(p, QRectF(0, 0, 560, 64), 6, Qt::white, kBlue, 2); });
}

void makeTypeAndStatusIcons()
{
    save("icon_type_video.png", 40, 40, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlueTint);
        p.drawEllipse(QRectF(0, 0, 40, 40));
        inSquare(p, QRectF(9, 9, 22, 22), [&] { glyphCamera(p, kBlue, true); });
    });
    save("icon_type_voi.png", 40, 40, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlueTint);
        p.drawEllipse(QRectF(0, 0, 40, 40));
        inSquare(p, QRectF(6, 6, 28, 28), [&] { glyphMicrophone(p, kBlue); });
    });
    save("icon_success.png", 80, 80, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1, 1, 78, 78));
        p.setPen(strokePen(Qt::white, 6));
        const QPointF tick[] = {{23, 41}, {35, 53}, {58, 29}};
        p.drawPolyline(tick, 3);
    });
    save("Artboard.png", 16, 16, [](QPainter& p) {
        p.setPen(strokePen(kMidGrey, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 6.6, 6.6);
        const QPointF hands[] = {{8, 4.6}, {8, 8.4}, {10.6, 10}};
        p.drawPolyline(hands, 3);
    });
}

void makeNetworkError()
{
    save("wlan_blank.png", 220, 220, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kPanel);
        p.drawEllipse(QPointF(110, 110), 104, 104);

        const QPointF origin(104, 146);
        p.setPen(QPen(kLightGrey, 11, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        for (qreal r : {26.0, 50.0, 74.0})
            p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kLightGrey);
        p.drawEllipse(origin, 9, 9);

        const QPointF badge(152, 150);
        p.setBrush(kPanel);
        p.drawEllipse(badge, 27, 27);
        p.setBrush(kMidGrey);
        p.drawEllipse(badge, 21, 21);
        p.setPen(strokePen(Qt::white, 5));
        p.drawLine(badge + QPointF(-7, -7), badge + QPointF(7, 7));
        p.drawLine(badge + QPointF(7, -7), badge + QPointF(-7, 7));
    });
}

void makeEmptyState()
{
    // A calendar with nothing on it and a small clock: "no meeting booked".
    save("img_no_meeting.png", 272, 242, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kPanel);
        p.drawEllipse(QPointF(136, 214), 108, 16);
        p.setBrush(kBlueTint);
        p.drawEllipse(QPointF(42, 62), 10, 10);
        p.drawEllipse(QPointF(232, 48), 6, 6);
        p.drawEllipse(QPointF(236, 150), 12, 12);

        const QRectF card(58, 46, 156, 152);
        box(p, card, 12, Qt::white, kBlueSoft, 3);
        QPainterPath header;
        header.addRoundedRect(card.adjusted(1.5, 1.5, -1.5, 0), 10.5, 10.5);
        QPainterPath below;
        below.addRect(QRectF(card.left(), card.top() + 40, card.width(), card.height()));
        p.setPen(Qt::NoPen);
        p.setBrush(kBlueSoft);
        p.drawPath(header.subtracted(below));

        p.setPen(strokePen(kBlue, 7));
        p.drawLine(QPointF(98, 34), QPointF(98, 58));
        p.drawLine(QPointF(174, 34), QPointF(174, 58));

        p.setPen(Qt::NoPen);
        p.setBrush(kPanel);
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col)
                p.drawRoundedRect(QRectF(78 + col * 31, 104 + row * 28, 22, 16), 4, 4);

        const QPointF clock(200, 176);
        p.setBrush(Qt::white);
        p.drawEllipse(clock, 34, 34);
        p.setBrush(kBlue);
        p.drawEllipse(clock, 28, 28);
        p.setPen(strokePen(Qt::white, 5));
        const QPointF hands[] = {clock + QPointF(0, -15), clock, clock + QPointF(11, 8)};
        p.drawPolyline(hands, 3);
    });
}

void makeTryButtons()
{
    for (bool pressed : {false, true}) {
        const QColor fill = pressed ? kBluePressed : kBlue;
        const QString suffix = pressed ? "_press.png" : ".png";
        save("btn_try_create" + suffix, 72, 72, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawEllipse(QRectF(0, 0, 72, 72));
            inSquare(p, QRectF(14, 14, 44, 44), [&] { glyphCamera(p, Qt::white, false); });
        });
        save("btn_try_join" + suffix, 72, 72, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawEllipse(QRectF(0, 0, 72, 72));
            inSquare(p, QRectF(13, 14, 44, 44), [&] { glyphEnter(p, Qt::white); });
        });
    }
}

// The window icon and the desktop's icons are one drawing (AppIcon.cpp).
QImage appIcon(int size)
{
    return drawAppIcon(size);
}

// Windows icon container holding PNG images (Vista and later read these; Qt's
// own ICO handler writes a single image only).
void makeFavicon()
{
    const std::vector<int> sizes{16, 24, 32, 48, 64, 128, 256};
    std::vector<QByteArray> pngs;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        appIcon(size).convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
        pngs.push_back(png);
    }

    QByteArray ico;
    auto put16 = [&ico](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        ico.append(b, 2);
    };
    auto put32 = [&ico](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        ico.append(b, 4);
    };
    put16(0); // reserved
    put16(1); // type: icon
    put16(static_cast<quint16>(sizes.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const char dim = static_cast<char>(sizes[i] >= 256 ? 0 : sizes[i]);
        ico.append(dim);
        ico.append(dim);
        ico.append('\0'); // palette size
        ico.append('\0'); // reserved
        put16(1);         // colour planes
        put16(32);        // bits per pixel
        put32(static_cast<quint32>(pngs[i].size()));
        put32(offset);
        offset += static_cast<quint32>(pngs[i].size());
    }
    for (const QByteArray& png : pngs)
        ico.append(png);

    const QString path = QDir(g_outDir).filePath("favicon.ico");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    file.close();

    QImageReader reader(path);
    if (reader.imageCount() != static_cast<int>(sizes.size())) {
        std::fprintf(stderr, "favicon.ico reads back with %d images\n", reader.imageCount());
        ++g_failures;
        return;
    }
    std::printf("%-34s %d sizes, 16 to 256\n", "favicon.ico", reader.imageCount());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <Resources directory>\n", argv[0]);
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir(g_outDir).exists()) {
        std::fprintf(stderr, "no such directory: %s\n", argv[1]);
        return 2;
    }
    QFont probe(kFontFamily);
    if (QFontInfo(probe).family() != kFontFamily)
        std::fprintf(stderr, "warning: %s not installed, key digits use %s\n", kFontFamily,
                     qPrintable(QFontInfo(probe).family()));

    makeShadow();
    makeMenuIcons();
    makeUserIcon();
    makeKeys();
    makeButtons();
    makeTypeAndStatusIcons();
    makeNetworkError();
    makeEmptyState();
    makeTryButtons();
    makeFavicon();
    g_failures += writeDesktopIcons(QDir(g_outDir).filePath("icons"), "org.talvora.Talvora");
    return g_failures == 0 ? 0 : 1;
}
