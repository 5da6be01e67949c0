#include "assets/mascot_picture.h"

#include <limits>

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace assets {

// The cow's head in a 75 x 75 design space. It is deliberately lopsided (a patch over one
// eye, the muzzle at the bottom) so that every quarter turn looks different.
void DrawMascot(QPainter& painter, double size) {
    painter.save();
    painter.scale(size / 75.0, size / 75.0);
    painter.setRenderHint(QPainter::Antialiasing, size >= 48);
    const QPen outline(QColor(0x20, 0x20, 0x20), 1.5);

    // Horns.
    painter.setPen(outline);
    painter.setBrush(QColor(0xf0, 0xe0, 0xb0));
    QPainterPath leftHorn;
    leftHorn.moveTo(24, 18);
    leftHorn.quadTo(14, 14, 15, 4);
    leftHorn.quadTo(20, 11, 30, 13);
    leftHorn.closeSubpath();
    painter.drawPath(leftHorn);
    QPainterPath rightHorn;
    rightHorn.moveTo(51, 18);
    rightHorn.quadTo(61, 14, 60, 4);
    rightHorn.quadTo(55, 11, 45, 13);
    rightHorn.closeSubpath();
    painter.drawPath(rightHorn);

    // Ears, pink inside.
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(3, 19, 20, 11));
    painter.drawEllipse(QRectF(52, 19, 20, 11));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf4, 0xa6, 0xb8));
    painter.drawEllipse(QRectF(7, 22, 12, 5));
    painter.drawEllipse(QRectF(56, 22, 12, 5));

    // Head.
    painter.setPen(outline);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(19, 11, 37, 50), 16, 18);

    // Black patches: one over the left eye, one on the brow.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x18, 0x18, 0x18));
    QPainterPath patch;
    patch.moveTo(21, 24);
    patch.cubicTo(22, 14, 34, 12, 36, 20);
    patch.cubicTo(38, 28, 34, 38, 26, 40);
    patch.cubicTo(21, 41, 20, 32, 21, 24);
    painter.drawPath(patch);
    painter.drawEllipse(QRectF(44, 13, 8, 6));

    // Eyes.
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(26, 27, 7, 7));
    painter.setBrush(QColor(0x18, 0x18, 0x18));
    painter.drawEllipse(QRectF(42, 27, 7, 7));
    painter.drawEllipse(QRectF(28, 29, 4, 4));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(44, 28, 2, 2));

    // Muzzle with nostrils and a smile.
    painter.setPen(outline);
    painter.setBrush(QColor(0xf4, 0xa6, 0xb8));
    painter.drawEllipse(QRectF(20, 44, 35, 24));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x80, 0x30, 0x40));
    painter.drawEllipse(QRectF(28, 50, 5, 6));
    painter.drawEllipse(QRectF(42, 50, 5, 6));
    painter.setPen(QPen(QColor(0x80, 0x30, 0x40), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(31, 55, 13, 7), 200 * 16, 140 * 16);
    painter.restore();
}

namespace {

// The sixteen colours of the classic VGA palette.
QList<QRgb> SixteenColours() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

QPixmap IconPixmap(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawMascot(painter, size);
    painter.end();
    // Sixteen colours plus a transparent back: quantise the opaque pixels only.
    QImage sixteen = image.convertToFormat(QImage::Format_Indexed8, SixteenColours(),
                                           Qt::ThresholdDither | Qt::AvoidDither);
    QImage result(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool opaque = qAlpha(image.pixel(x, y)) >= 128;
            result.setPixel(x, y, opaque ? sixteen.pixel(x, y) : qRgba(0, 0, 0, 0));
        }
    }
    return QPixmap::fromImage(result);
}

// 256 colours: the back and the drawing's own colours first, so that they stay exact, then a
// colour cube and a grey ramp for the blended edges.
QList<QRgb> MascotPalette() {
    QList<QRgb> palette = {qRgb(0xc0, 0xc0, 0xc0), qRgb(0xff, 0xff, 0xff), qRgb(0x20, 0x20, 0x20),
                           qRgb(0x18, 0x18, 0x18), qRgb(0xf0, 0xe0, 0xb0), qRgb(0xf4, 0xa6, 0xb8),
                           qRgb(0x80, 0x30, 0x40)};
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                palette << qRgb(r * 51, g * 51, b * 51);
            }
        }
    }
    for (int grey = 8; palette.size() < 256; grey += 8) {
        palette << qRgb(grey, grey, grey);
    }
    return palette;
}

// Each pixel to the nearest colour of `palette`, without dithering. A drawing has few distinct
// colours, so each is matched once.
QImage ToPalette(const QImage& image, const QList<QRgb>& palette) {
    QImage indexed(image.size(), QImage::Format_Indexed8);
    indexed.setColorTable(palette);
    QHash<QRgb, uchar> nearest;
    auto match = [&palette](QRgb colour) {
        int best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (int i = 0; i < palette.size(); ++i) {
            const int r = qRed(colour) - qRed(palette[i]);
            const int g = qGreen(colour) - qGreen(palette[i]);
            const int b = qBlue(colour) - qBlue(palette[i]);
            const int distance = r * r + g * g + b * b;
            if (distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        return static_cast<uchar>(best);
    };
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            auto found = nearest.constFind(in[x]);
            if (found == nearest.constEnd()) {
                found = nearest.insert(in[x], match(in[x]));
            }
            out[x] = *found;
        }
    }
    return indexed;
}

}  // namespace

QColor MascotBackground() {
    return QColor(0xc0, 0xc0, 0xc0);
}

QImage MascotPicture() {
    QImage image(75, 75, QImage::Format_RGB32);
    image.fill(MascotBackground());
    QPainter painter(&image);
    DrawMascot(painter, 75);
    painter.end();
    return ToPalette(image, MascotPalette());
}

QIcon NorvaneIcon() {
    QIcon icon;
    icon.addPixmap(IconPixmap(32));
    icon.addPixmap(IconPixmap(16));
    return icon;
}

}  // namespace assets
