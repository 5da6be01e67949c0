// Quarter turns of an image region, checked pixel by pixel on small surfaces whose every pixel
// is distinct.

#include <cstdint>

#include <QImage>
#include <QPoint>

#include <gtest/gtest.h>

#include "about/moodule.h"
#include "platform/drawing.h"

namespace {

// Every pixel names its own position.
QRgb Tag(int x, int y) {
    return qRgb(x * 10 + 5, y * 10 + 5, 200);
}

QImage TaggedSurface(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, Tag(x, y));
        }
    }
    return image;
}

struct Turn {
    std::int32_t angle;
    bool swapsSides;
    // Source position of copy pixel (j, i) for a w x h region.
    QPoint (*source)(int j, int i, int w, int h);
};

const Turn kTurns[] = {
    {0, false, [](int j, int i, int, int) { return QPoint(j, i); }},
    {2, true, [](int j, int i, int, int h) { return QPoint(i, h - j); }},
    {3, false, [](int j, int i, int w, int h) { return QPoint(w - j, h - i); }},
    {5, true, [](int j, int i, int w, int) { return QPoint(w - i, j); }},
};

TEST(RotateImage, ThreeByTwoTurnedAQuarterReadsTheRowBelowTheRegion) {
    const QImage source = TaggedSurface(4, 3);
    QImage surface = source;
    std::int32_t width = 3;
    std::int32_t height = 2;
    std::int32_t angle = 2;
    Moodule::RotateImage(surface, width, height, angle);

    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(angle, 2);
    ASSERT_EQ(surface.size(), QSize(2, 3));
    EXPECT_EQ(surface.pixel(0, 0), Tag(0, 2));
    EXPECT_EQ(surface.pixel(1, 2), Tag(2, 1));
}

TEST(RotateImage, EveryAngleHasItsSizeAndPixelMapping) {
    constexpr int w = 5;
    constexpr int h = 3;
    // One spare column and row beyond the region, which the turned copies read.
    const QImage source = TaggedSurface(w + 2, h + 2);
    for (const Turn& turn : kTurns) {
        SCOPED_TRACE(turn.angle);
        QImage surface = source;
        std::int32_t width = w;
        std::int32_t height = h;
        std::int32_t angle = turn.angle;
        Moodule::RotateImage(surface, width, height, angle);

        const QSize expected = turn.swapsSides ? QSize(h, w) : QSize(w, h);
        EXPECT_EQ(QSize(width, height), expected);
        ASSERT_EQ(surface.size(), expected);
        EXPECT_EQ(surface.format(), source.format());
        EXPECT_EQ(angle, turn.angle);
        for (int i = 0; i < surface.height(); ++i) {
            for (int j = 0; j < surface.width(); ++j) {
                const QPoint from = turn.source(j, i, w, h);
                ASSERT_EQ(surface.pixel(j, i), Tag(from.x(), from.y()))
                    << "copy (" << j << ", " << i << ") from (" << from.x() << ", " << from.y()
                    << ")";
            }
        }
    }
}

TEST(RotateImage, LeavesTheSourceUnchanged) {
    const QImage original = TaggedSurface(6, 4);
    QImage shared = original;  // the caller's own image, as a picture box holds it
    for (const Turn& turn : kTurns) {
        QImage surface = shared;
        std::int32_t width = 5;
        std::int32_t height = 3;
        std::int32_t angle = turn.angle;
        Moodule::RotateImage(surface, width, height, angle);
        EXPECT_NE(surface.constBits(), shared.constBits());
    }
    EXPECT_EQ(shared, TaggedSurface(6, 4));
}

TEST(RotateImage, SourceOutsideTheSurfaceCopiesNothing) {
    // The region fills the whole surface, so the row and column just past it do not exist.
    const QImage source = TaggedSurface(3, 2);
    const QRgb blank = qRgb(0, 0, 0);

    QImage quarter = source;
    std::int32_t width = 3;
    std::int32_t height = 2;
    std::int32_t angle = 2;
    Moodule::RotateImage(quarter, width, height, angle);
    ASSERT_EQ(quarter.size(), QSize(2, 3));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(quarter.pixel(0, i), blank) << i;  // from row y = 2
        EXPECT_EQ(quarter.pixel(1, i), Tag(i, 1)) << i;
    }

    QImage half = source;
    width = 3;
    height = 2;
    angle = 3;
    Moodule::RotateImage(half, width, height, angle);
    ASSERT_EQ(half.size(), QSize(3, 2));
    EXPECT_EQ(half.pixel(0, 1), blank);  // from column x = 3
    EXPECT_EQ(half.pixel(1, 0), blank);  // from row y = 2
    EXPECT_EQ(half.pixel(1, 1), Tag(2, 1));
    EXPECT_EQ(half.pixel(2, 1), Tag(1, 1));
}

TEST(RotateImage, WithoutADrawingContextTheCopyStaysEmpty) {
    platform::SetDrawingContextFailure(true);
    QImage surface = TaggedSurface(4, 3);
    std::int32_t width = 3;
    std::int32_t height = 2;
    std::int32_t angle = 5;
    Moodule::RotateImage(surface, width, height, angle);
    platform::SetDrawingContextFailure(false);
    EXPECT_TRUE(surface.isNull());
    EXPECT_EQ(QSize(width, height), QSize(2, 3));
}

TEST(RotateImage, MinOfAndMaxOf) {
    struct Case {
        std::int32_t a, b, min, max;
    };
    const Case cases[] = {{1, 2, 1, 2},
                          {2, 1, 1, 2},
                          {-75, 0, -75, 0},
                          {7, 7, 7, 7},
                          {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX}};
    for (Case c : cases) {
        EXPECT_EQ(Moodule::MinOf(c.a, c.b), c.min) << c.a << " " << c.b;
        EXPECT_EQ(Moodule::MaxOf(c.a, c.b), c.max) << c.a << " " << c.b;
    }
}

TEST(BitBlt, ClipsToBothImages) {
    const QImage source = TaggedSurface(4, 4);
    QImage destination(3, 3, QImage::Format_RGB32);
    destination.fill(qRgb(1, 2, 3));
    platform::BitBlt(destination, -1, 1, 4, 4, source, 2, 0);
    // Only the source columns 3 and up and the destination rows 1 and 2 take part.
    EXPECT_EQ(destination.pixel(0, 1), Tag(3, 0));
    EXPECT_EQ(destination.pixel(0, 2), Tag(3, 1));
    EXPECT_EQ(destination.pixel(1, 1), qRgb(1, 2, 3));
    EXPECT_EQ(destination.pixel(0, 0), qRgb(1, 2, 3));
}

TEST(BitBlt, ConvertsBetweenPixelFormats) {
    QImage source(2, 1, QImage::Format_Indexed8);
    source.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    source.setPixel(0, 0, 1);
    source.setPixel(1, 0, 0);
    QImage destination(3, 1, QImage::Format_RGB32);
    destination.fill(qRgb(1, 2, 3));
    platform::BitBlt(destination, 1, 0, 2, 1, source, 0, 0);
    EXPECT_EQ(destination.pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(destination.pixel(1, 0), qRgb(200, 100, 50));
    EXPECT_EQ(destination.pixel(2, 0), qRgb(10, 20, 30));
}

}  // namespace
