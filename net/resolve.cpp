// Name resolution on the system resolver (glibc). Dotted texts are read by inet_addr, which
// accepts the same forms as the Windows one ("127.1", "0x7f.0.0.1", "017.0.0.1"), so a dotted
// text never reaches the name service. Names and addresses are looked up with the reentrant
// gethostbyname2_r and gethostbyaddr_r for IPv4 only: they keep the order in which the hosts
// file or the DNS lists the addresses, and they report the host's official name, h_name.
// Host names cross the platform boundary in the locale's 8-bit encoding. The lookups block, so
// they run through the blocking hook, which keeps the window painted meanwhile.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "net/blockinghook.h"
#include "net/winsock.h"
#include "platform/winsock/winsock.h"

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

// The Windows Sockets code of a failed lookup, from the resolver's h_errno.
int LookupError(int hostError) {
    switch (hostError) {
        case HOST_NOT_FOUND:
            return WSAHOST_NOT_FOUND;
        case TRY_AGAIN:
            return WSATRY_AGAIN;
        case NO_DATA:
            return WSANO_DATA;
        default:
            return WSANO_RECOVERY;
    }
}

// The lookup runs on the blocking hook's worker, which may outlive a wait that is ended
// early: `lookup` holds copies of its inputs, and the record and its buffer are the worker's
// until they are handed over here (a moved buffer keeps its storage, which the record's
// pointers point into). On failure the lookup's code is left in WSAGetLastError(); a wait
// that was ended leaves the code the blocking hook set.
template <typename Lookup>
bool LookUpHost(Lookup lookup, hostent& record, std::vector<char>& buffer) {
    struct Answer {
        hostent record{};
        std::vector<char> buffer;
        bool found = false;
        int hostError = 0;
    };
    std::optional<Answer> answer = platform::RunBlocking([lookup] {
        Answer answer;
        answer.buffer.assign(kFirstBufferSize, '\0');
        for (;;) {
            hostent* found = nullptr;
            const int result = lookup(&answer.record, answer.buffer.data(), answer.buffer.size(),
                                      &found, &answer.hostError);
            if (result == ERANGE && answer.buffer.size() < kLargestBufferSize) {
                answer.buffer.assign(answer.buffer.size() * 2, '\0');
                continue;
            }
            answer.found = result == 0 && found != nullptr;
            return answer;
        }
    });
    if (!answer) {
        return false;
    }
    if (!answer->found) {
        WSASetLastError(LookupError(answer->hostError));
        return false;
    }
    record = answer->record;
    buffer = std::move(answer->buffer);
    return true;
}

// The official name from a record, cut at the length of the name buffer.
QString OfficialNameOf(const hostent& record) {
    if (record.h_name == nullptr) {
        return UnknownName();
    }
    return QString::fromLocal8Bit(record.h_name, strnlen(record.h_name, kHostNameLength));
}

// Every address the name service lists for `host`, in its order; a dotted text is its own one
// address and never reaches the name service. Empty on failure, with its code left in
// WSAGetLastError().
std::vector<std::int32_t> AddressesOf(const QString& host) {
    // The platform would read only the text before a NUL.
    if (host.contains(QChar(0))) {
        WSASetLastError(WSAHOST_NOT_FOUND);
        return {};
    }
    const QByteArray name = host.toLocal8Bit();
    const in_addr_t dotted = inet_addr(name.constData());
    if (dotted != INADDR_NONE) {
        return {static_cast<std::int32_t>(dotted)};
    }
    hostent record{};
    std::vector<char> buffer;
    const bool found = LookUpHost(
        [name](hostent* out, char* data, std::size_t size, hostent** result, int* hostError) {
            return gethostbyname2_r(name.constData(), AF_INET, out, data, size, result, hostError);
        },
        record, buffer);
    std::vector<std::int32_t> addresses;
    if (!found) {
        return addresses;
    }
    if (record.h_addr_list == nullptr || record.h_length <= 0) {
        WSASetLastError(WSANO_DATA);
        return addresses;
    }
    const std::size_t length =
        std::min(static_cast<std::size_t>(record.h_length), sizeof(std::int32_t));
    for (char** entry = record.h_addr_list; *entry != nullptr; ++entry) {
        std::int32_t address = 0;
        std::memcpy(&address, *entry, length);
        addresses.push_back(address);
    }
    return addresses;
}

bool IsLoopback(std::int32_t address) {
    return (ntohl(static_cast<in_addr_t>(address)) >> 24) == 127;
}

// Any address outside every local network does to find the route to the outside; this is
// a root name server's.
constexpr const char* kOutsideAddress = "198.41.0.4";

// The source address this computer uses on its route to the outside; 0 without such a route.
// Connecting a datagram socket only chooses the route: nothing is sent.
in_addr_t RouteSourceAddress() {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return 0;
    }
    sockaddr_in outside{};
    outside.sin_family = AF_INET;
    outside.sin_port = htons(53);
    outside.sin_addr.s_addr = inet_addr(kOutsideAddress);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool routed =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&outside), sizeof outside) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    ::close(probe);
    if (!routed || IsLoopback(static_cast<std::int32_t>(local.sin_addr.s_addr))) {
        return 0;
    }
    return local.sin_addr.s_addr;
}

// The first IPv4 address of an interface that is up and not loopback; 0 without one.
in_addr_t FirstInterfaceAddress() {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return 0;
    }
    in_addr_t found = 0;
    for (const ifaddrs* entry = interfaces; entry != nullptr && found == 0;
         entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
            (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0) {
            found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
        }
    }
    freeifaddrs(interfaces);
    return found;
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
        [bytes](hostent* out, char* data, std::size_t size, hostent** result, int* hostError) {
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
    const std::vector<std::int32_t> addresses = AddressesOf(host);
    return addresses.empty() ? -1 : addresses.front();
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
        // The failure value is no address to look up in reverse.
        const std::int32_t address = HostToAddress(host);
        return address == -1 ? UnknownName() : AddressToHostName(address);
    } catch (...) {
        return UnknownName();
    }
}

std::int32_t LocalHostAddress(QString localName) {
    const std::vector<std::int32_t> listed = AddressesOf(localName);
    if (listed.empty()) {
        return -1;
    }
    if (const auto outside = std::find_if_not(listed.begin(), listed.end(), IsLoopback);
        outside != listed.end()) {
        return *outside;
    }
    if (const in_addr_t routed = RouteSourceAddress(); routed != 0) {
        return static_cast<std::int32_t>(routed);
    }
    if (const in_addr_t first = FirstInterfaceAddress(); first != 0) {
        return static_cast<std::int32_t>(first);
    }
    return listed.front();
}

}  // namespace Winsock
