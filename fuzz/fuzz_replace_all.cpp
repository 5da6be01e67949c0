// ReplaceAll equals the plain left-to-right replacement.

#include <cstdint>

#include <fuzzer/FuzzedDataProvider.h>

#include <QString>

#include "fuzz/check.h"
#include "whois/text.h"

namespace {

// Any UTF-16 text, lone surrogates included, from the next bytes of the input.
QString NextText(FuzzedDataProvider& input) {
    const std::string bytes = input.ConsumeRandomLengthString(64);
    QString text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += QChar(static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                            static_cast<std::uint8_t>(bytes[i + 1]) << 8));
    }
    // Small alphabets find overlapping and adjacent occurrences.
    if (!bytes.empty() && (bytes[0] & 1) != 0) {
        for (QChar& c : text) {
            c = QChar(u'a' + c.unicode() % 3);
        }
    }
    return text;
}

QString NaiveReplaceAll(const QString& source, const QString& search, const QString& replacement) {
    QString result;
    for (qsizetype at = 0; at < source.size();) {
        if (!search.isEmpty() && QStringView(source).mid(at).startsWith(search)) {
            result += replacement;
            at += search.size();
        } else {
            result += source[at++];
        }
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const QString search = NextText(input);
    const QString replacement = NextText(input);
    const QString source = NextText(input);
    CHECK(whois::ReplaceAll(source, search, replacement) ==
          NaiveReplaceAll(source, search, replacement));
    return 0;
}
