#include "platform/drawing.h"

#include <algorithm>
#include <cstring>

#include <QPainter>

namespace platform {
namespace {
bool contextFailure = false;
}

QImage LoadBitmapFile(const QString& path) {
    QImage image;
    if (!image.load(path, "BMP")) {
        return QImage();
    }
    return image;
}

QImage CreateCompatibleDC(const QImage& compatible) {
    if (contextFailure) {
        return QImage();
    }
    const QImage::Format format = compatible.isNull() ? QImage::Format_RGB32 : compatible.format();
    return CreateCompatibleBitmap(QImage(1, 1, format), 1, 1);
}

QImage CreateCompatibleBitmap(const QImage& context, int width, int height) {
    if (context.isNull() || width <= 0 || height <= 0) {
        return QImage();
    }
    QImage image(width, height, context.format());
    if (image.isNull()) {
        return image;
    }
    if (image.colorCount() > 0) {
        image.setColorTable(context.colorTable());
    }
    image.fill(0);
    return image;
}

void SelectObject(QImage& context, const QImage& image) {
    if (context.isNull()) {
        return;
    }
    context = image.format() == context.format() ? image : image.convertToFormat(context.format());
}

void BitBlt(QImage& destination, int x, int y, int width, int height, const QImage& source,
            int sourceX, int sourceY) {
    // Clip the rectangle to both images.
    if (x < 0) {
        width += x;
        sourceX -= x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        sourceY -= y;
        y = 0;
    }
    if (sourceX < 0) {
        width += sourceX;
        x -= sourceX;
        sourceX = 0;
    }
    if (sourceY < 0) {
        height += sourceY;
        y -= sourceY;
        sourceY = 0;
    }
    width = std::min({width, destination.width() - x, source.width() - sourceX});
    height = std::min({height, destination.height() - y, source.height() - sourceY});
    if (width <= 0 || height <= 0) {
        return;
    }
    const int depth = destination.depth();
    if (source.format() == destination.format() && depth % 8 == 0) {
        const int bytesPerPixel = depth / 8;
        const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
        for (int row = 0; row < height; ++row) {
            std::memcpy(destination.scanLine(y + row) + x * bytesPerPixel,
                        source.constScanLine(sourceY + row) + sourceX * bytesPerPixel, rowBytes);
        }
        return;
    }
    QPainter painter(&destination);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(x, y, source, sourceX, sourceY, width, height);
}

void SetDrawingContextFailure(bool fail) {
    contextFailure = fail;
}

}  // namespace platform
