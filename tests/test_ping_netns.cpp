// The echo service in a network namespace of this program's own, where no kernel answers an
// echo and the test answers for the hosts: 10.9.0.1 a router, 10.9.0.2 the destination,
// 10.9.0.3 another host; 10.9.7.0/24 is an unreachable route, 10.9.8.0/24 a prohibited one.
//
// Every case runs on a raw socket, as for root where ping_group_range admits nobody, and on a
// datagram socket, as for a user without CAP_NET_RAW whom the range admits. Skipped where the
// namespace cannot be made (not root).

#include <linux/capability.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>

#include <gtest/gtest.h>

#include "echo_packets.h"
#include "ping/module1.h"

namespace {

using namespace std::chrono_literals;
using platform::IcmpSocketKind;

const std::uint32_t kRouter = Address(10, 9, 0, 1), kHost = Address(10, 9, 0, 2);
const std::uint32_t kOther = Address(10, 9, 0, 3);

const char* const kSetUp[] = {"ip link set lo up",
                              "ip addr add 10.9.0.1/32 dev lo",
                              "ip addr add 10.9.0.2/32 dev lo",
                              "ip addr add 10.9.0.3/32 dev lo",
                              "ip route add unreachable 10.9.7.0/24",
                              "ip route add prohibit 10.9.8.0/24",
                              "sysctl -qw net.ipv4.icmp_echo_ignore_all=1"};

// Moves the program into a namespace of its own (threads started later follow) and sets it
// up once; why that failed, or nothing.
const std::string& Problem() {
    static const std::string problem = [] {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
            return std::string("a network namespace needs root");
        }
        for (const char* step : kSetUp) {
            if (std::system((std::string(step) + " >/dev/null 2>&1").c_str()) != 0) {
                return std::string("setting up failed: ") + step;
            }
        }
        return std::string();
    }();
    return problem;
}

bool SetPingGroupRange(const char* range) {
    return std::system(
               (std::string("sysctl -qw net.ipv4.ping_group_range='") + range + "'").c_str()) == 0;
}

// Takes CAP_NET_RAW from the calling thread alone.
void DropRawSockets() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    ::syscall(SYS_capget, &header, caps);
    caps[0].effective &= ~(1u << CAP_NET_RAW);
    ASSERT_EQ(::syscall(SYS_capset, &header, caps), 0);
}

// Sends `message` from `from` to the sender of `request` (an IP packet).
void Answer(const Bytes& request, std::uint32_t from, const Bytes& message) {
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    sockaddr_in source{AF_INET, 0, {from}, {}}, peer = source;
    std::memcpy(&peer.sin_addr, &request[12], 4);
    ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
    ::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&peer),
             sizeof peer);
    ::close(fd);
}

// The echo reply to `request` (whose IP header has no options), sequence changed if asked.
Bytes ReplyTo(const Bytes& request, int sequenceChange = 0) {
    return Echo(0, request[24] << 8 | request[25],
                (request[26] << 8 | request[27]) + sequenceChange,
                Bytes(request.begin() + 28, request.end()));
}

