// The terms text and quarter turns of a plain image, without a window.

#include <cstdint>

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

#include "about/drawing.h"
#include "about/moodule.h"
#include "about/terms.h"
#include "tests/qt_printers.h"

namespace {

TEST(Terms, FixedTitleHeadingsAndBlanksAndTheNoticeInTheRightsParagraphOnly) {
    const QString text = Moodule::TermsText();
    EXPECT_TRUE(text.startsWith("Norvane 1.0\r\n\r\nRight of use to the Enduser:\r\n\r\n"));
    EXPECT_EQ(text.count(QLatin1Char('\n')), 32);  // the sixteen separators' line ends only
    const QStringList blocks = text.split("\r\n\r\n");
    ASSERT_EQ(blocks.size(), 17);
    EXPECT_TRUE(blocks[3].startsWith(QLatin1Char(' ')) && !blocks[3].startsWith("  "));
    EXPECT_EQ(blocks[4], "Disclaimer of Warrantee: ");
    EXPECT_EQ(blocks[6], "Limitations:");
    EXPECT_EQ(blocks[8], "Distribution ");
    EXPECT_EQ(blocks[13], "Decompiling and Alteration Restrictions");
    EXPECT_TRUE(blocks[15].endsWith(QLatin1Char(' ')) && text.endsWith(QLatin1Char(' ')));

    QStringList noticed = Moodule::TermsTextWithNotice().split("\r\n\r\n");
    ASSERT_EQ(noticed.size(), 17);
    EXPECT_TRUE(noticed[15].startsWith(blocks[15] + "Copyright")) << noticed[15].toStdString();
    noticed[15] = blocks[15];
    EXPECT_EQ(noticed, blocks);
}

// Every pixel names its own position.
QRgb Tag(int x, int y) {
    return qRgb(x * 10 + 5, y * 10 + 5, 200);
}

QImage Tagged(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int k = 0; k < width * height; ++k) {
        image.setPixel(k % width, k / width, Tag(k % width, k / width));
    }
    return image;
}

// The width x height region of `image` turned by `angle`, checked to be `size` large.
QImage Turn(QImage image, std::int32_t width, std::int32_t height, std::int32_t angle, QSize size) {
    Moodule::RotateImage(image, width, height, angle);
    EXPECT_TRUE(image.size() == size && QSize(width, height) == size);
    return image;
}

TEST(RotateImage, QuarterTurnsTakeTheirPixelsOnePixelOffAnExactTurn) {
    const QImage source = Tagged(4, 3);  // a 3 x 2 region and the column and row past it
    EXPECT_EQ(Turn(source, 3, 2, 0, {3, 2}), source.copy(0, 0, 3, 2));
    const QImage quarter = Turn(source, 3, 2, 2, {2, 3});
    EXPECT_EQ(quarter.pixel(0, 0), Tag(0, 2));  // column 0 from the row below the region
    EXPECT_EQ(quarter.pixel(1, 2), Tag(2, 1));
    EXPECT_EQ(Turn(source, 3, 2, 3, {3, 2}).pixel(0, 0), Tag(3, 2));
    const QImage threeQuarters = Turn(source, 3, 2, 5, {2, 3});
    EXPECT_EQ(threeQuarters.pixel(0, 0), Tag(3, 0));  // row 0 from the column past the region
    EXPECT_EQ(threeQuarters.pixel(1, 2), Tag(1, 1));
    EXPECT_EQ(source, Tagged(4, 3));  // only read
    // Where the region fills the surface there is no row below it: the copy stays black.
    EXPECT_EQ(Turn(Tagged(3, 2), 3, 2, 2, {2, 3}).pixel(0, 1), qRgb(0, 0, 0));

    // Four quarter turns give the region back, save the top row and left column, which read
    // past the end of a copy.
    QImage image = Tagged(6, 6);
    for (int turn = 0; turn < 4; ++turn) {
        image = Turn(image, 5, 5, 2, {5, 5});
    }
    QImage expected = Tagged(5, 5);
    for (int k = 0; k < 5; ++k) {
        expected.setPixel(k, 0, qRgb(0, 0, 0));
        expected.setPixel(0, k, qRgb(0, 0, 0));
    }
    EXPECT_EQ(image, expected);
}

// A copy takes the part of the rectangle that lies inside both images and leaves the rest of
// the destination as it was, with pixels of four bytes and of three.
TEST(BitBlt, CopiesWhatLiesInsideBothImagesAndNothingElse) {
    const int copies[][6] = {{1, 1, 2, 2, 1, 0},   {-2, -1, 4, 3, 0, 0}, {3, 2, 9, 9, 0, 0},
                             {0, 0, 3, 3, -1, -2}, {2, 1, 5, 5, 2, 1},   {-6, 0, 3, 3, 0, 0},
                             {0, 0, 3, 3, 4, 0},   {1, 0, -1, 2, 0, 0},  {0, 3, 5, 5, 0, 2}};
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        const QImage source = Tagged(4, 3).convertToFormat(format);
        for (const auto& [x, y, width, height, sourceX, sourceY] : copies) {
            QImage destination(5, 4, format);
            destination.fill(Qt::white);
            platform::BitBlt(destination, x, y, width, height, source, sourceX, sourceY);
            int wrong = 0;
            for (int k = 0; k < 5 * 4; ++k) {
                const QPoint at(k % 5, k / 5), from = at - QPoint(x - sourceX, y - sourceY);
                const bool copied =
                    QRect(x, y, width, height).contains(at) && source.rect().contains(from);
                wrong +=
                    destination.pixel(at) != (copied ? source.pixel(from) : qRgb(255, 255, 255));
            }
            EXPECT_EQ(wrong, 0) << format << " row " << (&x - &copies[0][0]) / 6;
        }
    }
    // Between pixel formats the copy converts; without a context there is no bitmap.
    QImage other(5, 4, QImage::Format_ARGB32);
    platform::BitBlt(other, 1, 1, 2, 2, Tagged(4, 3), 1, 0);
    EXPECT_TRUE(other.pixel(1, 1) == Tag(1, 0) && other.pixel(2, 2) == Tag(2, 1));
    EXPECT_TRUE(platform::CreateCompatibleBitmap(QImage(), 2, 2).isNull());
}

}  // namespace
