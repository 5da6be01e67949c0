#include "whois/text.h"

#include <algorithm>

namespace whois {

namespace {

// A CR or LF, or a line or paragraph separator, which the box would break at anyway.
bool IsLineEnd(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

// A line end of one character in the exact text.
bool IsSingleLineEnd(QChar c) {
    return c == QLatin1Char('\n') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The embeddings, overrides and isolates, which reorder the text that follows them.
bool IsDirectionControl(QChar c) {
    return (c.unicode() >= 0x202A && c.unicode() <= 0x202E) ||
           (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
}

}  // namespace

QString ReplaceAll(const QString& source, const QString& search, const QString& replacement) {
    // Occurrences do not overlap: QString::count, which counts overlapping ones, serves for
    // one character only.
    qsizetype found = search.size() == 1 ? source.count(search[0]) : 0;
    for (qsizetype at = source.indexOf(search); search.size() > 1 && at >= 0;
         at = source.indexOf(search, at + search.size())) {
        ++found;
    }
    if (search.isEmpty() || found == 0) {
        return source;
    }
    // Sized once: the copy is the whole cost of a long text.
    QString result(source.size() + found * (replacement.size() - search.size()), Qt::Uninitialized);
    QChar* out = result.data();
    const auto put = [&out](QStringView text) {
        std::copy(text.begin(), text.end(), out);
        out += text.size();
    };
    qsizetype start = 0;
    for (qsizetype at = source.indexOf(search); at >= 0; at = source.indexOf(search, start)) {
        put(QStringView(source).mid(start, at - start));
        put(replacement);
        start = at + search.size();
    }
    put(QStringView(source).mid(start));
    return result;
}

QString ReplyDecoder::Finish() {
    const bool holding = state.remainingChars > 0;
    resetState();
    return holding ? QString(QChar::ReplacementCharacter) : QString();
}

QChar ShownText::Break() {
    column_ = 0;
    if (paragraphCharacters_ >= kParagraphCharacters || paragraphLines_ >= kParagraphLines) {
        paragraphCharacters_ = 0;
        paragraphLines_ = 1;
        return QLatin1Char('\n');
    }
    ++paragraphCharacters_;
    ++paragraphLines_;
    return QChar(QChar::LineSeparator);
}

QString ShownText::Next(QStringView piece) {
    QString shown(piece.size() + piece.size() / kLongLine + 1, Qt::Uninitialized);
    QChar* out = shown.data();
    for (const QChar c : piece) {
        if (IsLineEnd(c)) {
            // More CRs and an LF behind a CR go on with its line end.
            if (!afterCr_ || (c != QLatin1Char('\r') && c != QLatin1Char('\n'))) {
                *out++ = Break();
            }
            afterCr_ = c == QLatin1Char('\r');
            continue;
        }
        afterCr_ = false;
        if (column_ == kLongLine) {
            *out++ = Break();
        }
        *out++ = IsDirectionControl(c) ? kDirectionMark : c;
        ++column_;
        ++paragraphCharacters_;
    }
    shown.truncate(out - shown.constData());
    return shown;
}

void ShownText::Restart(QStringView shownSoFar) {
    afterCr_ = false;
    column_ =
        std::min(shownSoFar.size() - shownSoFar.lastIndexOf(QLatin1Char('\n')) - 1, kLongLine);
    // The box gives line separators back as LFs: the paragraph is at least this long.
    paragraphCharacters_ = column_;
    paragraphLines_ = 1;
}

QString ExactSelection(QStringView exact, QStringView shown, qsizetype from, qsizetype to) {
    to = std::min(to, shown.size());
    if (from >= to) {
        return QString();
    }
    qsizetype at = 0;  // in the exact text
    qsizetype start = exact.size();
    for (qsizetype i = 0; i < to && at < exact.size(); ++i) {
        if (i == from) {
            start = at;
        }
        if (shown[i] != QLatin1Char('\n') && shown[i] != QChar(QChar::LineSeparator)) {
            ++at;
        } else if (IsSingleLineEnd(exact[at])) {
            ++at;
        } else if (exact[at] == QLatin1Char('\r')) {
            while (at < exact.size() && exact[at] == QLatin1Char('\r')) {
                ++at;
            }
            at += at < exact.size() && exact[at] == QLatin1Char('\n') ? 1 : 0;
        }
        // Any other character stands behind a break that only the box shows.
    }
    start = std::min(start, at);
    return exact.mid(start, at - start).toString();
}

}  // namespace whois
