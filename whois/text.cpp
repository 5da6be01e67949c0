#include "whois/text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace whois {

namespace {

// A CR or LF, or a line or paragraph separator, which the box would break at anyway.
bool IsLineEnd(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

// The first line end in [in, end), or `end`.
const char16_t* NextLineEnd(const char16_t* in, const char16_t* end) {
#if defined(__SSE2__)
    // Eight characters at a time: most of a reply is text between its line ends.
    const __m128i lf = _mm_set1_epi16(u'\n');
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i ls = _mm_set1_epi16(short(QChar::LineSeparator));
    const __m128i ps = _mm_set1_epi16(short(QChar::ParagraphSeparator));
    for (; end - in >= 8; in += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i found =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(eight, lf), _mm_cmpeq_epi16(eight, cr)),
                         _mm_or_si128(_mm_cmpeq_epi16(eight, ls), _mm_cmpeq_epi16(eight, ps)));
        if (const auto mask = unsigned(_mm_movemask_epi8(found)); mask != 0) {
            return in + std::countr_zero(mask) / 2;
        }
    }
#endif
    while (in != end && !IsLineEnd(*in)) {
        ++in;
    }
    return in;
}

// The embeddings, overrides and isolates, which reorder the text that follows them, and the
// two characters at which the box begins and ends a frame of its own, a new paragraph each.
bool IsShownAsMark(QChar c) {
    return (c.unicode() >= 0x202A && c.unicode() <= 0x202E) ||
           (c.unicode() >= 0x2066 && c.unicode() <= 0x2069) || c.unicode() == 0xFDD0 ||
           c.unicode() == 0xFDD1;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F; the five bytes it leaves undefined
// are the C1 controls of the same value. Every other byte is its Latin-1 character.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Windows1252(uchar byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : byte;
}

// The length of the UTF-8 character that begins at `at` (not ASCII): 0 when the bytes there
// are none, -1 when they begin one that the bytes end too early for. Overlong forms, encoded
// surrogates and code points above U+10FFFF are none.
int Utf8Length(QByteArrayView bytes, qsizetype at) {
    const auto lead = static_cast<uchar>(bytes[at]);
    const int length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    // The range of the second byte, which rules out the forms above.
    uchar low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    uchar high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (int next = 1; next < length; ++next, low = 0x80, high = 0xBF) {
        if (at + next == bytes.size()) {
            return -1;
        }
        const auto byte = static_cast<uchar>(bytes[at + next]);
        if (byte < low || byte > high) {
            return 0;
        }
    }
    return length;
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

QString ReplyDecoder::Decode(QByteArrayView bytes) {
    QByteArray joined;
    if (!held_.isEmpty()) {
        joined = held_;
        bytes = joined.append(bytes);
        held_.clear();
    }
    QString text(bytes.size(), Qt::Uninitialized);  // no byte gives more than one QChar
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype at = 0; at < bytes.size();) {
        // ASCII, which is most of a reply, eight bytes at a time.
        if (bytes.size() - at >= 8) {
            uchar eight[8];
            std::memcpy(eight, bytes.data() + at, sizeof eight);
            std::uint64_t word = 0;
            std::memcpy(&word, eight, sizeof word);
            if ((word & 0x8080808080808080) == 0) {
                char16_t wide[8];
                std::copy(eight, eight + 8, wide);
                std::memcpy(out, wide, sizeof wide);
                out += 8;
                at += 8;
                continue;
            }
        }
        const auto byte = static_cast<uchar>(bytes[at]);
        if (byte < 0x80) {
            *out++ = byte;
            ++at;
            continue;
        }
        const int length = Utf8Length(bytes, at);
        if (length < 0) {
            held_ = bytes.sliced(at).toByteArray();
            break;
        }
        if (length == 0) {
            // The bytes after this one are read afresh: one of them may begin a character.
            *out++ = Windows1252(byte);
            ++at;
            continue;
        }
        char32_t code = byte & (0x7F >> length);
        for (int next = 1; next < length; ++next) {
            code = code << 6 | (static_cast<uchar>(bytes[at + next]) & 0x3F);
        }
        if (QChar::requiresSurrogates(code)) {
            *out++ = QChar::highSurrogate(code);
            *out++ = QChar::lowSurrogate(code);
        } else {
            *out++ = static_cast<char16_t>(code);
        }
        at += length;
    }
    text.truncate(reinterpret_cast<QChar*>(out) - text.constData());
    return text;
}

QString ReplyDecoder::Finish() {
    QString text;
    for (const char byte : std::as_const(held_)) {
        text += QChar(Windows1252(static_cast<uchar>(byte)));
    }
    held_.clear();
    return text;
}

void LineBreaks::Read(QStringView text) {
    Q_ASSERT(text.size() <= kMostCharacters);
    const char16_t* const begin = text.utf16();
    const char16_t* const end = begin + text.size();
    const char16_t* in = begin + read_;
    while (in != end) {
        const qsizetype column = (in - begin) - starts_.back();
        const char16_t* const full = in + (kLongLine - column);
        const char16_t* const found = NextLineEnd(in, std::min(end, full));
        if (found != in) {
            afterCr_ = false;
            in = found;
        }
        if (in == end) {
            break;
        }
        if (in == full && !IsLineEnd(*in)) {
            // A long line goes on: it breaks here, or before a surrogate pair that this would cut.
            const bool cutsPair = QChar::isHighSurrogate(in[-1]) && QChar::isLowSurrogate(*in);
            starts_.push_back(std::uint32_t((in - begin) - (cutsPair ? 1 : 0)));
            continue;
        }
        const char16_t c = *in++;
        // More CRs and an LF behind a CR go on with its line end.
        if (afterCr_ && (c == u'\r' || c == u'\n')) {
            starts_.back() = std::uint32_t(in - begin);
        } else {
            starts_.push_back(std::uint32_t(in - begin));
        }
        afterCr_ = c == u'\r';
        // A run of bare line feeds, a line each, without the search for the next line end.
        while (!afterCr_ && in != end && *in == u'\n') {
            starts_.push_back(std::uint32_t(++in - begin));
        }
    }
    read_ = text.size();
}

void LineBreaks::ReadFrom(QStringView text, qsizetype position) {
    // What comes before the line stays; whether a CR ends that text decides whether a CR or an
    // LF at the line's start goes on with that line end.
    starts_.resize(LineOf(std::min(position, read_)) + 1);
    read_ = starts_.back();
    afterCr_ = read_ > 0 && text[read_ - 1] == u'\r';
    Read(text);
    if (starts_.capacity() > 2 * starts_.size()) {
        starts_.squeeze();  // the text lost many lines: their room is given back
    }
}

qsizetype LineBreaks::End(QStringView text, qsizetype line) const {
    const qsizetype start = Start(line);
    if (line + 1 == Lines()) {
        return text.size();
    }
    qsizetype end = Start(line + 1);
    while (end > start && IsLineEnd(text[end - 1])) {
        --end;
    }
    return end;
}

qsizetype LineBreaks::LineOf(qsizetype position) const {
    return std::upper_bound(
               starts_.begin() + 1, starts_.end(), position,
               [](qsizetype at, std::uint32_t start) { return at < qsizetype(start); }) -
           starts_.begin() - 1;
}

QString ShownLine(QStringView line) {
    QString shown = line.toString();
    for (QChar& c : shown) {
        if (IsShownAsMark(c)) {
            c = kDirectionMark;
        }
    }
    return shown;
}

}  // namespace whois
