#pragma once
// Lookups with fixed answers that never leave the machine: a test runs in a child process that
// sees its own /etc/hosts and a resolver that asks only 127.0.0.1.
//
// The parent test calls RunInPrivateResolver("Suite.DISABLED_Case", hosts). That writes the
// files into a temporary folder and starts this test program again, running only that one
// (disabled, so otherwise never run) test, with NORVANE_PRIVATE_RESOLVER naming the folder.
// The child, while still single-threaded in its static initialisation, moves into a new mount
// namespace and binds the files over the ones in /etc; nothing outside the child sees them.
// Where that is not allowed (no root, no CAP_SYS_ADMIN, a seccomp filter), the test is skipped.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/qt_printers.h"

namespace private_resolver {

inline constexpr const char* kFolderVariable = "NORVANE_PRIVATE_RESOLVER";
inline constexpr int kCannotEnterExitCode = 77;
inline constexpr int kChildTimeoutMs = 60000;

[[noreturn]] inline void CannotEnter(const std::string& step) {
    std::fprintf(stderr, "cannot set up a private resolver: %s: %s\n", step.c_str(),
                 std::strerror(errno));
    std::fflush(stderr);
    _exit(kCannotEnterExitCode);
}

// Runs before main() in the child; does nothing in the parent.
inline bool EnterIfAsked() {
    const char* folder = std::getenv(kFolderVariable);
    if (folder == nullptr) {
        return false;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        CannotEnter("unshare(CLONE_NEWNS)");
    }
    // Keep the bind mounts below from reaching the parent's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        CannotEnter("making / private");
    }
    for (const char* name : {"hosts", "resolv.conf", "nsswitch.conf", "host.conf"}) {
        const std::string target = std::string("/etc/") + name;
        // The hosts file must be ours; the others only where the system has one to cover
        // (without resolv.conf the resolver asks 127.0.0.1 anyway).
        if (std::string(name) != "hosts" && access(target.c_str(), F_OK) != 0) {
            continue;
        }
        const std::string source = std::string(folder) + "/" + name;
        if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            CannotEnter("binding " + source + " over " + target);
        }
    }
    // A name service cache daemon would answer from the real hosts file.
    const char* cacheSocket = "/var/run/nscd/socket";
    if (access(cacheSocket, F_OK) == 0 &&
        mount("/dev/null", cacheSocket, nullptr, MS_BIND, nullptr) != 0) {
        CannotEnter("hiding the name service cache");
    }
    return true;
}

inline const bool kInChild = EnterIfAsked();

inline bool WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Runs test `childTest` ("Suite.DISABLED_Case") in a child that sees `hosts` as /etc/hosts.
// Use it as the whole body of a test: it fails, passes or skips that test.
inline void RunInPrivateResolver(const char* childTest, const QByteArray& hosts) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("hosts")), hosts));
    // Name service queries go to loopback, where nothing answers, and give up within a second.
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("resolv.conf")),
                          "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n"));
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("nsswitch.conf")), "hosts: files dns\n"));
    ASSERT_TRUE(WriteFile(folder.filePath(QStringLiteral("host.conf")), "multi on\n"));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kFolderVariable), folder.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=") + QString::fromLatin1(childTest)});
    ASSERT_TRUE(child.waitForStarted(kChildTimeoutMs)) << child.errorString().toStdString();
    if (!child.waitForFinished(kChildTimeoutMs)) {
        child.kill();
        child.waitForFinished(kChildTimeoutMs);
        FAIL() << childTest << " did not finish within " << kChildTimeoutMs << " ms";
    }
    const std::string output = child.readAll().toStdString();
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == kCannotEnterExitCode) {
        GTEST_SKIP() << "needs a private mount namespace (root or CAP_SYS_ADMIN) to give the "
                        "resolver its own hosts file; "
                     << output;
    }
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(child.exitCode(), 0) << output;
    // A filter that matches nothing passes too; make sure the child test ran and passed.
    EXPECT_NE(output.find(std::string("[       OK ] ") + childTest), std::string::npos) << output;
}

}  // namespace private_resolver
