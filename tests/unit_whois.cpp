// The whois output as text: ReplaceAll, what the box shows, what a copy takes, the decoder.

#include <vector>

#include <gtest/gtest.h>

#include "tests/qt_printers.h"
#include "whois/text.h"

namespace {

using whois::ExactSelection;
using whois::ReplaceAll;
using whois::ShownText;

TEST(ReplaceAll, ReplacesEveryOccurrenceOfTheSourceOnlyLeftToRight) {
    EXPECT_EQ(ReplaceAll("", "\n", "\r\n"), "");
    EXPECT_EQ(ReplaceAll("a\n\nb\r\nc\rd\n", "\n", "\r\n"), "a\r\n\r\nb\r\r\nc\rd\r\n");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "aaa"), "aaaa");
    EXPECT_EQ(ReplaceAll("Case case", "case", "X"), "Case X");
    EXPECT_EQ(ReplaceAll("abc", "", "X"), "abc");
}

// Line breaks within a paragraph are line separators; an LF closes the paragraph.
constexpr QChar kLs = QChar(QChar::LineSeparator);

TEST(ShownText, EveryLineEndIsOneBreakAcrossPiecesAndShortLinesShareAParagraph) {
    ShownText shown;
    QString box;
    for (const char* piece : {"a\r\nb\nc\rd\r\r\ne\r", "\r", "\nf\r", "g\n\n"}) {
        box += shown.Next(QString::fromLatin1(piece));
    }
    EXPECT_EQ(box, QStringLiteral("a\u2028b\u2028c\u2028d\u2028e\u2028f\u2028g\u2028\u2028"));
    // A paragraph ends at the first line end once it holds kParagraphCharacters characters,
    // breaks included; Next gives its end and its lines. Here a line is "ab" and its break.
    const qsizetype lines = (ShownText::kParagraphCharacters + 3) / 3;
    std::vector<ShownText::Paragraph> ended;
    QString paragraphs;
    ShownText().Next(QString(QStringLiteral("ab\n")).repeated(2 * lines + 5), paragraphs, &ended);
    EXPECT_EQ(paragraphs.indexOf(QLatin1Char('\n')), 3 * lines - 1);
    EXPECT_EQ(paragraphs.count(kLs) + paragraphs.count(QLatin1Char('\n')), 2 * lines + 5);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(std::tuple(ended[0].end, ended[0].lines, ended[1].end, ended[1].lines),
              std::tuple(3 * lines, lines, 6 * lines, lines));
    const QString half(ShownText::kParagraphCharacters / 2, QLatin1Char('x'));
    EXPECT_EQ(ShownText().Next(half + "\n" + half + "\r\n" + half),
              half + kLs + half + "\n" + half);
}

// (The window test checks every character against the box itself.)
TEST(ShownText, LongLinesAreBrokenAndDirectionControlsAndFrameCharactersShownAsMarks) {
    constexpr qsizetype kLong = ShownText::kLongLine;
    const QString x(kLong - 1, QLatin1Char('x'));
    ShownText shown;
    QString box = shown.Next(x);
    box += shown.Next(QStringLiteral("y\u202ez\u2069\ufdd0\ufdd1"));
    box += shown.Next("\n" + x + "yy");
    EXPECT_TRUE(box == x + "y\n\u25afz\u25af\u25af\u25af" + kLs + x + "y\ny") << box.size();
    EXPECT_EQ(ExactSelection(x + "yy", x + "y\ny", kLong - 1, kLong + 2), QStringLiteral("yy"));
    // A surrogate pair is not split: the line breaks before it, also across pieces.
    const QString smiley = QStringLiteral("\U0001F600");
    ShownText pairs;
    box = pairs.Next(x + smiley.front());
    box += pairs.Next(smiley.back() + QStringLiteral("z"));
    EXPECT_TRUE(box == x + "\n" + smiley + "z") << box.size();
}

TEST(ExactSelection, TakesTheWholeLineEndOfEachBreak) {
    const QString exact = QStringLiteral("ab\r\r\ncd\ref\ngh");
    const QString shown = ShownText().Next(exact);
    EXPECT_EQ(ExactSelection(exact, shown, 1, 4), QStringLiteral("b\r\r\nc"));
    EXPECT_EQ(ExactSelection(exact, shown, 2, 3), QStringLiteral("\r\r\n"));
    EXPECT_EQ(ExactSelection(exact, shown, 3, 6), QStringLiteral("cd\r"));
    EXPECT_EQ(ExactSelection(exact, shown, 5, 5), QString());
    // A line or paragraph separator from the server ends a line of its own, after a CR too;
    // the box gives every break back as an LF.
    const QString separators = QStringLiteral("a\u2028b\r\u2029c");
    EXPECT_EQ(ShownText().Next(separators), QStringLiteral("a\u2028b\u2028\u2028c"));
    EXPECT_EQ(ExactSelection(separators, QStringLiteral("a\nb\n\nc"), 2, 6),
              QStringLiteral("b\r\u2029c"));
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