class EchoInNamespace : public ::testing::TestWithParam<IcmpSocketKind> {
protected:
    void SetUp() override {
        if (!Problem().empty()) {
            GTEST_SKIP() << Problem();
        }
        // Root, whom the kernel's default range "1 0" does not admit, gets a raw socket;
        // without CAP_NET_RAW the range decides.
        ASSERT_TRUE(SetPingGroupRange(Datagram() ? "0 0" : "1 0"));
        requests = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        const timeval wait{0, 20'000};
        ::setsockopt(requests, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    void TearDown() override { ::close(requests); }
    bool Datagram() const { return GetParam() == IcmpSocketKind::Datagram; }

    // Sends `count` echoes to kHost on one handle, while this thread hands each echo request
    // to `answer` `delay` after it came.
    std::vector<SentEcho> Echoes(const std::function<void(const Bytes&)>& answer, int count = 1,
                                 std::chrono::milliseconds delay = 0ms, std::uint8_t ttl = 0,
                                 std::uint32_t to = kHost) {
        auto echoes = std::async(std::launch::async, [&] {
            if (Datagram()) {
                DropRawSockets();
            }
            const HANDLE handle = IcmpCreateFile();
            EXPECT_EQ(platform::IcmpSocketKindOf(handle), GetParam());
            const IP_OPTION_INFORMATION options{ttl};
            std::vector<SentEcho> sent;
            for (int i = 0; i < count; ++i) {
                const auto start = std::chrono::steady_clock::now();
                sent.push_back(SendEchoOn(handle, to, Text("Echo This"), 278, &options));
                elapsed = std::chrono::steady_clock::now() - start;
            }
            IcmpCloseHandle(handle);
            return sent;
        });
        Bytes packet(2048);
        while (echoes.wait_for(0s) != std::future_status::ready) {
            const ssize_t size = ::recv(requests, packet.data(), packet.size(), 0);
            if (size >= 28 && packet[20] == 8 && answer) {
                std::this_thread::sleep_for(delay);
                answer(Bytes(packet.begin(), packet.begin() + size));
            }
        }
        return echoes.get();
    }

    // A failed echo leaves a complete reply: the status, the sender, no time and no data.
    static void ExpectFailure(const SentEcho& echo, std::int32_t status, std::uint32_t from) {
        const auto fixed = echo.fixed();
        EXPECT_EQ(std::tuple(echo.replies, fixed.Status, static_cast<std::uint32_t>(fixed.Address),
                             fixed.RoundTripTime, fixed.DataSize, echo.buffer[28]),
                  std::tuple(0u, status, from, 0, 0, 0xAA));
    }

    int requests = -1;                              // sees every echo request
    std::chrono::steady_clock::duration elapsed{};  // of the last echo
};

TEST_P(EchoInNamespace, TheRouterSaysWhyTheEchoCannotPass) {
    const auto error = [](int type, int code) {
        return [=](const Bytes& request) {
            // A request sent with a time to live of 1 expires at the router.
            if (type != 11 || request[8] == 1) {
                Answer(request, kRouter, ErrorAbout(type, code, request));
            }
        };
    };
    ExpectFailure(Echoes(error(3, 1))[0], IP_DEST_HOST_UNREACHABLE, kRouter);
    ExpectFailure(Echoes(error(3, 0))[0], IP_DEST_NET_UNREACHABLE, kRouter);
    ExpectFailure(Echoes(error(11, 0), 1, 0ms, 1)[0], IP_TTL_EXPIRED_TRANSIT, kRouter);
}

TEST_P(EchoInNamespace, LocalRoutesThatRefuseEndTheEchoAtOnce) {
    ExpectFailure(Echoes({}, 1, 0ms, 0, Address(10, 9, 7, 5))[0], IP_DEST_HOST_UNREACHABLE, 0);
    ExpectFailure(Echoes({}, 1, 0ms, 0, Address(10, 9, 8, 5))[0], IP_GENERAL_FAILURE, 0);
}

TEST_P(EchoInNamespace, ASilentHostTimesOutAfterTheTimeOut) {
    ExpectFailure(Echoes({})[0], IP_REQ_TIMED_OUT, 0);
    EXPECT_GE(elapsed, 195ms) << "the whole time-out is waited for";
    EXPECT_LT(elapsed, 2000ms) << "the time-out ends the wait";
}

TEST_P(EchoInNamespace, TheReplyIsTakenAndStrayRepliesAndErrorsAreIgnored) {
    const SentEcho echo = Echoes([](const Bytes& request) {
        Answer(request, kHost, ReplyTo(request, 1));
        Bytes toOther = request;
        std::memcpy(&toOther[16], &kOther, 4);
        Answer(request, kRouter, ErrorAbout(3, 1, toOther));
        Answer(request, kHost, ReplyTo(request));
    })[0];
    EXPECT_EQ(std::tuple(echo.replies, static_cast<std::uint32_t>(echo.fixed().Address),
                         echo.fixed().Ttl, echo.data()),
              std::tuple(1u, kHost, 64, Text("Echo This")));
}

TEST_P(EchoInNamespace, AnEchoReplyCountsOnlyFromTheDestination) {
    const auto otherHostAnswers = [](const Bytes& request) {
        Answer(request, kOther, ReplyTo(request));
    };
    ExpectFailure(Echoes(otherHostAnswers)[0], IP_REQ_TIMED_OUT, 0);
}

TEST_P(EchoInNamespace, ALateReplyNeverCountsForTheNextEcho) {
    // Each echo is answered 250 ms late: the first times out, and its reply reaches the
    // socket while the second waits.
    const auto answer = [](const Bytes& request) { Answer(request, kHost, ReplyTo(request)); };
    for (const SentEcho& echo : Echoes(answer, 2, 250ms)) {
        ExpectFailure(echo, IP_REQ_TIMED_OUT, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(, EchoInNamespace,
                         ::testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram),
                         [](const auto& info) {
                             return info.param == IcmpSocketKind::Raw ? "RawSocket"
                                                                      : "DatagramSocket";
                         });

TEST(EchoWithoutSockets, IsAGeneralFailure) {
    if (!Problem().empty()) {
        GTEST_SKIP() << Problem();
    }
    // Without CAP_NET_RAW, and with a range that admits nobody, no ICMP socket can be had.
    ASSERT_TRUE(SetPingGroupRange("1 0"));
    Module1::EchoReply reply;
    std::async(std::launch::async, [&] {
        DropRawSockets();
        EXPECT_EQ(IcmpCreateFile(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(Module1::SendEcho(QStringLiteral("127.0.0.1"), reply), -IP_GENERAL_FAILURE);
    }).wait();
    EXPECT_EQ(reply.Status, IP_GENERAL_FAILURE);
}

}  // namespace
