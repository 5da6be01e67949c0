// The whois output as text: ReplaceAll, what the box shows, what a copy takes, the decoder.

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
    // A paragraph ends after kParagraphLines lines, or once it holds kParagraphCharacters.
    const QString lines = ShownText().Next(QString(QStringLiteral("ab\n")).repeated(40));
    EXPECT_EQ(lines.indexOf(QLatin1Char('\n')), 3 * ShownText::kParagraphLines - 1);
    EXPECT_EQ(lines.count(kLs) + lines.count(QLatin1Char('\n')), 40);
    const QString half(ShownText::kParagraphCharacters / 2, QLatin1Char('x'));
    EXPECT_EQ(ShownText().Next(half + "\n" + half + "\r\n" + half),
              half + kLs + half + "\n" + half);
}

TEST(ShownText, LongLinesAreBrokenAndDirectionControlsShownAsMarks) {
    constexpr qsizetype kLong = ShownText::kLongLine;
    const QString x(kLong - 1, QLatin1Char('x'));
    ShownText shown;
    QString box = shown.Next(x);
    box += shown.Next(QStringLiteral("y\u202ez\u2069"));
    box += shown.Next("\n" + x + "yy");
    EXPECT_TRUE(box == x + "y\n\u25afz\u25af" + kLs + x + "y\ny") << box.size();
    EXPECT_EQ(ExactSelection(x + "yy", x + "y\ny", kLong - 1, kLong + 2), QStringLiteral("yy"));
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

// Characters of two bytes and of four (a surrogate pair in the text), cut after each byte.
TEST(ReplyDecoder, JoinsACharacterSplitBetweenReads) {
    whois::ReplyDecoder decoder;
    for (const QByteArray& character : {QByteArray("\xc3\xa9"), QByteArray("\xf0\x9f\x90\xae")}) {
        for (qsizetype cut = 1; cut < character.size(); ++cut) {
            EXPECT_EQ(decoder.Decode("caf" + character.left(cut)), QStringLiteral("caf"));
            EXPECT_EQ(decoder.Decode(character.mid(cut) + "!"), QString::fromUtf8(character + "!"));
            EXPECT_EQ(decoder.Finish(), QString()) << cut;
        }
    }
}

}  // namespace
