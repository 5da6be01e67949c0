// The echo service and the echo helper in a network namespace of the test's own, where the test
// answers for 10.9.0.1 (a router), 10.9.0.2 (the destination) and 10.9.0.3 (another host).

#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>

#include <gtest/gtest.h>

#include "echo_helpers.h"

namespace {

using namespace std::chrono_literals;
using platform::IcmpSocketKind;

const std::uint32_t kRouter = Address(10, 9, 0, 1), kHost = Address(10, 9, 0, 2),
                    kOtherHost = Address(10, 9, 0, 3);

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Enters a namespace of its own once (later threads follow); what failed, or nothing.
const std::string& Problem() {
    static const bool own = ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0 &&
                            Shell(
                                "ip link set lo up && ip addr add 10.9.0.1/24 dev lo && ip "
                                "route add unreachable 10.9.7.0/24 && ip route add prohibit "
                                "10.9.8.0/24 && sysctl -w net.ipv4.icmp_echo_ignore_all=1");
    static const std::string problem = own ? "" : "no network namespace of our own (root only)";
    return problem;
}

// A folder that the user nobody can reach, holding copies of this build's echo helper:
// "capable" with cap_net_raw, "plain" without any. Empty where files keep no capabilities.
const std::string& HelperCopies() {
    static const std::string folder = [] {
        char made[] = "/tmp/norvane-echo-XXXXXX";
        const std::string path = ::mkdtemp(made) != nullptr ? made : "";
        return !path.empty() && Shell("chmod 755 " + path + " && cp " NORVANE_ECHO_HELPER " " +
                                      path + "/capable && cp " NORVANE_ECHO_HELPER " " + path +
                                      "/plain && setcap cap_net_raw+ep " + path + "/capable")
                   ? path
                   : "";
    }();
    return folder;
}

// The thread becomes nobody (the process stays root) unless it is to use a raw socket of its
// own; nobody's echoes go through the helper where ping_group_range keeps it out.
void BecomeUserUnlessRaw(IcmpSocketKind kind) {
    EXPECT_TRUE(kind == IcmpSocketKind::Raw ||  // as a user, group root stays
                ::syscall(SYS_setresuid, 65534, 65534, 65534) == 0);
}

// The reply to an echo request (an IP packet without options) with its sequence changed.
Bytes ReplyTo(const Bytes& request, int sequenceChange = 0) {
    return Echo(0, request[24] << 8 | request[25],
                (request[26] << 8 | request[27]) + sequenceChange,
                {request.begin() + 28, request.end()});
}

// `count` echoes to `to`; `answerer` answers each request (of time to live `ttl`, if set)
// `delay` after it came, with an echo reply (type 0) or an error; what the echoes report.
// With `tooLongFirst`, the handle first sends an echo too long for any IP packet.
struct Case {
    std::uint8_t ttl;
    std::uint32_t to, answerer;
    int type, code, status;
    std::uint32_t from;
    int count = 1;
    std::chrono::milliseconds delay{};
    bool tooLongFirst = false;
};

// Raw sockets are for root, whom ping_group_range does not admit; datagram sockets for a user
// without CAP_NET_RAW whom it admits; the helper for that user when it admits nobody; None is
// that user when the helper has no capability either.
class EchoInNamespace : public ::testing::TestWithParam<IcmpSocketKind> {
protected:
    void SetUp() override {
        if (!Problem().empty() || HelperCopies().empty()) {
            GTEST_SKIP() << (Problem().empty() ? "setcap does not work in /tmp" : Problem());
        }
        platform::SetEchoHelperPath(HelperCopies() +
                                    (GetParam() == IcmpSocketKind::Helper ? "/capable" : "/plain"));
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
            BecomeUserUnlessRaw(GetParam());
            const HANDLE handle = IcmpCreateFile();
            EXPECT_EQ(platform::IcmpSocketKindOf(handle), GetParam());
            EXPECT_EQ(handle == INVALID_HANDLE_VALUE, GetParam() == IcmpSocketKind::None);
            const IP_OPTION_INFORMATION options{c.ttl};
            if (c.tooLongFirst) {  // the refusal leaves nothing behind for the next echo
                EXPECT_EQ(SendEchoOn(handle, c.to, 65'600, Bytes(65'508, 1)).fixed().Status,
                          IP_PACKET_TOO_BIG);
            }
            const auto start = std::chrono::steady_clock::now();
            std::vector<SentEcho> sent(c.count);
            std::ranges::generate(
                sent, [&] { return SendEchoOn(handle, c.to, 278, Text("Echo This"), &options); });
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

TEST_P(EchoInNamespace, TakesTheReplyFromTheDestinationReportsWhyNoneCameAndSharesNoReply) {
    if (GetParam() == IcmpSocketKind::None) {
        return (void)Echoes({0, kHost, 0, 0, 0, 0, 0});  // no handle to be had
    }
    const Case cases[] = {
        {0, kHost, kHost, 0, 0, IP_SUCCESS, kHost, 1, 0ms, true},
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

    // Echoes from several threads at once, each on a handle of its own, each take their own
    // reply from the namespace's host.
    ASSERT_TRUE(Shell("sysctl -w net.ipv4.icmp_echo_ignore_all=0"));
    std::vector<std::future<int>> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(std::async(std::launch::async, [] {
            BecomeUserUnlessRaw(GetParam());
            const HANDLE handle = IcmpCreateFile();
            int replies = 0;
            for (int echo = 0; echo < 100; ++echo) {
                replies += static_cast<int>(SendEchoOn(handle, kRouter).replies);
            }
            IcmpCloseHandle(handle);
            return replies;
        }));
    }
    for (auto& thread : threads) {
        EXPECT_EQ(thread.get(), 100);
    }
    ASSERT_TRUE(Shell("sysctl -w net.ipv4.icmp_echo_ignore_all=1"));
}

INSTANTIATE_TEST_SUITE_P(, EchoInNamespace,
                         ::testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram,
                                           IcmpSocketKind::Helper, IcmpSocketKind::None));

// The helper program, started by hand, and as the echo service starts it but with a
// descriptor left open by mistake, and sent what no echo service sends.
TEST(EchoHelper, HoldsNothingItDidNotOpenAndAnswersAnythingButOneEchoWithAStatus) {
    const std::string alone = std::string(NORVANE_ECHO_HELPER) + " </dev/null 2>/dev/null";
    EXPECT_EQ(std::system(alone.c_str()), 2 << 8) << "it serves nothing but a packet socket";
    if (!Problem().empty()) {
        GTEST_SKIP() << Problem();
    }
    int leaked[2];
    ASSERT_EQ(::pipe(leaked), 0);
    const auto [pid, fd] = platform::SpawnEchoHelper(NORVANE_ECHO_HELPER);
    ASSERT_NE(pid, -1);
    const timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    Bytes answer(70'000);
    ASSERT_EQ(::recv(fd, answer.data(), answer.size(), 0), 4) << "its greeting";
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), Bytes(4, 0)) << "its raw socket is open";

    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    const std::string status{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(status.find("CapInh:\t0000000000000000\nCapPrm:\t0000000000000000\n"
                          "CapEff:\t0000000000000000\n"),
              std::string::npos)
        << status;
    std::vector<std::string> held;  // what each descriptor of the helper's is, by number
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        held.push_back(entry.path().filename().string() + " " +
                       std::filesystem::read_symlink(entry.path()).string());
    }
    std::ranges::sort(held);
    ASSERT_EQ(held.size(), 4u) << "standard input, output, error and the raw socket, no pipe";
    EXPECT_TRUE(held[3].starts_with("3 socket:"));

