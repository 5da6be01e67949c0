#pragma once
// The whois output as text, without widgets: the reply decoder, how the output box shows the
// exact text, and ReplaceAll.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace whois {

// Every occurrence of `search` in `source`, left to right and without overlaps, replaced by
// `replacement`. An empty search text finds nothing.
QString ReplaceAll(const QString& source, const QString& search, const QString& replacement);

// Decodes one connection's reply. UTF-8 is read as UTF-8, also a character that a read cuts in
// two, which is held until its rest arrives. A byte that cannot begin or go on with a UTF-8
// character (text in Latin-1 or Windows-1252, an overlong form, an encoded surrogate) stands
// for its Windows-1252 character; the five bytes that Windows-1252 leaves undefined stand for
// the C1 controls of the same value. Finish gives the bytes still held in the same way.
class ReplyDecoder {
public:
    QString Decode(QByteArrayView bytes);
    QString Finish();

private:
    QByteArray held_;  // the beginning of a UTF-8 character that the last read cut off
};

// How the box shows the exact text, piece by piece. Every line end (an LF, a line or paragraph
// separator, or one or more CRs with or without an LF behind them) is one line break, so
// unix2dos never changes what the box shows. A line longer than kLongLine characters is shown
// broken into lines of that length, which keeps the box's cost in proportion to the text.
// Characters that change the direction of the text after them are shown as kDirectionMark, so
// that a server cannot turn the program's own text around; so are U+FDD0 and U+FDD1, at which
// the box would start a paragraph of its own. A long line never breaks inside a surrogate pair.
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
