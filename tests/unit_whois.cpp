// The whois output as text: ReplaceAll, what the box shows, what a copy takes, the decoder.

#include <gtest/gtest.h>

#include "tests/qt_printers.h"
#include "whois/text.h"

namespace {

using whois::ReplaceAll;

TEST(ReplaceAll, ReplacesEveryOccurrenceOfTheSourceOnlyLeftToRight) {
    const QString lf = QStringLiteral("\n"), crLf = QStringLiteral("\r\n");
    EXPECT_EQ(ReplaceAll(QString(), lf, crLf), QString());
    EXPECT_EQ(ReplaceAll(QStringLiteral("a\n\nb\r\nc\rd\n"), lf, crLf),
              QStringLiteral("a\r\n\r\nb\r\r\nc\rd\r\n"));
    EXPECT_EQ(ReplaceAll(QStringLiteral("aaaa"), QStringLiteral("aa"), QStringLiteral("b")),
              QStringLiteral("bb"));
    EXPECT_EQ(ReplaceAll(QStringLiteral("aaa"), QStringLiteral("aa"), QStringLiteral("aaa")),
              QStringLiteral("aaaa"));
    EXPECT_EQ(ReplaceAll(QStringLiteral("Case case"), QStringLiteral("case"), QStringLiteral("X")),
              QStringLiteral("Case X"));
    EXPECT_EQ(ReplaceAll(QStringLiteral("abc"), QString(), QStringLiteral("X")),
              QStringLiteral("abc"));
}

TEST(ShownText, EveryLineEndIsOneBreakAcrossPieces) {
    whois::ShownText shown;
    QString box;
    for (const char* piece : {"a\r\nb\nc\rd\r\r\ne\r", "\r", "\nf\r", "g\n\n"}) {
        box += shown.Next(QString::fromLatin1(piece));
    }
    EXPECT_EQ(box, QStringLiteral("a\nb\nc\nd\ne\nf\ng\n\n"));
    // unix2dos relies on this: a converted text shows as it did.
    const QString text = QStringLiteral("a\r\nb\nc\rd\r\r\ne\r\n\n\r");
    EXPECT_EQ(
        whois::ShownText().Next(ReplaceAll(text, QStringLiteral("\n"), QStringLiteral("\r\n"))),
        whois::ShownText().Next(text));
}

TEST(ShownText, LongLinesAreBrokenAndDirectionControlsShownAsMarks) {
    constexpr qsizetype kLong = whois::ShownText::kLongLine;
    const QString x(kLong - 1, QLatin1Char('x'));
    whois::ShownText shown;
    QString box = shown.Next(x);
    box += shown.Next(QStringLiteral("y\u202ez\u2069"));
    box += shown.Next(QStringLiteral("\n") + x + "yy");
    EXPECT_TRUE(box == x + "y\n\u25afz\u25af\n" + x + "y\ny") << box.size();
    EXPECT_EQ(whois::ExactSelection(x + "yy", x + "y\ny", kLong - 1, kLong + 2),
              QStringLiteral("yy"));
}

TEST(ExactSelection, TakesTheWholeLineEndOfEachBreak) {
    const QString exact = QStringLiteral("ab\r\r\ncd\ref\ngh");
    const QString shown = whois::ShownText().Next(exact);
    EXPECT_EQ(whois::ExactSelection(exact, shown, 0, shown.size()), exact);
    EXPECT_EQ(whois::ExactSelection(exact, shown, 1, 4), QStringLiteral("b\r\r\nc"));
    EXPECT_EQ(whois::ExactSelection(exact, shown, 2, 3), QStringLiteral("\r\r\n"));
    EXPECT_EQ(whois::ExactSelection(exact, shown, 3, 6), QStringLiteral("cd\r"));
    EXPECT_EQ(whois::ExactSelection(exact, shown, 5, 5), QString());
}

TEST(ReplyDecoder, JoinsASplitCharacterAndFinishesWithWhatItHolds) {
    whois::ReplyDecoder decoder;
    EXPECT_EQ(decoder.Decode("caf\xc3"), QStringLiteral("caf"));
    EXPECT_EQ(decoder.Decode("\xa9!"), QStringLiteral("\u00e9!"));
    EXPECT_EQ(decoder.Finish(), QString());
    EXPECT_EQ(decoder.Decode("x\xe2\x82"), QStringLiteral("x"));
    EXPECT_EQ(decoder.Finish(), QStringLiteral("\ufffd"));
    EXPECT_EQ(decoder.Decode("y"), QStringLiteral("y"));
}

}  // namespace
