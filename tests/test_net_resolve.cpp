// Resolution against this machine's own resolver, for what its hosts file always holds:
// localhost, 127.0.0.1 and the local host name. Lookups that would reach a DNS server run in
// test_net_resolve_private.cpp, in a private mount namespace with a loopback resolver.

#include <sys/utsname.h>

#include <array>
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "net/winsock.h"

namespace {

std::int32_t AddressOf(std::array<std::uint8_t, 4> bytes) {
    std::int32_t address = 0;
    std::memcpy(&address, bytes.data(), sizeof address);
    return address;
}

TEST(AddressToText, WritesTheFourBytesInTheOrderTheyAreHeld) {
    EXPECT_EQ(Winsock::AddressToText(16777343), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Winsock::AddressToText(-1), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(Winsock::AddressToText(0), QStringLiteral("0.0.0.0"));
    const std::int32_t high = AddressOf({10, 0, 1, 200});
    EXPECT_LT(high, 0);
    EXPECT_EQ(Winsock::AddressToText(high), QStringLiteral("10.0.1.200"));
    EXPECT_EQ(Winsock::AddressToText(AddressOf({192, 168, 255, 7})),
              QStringLiteral("192.168.255.7"));
}

TEST(HostToAddress, ReadsDottedTextsInEveryFormTheWindowsParserTakes) {
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("127.0.0.1")), 16777343);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("127.1")), 16777343);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("0x7f.0.0.1")), 16777343);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("0177.0.0.1")), 16777343);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("10.0.1.200")), AddressOf({10, 0, 1, 200}));
    // The broadcast address and a failed lookup cannot be told apart.
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("255.255.255.255")), -1);
}

TEST(HostToAddress, FindsLocalhostInTheHostsFile) {
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("localhost")), 16777343);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("LocalHost")), 16777343);
}

TEST(AddressToHostName, NamesLoopbackWithANameThatLeadsBackToIt) {
    const QString name = Winsock::AddressToHostName(16777343);
    EXPECT_NE(name, QStringLiteral("Unknown"));
    EXPECT_FALSE(name.isEmpty());
    EXPECT_EQ(Winsock::HostToAddress(name), 16777343) << name.toStdString();
}

TEST(OfficialHostName, GivesTheReverseNameOfTheFirstAddress) {
    const QString name = Winsock::AddressToHostName(16777343);
    EXPECT_EQ(Winsock::OfficialHostName(QStringLiteral("127.0.0.1")), name);
    EXPECT_EQ(Winsock::OfficialHostName(QStringLiteral("localhost")), name);
}

TEST(LocalHostName, IsTheKernelsNodeNameWithoutTrailingNuls) {
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    const QString name = Winsock::LocalHostName();
    EXPECT_EQ(name, QString::fromLocal8Bit(system.nodename));
    EXPECT_FALSE(name.contains(QChar(u'\0')));
}

}  // namespace
