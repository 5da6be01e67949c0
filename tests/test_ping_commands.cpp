// The "Ping" tab driven by clicks on the real window: echoes go to 127.0.0.0/8, and the
// silent echo service stands in where a test needs to see where an echo would go.

#include <cstdint>
#include <ostream>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include "app/frmwinsock.h"
#include "net/winsock.h"
#include "ping/commands.h"
#include "ping/module1.h"
#include "silent_echo_service.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr std::uint32_t kLoopback = 0x0100007F;  // 127.0.0.1

std::uint32_t Address(int b1, int b2, int b3, int b4) {
    return static_cast<std::uint32_t>(b1 | b2 << 8 | b3 << 16 | b4 << 24);
}

class PingTab : public ::testing::Test {
protected:
    void SetUp() override { form.show(); }

    static void Type(QLineEdit* box, const QString& text) {
        box->clear();
        QTest::keyClicks(box, text);
    }

    void TypeOctets(const QString& one, const QString& two, const QString& three,
                    const QString& four) {
        Type(form.one, one);
        Type(form.two, two);
        Type(form.three, three);
        Type(form.four, four);
    }

    void ClickPingIP() { QTest::mouseClick(form.pingit, Qt::LeftButton); }
    void ClickPingName() { QTest::mouseClick(form.pingname, Qt::LeftButton); }

    // The report box's text with its line breaks as the report wrote them (the box keeps
    // lines, not line-break characters).
    QString Report() const {
        QString text = form.results->toPlainText();
        return text.replace(u'\n', QStringLiteral("\r\n"));
    }
    QStringList ReportLines() const { return form.results->toPlainText().split(u'\n'); }

    frmWinsock form;
};

TEST_F(PingTab, PingIPWithTheDesignTimeTextsEchoesFromTheLoopbackAddress) {
    ClickPingIP();
    const QStringList lines = ReportLines();
    ASSERT_EQ(lines.size(), 6) << Report().toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("127.0.0.1"));
    EXPECT_EQ(lines[1], QStringLiteral("0   [ ip success ]"));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+ ms  Round Trip Time$")).match(lines[2]).hasMatch())
        << lines[2].toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("9 bytes  Data"));
    EXPECT_EQ(lines[4], QString());
    EXPECT_EQ(lines[5], QString());
    EXPECT_EQ(Report(), Module1::PingReport(QStringLiteral("127.0.0.1"), form.PingReply));
    EXPECT_EQ(form.PingReply.Address, static_cast<std::int32_t>(kLoopback));

    // The next report replaces this one.
    Type(form.four, QStringLiteral("2"));
    ClickPingIP();
    EXPECT_EQ(ReportLines().size(), 6);
    EXPECT_EQ(ReportLines()[0], QStringLiteral("127.0.0.2"));
    EXPECT_EQ(ReportLines()[1], QStringLiteral("0   [ ip success ]"));
}

TEST_F(PingTab, ReportIsFourLinesAndAnEmptyOneEachEndedByCrLf) {
    Module1::EchoReply reply;
    reply.Status = 11010;
    reply.RoundTripTime = -3;
    reply.DataSize = -1;
    EXPECT_EQ(Module1::PingReport(QStringLiteral("300.0.0.1"), reply),
              QStringLiteral("300.0.0.1\r\n11010   [ ip req timed out ]\r\n-3 ms  Round Trip "
                             "Time\r\n-1 bytes  Data\r\n\r\n"));
}

TEST_F(PingTab, EmptyOctetBoxesBecomeOne) {
    TypeOctets(QStringLiteral("127"), QString(), QStringLiteral("0"), QString());
    ClickPingIP();
    EXPECT_EQ(form.two->text(), QStringLiteral("1"));
    EXPECT_EQ(form.four->text(), QStringLiteral("1"));
    EXPECT_EQ(form.three->text(), QStringLiteral("0"));
    EXPECT_EQ(ReportLines()[0], QStringLiteral("127.1.0.1"));
    EXPECT_EQ(ReportLines()[1], QStringLiteral("0   [ ip success ]"));
}

