#pragma once
// The whois output as text, without widgets: the reply decoder, where the output box breaks
// its lines, and ReplaceAll.

#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
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

// Where the output box breaks the exact text into lines. Every line end (an LF, a line or
// paragraph separator, or one or more CRs with or without an LF behind them) ends a line, so
// unix2dos never changes what the box shows. A line longer than kLongLine characters is shown
// broken into lines of that length, never inside a surrogate pair, which keeps the cost of
// laying out one line in bounds.
class LineBreaks {
public:
    static constexpr qsizetype kLongLine = 4096;
    // The longest text it takes, as Qt's own text boxes: its positions fit in 32 bits, which
    // halves the table for a reply of bare line feeds.
    static constexpr qsizetype kMostCharacters = 0x7FFFFFFF;

    // Reads `text` on from where the last call stopped: the text must be the one read so far,
    // grown at its end.
    void Read(QStringView text);
    // Reads `text` again from the line that holds `position` on: the text was edited there.
    void ReadFrom(QStringView text, qsizetype position);
    qsizetype Lines() const { return qsizetype(starts_.size()); }
    qsizetype Start(qsizetype line) const { return starts_[std::size_t(line)]; }
    // Where the characters of the line end, before its line end.
    qsizetype End(QStringView text, qsizetype line) const;
    // The line that holds the position. Where a long line is broken, the position between the
    // two parts belongs to the second.
    qsizetype LineOf(qsizetype position) const;
    // The bytes that the table of line starts takes.
    qsizetype MemoryNeeded() const { return qsizetype(starts_.capacity() * sizeof(starts_[0])); }

private:
    // (A QList grows in place where it can, without a copy beside it: a reply of bare line
    // feeds makes a table of many megabytes.)
    QList<std::uint32_t> starts_{0};
    qsizetype read_ = 0;
    bool afterCr_ = false;  // the last character read was a CR, whose line end may go on
};

// How the box shows the characters of one line: those that change the direction of the text
// after them are shown as kDirectionMark, so that a server cannot turn the program's own text
// around; so are U+FDD0 and U+FDD1, which text layout treats as frame boundaries.
constexpr QChar kDirectionMark = QChar(0x25AF);
QString ShownLine(QStringView line);

}  // namespace whois
