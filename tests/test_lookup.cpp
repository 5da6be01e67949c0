// The "Local Info" and "IP / DNS" tabs, clicked on the real window in a program with a network,
// a hosts file and a name server of its own (test_lookup_private_resolver.h).

#include <stdexcept>
#include <tuple>

#include <QLineEdit>
#include <QSysInfo>
#include <QTest>

#include "platform/blockinghook.h"
#include "tests/loopback.h"
#include "tests/test_lookup_private_resolver.h"
#include "tests/window_fixture.h"

namespace {

using private_resolver::WriteEtc;

const QByteArray kNode = QSysInfo::machineHostName().toLocal8Bit();

class Lookup : public LoadedWindow {
protected:
    void SetUp() override {
        if (!private_resolver::kProblem.empty()) {
            GTEST_SKIP() << private_resolver::kProblem;
        }
        // Unsorted addresses for several.test; for crowded.test, more aliases than a buffer holds.
        WriteEtc("hosts",
                 "127.0.0.1 localhost\n127.0.0.7 several.test\n127.0.0.3 several.test\n"
                 "127.0.0.9 ninth.test ninth-alias.test\n127.0.0.13 other.test twelfth.test\n"
                 "127.0.0.12 twelfth.test\n127.0.0.66 0x7f.0.0.1\n127.0.0.20 b\u00fccher.test\n"
                 "127.0.0.60 wildcard.lan.test\n127.0.0.30 crowded.test" +
                     QByteArray(" alias-of-crowded-host.test").repeated(400) + "\n");
        WriteEtc("resolv.conf", private_resolver::kResolvConf);
        WriteEtc("nsswitch.conf", "hosts: files dns\n");
        LoadedWindow::SetUp();
    }
    // Clicks RemoteIP or RemoteHost with `text` in the box it reads; returns the box it writes.
    QString Click(QPushButton* button, const QString& text) {
        const bool forward = button == form->RemoteIP;
        (forward ? form->RemoteHostName : form->RemoteHostIP)->setText(text);
        QTest::mouseClick(button, Qt::LeftButton);
        return (forward ? form->RemoteHostIP : form->RemoteHostName)->text();
    }
};

TEST_F(Lookup, RemoteIPGivesTheFirstAddressRemoteHostTheSecondReverseName) {
    // The text typed, what RemoteIP writes for it, what RemoteHost writes for it.
    const std::tuple<QString, QString, QString> rows[] = {
        {"several.test", "127.0.0.7", "several.test"},
        {"0x7f.0.0.1", "127.0.0.1", "localhost"},  // a dotted text never reaches the hosts file
        {"ninth-alias.test", "127.0.0.9", "ninth.test"},
        {"127.0.0.12", "127.0.0.12", "other.test"},  // twelfth.test, whose first address is .13
        {"b\u00fccher.test", "127.0.0.20", "b\u00fccher.test"},
        {"crowded.test", "127.0.0.30", "crowded.test"},
        {"127.0.0.200", "127.0.0.200", "Unknown"},
        {"nosuch.invalid", "255.255.255.255", "Unknown"},
        {"", "255.255.255.255", "Unknown"},
        {QString(300, 'a'), "255.255.255.255", "Unknown"},
        {"999.1.1.1", "255.255.255.255", "Unknown"},
        {"255.255.255.255", "255.255.255.255", "Unknown"}};
    for (const auto& [text, address, name] : rows) {
        EXPECT_EQ(Click(form->RemoteIP, text), address) << text.toStdString();
        EXPECT_EQ(Click(form->RemoteHost, text), name) << text.toStdString();
    }
}

// "Unknown" is no name to ask about: a search domain that answers every name would find a host.
TEST_F(Lookup, RemoteHostAsksNothingMoreAfterAFailure) {
    WriteEtc("resolv.conf", private_resolver::kResolvConf + "search lan.test\n");
    ASSERT_EQ(Click(form->RemoteIP, "anything"), QString("127.0.0.60"));
    const int answered = private_resolver::answered;
    EXPECT_EQ(Click(form->RemoteHost, "127.0.0.200"), QString("Unknown"));
    EXPECT_EQ(private_resolver::answered, answered);
}

// The local name listed with loopback addresses only, as on Debian, while nva (10.7.1.2) and
// nvb (10.7.2.2) come up; the route out through each in turn wins whichever is listed first.
TEST_F(Lookup, LocalHostIPIsTheAddressTheNetworkSees) {
    const QByteArray loopback = "127.0.1.1 " + kNode + "\n127.0.0.42 " + kNode + "\n";
    const std::tuple<const char*, QByteArray, QString> steps[] = {
        {"true", loopback, "127.0.1.1"},
        {"ip link add nva type veth peer name nvb && ip addr add 10.7.1.2/24 dev nva && "
         "ip addr add 10.7.2.2/24 dev nvb && ip link set nva up",
         loopback, "10.7.1.2"},
        {"ip link set nvb up && ip route add default via 10.7.2.1", loopback, "10.7.2.2"},
        {"ip route replace default via 10.7.1.1", loopback, "10.7.1.2"},
        {"true", "127.0.1.1 " + kNode + "\n10.9.9.9 " + kNode + "\n", "127.0.1.1"},
        {"true", "", "255.255.255.255"},
        {"ip route del default && ip link set nva down && ip link set nvb down", loopback,
         "127.0.1.1"}};
    for (const auto& [command, hosts, address] : steps) {
        WriteEtc("hosts", hosts);
        ASSERT_EQ(std::system(command), 0) << command;
        QTest::mouseClick(form->GetLocalInfo, Qt::LeftButton);
        EXPECT_EQ(form->localhostname->text(), QString(kNode));
        EXPECT_EQ(form->localhostip->text(), address) << command << "\n" << hosts.toStdString();
    }
}

struct PaintWatch : QObject {
    QLineEdit* box;
    int paintsWhileWaiting = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paintsWhileWaiting += event->type() == QEvent::Paint && box->text() == "waiting";
        return false;
    }
};

// RemoteIP asks a name server that never answers. Meanwhile the window repaints under a busy
// cursor, and a click and a close made meanwhile wait for RemoteIP's result.
TEST_F(Lookup, WindowPaintsWhileALookupWaitsAndInputFollowsItsResult) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->RemoteHostIP->setText("waiting");
    PaintWatch watch;
    watch.box = form->RemoteHostIP;
    form->installEventFilter(&watch);
    int cursorWhileWaiting = -1;
    QTimer::singleShot(100, form.get(), [&] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        cursorWhileWaiting = cursor != nullptr ? cursor->shape() : -1;
        form->update();
        QTest::mouseClick(form->GetLocalInfo, Qt::LeftButton);
        form->close();
    });
    QString resultWhenClicked = "not clicked";
    QObject::connect(form->GetLocalInfo, &QPushButton::clicked,
                     [&] { resultWhenClicked = form->RemoteHostIP->text(); });

    EXPECT_EQ(Click(form->RemoteIP, "quiet.silent.test"), QString("255.255.255.255"));
    EXPECT_GT(watch.paintsWhileWaiting, 0);
    EXPECT_EQ(cursorWhileWaiting, Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form->isVisible() && resultWhenClicked == "not clicked") << "input waited";
    EXPECT_TRUE(loopback::WaitUntil([&] { return !form->isVisible(); }));
    EXPECT_EQ(resultWhenClicked, QString("255.255.255.255"));
    // A call that fails on the worker thread fails in the caller once the wait is over.
    EXPECT_THROW(platform::RunBlocking([]() -> int { throw std::runtime_error("failed"); }),
                 std::runtime_error);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
