#pragma once
// The whois output as text, without widgets: the reply decoder, how the output box shows the
// exact text, and ReplaceAll.

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

namespace whois {

// Every occurrence of `search` in `source`, left to right and without overlaps, replaced by
// `replacement`. An empty search text finds nothing.
QString ReplaceAll(const QString& source, const QString& search, const QString& replacement);

// Decodes one connection's reply from the locale's encoding. A character that a read cuts in
// two is held until its rest arrives; Finish gives what is still held as U+FFFD.
class ReplyDecoder : private QStringDecoder {
public:
    ReplyDecoder() : QStringDecoder(QStringConverter::System) {}
    QString Decode(QByteArrayView bytes) { return decode(bytes); }
    QString Finish();
};

// How the box shows the exact text, piece by piece. Every line end (an LF, a line or paragraph
// separator, or one or more CRs with or without an LF behind them) is one line break, so
// unix2dos never changes what the box shows. A line longer than kLongLine characters is shown
// broken into lines of that length, which keeps the box's cost in proportion to the text.
// Characters that change the direction of the text after them are shown as kDirectionMark, so
// that a server cannot turn the program's own text around.
//
// The box pays for every paragraph it holds, so short lines share one: a break is a line
// separator (U+2028), which the box shows and gives back as a line break, until the paragraph
// holds kParagraphCharacters characters or kParagraphLines lines; then it is an LF.
class ShownText {
public:
    static constexpr qsizetype kLongLine = 4096;
    static constexpr QChar kDirectionMark = QChar(0x25AF);
    static constexpr qsizetype kParagraphCharacters = 512;
    static constexpr int kParagraphLines = 32;

    QString Next(QStringView piece);
    // Goes on behind text that the box shows as it is (after the user edited it).
    void Restart(QStringView shownSoFar);

private:
    QChar Break();

    bool afterCr_ = false;               // the last character was a CR, whose line end may go on
    qsizetype column_ = 0;               // characters shown since the last break
    qsizetype paragraphCharacters_ = 0;  // shown since the last LF, breaks included
    int paragraphLines_ = 1;
};

// The exact text that the shown range [from, to) stands for; a line break takes its whole
// line end.
QString ExactSelection(QStringView exact, QStringView shown, qsizetype from, qsizetype to);

}  // namespace whois