    const auto request = [](std::uint32_t to, const Bytes& data = Text("x"),
                            std::uint32_t timeoutMs = 200) {
        return platform::EncodeHelperRequest({to, timeoutMs, 0, 0, data});
    };
    Bytes oversized = request(kRouter, Bytes(65535, 1));
    oversized.push_back(1);
    Bytes wrongSize = request(kRouter, Text("Echo This"));
    wrongSize.pop_back();
    // clang-format off
    const std::pair<Bytes, std::int32_t> cases[] = {
        {Text("garbage"), IP_BAD_REQ}, {wrongSize, IP_BAD_REQ}, {oversized, IP_BAD_REQ},
        {request(Address(0, 0, 0, 0)), IP_BAD_DESTINATION},
        {request(Address(255, 255, 255, 255)), IP_BAD_DESTINATION},
        {request(Address(224, 0, 0, 251)), IP_BAD_DESTINATION},
        {request(Address(10, 9, 0, 255)), IP_GENERAL_FAILURE},  // a subnet's broadcast
        {request(kRouter, Text("x"), 60'000), IP_REQ_TIMED_OUT}};  // nobody answers here
    // clang-format on
    for (const auto& [message, expected] : cases) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(::send(fd, message.data(), message.size(), 0),
                  static_cast<ssize_t>(message.size()));
        ASSERT_EQ(::recv(fd, answer.data(), answer.size(), 0), 28);
        EXPECT_EQ(platform::ReadFixedPart(answer.data()).Status, expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << "waits at most 5 s";
    }

    ::close(fd);  // the window's process has gone: the helper ends
    int exit = -1;
    for (int i = 0; i < 100 && ::waitpid(pid, &exit, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(exit, 0);
    std::ranges::for_each(leaked, ::close);
}

}  // namespace
