// The whois output as text: ReplaceAll, where the box breaks lines, the decoder.

#include <tuple>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include "tests/qt_printers.h"
#include "whois/text.h"

namespace {

using whois::LineBreaks;
using whois::ReplaceAll;

TEST(ReplaceAll, ReplacesEveryOccurrenceOfTheSourceOnlyLeftToRight) {
    EXPECT_EQ(ReplaceAll("", "\n", "\r\n"), "");
    EXPECT_EQ(ReplaceAll("a\n\nb\r\nc\rd\n", "\n", "\r\n"), "a\r\n\r\nb\r\r\nc\rd\r\n");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "aaa"), "aaaa");
    EXPECT_EQ(ReplaceAll("Case case", "case", "X"), "Case X");
    EXPECT_EQ(ReplaceAll("abc", "", "X"), "abc");
}

// The lines of the text, as the box breaks them, read in the given pieces.
QStringList Lines(const QStringList& pieces, whois::LineBreaks* breaks = nullptr) {
    whois::LineBreaks own;
    breaks = breaks != nullptr ? breaks : &own;
    QString text;
    for (const QString& piece : pieces) {
        text += piece;
        breaks->Read(text);
    }
    QStringList lines;
    for (qsizetype line = 0; line < breaks->Lines(); ++line) {
        lines << text.mid(breaks->Start(line), breaks->End(text, line) - breaks->Start(line));
    }
    return lines;
}

TEST(LineBreaks, EveryLineEndIsOneBreakAlsoAcrossPieces) {
    EXPECT_EQ(Lines({"a\r\nb\nc\rd\r\r\ne\r", "\r", "\nf\r", "g\n\n"}),
              QStringList({"a", "b", "c", "d", "e", "f", "g", "", ""}));
    // A line or paragraph separator from the server ends a line of its own, after a CR too.
    EXPECT_EQ(Lines({"a\u2028b\r\u2029c\r\n\n"}), QStringList({"a", "b", "", "c", "", ""}));
    EXPECT_EQ(Lines({""}), QStringList({""}));
    // Every other character stays on its line, however it is read (surrogates aside).
    QString every;
    for (char16_t code = 1; code != 0; ++code) {
        every += QChar::isSurrogate(code) ? QChar(u'x') : QChar(code);
    }
    QStringList expected;
    for (const QString& line : every.split(QRegularExpression("\r+\n?|[\n\u2028\u2029]"))) {
        for (qsizetype at = 0; at == 0 || at < line.size(); at += LineBreaks::kLongLine) {
            expected << line.mid(at, LineBreaks::kLongLine);
        }
    }
    EXPECT_EQ(Lines({every}), expected);
    EXPECT_EQ(Lines({every.first(8000), every.sliced(8000, 5), every.sliced(8005)}), expected);
}

TEST(LineBreaks, LongLinesAreBrokenButNeverASurrogatePairAndABreakBelongsToTheSecondPart) {
    constexpr qsizetype kLong = LineBreaks::kLongLine;
    const QString x(kLong - 1, QLatin1Char('x'));
    LineBreaks breaks;
    EXPECT_EQ(Lines({x, "yy\n", x + "y"}, &breaks), QStringList({x + "y", "y", x + "y"}));
    EXPECT_EQ(std::tuple(breaks.LineOf(kLong - 1), breaks.LineOf(kLong), breaks.LineOf(kLong + 1),
                         breaks.LineOf(kLong + 2)),
              std::tuple(0, 1, 1, 2));
    // The pair goes to the next line whole, also when a read cuts it in two.
    const QString smiley = QStringLiteral("\U0001F600");
    EXPECT_EQ(Lines({x + smiley.front(), smiley.back() + QStringLiteral("z")}),
              QStringList({x, smiley + "z"}));
    EXPECT_EQ(Lines({x + "y" + smiley}), QStringList({x + "y", smiley}));
    EXPECT_EQ(whois::ShownLine(u"y\u202ez\u2069\ufdd0\ufdd1\u200f"),
              QStringLiteral("y\u25afz\u25af\u25af\u25af\u200f"));
}

TEST(ReplyDecoder, ReadsUtf8AcrossReadsAndEveryOtherByteAsWindows1252) {
    whois::ReplyDecoder decoder;
    EXPECT_EQ(decoder.Decode("caf\xc3"), QStringLiteral("caf"));
    EXPECT_EQ(decoder.Decode("\xa9! \xf0\x9f"), QStringLiteral("\u00e9! "));
    EXPECT_EQ(decoder.Decode("\x98\x80\xef\xbb\xbf\xef\xbf\xbe"),
              QStringLiteral("\U0001F600\ufeff\ufffe"));
    EXPECT_EQ(decoder.Finish(), QString());
    // Latin-1 and Windows-1252 text; the five bytes Windows-1252 leaves out are C1 controls.
    EXPECT_EQ(decoder.Decode("M\xfcller \x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xff"),
              QStringLiteral("M\u00fcller \u20ac\u0081\u008d\u008f\u0090\u009d\u0178\u00a0\u00ff"));
    // Overlong forms, encoded surrogates, code points past U+10FFFF, a character cut short by
    // a byte that begins one: byte by byte, and the next character is read whole.
    EXPECT_EQ(decoder.Decode("\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80\xc3\xc3\xa9"),
              QStringLiteral("\u00c0\u00af\u00e0\u20ac\u00af\u00ed\u00a0\u20ac\u00f4\u0090"
                             "\u20ac\u20ac\u00c3\u00e9"));
    // A character cut short by the next read, and one cut short by the close.
    EXPECT_EQ(decoder.Decode("\xe2\x82"), QString());
    EXPECT_EQ(decoder.Decode("A\xf0\x9f\x98"), QStringLiteral("\u00e2\u201aA"));
    EXPECT_EQ(decoder.Finish(), QStringLiteral("\u00f0\u0178\u02dc"));
    EXPECT_EQ(decoder.Finish(), QString());
}

}  // namespace
