// The "Ping" tab driven by clicks: echoes go to 127.0.0.0/8 or to the silent echo service.

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "echo_helpers.h"
#include "loopback.h"
#include "net/winsock.h"
#include "qt_printers.h"
#include "window_fixture.h"

namespace {

class PingTab : public LoadedWindow {
protected:
    // Clicks the button, then reads the report's lines (the box keeps lines, not line ends).
    QStringList Click(QWidget* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        return form->results->toPlainText().split(u'\n');
    }
};

TEST_F(PingTab, BothCommandsReportTheAddressPingedAndShareOneReplyRecord) {
    SKIP_WITHOUT_ECHO_SERVICE();
    const QString resolved = Winsock::AddressToText(Winsock::HostToAddress("localhost"));
    form->hostname->setText("localhost");
    EXPECT_EQ(Click(form->pingname).mid(0, 2), QStringList({resolved, "0   [ ip success ]"}));
    form->hostname->setText("no..such.host.invalid");  // pinged as 255.255.255.255: refused
    EXPECT_EQ(Click(form->pingname).join(u'\n'),
              "255.255.255.255\n11018   [ ip bad destination ]\n"
              "0 ms  Round Trip Time\n0 bytes  Data\n\n");
    const QStringList designTime = Click(form->pingit);
    EXPECT_EQ(designTime.join(u'\n'), QStringLiteral("127.0.0.1\n0   [ ip success ]\n%1 ms  Round "
                                                     "Trip Time\n9 bytes  Data\n\n")
                                          .arg(form->PingReply.RoundTripTime));
    SilentEchoService service;  // writes nothing: the record keeps the last echo
    form->hostname->setText("127.0.0.9");
    EXPECT_EQ(Click(form->pingname), QStringList{"127.0.0.9"} + designTime.mid(1));
    EXPECT_EQ(service.requests.at(0).first, Address(127, 0, 0, 9));
}

TEST_F(PingTab, OctetsAreShownAsReadAndSentAsBytes) {
    SKIP_WITHOUT_ECHO_SERVICE();
    form->one->setText("383");
    form->two->clear();
    form->three->setText("2.5");
    form->four->setText("3.5");
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
    EXPECT_TRUE(service.requests.empty() && form->three->text() == "1e2") << "no echo, box kept";
}

// Escape ends the wait for an echo at once: the report tells a general failure, and what the
// echo brings back late is dropped.
TEST_F(PingTab, EscapeEndsTheWaitForAnEcho) {
    struct SlowEchoService : SilentEchoService {
        std::uint32_t SendEcho(HANDLE, std::uint32_t, const void*, std::uint16_t,
                               const IP_OPTION_INFORMATION*, void* reply, std::uint32_t size,
                               std::uint32_t) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            std::memset(reply, 0, size);  // a reply, in no time
            return 1;
        }
        bool CloseHandle(HANDLE) override { return closed = true; }
        std::atomic<bool> closed{false};
    } service;
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTimer::singleShot(100, form.get(),
                       [this] { QTest::keyClick(form->windowHandle(), Qt::Key_Escape); });
    const QStringList report = Click(form->pingit);
    EXPECT_FALSE(service.closed);
    EXPECT_EQ(report.mid(0, 2), QStringList({"127.0.0.1", "11050   [ ip general failure ]"}));
    ASSERT_TRUE(loopback::WaitUntil([&] { return service.closed.load(); }));
    loopback::Spin(20);
    EXPECT_EQ(form->results->toPlainText().split(u'\n'), report);
}

}  // namespace
