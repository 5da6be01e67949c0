#include "whois/query.h"

namespace whois {

bool ReadPort(const QString& text, std::int16_t& port) {
    const QString number = text.trimmed();
    for (qsizetype at = 0; at < number.size(); ++at) {
        const QChar c = number[at];
        const bool sign = at == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
            return false;
        }
    }
    bool isNumber = false;
    port = number.toShort(&isNumber, 10);
    return isNumber;
}

bool IsSendableDomain(const QString& domain) {
    for (const QChar c : domain) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace whois
