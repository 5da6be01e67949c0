#pragma once
// Stand-in for the few Windows drawing calls the mascot needs. On Linux a drawing context and
// the image selected into it are one object: a QImage that is read and written pixel by pixel.
// A null QImage stands for "no context" (the Windows handle 0); calls on it do nothing.

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

// Test seam: while set, CreateCompatibleDC gives no context.
void SetDrawingContextFailure(bool fail);

}  // namespace platform
