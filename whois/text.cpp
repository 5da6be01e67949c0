#include "whois/text.h"

#include <algorithm>

namespace whois {

namespace {

bool IsLineEnd(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

}  // namespace

QString ReplaceAll(const QString& source, const QString& search, const QString& replacement) {
    if (search.isEmpty()) {
        return source;
    }
    QString result;
    result.reserve(source.size());
    qsizetype start = 0;
    for (qsizetype found = source.indexOf(search); found >= 0;
         found = source.indexOf(search, start)) {
        result.append(QStringView(source).mid(start, found - start));
        result.append(replacement);
        start = found + search.size();
    }
    result.append(QStringView(source).mid(start));
    return result;
}

QString ReplyDecoder::Finish() {
    const bool holding = state.remainingChars > 0;
    resetState();
    return holding ? QString(QChar::ReplacementCharacter) : QString();
}

QString ShownText::Next(QStringView piece) {
    QString shown(piece.size(), Qt::Uninitialized);
    QChar* out = shown.data();
    for (const QChar c : piece) {
        if (IsLineEnd(c)) {
            if (!afterCr_) {
                *out++ = QLatin1Char('\n');
            }
            afterCr_ = c == QLatin1Char('\r');
        } else {
            afterCr_ = false;
            *out++ = c;
        }
    }
    shown.truncate(out - shown.constData());
    return shown;
}

void ShownText::Restart(QStringView) {
    afterCr_ = false;
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
        if (shown[i] != QLatin1Char('\n')) {
            ++at;
        } else if (exact[at] == QLatin1Char('\n')) {
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
