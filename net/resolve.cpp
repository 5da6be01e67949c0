#include "net/winsock.h"

namespace Winsock {
QString AddressToText(std::int32_t) {
    return QStringLiteral("255.255.255.255");
}
QString AddressToHostName(std::int32_t) {
    return QStringLiteral("Unknown");
}
std::int32_t HostToAddress(QString) {
    return -1;
}
QString LocalHostName() {
    return QStringLiteral("Unknown");
}
QString OfficialHostName(QString) {
    return QStringLiteral("Unknown");
}
}  // namespace Winsock
