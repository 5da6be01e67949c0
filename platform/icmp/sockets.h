#pragma once
// The Linux ICMP sockets behind the echo service: opening one, sending a request, waiting,
// and reading what comes back.
//
// - A datagram ICMP socket (SOCK_DGRAM, IPPROTO_ICMP) is open to callers whose group lies in
//   net.ipv4.ping_group_range; the kernel's default range "1 0" admits nobody, not even root.
//   The kernel puts the socket's own number into the echo identifier, recomputes the
//   checksum and hands the socket only the replies carrying that identifier, without IP
//   header. ICMP errors reach it only with IP_RECVERR, through the error queue.
// - A raw ICMP socket needs CAP_NET_RAW and sees every ICMP packet of the host, IP header
//   first: other programs' echoes, our own request on loopback, the errors for anyone's
//   packets. Everything that arrives is checked against the echo we wait for.

#include <chrono>
#include <cstdint>
#include <span>

#include "platform/icmp/packets.h"

namespace platform {

// Helper: no socket of the process's own; echoes go through the echo helper program.
enum class IcmpSocketKind { None, Datagram, Raw, Helper };

enum class ReadResult {
    Matched,  // the reply or error for the echo is in the outcome
    Other,    // something else was read; more may be waiting
    Empty,    // nothing to read
    Failed,   // the socket reported an error (in `error`) that ends the echo
};

// What differs between the two kinds of socket: how one is opened, and how one incoming
// packet is read and matched against the echo that waits for it.
struct IcmpSocketType {
    IcmpSocketKind kind;
    int (*open)(std::uint16_t identifier);  // a descriptor, or -1
    ReadResult (*read)(int fd, std::span<std::uint8_t> incoming, const PendingEcho& echo,
                       EchoOutcome& outcome, int& error);
};

struct IcmpSocket {
    int fd = -1;
    const IcmpSocketType* type = nullptr;
    // The identifier of the echoes sent on a raw socket, its own among this process's sockets;
    // a datagram socket's echoes carry the one the kernel gives them.
    std::uint16_t identifier = 0;
};

// An ICMP socket of the kind that could be had last time, else of the other kind; fd -1
// when neither can be had.
IcmpSocket OpenIcmpSocket();
void CloseIcmpSocket(const IcmpSocket& socket);

// A raw ICMP socket that lets through only echo replies and the errors that can end an echo;
// fd -1, with errno set, without CAP_NET_RAW.
IcmpSocket OpenRawIcmpSocket();

// Sets the time to live and type of service of the requests; 0 puts back the system's default.
void SetRequestOptions(const IcmpSocket& socket, int ttl, int tos);

// Sends `request` to `destination`; 0, or the errno of the failure.
int SendRequest(const IcmpSocket& socket, std::uint32_t destination,
                std::span<const std::uint8_t> request);

// Waits until the socket has something to read or an error to report; false once the
// deadline has passed.
bool WaitForSocket(const IcmpSocket& socket, std::chrono::steady_clock::time_point deadline);

}  // namespace platform
