// Resolution with a hosts file of the test's own, in a private mount namespace (see
// test_lookup_private_resolver.h): several addresses for one name, reverse entries, names that
// do not exist and bad input, all answered on this machine.

#include <array>
#include <cstdint>
#include <cstring>

#include <QString>

#include <gtest/gtest.h>

#include "net/winsock.h"
#include "test_lookup_private_resolver.h"

namespace {

std::int32_t AddressOf(std::array<std::uint8_t, 4> bytes) {
    std::int32_t address = 0;
    std::memcpy(&address, bytes.data(), sizeof address);
    return address;
}

// The addresses of several.test are listed out of order on purpose: a resolver that sorts
// them (getaddrinfo sorts by its address selection rules and would put 127.0.0.3 first) fails.
const QByteArray kHosts = QByteArray(
                              "127.0.0.1 localhost\n"
                              "127.0.0.7 several.test\n"
                              "127.0.0.3 several.test\n"
                              "127.0.0.5 several.test\n"
                              "127.0.0.9 ninth.test ninth-alias.test\n"
                              "127.0.0.66 0x7f.0.0.1\n"
                              "127.0.0.20 b\xc3\xbc"
                              "cher.test\n") +
                          // One line with more aliases than the first lookup buffer holds.
                          "127.0.0.30 crowded.test" +
                          QByteArray(" alias-of-crowded-host.test").repeated(400) + "\n";

const QString kLongName = QString(300, QLatin1Char('a'));
const QStringList kBadInput = {QString(),
                               QStringLiteral("   "),
                               kLongName,
                               QStringLiteral("\u00f1and\u00fa.invalid"),
                               QStringLiteral("999.1.1.1"),
                               QStringLiteral("127.0.0.1:80"),
                               QStringLiteral("nosuch.invalid")};

TEST(PrivateResolverChild, DISABLED_FirstListedAddressWins) {
    ASSERT_TRUE(private_resolver::kInChild);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("several.test")), AddressOf({127, 0, 0, 7}));
}

TEST(PrivateResolverChild, DISABLED_DottedTextNeverReachesTheNameService) {
    ASSERT_TRUE(private_resolver::kInChild);
    // The hosts file has a host literally named "0x7f.0.0.1"; the dotted reading wins.
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("0x7f.0.0.1")), 16777343);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("127.0.0.9")), AddressOf({127, 0, 0, 9}));
}

TEST(PrivateResolverChild, DISABLED_ReverseLookupGivesTheOfficialName) {
    ASSERT_TRUE(private_resolver::kInChild);
    EXPECT_EQ(Winsock::AddressToHostName(AddressOf({127, 0, 0, 9})), QStringLiteral("ninth.test"));
    EXPECT_EQ(Winsock::OfficialHostName(QStringLiteral("ninth-alias.test")),
              QStringLiteral("ninth.test"));
    EXPECT_EQ(Winsock::OfficialHostName(QStringLiteral("127.0.0.9")), QStringLiteral("ninth.test"));
    // The reverse name of a name with several addresses is that of its first address.
    EXPECT_EQ(Winsock::AddressToHostName(AddressOf({127, 0, 0, 3})),
              QStringLiteral("several.test"));
}

TEST(PrivateResolverChild, DISABLED_NonAsciiNamesCrossTheBoundaryIn8BitEncoding) {
    ASSERT_TRUE(private_resolver::kInChild);
    const QString name = QStringLiteral("b\u00fccher.test");
    EXPECT_EQ(Winsock::HostToAddress(name), AddressOf({127, 0, 0, 20}));
    EXPECT_EQ(Winsock::AddressToHostName(AddressOf({127, 0, 0, 20})), name);
}

TEST(PrivateResolverChild, DISABLED_HostsLineLargerThanTheFirstBufferIsRead) {
    ASSERT_TRUE(private_resolver::kInChild);
    EXPECT_EQ(Winsock::HostToAddress(QStringLiteral("crowded.test")), AddressOf({127, 0, 0, 30}));
    EXPECT_EQ(Winsock::AddressToHostName(AddressOf({127, 0, 0, 30})),
              QStringLiteral("crowded.test"));
}

TEST(PrivateResolverChild, DISABLED_FailuresGiveTheFixedValues) {
    ASSERT_TRUE(private_resolver::kInChild);
    const std::int32_t missing = Winsock::HostToAddress(QStringLiteral("nosuch.invalid"));
    EXPECT_EQ(missing, -1);
    EXPECT_EQ(Winsock::AddressToText(missing), QStringLiteral("255.255.255.255"));
    // An address without a reverse entry, by address and by text.
    EXPECT_EQ(Winsock::AddressToHostName(AddressOf({127, 0, 0, 200})), QStringLiteral("Unknown"));
    EXPECT_EQ(Winsock::OfficialHostName(QStringLiteral("127.0.0.200")), QStringLiteral("Unknown"));
    EXPECT_EQ(Winsock::AddressToHostName(-1), QStringLiteral("Unknown"));
}

TEST(PrivateResolverChild, DISABLED_BadInputGivesTheFixedValues) {
    ASSERT_TRUE(private_resolver::kInChild);
    for (const QString& text : kBadInput) {
        EXPECT_EQ(Winsock::HostToAddress(text), -1) << text.toStdString();
        EXPECT_EQ(Winsock::OfficialHostName(text), QStringLiteral("Unknown")) << text.toStdString();
    }
}

TEST(PrivateResolver, FirstListedAddressWins) {
    private_resolver::RunInPrivateResolver("PrivateResolverChild.DISABLED_FirstListedAddressWins",
                                           kHosts);
}

TEST(PrivateResolver, DottedTextNeverReachesTheNameService) {
    private_resolver::RunInPrivateResolver(
        "PrivateResolverChild.DISABLED_DottedTextNeverReachesTheNameService", kHosts);
}

TEST(PrivateResolver, ReverseLookupGivesTheOfficialName) {
    private_resolver::RunInPrivateResolver(
        "PrivateResolverChild.DISABLED_ReverseLookupGivesTheOfficialName", kHosts);
}

TEST(PrivateResolver, NonAsciiNamesCrossTheBoundaryIn8BitEncoding) {
    private_resolver::RunInPrivateResolver(
        "PrivateResolverChild.DISABLED_NonAsciiNamesCrossTheBoundaryIn8BitEncoding", kHosts);
}

TEST(PrivateResolver, HostsLineLargerThanTheFirstBufferIsRead) {
    private_resolver::RunInPrivateResolver(
        "PrivateResolverChild.DISABLED_HostsLineLargerThanTheFirstBufferIsRead", kHosts);
}

TEST(PrivateResolver, FailuresGiveTheFixedValues) {
    private_resolver::RunInPrivateResolver(
        "PrivateResolverChild.DISABLED_FailuresGiveTheFixedValues", kHosts);
}

TEST(PrivateResolver, BadInputGivesTheFixedValues) {
    private_resolver::RunInPrivateResolver(
        "PrivateResolverChild.DISABLED_BadInputGivesTheFixedValues", kHosts);
}

}  // namespace
