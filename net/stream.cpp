#include "net/winsock.h"

namespace Winsock {
std::int32_t OpenStreamConnection(QString, std::int16_t, QString&, std::int32_t, std::int16_t) {
    return -1;
}
std::int32_t ApplyLinger(std::int32_t, std::int16_t, std::int16_t) {
    return -1;
}
std::int32_t SendToSocket(std::int32_t, const QString&) {
    return -1;
}
std::int32_t SendToSocket(std::int32_t, const QByteArray&) {
    return -1;
}
std::int16_t LowWordOf(std::int32_t value) {
    return static_cast<std::int16_t>(value & 0xffff);
}
std::int16_t HighWordOf(std::int32_t value) {
    return static_cast<std::int16_t>((value >> 16) & 0xffff);
}
}  // namespace Winsock
