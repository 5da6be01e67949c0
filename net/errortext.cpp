#include "net/winsock.h"

namespace Winsock {
QString SocketErrorText(std::int32_t) {
    return {};
}
}  // namespace Winsock
