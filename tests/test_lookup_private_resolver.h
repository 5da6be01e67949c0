#pragma once
// Lookups with fixed answers that never leave the machine. A test program that includes this
// moves, still single-threaded in its static initialisation, into mount and network namespaces
// of its own, with its own /etc files (WriteEtc) and name server on 127.0.0.1:53 (ServeNames);
// without root, as root of a user namespace of its own where the system allows one (kProblem).

#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <QFile>

#include <gtest/gtest.h>

namespace private_resolver {

inline const QByteArray kResolvConf = "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";
inline std::atomic<int> answered{0};  // queries ServeNames has answered with an address

// The name server: an address query for a name under lan.test gets 127.0.0.60, one under
// slow.test the same a second late, a query under silent.test no answer at all, every other
// query "no such name".
inline void ServeNames(int server) {
    for (char query[512];;) {
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        const ssize_t size = recvfrom(server, query, sizeof query, 0,
                                      reinterpret_cast<sockaddr*>(&peer), &peerLength);
        const std::string question(query + 12, size > 12 ? size - 12 : 0);  // name, type, class
        if (question.find("\6silent\4test") != std::string::npos) {
            continue;
        }
        const bool slow = question.find("\4slow\4test\0\0\1", 0, 13) != std::string::npos;
        const bool known = slow || question.find("\3lan\4test\0\0\1", 0, 12) != std::string::npos;
        std::string reply(query, 12 + question.size());
        reply.replace(2, 10, known ? "\x81\x80\0\1\0\1\0\0\0\0" : "\x81\x83\0\1\0\0\0\0\0\0", 10);
        if (known) {
            reply.append("\xc0\x0c\0\1\0\1\0\0\0\x3c\0\4\x7f\0\0\x3c", 16);
        }
        std::thread([=] {
            std::this_thread::sleep_for(std::chrono::seconds(slow ? 1 : 0));
            answered += known;
            sendto(server, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
                   peerLength);
        }).detach();
    }
}

// Empty once the program has its private resolver, else what stood in the way.
inline const std::string kProblem = []() -> std::string {
    // As root, or as root of a user namespace of its own where the system allows one.
    const std::string user = "0 " + std::to_string(geteuid()) + " 1",
                      group = "0 " + std::to_string(getegid()) + " 1";
    const bool root = unshare(CLONE_NEWNS | CLONE_NEWNET) == 0;
    const bool own = root || unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) == 0;
    for (const auto& [path, text] :
         {std::pair{"setgroups", "deny"}, {"uid_map", user.c_str()}, {"gid_map", group.c_str()}}) {
        if (!root) {
            std::ofstream(std::string("/proc/self/") + path) << text;
        }
    }
    // Mounts made private, so that the binds below never reach the rest of the system.
    if (!own || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return "no namespaces of its own: neither root nor allowed a user namespace";
    }
    for (const std::string name : {"hosts", "resolv.conf", "nsswitch.conf"}) {
        char source[] = "/tmp/norvane-etc-XXXXXX";  // gone once bound, kept alive by the mount
        const int file = mkstemp(source);
        const bool bound =
            file >= 0 && mount(source, ("/etc/" + name).c_str(), nullptr, MS_BIND, 0) == 0;
        unlink(source);
        close(file);
        if (!bound) {
            return "cannot bind a file over /etc/" + name;
        }
    }
    // A name service cache daemon would answer from the real files.
    if (access("/var/run/nscd/socket", F_OK) == 0) {
        mount("/dev/null", "/var/run/nscd/socket", nullptr, MS_BIND, nullptr);
    }
    const int server = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{AF_INET, htons(53), {htonl(INADDR_LOOPBACK)}, {}};
    if (std::system("ip link set lo up") != 0 ||
        bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return "no name server on 127.0.0.1:53";
    }
    std::thread(ServeNames, server).detach();
    return {};
}();

// Replaces one of the program's own files in /etc; the real ones are out of its reach.
inline void WriteEtc(const char* name, const QByteArray& content) {
    ASSERT_EQ(kProblem, "");
    QFile file(QStringLiteral("/etc/") + QLatin1String(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
}

}  // namespace private_resolver
