// The "Ping" tab driven by clicks on a loaded window: echoes go to 127.0.0.0/8, and the
// silent echo service stands in where a test needs to see where an echo would go.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "echo_packets.h"
#include "net/winsock.h"
#include "qt_printers.h"
#include "silent_echo_service.h"
#include "window_fixture.h"

namespace {

class PingTab : public LoadedWindow {
protected:
    void SetUp() override {
        LoadedWindow::SetUp();
        form->show();
    }
    // Types into the octet boxes (nullptr leaves a box alone), clicks, and reads the report.
    QStringList PingIP(std::array<const char*, 4> texts = {}) {
        QLineEdit* const boxes[] = {form->one, form->two, form->three, form->four};
        for (std::size_t i = 0; i < 4; ++i) {
            if (texts[i] != nullptr) {
                boxes[i]->clear();
                QTest::keyClicks(boxes[i], QString::fromUtf8(texts[i]));
            }
        }
        QTest::mouseClick(form->pingit, Qt::LeftButton);
        return Report().split(QStringLiteral("\r\n"));
    }
    QStringList PingName(const char* name) {
        form->hostname->setText(QString::fromUtf8(name));
        QTest::mouseClick(form->pingname, Qt::LeftButton);
        return Report().split(QStringLiteral("\r\n"));
    }
    // The report with its line ends as written (the box keeps lines, not line-end characters).
    QString Report() const {
        return form->results->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
    }
};

TEST_F(PingTab, DesignTimeTextsPingTheLoopbackHostAndEachReportReplacesTheLast) {
    PingIP();
    EXPECT_EQ(Report(), QStringLiteral("127.0.0.1\r\n0   [ ip success ]\r\n%1 ms  Round Trip "
                                       "Time\r\n9 bytes  Data\r\n\r\n")
                            .arg(form->PingReply.RoundTripTime));
    EXPECT_EQ(PingIP({nullptr, nullptr, nullptr, "2"}).mid(0, 2),
              QStringList({"127.0.0.2", "0   [ ip success ]"}));
    EXPECT_EQ(Report().count(QStringLiteral("\r\n")), 5);
}

TEST_F(PingTab, OctetsAreShownAsReadAndSentAsBytes) {
    SilentEchoService service;
    EXPECT_EQ(PingIP({"300", "", "-1", nullptr})[0], QStringLiteral("300.1.-1.1"));
    EXPECT_EQ(form->two->text(), QStringLiteral("1")) << "an empty box is filled with 1";
    form->dot->setText(QStringLiteral("x"));
    EXPECT_EQ(PingIP({"127", "0", "2.5", "1"})[0], QStringLiteral("127x0x2x1"));
    ASSERT_EQ(service.requests.size(), 2u);
    EXPECT_EQ(service.requests[0].destination, Address(44, 1, 255, 1));
    EXPECT_EQ(service.requests[1].destination, 0u) << "not a dotted address";

    PingIP({"127", "0", "1e2", "1"});
    EXPECT_EQ(service.requests.size(), 2u) << "no echo for a box without a number";
    EXPECT_EQ(Report(), QStringLiteral("Not a number in box three: \"1e2\" (no echo sent)"));
    EXPECT_EQ(form->three->text(), QStringLiteral("1e2"));
}

TEST_F(PingTab, PingNameReportsTheAddressThatWasPinged) {
    const QString resolved = Winsock::AddressToText(Winsock::HostToAddress("localhost"));
    EXPECT_EQ(PingName("localhost").mid(0, 2), QStringList({resolved, "0   [ ip success ]"}));
    // The failure value stands for 255.255.255.255, to which no echo is sent.
    PingName("no..such.host.invalid");
    EXPECT_EQ(Report(), QStringLiteral("255.255.255.255\r\n11018   [ ip bad destination ]\r\n"
                                       "0 ms  Round Trip Time\r\n0 bytes  Data\r\n\r\n"));
}

TEST_F(PingTab, BothCommandsShareOneReplyRecord) {
    const QStringList first = PingIP();
    ASSERT_EQ(first[1], QStringLiteral("0   [ ip success ]"));
    // A service that writes nothing leaves the first echo in the record, shown under the new
    // address.
    SilentEchoService service;
    EXPECT_EQ(PingName("127.0.0.9"), QStringList{"127.0.0.9"} + first.mid(1));
    EXPECT_EQ(service.requests.at(0).destination, Address(127, 0, 0, 9));
}

}  // namespace
