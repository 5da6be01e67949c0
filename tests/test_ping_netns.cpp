// The echo service in a network namespace of the test's own, where the test answers for
// 10.9.0.1 (a router), 10.9.0.2 (the destination) and 10.9.0.3 (another host).

#include <netinet/in.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <future>

#include <gtest/gtest.h>

#include "echo_helpers.h"

namespace {

using namespace std::chrono_literals;
using platform::IcmpSocketKind;

const std::uint32_t kRouter = Address(10, 9, 0, 1), kHost = Address(10, 9, 0, 2);
const std::uint32_t kOtherHost = Address(10, 9, 0, 3);

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Enters a namespace of its own once (later threads follow); what failed, or nothing.
const std::string& Problem() {
    static const std::string problem =
        ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0 &&
                Shell(
                    "ip link set lo up && ip addr add 10.9.0.1/24 dev lo && ip route add "
                    "unreachable 10.9.7.0/24 && ip route add prohibit 10.9.8.0/24 && "
                    "sysctl -w net.ipv4.icmp_echo_ignore_all=1")
            ? ""
            : "no network namespace of our own (root only)";
    return problem;
}

// The reply to an echo request (an IP packet without options) with its sequence changed.
Bytes ReplyTo(const Bytes& request, int sequenceChange = 0) {
    return Echo(0, request[24] << 8 | request[25],
                (request[26] << 8 | request[27]) + sequenceChange,
                {request.begin() + 28, request.end()});
}

// `count` echoes to `to`; `answerer` answers each request (of time to live `ttl`, if set)
// `delay` after it came, with an echo reply (type 0) or an error; what the echoes report.
struct Case {
    std::uint8_t ttl;
    std::uint32_t to, answerer;
    int type, code, status;
    std::uint32_t from;
    int count = 1;
    std::chrono::milliseconds delay{};
};

// Raw sockets are for root, whom ping_group_range does not admit; datagram sockets for a user
// without CAP_NET_RAW whom it admits; None is that user when it admits nobody.
class EchoInNamespace : public ::testing::TestWithParam<IcmpSocketKind> {
protected:
    void SetUp() override {
        if (!Problem().empty()) {
            GTEST_SKIP() << Problem();
        }
        ASSERT_TRUE(Shell(std::string("sysctl -w net.ipv4.ping_group_range=") +
                          (GetParam() == IcmpSocketKind::Datagram ? "'0 0'" : "'1 0'")));
        raw = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);  // sees every request
        const timeval wait{0, 20'000};
        const int on = 1;  // sends whole IP packets, from any host
        ::setsockopt(raw, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::setsockopt(raw, IPPROTO_IP, IP_HDRINCL, &on, sizeof on);
    }
    void TearDown() override { ::close(raw); }

    // Sends the echoes on one handle from a thread of its own while this one answers, each
    // answer after two strays: a reply to an earlier echo, an error about an echo to 10.9.0.3.
    std::vector<SentEcho> Echoes(const Case& c) {
        auto echoes = std::async(std::launch::async, [=, this] {
            EXPECT_TRUE(GetParam() == IcmpSocketKind::Raw ||  // as a user, group root stays
                        ::syscall(SYS_setresuid, 65534, 65534, 65534) == 0);
            const HANDLE handle = IcmpCreateFile();
            EXPECT_EQ(platform::IcmpSocketKindOf(handle), GetParam());
            EXPECT_EQ(handle == INVALID_HANDLE_VALUE, GetParam() == IcmpSocketKind::None);
            const IP_OPTION_INFORMATION options{c.ttl};
            const auto start = std::chrono::steady_clock::now();
            std::vector<SentEcho> sent;
            while (static_cast<int>(sent.size()) < c.count) {
                sent.push_back(SendEchoOn(handle, c.to, 278, Text("Echo This"), &options));
            }
            elapsed = std::chrono::steady_clock::now() - start;
            IcmpCloseHandle(handle);
            return sent;
        });
        Bytes packet(2048);
        const sockaddr_in self{AF_INET, 0, {htonl(0x0A090001)}, {}};  // sends every request
        while (echoes.wait_for(0s) != std::future_status::ready) {
            const auto got = ::recv(raw, packet.data(), packet.size(), 0);
            if (got < 28 || packet[20] != 8 || (c.ttl != 0 && packet[8] != c.ttl)) {
                continue;
            }
            const Bytes request(packet.begin(), packet.begin() + got),
                icmp(request.begin() + 20, request.end());
            std::this_thread::sleep_for(c.delay);
            for (const auto& [from, message] :
                 {std::pair{kHost, ReplyTo(request, -1)},
                  {kRouter, ErrorAbout(3, 1, Ip(kRouter, kOtherHost, icmp))},
                  {c.answerer,
                   c.type == 0 ? ReplyTo(request) : ErrorAbout(c.type, c.code, request)}}) {
                const Bytes sent = Ip(from, kRouter, message);
                ::sendto(raw, sent.data(), sent.size(), 0, reinterpret_cast<const sockaddr*>(&self),
                         sizeof self);
            }
        }
        return echoes.get();
    }

    int raw = -1;
    std::chrono::steady_clock::duration elapsed{};
};

TEST_P(EchoInNamespace, TakesTheReplyFromTheDestinationAndReportsWhyNoneCame) {
    if (GetParam() == IcmpSocketKind::None) {
        return (void)Echoes({0, kHost, 0, 0, 0, 0, 0});  // no handle to be had
    }
    const Case cases[] = {
        {0, kHost, kHost, 0, 0, IP_SUCCESS, kHost},
        {0, kHost, kRouter, 3, 1, IP_DEST_HOST_UNREACHABLE, kRouter, 1, 5ms},  // no time kept
        {1, kHost, kRouter, 11, 0, IP_TTL_EXPIRED_TRANSIT, kRouter},
        {0, Address(10, 9, 7, 5), 0, 0, 0, IP_DEST_HOST_UNREACHABLE, 0},  // the routes that refuse
        {0, Address(10, 9, 8, 5), 0, 0, 0, IP_GENERAL_FAILURE, 0},
        {0, kHost, kHost, 0, 0, IP_REQ_TIMED_OUT, 0, 2, 250ms},  // late, as the next one waits
        {0, kHost, kOtherHost, 0, 0, IP_REQ_TIMED_OUT, 0},       // only the destination replies
    };
    for (const Case& c : cases) {
        for (const SentEcho& echo : Echoes(c)) {
            const auto fixed = echo.fixed();
            const bool replied = c.status == IP_SUCCESS;
            EXPECT_EQ(
                std::tuple(echo.replies, fixed.Status, static_cast<std::uint32_t>(fixed.Address),
                           replied ? fixed.Ttl : 64, replied ? 0 : fixed.RoundTripTime, echo.data(),
                           echo.buffer[28 + fixed.DataSize]),
                std::tuple(replied ? 1u : 0u, c.status, c.from, 64, 0,
                           replied ? Text("Echo This") : Bytes{}, 0xAA));
        }
    }
    EXPECT_TRUE(elapsed >= 195ms && elapsed < 2000ms) << "the time-out, waited for whole";
}

INSTANTIATE_TEST_SUITE_P(, EchoInNamespace,
                         ::testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram,
                                           IcmpSocketKind::None));

}  // namespace
