// The dotted-address parser and the whois port and domain checks agree with plain reference
// readings of what they accept, written here the plain way.

#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

#include "fuzz/check.h"
#include "ping/module1.h"
#include "whois/query.h"

namespace {

// The text without the blanks around it.
QString Trimmed(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].isSpace()) {
        ++begin;
    }
    while (end > begin && text[end - 1].isSpace()) {
        --end;
    }
    return text.mid(begin, end - begin);
}

// A sign at most, then one or more of the digits 0 to 9 and nothing else: the sign and the
// digits.
std::optional<std::pair<bool, QString>> SignedDigits(const QString& text) {
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative || text.startsWith(QLatin1Char('+')) ? text.mid(1) : text;
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : digits) {
        if (c.unicode() < '0' || c.unicode() > '9') {
            return std::nullopt;
        }
    }
    return std::pair(negative, digits);
}

// Four numbers between dots; each byte is its number modulo 256, a negative one counted
// down from 256; the first number is the lowest byte. 0 for anything else.
std::int32_t ReferenceDotted(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4) {
        return 0;
    }
    std::uint32_t address = 0;
    for (int i = 0; i < 4; ++i) {
        const auto number = SignedDigits(Trimmed(parts[i]));
        if (!number) {
            return 0;
        }
        unsigned remainder = 0;  // of the decimal number divided by 256
        for (const QChar digit : number->second) {
            remainder = (remainder * 10 + (digit.unicode() - '0')) % 256;
        }
        const unsigned byte = number->first ? (256 - remainder) % 256 : remainder;
        address |= byte << (8 * i);
    }
    return static_cast<std::int32_t>(address);
}

// A whole number from -32768 to 32767, blanks around it allowed.
std::optional<std::int16_t> ReferencePort(const QString& text) {
    const auto number = SignedDigits(Trimmed(text));
    if (!number) {
        return std::nullopt;
    }
    long value = 0;
    for (const QChar digit : number->second) {
        value = std::min(value * 10 + (digit.unicode() - '0'), 100000L);
    }
    value = number->first ? -value : value;
    if (value < -32768 || value > 32767) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CHECK(Module1::DottedToAddress(text) == ReferenceDotted(text));

    std::int16_t port = 0;
    const bool isPort = whois::ReadPort(text, port);
    const auto expected = ReferencePort(text);
    CHECK(isPort == expected.has_value() && (!isPort || port == *expected));

    const bool sendable = !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) &&
                          !text.contains(QChar(0));
    CHECK(whois::IsSendableDomain(text) == sendable);
    return 0;
}