TEST_F(PingTab, OctetsAreReadAsNumbersAndShownAsRead) {
    struct Case {
        const char* one;
        const char* two;
        const char* three;
        const char* four;
        const char* shown;
        std::uint32_t destination;
    };
    const Case cases[] = {
        {"127", "0", "007", "1", "127.0.7.1", Address(127, 0, 7, 1)},
        {"127", "2.5", "3.5", "1", "127.2.4.1", Address(127, 2, 4, 1)},
        {"127", "0.5", "1.5", ".5", "127.0.2.0", Address(127, 0, 2, 0)},
        {"127", "-.5", "+9", " 1 ", "127.0.9.1", Address(127, 0, 9, 1)},
        {"383", "0", "0", "1", "383.0.0.1", kLoopback},
        {"-1", "0", "0", "1", "-1.0.0.1", Address(255, 0, 0, 1)},
        {"300", "-1", "999", "256", "300.-1.999.256", Address(44, 255, 231, 0)},
    };
    for (const Case& c : cases) {
        SilentEchoService service;
        TypeOctets(QString::fromLatin1(c.one), QString::fromLatin1(c.two),
                   QString::fromLatin1(c.three), QString::fromLatin1(c.four));
        ClickPingIP();
        EXPECT_EQ(ReportLines()[0], QString::fromLatin1(c.shown));
        ASSERT_EQ(service.requests.size(), 1u) << c.shown;
        EXPECT_EQ(service.requests[0].destination, c.destination) << c.shown;
    }

    // 383 really reaches the loopback host.
    TypeOctets(QStringLiteral("383"), QStringLiteral("0"), QStringLiteral("0"),
               QStringLiteral("1"));
    ClickPingIP();
    EXPECT_EQ(ReportLines()[0], QStringLiteral("383.0.0.1"));
    EXPECT_EQ(ReportLines()[1], QStringLiteral("0   [ ip success ]"));
    EXPECT_EQ(form.PingReply.Address, static_cast<std::int32_t>(kLoopback));
}

TEST_F(PingTab, TheSeparatorIsTheTextOfTheHiddenDotBox) {
    form.dot->setText(QStringLiteral("x"));
    ClickPingIP();
    EXPECT_EQ(ReportLines()[0], QStringLiteral("127x0x0x1"));
    EXPECT_EQ(ReportLines()[1], QStringLiteral("11018   [ ip bad destination ]"));
}

TEST_F(PingTab, AnOctetBoxWithoutANumberSendsNothingAndSaysWhichBox) {
    for (const char* text : {"ab", "-", " ", "1e2", "--1", "1-", "1..", "+", "."}) {
        SilentEchoService service;
        form.results->setPlainText(QStringLiteral("earlier report"));
        TypeOctets(QStringLiteral("127"), QStringLiteral("0"), QString::fromLatin1(text),
                   QStringLiteral("1"));
        ClickPingIP();
        EXPECT_TRUE(service.requests.empty()) << text;
        EXPECT_EQ(form.results->toPlainText(),
                  QStringLiteral("Not a number in box three: \"%1\" (no echo sent)")
                      .arg(QString::fromLatin1(text)))
            << text;
        EXPECT_EQ(form.three->text(), QString::fromLatin1(text)) << "the box keeps its text";
    }
}

TEST_F(PingTab, PingNameReportsTheAddressTheResolverGives) {
    Type(form.hostname, QStringLiteral("localhost"));
    ClickPingName();
    const QString resolved = Winsock::AddressToText(Winsock::HostToAddress("localhost"));
    ASSERT_NE(resolved, QStringLiteral("255.255.255.255")) << "localhost does not resolve";
    EXPECT_EQ(ReportLines()[0], resolved);
    EXPECT_EQ(ReportLines()[1], QStringLiteral("0   [ ip success ]"));
    EXPECT_EQ(ReportLines()[3], QStringLiteral("9 bytes  Data"));
    EXPECT_EQ(form.hostname->text(), QStringLiteral("localhost"));

    Type(form.hostname, QStringLiteral("127.0.0.3"));
    ClickPingName();
    EXPECT_EQ(ReportLines()[0], QStringLiteral("127.0.0.3"));
    EXPECT_EQ(ReportLines()[1], QStringLiteral("0   [ ip success ]"));
}

TEST_F(PingTab, AnUnresolvableNameIsNeverPinged) {
    // The failure value stands for 255.255.255.255, to which no echo is sent.
    Type(form.hostname, QStringLiteral("no..such.host.invalid"));
    ClickPingName();
    EXPECT_EQ(Report(), QStringLiteral("255.255.255.255\r\n11018   [ ip bad destination ]\r\n"
                                       "0 ms  Round Trip Time\r\n0 bytes  Data\r\n\r\n"));
}

TEST_F(PingTab, BothCommandsShareOneReplyRecord) {
    ClickPingIP();
    ASSERT_EQ(ReportLines()[1], QStringLiteral("0   [ ip success ]"));
    const QStringList first = ReportLines();

    // An echo service that writes nothing leaves the earlier echo in the record, and the
    // report shows it under the new address.
    SilentEchoService service;
    Type(form.hostname, QStringLiteral("127.0.0.9"));
    ClickPingName();
    ASSERT_EQ(service.requests.size(), 1u);
    EXPECT_EQ(service.requests[0].destination, Address(127, 0, 0, 9));
    const QStringList second = ReportLines();
    EXPECT_EQ(second[0], QStringLiteral("127.0.0.9"));
    EXPECT_EQ(second.mid(1), first.mid(1));
}

}  // namespace
