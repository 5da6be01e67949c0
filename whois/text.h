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

// How the box shows the exact text, piece by piece. Every line end (an LF, or one or more CRs
// with or without an LF behind them) is one line break, so unix2dos never adds empty lines.
class ShownText {
public:
    QString Next(QStringView piece);
    void Restart(QStringView shownSoFar);

private:
    bool afterCr_ = false;  // the last character was a CR, whose line end may go on
};

// The exact text that the shown range [from, to) stands for; a line break takes its whole
// line end.
QString ExactSelection(QStringView exact, QStringView shown, qsizetype from, qsizetype to);

}  // namespace whois
