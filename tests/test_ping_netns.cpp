// The echo service against test hosts in network namespaces that this test creates:
//
//   client 10.77.1.1 ---- 10.77.1.2 router  (forwards; no route to 10.77.5.0/24, unreachable
//     |                                       10.77.3.0/24, prohibited 10.77.4.0/24)
//   client 10.77.2.1 ---- 10.77.2.2 responder (the kernel answers no echo; a test program does)
//
// Every case runs twice: on a raw socket, as for root where ping_group_range admits nobody,
// and on a datagram socket, as for a user without CAP_NET_RAW whom the range admits.
// Echoes go only to these namespaces. Skipped where namespaces cannot be made (not root).

#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ping/module1.h"
#include "platform/icmp.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using platform::IcmpSocketKind;

std::uint32_t Address(int b1, int b2, int b3, int b4) {
    return static_cast<std::uint32_t>(b1 | b2 << 8 | b3 << 16 | b4 << 24);
}

const std::uint32_t kRouter = Address(10, 77, 1, 2);
const std::uint32_t kResponder = Address(10, 77, 2, 2);

bool RunCommand(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::uint32_t Read32(const Bytes& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    return value;
}

// Three namespaces and two links, made once for the whole program and always removed.
class TestNetwork {
public:
    TestNetwork() {
        const std::string id = std::to_string(::getpid());
        client = "nvping-" + id + "-client";
        router = "nvping-" + id + "-router";
        responder = "nvping-" + id + "-responder";
        if (::geteuid() != 0) {
            problem = "network namespaces need root";
            return;
        }
        for (const std::string* name : {&client, &router, &responder}) {
            if (!RunCommand("ip netns add " + *name)) {
                problem = "cannot create network namespaces (ip netns add)";
                return;
            }
            created.push_back(*name);
            RunCommand("ip -n " + *name + " link set lo up");
        }
        if (!RunCommand("ip -n " + client + " link add nvc" + id + " type veth peer name nvr" + id +
                        " netns " + router) ||
            !RunCommand("ip -n " + client + " link add nvs" + id + " type veth peer name nvs" + id +
                        " netns " + responder)) {
            problem = "cannot create veth links";
            return;
        }
        const std::vector<std::string> steps = {
            "ip -n " + client + " addr add 10.77.1.1/24 dev nvc" + id,
            "ip -n " + client + " link set nvc" + id + " up",
            "ip -n " + client + " addr add 10.77.2.1/24 dev nvs" + id,
            "ip -n " + client + " link set nvs" + id + " up",
            "ip -n " + client + " route add default via 10.77.1.2",
            // The router answers at most five echoes per source address with an error
            // from its routing table (a host-wide limit): each such route gets a source.
            "ip -n " + client + " addr add 10.77.1.13/24 dev nvc" + id,
            "ip -n " + client + " addr add 10.77.1.14/24 dev nvc" + id,
            "ip -n " + client + " addr add 10.77.1.15/24 dev nvc" + id,
            "ip -n " + client + " route add 10.77.3.0/24 via 10.77.1.2 src 10.77.1.13",
            "ip -n " + client + " route add 10.77.4.0/24 via 10.77.1.2 src 10.77.1.14",
            "ip -n " + client + " route add 10.77.5.0/24 via 10.77.1.2 src 10.77.1.15",
            "ip -n " + client + " route add unreachable 10.77.7.0/24",
            "ip -n " + client + " route add prohibit 10.77.8.0/24",
            "ip -n " + router + " addr add 10.77.1.2/24 dev nvr" + id,
            "ip -n " + router + " link set nvr" + id + " up",
            "ip -n " + router + " route add unreachable 10.77.3.0/24",
            "ip -n " + router + " route add prohibit 10.77.4.0/24",
            "ip -n " + router + " route add 10.77.6.0/24 via 10.77.1.1",
            "ip netns exec " + router + " sysctl -qw net.ipv4.ip_forward=1",
            "ip netns exec " + router + " sysctl -qw net.ipv4.icmp_ratelimit=0",
            "ip -n " + responder + " addr add 10.77.2.2/24 dev nvs" + id,
            "ip -n " + responder + " link set nvs" + id + " up",
            "ip netns exec " + responder + " sysctl -qw net.ipv4.icmp_echo_ignore_all=1",
            "ip -n " + responder + " addr add 10.9.0.2/32 dev lo",
            "ip -n " + responder + " addr add 10.9.0.3/32 dev lo",
            "ip -n " + client + " route add 10.9.0.0/24 via 10.77.2.2",
        };
        for (const std::string& step : steps) {
            if (!RunCommand(step)) {
                problem = "setting up the test network failed: " + step;
                return;
            }
        }
    }
    ~TestNetwork() {
        for (const std::string& name : created) {
            RunCommand("ip netns del " + name);
        }
    }
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    bool SetPingGroupRange(const std::string& range) const {
        return RunCommand("ip netns exec " + client + " sysctl -qw net.ipv4.ping_group_range='" +
                          range + "'");
    }

    std::string client;
    std::string router;
    std::string responder;
    std::string problem;  // why the network could not be made; empty when it stands

private:
    std::vector<std::string> created;
};

// Takes CAP_NET_RAW from the calling thread alone, as for a user without it.
bool DropRawSocketCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Runs `work` on a thread of its own inside the namespace `name`.
void InNamespace(const std::string& name, bool withoutRawSockets,
                 const std::function<void()>& work) {
    std::thread thread([&] {
        const int fd = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        if (!entered) {
            ADD_FAILURE() << "cannot enter namespace " << name;
            return;
        }
        if (withoutRawSockets && !DropRawSocketCapability()) {
            ADD_FAILURE() << "cannot drop CAP_NET_RAW";
            return;
        }
        work();
    });
    thread.join();
}

struct Echo {
    IcmpSocketKind kind = IcmpSocketKind::None;
    std::uint32_t replies = 0;
    Bytes buffer;
    std::chrono::milliseconds elapsed{0};

    std::uint32_t address() const { return Read32(buffer, 0); }
    std::int32_t status() const { return static_cast<std::int32_t>(Read32(buffer, 4)); }
    std::uint32_t roundTripTime() const { return Read32(buffer, 8); }
    std::uint16_t dataSize() const {
        return static_cast<std::uint16_t>(buffer[12] | buffer[13] << 8);
    }
    std::string data() const {
        return std::string(buffer.begin() + 28, buffer.begin() + 28 + dataSize());
    }
};

Echo SendOne(HANDLE handle, std::uint32_t destination, const IP_OPTION_INFORMATION* options) {
    static const char payload[] = "Echo This";
    Echo echo;
    echo.kind = platform::IcmpSocketKindOf(handle);
    echo.buffer.assign(278, 0xAA);
    const auto start = Clock::now();
    echo.replies =
        IcmpSendEcho(handle, destination, payload, 9, options, echo.buffer.data(), 278, 200);
    echo.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return echo;
}

// ICMP packets for the responder to send.
Bytes IcmpMessage(std::uint8_t type, std::uint8_t code, const Bytes& rest) {
    Bytes message = {type, code, 0, 0};
    message.insert(message.end(), rest.begin(), rest.end());
    const std::uint16_t checksum = platform::InternetChecksum(message);
    message[2] = static_cast<std::uint8_t>(checksum >> 8);
    message[3] = static_cast<std::uint8_t>(checksum);
    return message;
}

// A test host's echo responder: a raw socket in the responder namespace that answers each
// echo request it sees with the packets `answer` makes of it (the request with its IP
// header), `delay` after the request came.
class Responder {
public:
    using Answer = std::function<std::vector<Bytes>(const Bytes& request)>;

    Responder(const std::string& name, Answer answer, std::chrono::milliseconds delay,
              std::uint32_t from = 0)
        : answer_(std::move(answer)), delay_(delay), from_(from) {
        std::promise<bool> ready;
        auto started = ready.get_future();
        thread_ = std::thread([this, name, &ready] {
            const int ns = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            const bool entered = ns >= 0 && ::setns(ns, CLONE_NEWNET) == 0;
            if (ns >= 0) {
                ::close(ns);
            }
            const int fd = entered ? ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP) : -1;
            int out = fd;
            if (fd >= 0 && from_ != 0) {
                out = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
                sockaddr_in source{};
                source.sin_family = AF_INET;
                std::memcpy(&source.sin_addr, &from_, 4);
                ::bind(out, reinterpret_cast<sockaddr*>(&source), sizeof source);
            }
            ready.set_value(fd >= 0);
            if (fd >= 0) {
                Serve(fd, out);
                ::close(fd);
            }
        });
        started_ = started.get();
    }
    ~Responder() {
        stop_ = true;
        thread_.join();
    }
    bool started() const { return started_; }

private:
    void Serve(int fd, int out) {
        const timeval wait{0, 20'000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        Bytes packet(2048);
        while (!stop_) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t size = ::recvfrom(fd, packet.data(), packet.size(), 0,
                                            reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (size < 28 || packet[9] != 1) {
                continue;
            }
            const Bytes request(packet.begin(), packet.begin() + size);
            const std::size_t headerSize = std::size_t{request[0] & 0x0Fu} * 4;
            if (request[headerSize] != 8) {
                continue;
            }
            std::this_thread::sleep_for(delay_);
            for (const Bytes& message : answer_(request)) {
                ::sendto(out, message.data(), message.size(), 0,
                         reinterpret_cast<const sockaddr*>(&from), sizeof from);
            }
        }
    }

    Answer answer_;
    std::chrono::milliseconds delay_;
    std::uint32_t from_;
    std::atomic<bool> stop_{false};
    bool started_ = false;
    std::thread thread_;
};

// An echo reply to `request` (an IP packet holding an echo request), with the request's
// identifier, sequence and data unless told otherwise.
Bytes ReplyTo(const Bytes& request, int sequenceChange = 0, int identifierChange = 0,
              const std::string& otherData = {}) {
    const std::size_t headerSize = std::size_t{request[0] & 0x0Fu} * 4;
    Bytes rest(request.begin() + headerSize + 4, request.end());
    const int identifier = (rest[0] << 8 | rest[1]) ^ identifierChange;
    const int sequence = (rest[2] << 8 | rest[3]) + sequenceChange;
    rest[0] = static_cast<std::uint8_t>(identifier >> 8);
    rest[1] = static_cast<std::uint8_t>(identifier);
    rest[2] = static_cast<std::uint8_t>(sequence >> 8);
    rest[3] = static_cast<std::uint8_t>(sequence);
    if (!otherData.empty()) {
        rest.resize(4);
        rest.insert(rest.end(), otherData.begin(), otherData.end());
    }
    return IcmpMessage(0, 0, rest);
}

// A "host unreachable" about `request` as if it had been sent to `destination`.
Bytes UnreachableAbout(const Bytes& request, std::uint32_t destination) {
    const std::size_t headerSize = std::size_t{request[0] & 0x0Fu} * 4;
    Bytes rest = {0, 0, 0, 0};
    rest.insert(rest.end(), request.begin(), request.begin() + headerSize + 8);
    std::memcpy(&rest[4 + 16], &destination, 4);
    return IcmpMessage(3, 1, rest);
}

class EchoInNamespaces : public ::testing::TestWithParam<IcmpSocketKind> {
protected:
    static void SetUpTestSuite() { network = new TestNetwork; }
    static void TearDownTestSuite() {
        delete network;
        network = nullptr;
    }

    void SetUp() override {
        if (!network->problem.empty()) {
            GTEST_SKIP() << network->problem;
        }
        // Root, whom the kernel's default range "1 0" does not admit, gets a raw socket;
        // without CAP_NET_RAW the range decides.
        ASSERT_TRUE(network->SetPingGroupRange(Datagram() ? "0 0" : "1 0"));
    }

    bool Datagram() const { return GetParam() == IcmpSocketKind::Datagram; }

    // One echo from the client on a handle of its own.
    Echo EchoFromClient(std::uint32_t destination, const IP_OPTION_INFORMATION* options = nullptr) {
        Echo echo;
        InNamespace(network->client, Datagram(), [&] {
            const HANDLE handle = IcmpCreateFile();
            echo = SendOne(handle, destination, options);
            IcmpCloseHandle(handle);
        });
        EXPECT_EQ(echo.kind, GetParam());
        return echo;
    }

    // A failed echo leaves a complete reply: the status, the sender, no time and no data.
    static void ExpectFailure(const Echo& echo, std::int32_t status, std::uint32_t address) {
        EXPECT_EQ(echo.replies, 0u);
        EXPECT_EQ(echo.status(), status);
        EXPECT_EQ(echo.address(), address);
        EXPECT_EQ(echo.roundTripTime(), 0u);
        EXPECT_EQ(echo.dataSize(), 0);
        EXPECT_EQ(echo.buffer[28], 0xAA) << "no data is written for a failure";
    }

    static TestNetwork* network;
};

TestNetwork* EchoInNamespaces::network = nullptr;

TEST_P(EchoInNamespaces, TheTestHostAnswers) {
    const Echo echo = EchoFromClient(kRouter);
    EXPECT_EQ(echo.replies, 1u);
    EXPECT_EQ(echo.status(), IP_SUCCESS);
    EXPECT_EQ(echo.address(), kRouter);
    EXPECT_EQ(echo.dataSize(), 9);
    EXPECT_EQ(echo.data(), "Echo This");
    EXPECT_EQ(echo.buffer[20], 64) << "time to live of the reply";
}

TEST_P(EchoInNamespaces, TheRouterReportsUnreachableHostsAndNetworks) {
    ExpectFailure(EchoFromClient(Address(10, 77, 3, 5)), IP_DEST_HOST_UNREACHABLE, kRouter);
    ExpectFailure(EchoFromClient(Address(10, 77, 4, 5)), IP_DEST_HOST_UNREACHABLE, kRouter);
    ExpectFailure(EchoFromClient(Address(10, 77, 5, 5)), IP_DEST_NET_UNREACHABLE, kRouter);
}

TEST_P(EchoInNamespaces, TheRouterReportsAnExpiredTimeToLive) {
    IP_OPTION_INFORMATION options;
    options.Ttl = 1;
    ExpectFailure(EchoFromClient(Address(10, 77, 6, 5), &options), IP_TTL_EXPIRED_TRANSIT, kRouter);
}

TEST_P(EchoInNamespaces, AnAbsentHostTimesOutAfterTheTimeOut) {
    const Echo echo = EchoFromClient(Address(10, 77, 1, 9));
    ExpectFailure(echo, IP_REQ_TIMED_OUT, 0);
    EXPECT_GE(echo.elapsed.count(), 195) << "the whole time-out is waited for";
    EXPECT_LT(echo.elapsed.count(), 2000) << "the time-out ends the wait";
}

TEST_P(EchoInNamespaces, LocalRoutesThatRefuseEndTheEchoAtOnce) {
    ExpectFailure(EchoFromClient(Address(10, 77, 7, 5)), IP_DEST_HOST_UNREACHABLE, 0);
    ExpectFailure(EchoFromClient(Address(10, 77, 8, 5)), IP_GENERAL_FAILURE, 0);
}

TEST_P(EchoInNamespaces, StrayRepliesAndErrorsAreIgnored) {
    Responder responder(
        network->responder,
        [](const Bytes& request) {
            return std::vector<Bytes>{
                ReplyTo(request, 1),                                // another sequence
                ReplyTo(request, 0, 0, "Echo That"),                // other data
                ReplyTo(request, 0, 1),                             // another identifier
                UnreachableAbout(request, Address(10, 77, 2, 99)),  // about another host
                ReplyTo(request),
            };
        },
        std::chrono::milliseconds(0));
    ASSERT_TRUE(responder.started());
    const Echo echo = EchoFromClient(kResponder);
    EXPECT_EQ(echo.replies, 1u);
    EXPECT_EQ(echo.status(), IP_SUCCESS);
    EXPECT_EQ(echo.address(), kResponder);
    EXPECT_EQ(echo.data(), "Echo This");
}

TEST_P(EchoInNamespaces, AnEchoReplyCountsOnlyFromTheDestination) {
    Responder responder(
        network->responder,
        [](const Bytes& request) { return std::vector<Bytes>{ReplyTo(request)}; },
        std::chrono::milliseconds(0), Address(10, 9, 0, 3));
    ASSERT_TRUE(responder.started());
    ExpectFailure(EchoFromClient(Address(10, 9, 0, 2)), IP_REQ_TIMED_OUT, 0);
}

TEST_P(EchoInNamespaces, ALateReplyNeverCountsForTheNextEcho) {
    // The test host answers each echo 250 ms late: the first echo times out, and its reply
    // reaches the socket while the second echo waits.
    Responder responder(
        network->responder,
        [](const Bytes& request) { return std::vector<Bytes>{ReplyTo(request)}; },
        std::chrono::milliseconds(250));
    ASSERT_TRUE(responder.started());
    Echo first;
    Echo second;
    InNamespace(network->client, Datagram(), [&] {
        const HANDLE handle = IcmpCreateFile();
        first = SendOne(handle, kResponder, nullptr);
        second = SendOne(handle, kResponder, nullptr);
        IcmpCloseHandle(handle);
    });
    ExpectFailure(first, IP_REQ_TIMED_OUT, 0);
    ExpectFailure(second, IP_REQ_TIMED_OUT, 0);
}

INSTANTIATE_TEST_SUITE_P(, EchoInNamespaces,
                         ::testing::Values(IcmpSocketKind::Raw, IcmpSocketKind::Datagram),
                         [](const auto& info) {
                             return info.param == IcmpSocketKind::Raw ? "RawSocket"
                                                                      : "DatagramSocket";
                         });

TEST(EchoWithoutSockets, IsAGeneralFailure) {
    // A fresh namespace keeps the kernel's range "1 0"; without CAP_NET_RAW no ICMP socket
    // of either kind can be had.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "network namespaces need root";
    }
    const std::string name = "nvping-" + std::to_string(::getpid()) + "-nosockets";
    if (!RunCommand("ip netns add " + name)) {
        GTEST_SKIP() << "cannot create network namespaces (ip netns add)";
    }
    RunCommand("ip -n " + name + " link set lo up");
    HANDLE handle = nullptr;
    Module1::EchoReply reply;
    std::int32_t result = 0;
    InNamespace(name, true, [&] {
        handle = IcmpCreateFile();
        result = Module1::SendEcho(QStringLiteral("127.0.0.1"), reply);
    });
    RunCommand("ip netns del " + name);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(result, -IP_GENERAL_FAILURE);
    EXPECT_EQ(reply.Status, IP_GENERAL_FAILURE);
}

}  // namespace
