#pragma once
// The whois output as text, without widgets: the reply decoder, how the output box shows the
// exact text, and ReplaceAll.

#include <vector>

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
// holds kParagraphCharacters characters, breaks included; then it is an LF. Taking a paragraph
// costs the document about as much as laying out a dozen characters, and the box lays out whole
// paragraphs where it shows the end: of 512, 1,024 and 2,048 characters, 1,024 needed the
// fewest instructions for 8 MiB of 38-byte lines. Bare line feeds make paragraphs of that many
// lines, which the box lays out in far less time than it takes to hold more paragraphs.
//
// Next counts as it goes what the box's memory and scroll bar depend on: the line breaks it
// made, and where each paragraph it ended ends and how many lines it holds.
class ShownText {
public:
    static constexpr qsizetype kLongLine = 4096;
    static constexpr QChar kDirectionMark = QChar(0x25AF);
    static constexpr qsizetype kParagraphCharacters = 1024;

    // A paragraph that Next ended: the position behind its LF in the shown text, and its lines.
    struct Paragraph {
        qsizetype end;
        int lines;
    };

    // Appends what the box shows of `piece` to `shown`, and each paragraph it ends to `ended`.
    void Next(QStringView piece, QString& shown, std::vector<Paragraph>* ended = nullptr);
    QString Next(QStringView piece);
    // Goes on behind text that the box shows as it is (after the user edited it).
    void Restart(QStringView shownSoFar);
    // The line breaks shown since the start.
    qsizetype Breaks() const { return breaks_; }

private:
    void Break(char16_t*& out, const char16_t* shown, std::vector<Paragraph>* ended);

    bool afterCr_ = false;               // the last character was a CR, whose line end may go on
    qsizetype column_ = 0;               // characters shown since the last break
    qsizetype paragraphCharacters_ = 0;  // shown since the last LF, breaks included
    int paragraphLines_ = 1;
    qsizetype breaks_ = 0;
};

// The exact text that the shown range [from, to) stands for; a line break takes its whole
// line end.
QString ExactSelection(QStringView exact, QStringView shown, qsizetype from, qsizetype to);

}  // namespace whois
