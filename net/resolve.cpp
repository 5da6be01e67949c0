// Name resolution on the system resolver (glibc). Dotted texts are read by inet_addr, which
// accepts the same forms as the Windows one ("127.1", "0x7f.0.0.1", "017.0.0.1"), so a dotted
// text never reaches the name service. Names and addresses are looked up with the reentrant
// gethostbyname2_r and gethostbyaddr_r for IPv4 only: they keep the order in which the hosts
// file or the DNS lists the addresses, and they report the host's official name, h_name.
// Host names cross the platform boundary in the locale's 8-bit encoding.

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "net/winsock.h"

namespace Winsock {

namespace {

QString NoAddressText() {
    return QStringLiteral("255.255.255.255");
}
QString UnknownName() {
    return QStringLiteral("Unknown");
}

constexpr std::size_t kDottedTextLength = 32;
constexpr std::size_t kHostNameLength = 256;

// The reentrant lookups write the record's strings into a caller's buffer and answer ERANGE
// when it is too small; a hosts file line with many aliases needs more than the first size.
constexpr std::size_t kFirstBufferSize = 2048;
constexpr std::size_t kLargestBufferSize = 1 << 20;

template <typename Lookup>
bool LookUpHost(Lookup lookup, hostent& record, std::vector<char>& buffer) {
    buffer.assign(kFirstBufferSize, '\0');
    for (;;) {
        hostent* found = nullptr;
        int hostError = 0;
        const int result = lookup(&record, buffer.data(), buffer.size(), &found, &hostError);
        if (result == ERANGE && buffer.size() < kLargestBufferSize) {
            buffer.assign(buffer.size() * 2, '\0');
            continue;
        }
        return result == 0 && found != nullptr;
    }
}

// The official name from a record, cut at the length of the name buffer.
QString OfficialNameOf(const hostent& record) {
    if (record.h_name == nullptr) {
        return UnknownName();
    }
    return QString::fromLocal8Bit(record.h_name, strnlen(record.h_name, kHostNameLength));
}

}  // namespace

QString AddressToText(std::int32_t address) {
    in_addr bytes{};
    std::memcpy(&bytes, &address, sizeof bytes);
    char text[kDottedTextLength] = {};
    if (inet_ntop(AF_INET, &bytes, text, sizeof text) == nullptr) {
        return NoAddressText();
    }
    return QString::fromLatin1(text, strnlen(text, sizeof text));
}

QString AddressToHostName(std::int32_t address) {
    in_addr bytes{};
    std::memcpy(&bytes, &address, sizeof bytes);
    hostent record{};
    std::vector<char> buffer;
    const bool found = LookUpHost(
        [&bytes](hostent* out, char* data, std::size_t size, hostent** result, int* hostError) {
            return gethostbyaddr_r(&bytes, sizeof bytes, AF_INET, out, data, size, result,
                                   hostError);
        },
        record, buffer);
    if (!found) {
        return UnknownName();
    }
    return OfficialNameOf(record);
}

std::int32_t HostToAddress(QString host) {
    const QByteArray name = host.toLocal8Bit();
    const in_addr_t dotted = inet_addr(name.constData());
    if (dotted != INADDR_NONE) {
        return static_cast<std::int32_t>(dotted);
    }
    hostent record{};
    std::vector<char> buffer;
    const bool found = LookUpHost(
        [&name](hostent* out, char* data, std::size_t size, hostent** result, int* hostError) {
            return gethostbyname2_r(name.constData(), AF_INET, out, data, size, result, hostError);
        },
        record, buffer);
    if (!found || record.h_addr_list == nullptr || record.h_addr_list[0] == nullptr ||
        record.h_length <= 0) {
        return -1;
    }
    std::int32_t address = 0;
    const std::size_t length = std::min(static_cast<std::size_t>(record.h_length), sizeof address);
    std::memcpy(&address, record.h_addr_list[0], length);
    return address;
}

QString LocalHostName() {
    char name[kHostNameLength + 1] = {};
    if (gethostname(name, kHostNameLength) != 0) {
        return UnknownName();
    }
    return QString::fromLocal8Bit(name, strnlen(name, kHostNameLength));
}

QString OfficialHostName(QString host) {
    try {
        return AddressToHostName(HostToAddress(host));
    } catch (...) {
        return UnknownName();
    }
}

}  // namespace Winsock
