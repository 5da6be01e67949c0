// The "Ping" tab driven by clicks on a loaded window: echoes go to 127.0.0.0/8, and the
// silent echo service stands in where a test needs to see where an echo would go.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "echo_helpers.h"
#include "net/winsock.h"
#include "qt_printers.h"
#include "window_fixture.h"

namespace {

class PingTab : public LoadedWindow {
protected:
    // Clicks the button, then reads the report, line ends as written (the box keeps lines).
    QStringList Click(QWidget* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        return Report().split(QStringLiteral("\r\n"));
    }
    QString Report() const {
        return form->results->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
    }
};

TEST_F(PingTab, DesignTimeTextsPingTheLoopbackHostAndEachReportReplacesTheLast) {
    Click(form->pingit);
    EXPECT_EQ(Report(), QStringLiteral("127.0.0.1\r\n0   [ ip success ]\r\n%1 ms  Round Trip "
                                       "Time\r\n9 bytes  Data\r\n\r\n")
                            .arg(form->PingReply.RoundTripTime));
    form->four->setText("2");
    EXPECT_EQ(Click(form->pingit).mid(0, 2), QStringList({"127.0.0.2", "0   [ ip success ]"}));
    EXPECT_EQ(Report().count(QStringLiteral("\r\n")), 5);
}

TEST_F(PingTab, OctetsAreShownAsReadAndSentAsBytes) {
    for (const auto& [box, text] : {std::pair{form->one, "383"},
                                    {form->two, ""},
                                    {form->three, "2.5"},
                                    {form->four, "3.5"}}) {
        box->setText(text);
    }
    EXPECT_EQ(Click(form->pingit).mid(0, 2), QStringList({"383.1.2.4", "0   [ ip success ]"}));
    EXPECT_EQ(form->PingReply.Address, static_cast<int>(Address(127, 1, 2, 4)));
    EXPECT_EQ(form->two->text(), QStringLiteral("1")) << "an empty box is filled with 1";
    form->dot->setText(QStringLiteral("x"));  // no dotted address: 0.0.0.0, never pinged
    EXPECT_EQ(Click(form->pingit).mid(0, 2),
              QStringList({"383x1x2x4", "11018   [ ip bad destination ]"}));
    SilentEchoService service;
    form->three->setText("1e2");
    EXPECT_EQ(Click(form->pingit),
              QStringList{"Not a number in box three: \"1e2\" (no echo sent)"});
    EXPECT_EQ(std::pair(form->three->text(), service.requests.size()),
              std::pair(QString("1e2"), 0ul));
}

TEST_F(PingTab, PingNameReportsTheAddressThatWasPinged) {
    const QString resolved = Winsock::AddressToText(Winsock::HostToAddress("localhost"));
    form->hostname->setText("localhost");
    EXPECT_EQ(Click(form->pingname).mid(0, 2), QStringList({resolved, "0   [ ip success ]"}));
    form->hostname->setText("no..such.host.invalid");  // pinged as 255.255.255.255: refused
    Click(form->pingname);
    EXPECT_EQ(Report(), QStringLiteral("255.255.255.255\r\n11018   [ ip bad destination ]\r\n"
                                       "0 ms  Round Trip Time\r\n0 bytes  Data\r\n\r\n"));
}

TEST_F(PingTab, BothCommandsShareOneReplyRecord) {
    const QStringList first = Click(form->pingit);
    ASSERT_EQ(first[1], QStringLiteral("0   [ ip success ]"));
    SilentEchoService service;  // writes nothing: the record keeps the first echo
    form->hostname->setText("127.0.0.9");
    EXPECT_EQ(Click(form->pingname), QStringList{"127.0.0.9"} + first.mid(1));
    EXPECT_EQ(service.requests.at(0).destination, Address(127, 0, 0, 9));
}

}  // namespace
