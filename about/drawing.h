#pragma once
// Stand-in for the few Windows drawing calls the mascot needs. On Linux a drawing context and
// the image selected into it are one object: a QImage that is read and written pixel by pixel.
// A null QImage stands for "no context" (the Windows handle 0); calls on it do nothing.

#include <algorithm>
#include <cstring>

#include <QImage>
#include <QString>

namespace platform {

// Loads a BMP file at its own size; a null image when the file is missing or not a BMP.
QImage LoadBitmapFile(const QString& path);

// A new off-screen drawing context in the pixel format of `compatible` (the screen's when it
// is null), holding the 1 x 1 black image a fresh Windows memory context starts with. A null
// image when no context can be had.
QImage CreateCompatibleDC(const QImage& compatible = QImage());

// A new width x height image in the pixel format of `context`, cleared to black; a null image
// when the context is null or the size is empty.
QImage CreateCompatibleBitmap(const QImage& context, int width, int height);

// From now on `context` reads from and draws into `image`, in the context's pixel format.
void SelectObject(QImage& context, const QImage& image);

// Plain copy of a width x height rectangle of `source` at (sourceX, sourceY) to
// (x, y) of `destination`. Whatever lies outside either image is not copied.
void BitBlt(QImage& destination, int x, int y, int width, int height, const QImage& source,
            int sourceX, int sourceY);

// A drawing context's pixels laid open for many small copies, so that each copy does not have
// to look the image up again. A view for writing goes into the image it was made from; keep
// the image unchanged in size and unshared while the view is in use.
class PixelView {
public:
    static PixelView Reading(const QImage& image) { return PixelView(image, nullptr); }
    static PixelView Writing(QImage& image) { return PixelView(image, image.bits()); }

    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    PixelView(const QImage& image, uchar* bits);
    friend void BitBlt(PixelView& destination, int x, int y, int width, int height,
                       const PixelView& source, int sourceX, int sourceY);

    uchar* bits_;  // null when reading only
    const uchar* constBits_;
    qsizetype bytesPerLine_;
    int width_;
    int height_;
    int bytesPerPixel_;  // 0 when pixels are smaller than a byte
    QImage::Format format_;
};

// BitBlt between two views, as above. Views of different pixel formats, or a destination not
// made for writing, copy nothing.
inline void BitBlt(PixelView& destination, int x, int y, int width, int height,
                   const PixelView& source, int sourceX, int sourceY) {
    if (destination.bits_ == nullptr || destination.format_ != source.format_ ||
        destination.bytesPerPixel_ == 0) {
        return;
    }
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
    width = std::min({width, destination.width_ - x, source.width_ - sourceX});
    height = std::min({height, destination.height_ - y, source.height_ - sourceY});
    if (width <= 0 || height <= 0) {
        return;
    }
    const int pixelBytes = destination.bytesPerPixel_;
    for (int row = 0; row < height; ++row) {
        uchar* to = destination.bits_ + (y + row) * destination.bytesPerLine_ + x * pixelBytes;
        const uchar* from =
            source.constBits_ + (sourceY + row) * source.bytesPerLine_ + sourceX * pixelBytes;
        if (pixelBytes == 4) {
            for (int column = 0; column < width; ++column) {
                std::memcpy(to + 4 * column, from + 4 * column, 4);
            }
        } else {
            std::memcpy(to, from, static_cast<std::size_t>(width) * pixelBytes);
        }
    }
}

// Test seam: while set, CreateCompatibleDC gives no context.
void SetDrawingContextFailure(bool fail);

}  // namespace platform
