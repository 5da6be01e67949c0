#pragma once
// Packet builders, one echo's reply buffer and a silent echo service. Addresses are the four
// bytes in network order read as a little-endian integer.

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/icmp/helper_client.h"
#include "platform/icmp/icmp.h"

using Bytes = std::vector<std::uint8_t>;

// The echo helper program of this build, for a test process that may open no ICMP socket.
inline const bool kEchoHelperOfThisBuild = (platform::SetEchoHelperPath(NORVANE_ECHO_HELPER), true);

inline std::uint32_t Address(int b1, int b2, int b3, int b4) {
    return static_cast<std::uint32_t>(b1 | b2 << 8 | b3 << 16 | b4 << 24);
}
inline Bytes Of(std::initializer_list<int> values) {
    return Bytes(values.begin(), values.end());
}
inline Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}
inline Bytes Join(Bytes front, const Bytes& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

// An ICMP message with its checksum; an echo request is type 8, a reply type 0.
inline Bytes Icmp(int type, int code, const Bytes& rest) {
    const int checksum = platform::InternetChecksum(Join(Of({type, code, 0, 0}), rest));
    return Join(Of({type, code, checksum >> 8, checksum & 0xFF}), rest);
}
inline Bytes Echo(int type, int id, int sequence, const Bytes& data) {
    return Icmp(type, 0, Join(Of({id >> 8, id & 0xFF, sequence >> 8, sequence & 0xFF}), data));
}

// An IPv4 packet (type of service 0x10, don't fragment) with `optionWords` words of options.
inline Bytes Ip(std::uint32_t from, std::uint32_t to, const Bytes& payload, int ttl = 64,
                int optionWords = 0) {
    const int total = 20 + 4 * optionWords + static_cast<int>(payload.size());
    Bytes header =
        Of({0x40 | (5 + optionWords), 0x10, total >> 8, total & 0xFF, 0, 0, 0x40, 0, ttl, 1, 0, 0});
    for (const int shift : {0, 8, 16, 24, 32, 40, 48, 56}) {  // the bytes of `from`, then `to`
        header.push_back(static_cast<std::uint8_t>((std::uint64_t{to} << 32 | from) >> shift));
    }
    header.resize(20 + 4 * static_cast<std::size_t>(optionWords), 1);  // no-operation options
    return Join(header, payload);
}

// An ICMP error about `packet` (IPv4 without options), quoting its header and 8 bytes.
inline Bytes ErrorAbout(int type, int code, const Bytes& packet) {
    return Icmp(type, code, Join(Of({0, 0, 0, 0}), {packet.begin(), packet.begin() + 28}));
}

// Skips a test where this process can send no echo at all.
#define SKIP_WITHOUT_ECHO_SERVICE()                                                     \
    if (const HANDLE probe = IcmpCreateFile(); probe == INVALID_HANDLE_VALUE) {         \
        GTEST_SKIP() << "no ICMP socket to be had: outside net.ipv4.ping_group_range, " \
                        "without CAP_NET_RAW, and the echo helper has no cap_net_raw";  \
    } else {                                                                            \
        IcmpCloseHandle(probe);                                                         \
    }

// One IcmpSendEcho into a reply buffer filled with 0xAA before.
struct SentEcho {
    std::uint32_t replies = 0;
    Bytes buffer;
    platform::EchoReplyFixedPart fixed() const { return platform::ReadFixedPart(buffer.data()); }
    Bytes data() const { return {buffer.begin() + 28, buffer.begin() + 28 + fixed().DataSize}; }
};
inline SentEcho SendEchoOn(HANDLE handle, std::uint32_t to, std::size_t size = 278,
                           const Bytes& data = Text("Echo This"),
                           const IP_OPTION_INFORMATION* options = nullptr) {
    SentEcho echo{0, Bytes(size, 0xAA)};
    echo.replies = IcmpSendEcho(handle, to, data.data(), static_cast<std::uint16_t>(data.size()),
                                options, echo.buffer.data(), static_cast<std::uint32_t>(size), 200);
    return echo;
}

// While it lives, the echo service: it records where each echo would go and its time-out, and
// answers "no reply", writing nothing.
struct SilentEchoService : platform::EchoService {
    SilentEchoService() { platform::SetEchoService(this); }
    ~SilentEchoService() override { platform::SetEchoService(nullptr); }
    HANDLE CreateFile() override { return this; }
    std::uint32_t SendEcho(HANDLE, std::uint32_t to, const void*, std::uint16_t,
                           const IP_OPTION_INFORMATION*, void*, std::uint32_t,
                           std::uint32_t timeoutMs) override {
        requests.emplace_back(to, timeoutMs);
        return 0;
    }
    bool CloseHandle(HANDLE handle) override { return closed.emplace_back(handle) != nullptr; }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> requests;  // destination, time-out
    std::vector<HANDLE> closed;
};
