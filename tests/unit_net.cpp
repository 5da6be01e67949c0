// Socket services without a window or a name service; the name service: test_lookup.cpp.

#include <algorithm>
#include <cstdint>

#include <gtest/gtest.h>

#include "net/winsock.h"
#include "platform/winsock/winsock.h"
#include "tests/qt_printers.h"

namespace {

using Winsock::SocketErrorText;

TEST(SocketErrorText, GivesTheTextsOfTheTableAndNothingInItsGaps) {
    EXPECT_EQ(SocketErrorText(10013), QString("Permission Denied."));
    EXPECT_EQ(SocketErrorText(10101), QString("Disconnect."));
    EXPECT_EQ(SocketErrorText(11004), QString("Valid name, no data record of requested type."));
    // The codes with a text are exactly these runs; each text is one sentence.
    const std::pair<std::int32_t, std::int32_t> runs[] = {
        {10004, 10004}, {10009, 10009}, {10013, 10014}, {10022, 10022}, {10024, 10024},
        {10035, 10071}, {10091, 10093}, {10101, 10101}, {11001, 11004}};
    for (std::int32_t code = 9000; code <= 12000; ++code) {
        const QString text = SocketErrorText(code);
        EXPECT_EQ(!text.isEmpty(), std::any_of(std::begin(runs), std::end(runs), [code](auto run) {
            return run.first <= code && code <= run.second;
        })) << code;
        EXPECT_TRUE(text.isEmpty() || (text.endsWith('.') && text == text.simplified())) << code;
    }
    for (const std::int32_t code : {0, -1, -10054, 10054 + 65536, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(SocketErrorText(code), QString()) << code;
    }
}

TEST(Resolution, DottedTextsAreReadAndWrittenWithoutTheNameService) {
    EXPECT_EQ(Winsock::AddressToText(16777343), QString("127.0.0.1"));
    for (const char* text : {"127.0.0.1", "127.1", "0x7f.0.0.1", "0177.0.0.1"}) {
        EXPECT_EQ(Winsock::HostToAddress(text), 16777343) << text;
    }
    // The broadcast address and a failed lookup cannot be told apart.
    EXPECT_EQ(Winsock::HostToAddress("255.255.255.255"), -1);
}

// A NUL would end the name for the platform; a malformed name the resolver turns down itself.
TEST(Resolution, ANameWithANulOrAnEmptyLabelIsNotFound) {
    for (const QString& name :
         {QStringLiteral("127.0.0.1") + QChar(0) + "evil.test",
          QStringLiteral("localhost") + QChar(0), QStringLiteral("no..such.host.invalid")}) {
        WSASetLastError(0);
        EXPECT_EQ(Winsock::HostToAddress(name), -1) << name.toStdString();
        EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND) << name.toStdString();
        EXPECT_EQ(Winsock::OfficialHostName(name), QString("Unknown"));
        EXPECT_EQ(Winsock::LocalHostAddress(name), -1);
    }
}

}  // namespace
