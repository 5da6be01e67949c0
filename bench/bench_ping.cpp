// Time of one SendEcho to 127.0.0.1, beside two floors measured in the same run with bare
// socket code: the whole sequence SendEcho stands for (open an ICMP socket, send one 9-byte
// echo, receive its reply, close), and a bare round trip on one socket kept open. The three
// are measured in turn, 1,000 times each; median and 99th percentile in microseconds.
//
// Run: build/bench/bench_ping (a datagram ICMP socket where ping_group_range allows it,
// otherwise raw: root or CAP_NET_RAW).

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "ping/module1.h"
#include "platform/icmp.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCalls = 1000;
constexpr int kWarmUp = 100;

int socketType = SOCK_DGRAM;
std::uint16_t sequence = 0;

int OpenIcmpSocket() {
    return ::socket(AF_INET, socketType, IPPROTO_ICMP);
}

// Sends one "Echo This" to 127.0.0.1 and blocks until its reply is in.
bool RoundTrip(int fd) {
    std::uint8_t request[17] = {8,   0,   0,   0,   0x12, 0x34, 0,   0,  'E',
                                'c', 'h', 'o', ' ', 'T',  'h',  'i', 's'};
    ++sequence;
    request[6] = static_cast<std::uint8_t>(sequence >> 8);
    request[7] = static_cast<std::uint8_t>(sequence);
    if (socketType == SOCK_RAW) {
        const std::uint16_t checksum = platform::InternetChecksum(request);
        request[2] = static_cast<std::uint8_t>(checksum >> 8);
        request[3] = static_cast<std::uint8_t>(checksum);
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&target),
                 sizeof target) < 0) {
        return false;
    }
    std::uint8_t reply[1500];
    for (;;) {
        const ssize_t size = ::recv(fd, reply, sizeof reply, 0);
        if (size < 0) {
            return false;
        }
        const std::size_t header = socketType == SOCK_RAW ? std::size_t{reply[0] & 0x0Fu} * 4 : 0;
        if (static_cast<std::size_t>(size) >= header + 8 && reply[header] == 0 &&
            reply[header + 6] == request[6] && reply[header + 7] == request[7]) {
            return true;
        }
    }
}

struct Figures {
    std::vector<double> micros;
    void Add(Clock::duration elapsed) {
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    double Percentile(double p) {
        std::sort(micros.begin(), micros.end());
        const auto index =
            static_cast<std::size_t>(p * static_cast<double>(micros.size() - 1) + 0.5);
        return micros[index];
    }
};

}  // namespace

int main() {
    alarm(120);  // a lost loopback reply must not keep the benchmark forever
    int probe = OpenIcmpSocket();
    if (probe < 0) {
        socketType = SOCK_RAW;
        probe = OpenIcmpSocket();
    }
    if (probe < 0) {
        std::fprintf(stderr,
                     "no ICMP socket: neither ping_group_range nor CAP_NET_RAW allow one\n");
        return 1;
    }
    ::close(probe);

    Module1::EchoReply reply;
    const QString loopback = QStringLiteral("127.0.0.1");
    const int kept = OpenIcmpSocket();
    bool ok = true;

    const std::function<void()> sendEcho = [&] {
        ok = Module1::SendEcho(loopback, reply) >= 0 && reply.Status == 0 && ok;
    };
    const std::function<void()> wholeSequence = [&] {
        const int fd = OpenIcmpSocket();
        ok = RoundTrip(fd) && ok;
        ::close(fd);
    };
    const std::function<void()> keptSocket = [&] { ok = RoundTrip(kept) && ok; };

    Figures ours;
    Figures floorSequence;
    Figures floorKept;
    for (int i = -kWarmUp; i < kCalls; ++i) {
        for (auto [work, figures] : {std::pair{&sendEcho, &ours},
                                     {&wholeSequence, &floorSequence},
                                     {&keptSocket, &floorKept}}) {
            const auto start = Clock::now();
            (*work)();
            const auto elapsed = Clock::now() - start;
            if (i >= 0) {
                figures->Add(elapsed);
            }
        }
    }
    ::close(kept);
    if (!ok) {
        std::fprintf(stderr, "an echo failed\n");
        return 1;
    }

    std::printf("ICMP echo to 127.0.0.1, %d calls each, %s socket\n", kCalls,
                socketType == SOCK_RAW ? "raw" : "datagram");
    std::printf("%-44s %10s %10s\n", "", "median us", "p99 us");
    const double oursMedian = ours.Percentile(0.5);
    const double floorMedian = floorSequence.Percentile(0.5);
    std::printf("%-44s %10.1f %10.1f\n", "SendEcho", oursMedian, ours.Percentile(0.99));
    std::printf("%-44s %10.1f %10.1f\n", "floor: open, send, receive, close", floorMedian,
                floorSequence.Percentile(0.99));
    std::printf("%-44s %10.1f %10.1f\n", "floor: send, receive on one open socket",
                floorKept.Percentile(0.5), floorKept.Percentile(0.99));
    std::printf("SendEcho median / whole-sequence floor median: %.2f (goal: at most 1.25)\n",
                oursMedian / floorMedian);
    return 0;
}
