#include "about/drawing.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace platform {
namespace {
bool contextFailure = false;
}

QImage LoadBitmapFile(const QString& path) {
    // Opened here, so that a missing file is simply no picture: the reader would try to read
    // the unopened file and warn about it on standard error.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QImage();
    }
    // Read as a BMP and nothing else. Left to guess, Qt would first load every image format
    // plugin installed (and the libraries they need) to ask whether it knows the file.
    QImageReader reader(&file, "bmp");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
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
    if (source.format() == destination.format() && destination.depth() % 8 == 0) {
        PixelView to = PixelView::Writing(destination);
        BitBlt(to, x, y, width, height, PixelView::Reading(source), sourceX, sourceY);
        return;
    }
    if (destination.isNull() || source.isNull()) {
        return;
    }
    QPainter painter(&destination);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(x, y, width, height), source, QRect(sourceX, sourceY, width, height));
}

PixelView::PixelView(const QImage& image, uchar* bits)
    : bits_(bits),
      constBits_(bits != nullptr ? bits : image.constBits()),
      bytesPerLine_(image.bytesPerLine()),
      width_(image.width()),
      height_(image.height()),
      bytesPerPixel_(image.depth() % 8 == 0 ? image.depth() / 8 : 0),
      format_(image.format()) {}

void SetDrawingContextFailure(bool fail) {
    contextFailure = fail;
}

}  // namespace platform
