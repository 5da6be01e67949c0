// The "Local Info" and "IP / DNS" tabs, clicked, with a network, hosts file and name server of
// the test's own (test_lookup_private_resolver.h).

#include <stdexcept>
#include <tuple>

#include <QSysInfo>
#include <QTabBar>

#include "net/blockinghook.h"
#include "net/winsock.h"
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

TEST_F(Lookup, RemoteIPGivesTheFirstAddressRemoteHostTheReverseNameAskingNoMoreOnFailure) {
    // The text typed, what RemoteIP writes for it, what RemoteHost writes for it.
    const std::tuple<QString, QString, QString> rows[] = {
        {"several.test", "127.0.0.7", "several.test"},
        {"0x7f.0.0.1", "127.0.0.1", "localhost"},  // a dotted text never reaches the hosts file
        {"ninth-alias.test", "127.0.0.9", "ninth.test"},
        {"127.0.0.12", "127.0.0.12", "other.test"},  // twelfth.test, whose first address is .13
        {"b\u00fccher.test", "127.0.0.20", "b\u00fccher.test"},
        {"crowded.test", "127.0.0.30", "crowded.test"},
        {"127.0.0.200", "127.0.0.200", "Unknown"}};
    for (const auto& [text, address, name] : rows) {
        EXPECT_EQ(Click(form->RemoteIP, text), address) << text.toStdString();
        EXPECT_EQ(Click(form->RemoteHost, text), name) << text.toStdString();
    }
    for (const QString& text : {QString("nosuch.invalid"), QString(), QString(300, 'a'),
                                QString("999.1.1.1"), QString("255.255.255.255")}) {
        EXPECT_EQ(Click(form->RemoteIP, text) + Click(form->RemoteHost, text),
                  "255.255.255.255Unknown")
            << text.toStdString();
    }
    // "Unknown" is no name to ask about: a search domain that answers every name would find one.
    WriteEtc("resolv.conf", private_resolver::kResolvConf + "search lan.test\n");
    ASSERT_EQ(Click(form->RemoteIP, "anything"), QString("127.0.0.60"));
    const int answered = private_resolver::answered;
    EXPECT_EQ(Click(form->RemoteHost, "127.0.0.200"), QString("Unknown"));
    EXPECT_EQ(private_resolver::answered, answered);
}

// The local name listed with loopback addresses only, as on Debian: while nva (10.7.1.2) and
// nvb (10.7.2.2) come up, the route out through each wins in turn; a LAN address listed wins.
TEST_F(Lookup, LocalHostIPIsTheAddressTheNetworkSees) {
    const QByteArray loopback = "127.0.1.1 " + kNode + "\n127.0.0.42 " + kNode + "\n";
    const std::tuple<const char*, QByteArray, QString> steps[] = {
        {"true", loopback, "127.0.1.1"},
        {"ip link add nva type veth peer name nvb && ip addr add 10.7.1.2/24 dev nva && "
         "ip addr add 10.7.2.2/24 dev nvb && ip link set nva up",
         loopback, "10.7.1.2"},
        {"ip link set nvb up && ip route add default via 10.7.2.1", loopback, "10.7.2.2"},
        {"ip route replace default via 10.7.1.1", loopback, "10.7.1.2"},
        {"true", "127.0.1.1 " + kNode + "\n10.9.9.9 " + kNode + "\n", "10.9.9.9"},
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
// cursor, and clicks wait for RemoteIP's result, then land where they were made: on the
// "Local Info" tab, then on its button, though the pointer has moved on since.
TEST_F(Lookup, WindowPaintsWhileALookupWaitsInputFollowsItsResultEscapeOrACloseEndIt) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->SSTab1->setCurrentIndex(0);  // so that the page has its place
    QCoreApplication::processEvents();
    const QPoint tab = form->SSTab1->tabBar()->mapTo(form.get(), QPoint(20, 5));
    const QPoint button = form->GetLocalInfo->mapTo(form.get(), QPoint(5, 5));
    form->SSTab1->setCurrentIndex(1);
    form->RemoteHostIP->setText("waiting");
    PaintWatch watch;
    watch.box = form->RemoteHostIP;
    form->installEventFilter(&watch);
    int cursorWhileWaiting = -1;
    QTimer::singleShot(100, form.get(), [&] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        cursorWhileWaiting = cursor != nullptr ? cursor->shape() : -1;
        form->update();
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, tab);
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, button);
        QTest::mouseMove(form->windowHandle(), QPoint(2, 2));
    });
    QStringList resultsWhenClicked;
    QObject::connect(form->GetLocalInfo, &QPushButton::clicked,
                     [&] { resultsWhenClicked << form->RemoteHostIP->text(); });

    EXPECT_EQ(Click(form->RemoteIP, "quiet.silent.test"), QString("255.255.255.255"));
    EXPECT_TRUE(watch.paintsWhileWaiting > 0 && cursorWhileWaiting == Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(resultsWhenClicked.isEmpty() && form->SSTab1->currentIndex() == 1) << "waited";
    EXPECT_TRUE(loopback::WaitUntil([&] { return !resultsWhenClicked.isEmpty(); }, 1000));
    EXPECT_EQ(form->SSTab1->currentIndex(), 0);
    EXPECT_EQ(resultsWhenClicked, QStringList{"255.255.255.255"});

    // A name server that answers a second late. Escape ends each wait at once with the failure
    // value; the late answers change nothing. A close during a wait closes the window at once,
    // without the click made before it, while the lookup's worker still waits for its answer.
    WriteEtc("resolv.conf", "nameserver 127.0.0.1\noptions timeout:3 attempts:1\n");
    const auto soon = [this](const std::function<void()>& act) {
        QTimer::singleShot(100, form.get(), act);
    };
    const auto escape = [this] { QTest::keyClick(form->windowHandle(), Qt::Key_Escape); };
    const int answered = private_resolver::answered;
    soon(escape);
    EXPECT_EQ(Click(form->RemoteIP, "a.slow.test"), QString("255.255.255.255"));
    EXPECT_EQ(WSAGetLastError(), WSAEINTR);
    soon(escape);
    EXPECT_EQ(Click(form->RemoteHost, "b.slow.test"), QString("Unknown"));
    soon(escape);
    form->hostname->setText("c.slow.test");
    QTest::mouseClick(form->pingname, Qt::LeftButton);
    EXPECT_TRUE(form->results->toPlainText().startsWith("255.255.255.255"))
        << form->results->toPlainText().toStdString();
    EXPECT_EQ(private_resolver::answered, answered) << "ended before the answers came";
    ASSERT_TRUE(loopback::WaitUntil([&] { return private_resolver::answered == answered + 3; }));
    loopback::Spin(100);
    EXPECT_EQ(form->RemoteHostIP->text() + form->RemoteHostName->text(),
              QString("b.slow.testUnknown"));
    EXPECT_TRUE(form->results->toPlainText().startsWith("255.255.255.255"));

    bool clicked = false;
    QObject::connect(form->GetLocalInfo, &QPushButton::clicked, [&] { clicked = true; });
    soon([this] {
        QTest::mouseClick(form->GetLocalInfo, Qt::LeftButton);
        form->close();
    });
    EXPECT_EQ(Click(form->RemoteIP, "d.slow.test"), QString("255.255.255.255"));
    EXPECT_TRUE(loopback::WaitUntil([&] { return !form->isVisible(); }, 500));
    EXPECT_EQ(private_resolver::answered, answered + 3) << "closed before the answer came";
    EXPECT_FALSE(clicked);
    form.reset();
    EXPECT_TRUE(loopback::WaitUntil([&] { return private_resolver::answered == answered + 4; }));
    loopback::Spin(100);  // the worker takes its answer and ends
    // A call that fails on the worker thread fails in the caller once the wait is over.
    EXPECT_THROW(platform::RunBlocking([]() -> int { throw std::runtime_error("failed"); }),
                 std::runtime_error);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Resolution, DottedTextsAreReadWithoutTheNameServiceAndANameWithANulIsNotFound) {
    EXPECT_EQ(Winsock::AddressToText(16777343), QString("127.0.0.1"));
    for (const char* text : {"127.0.0.1", "127.1", "0x7f.0.0.1", "0177.0.0.1"}) {
        EXPECT_EQ(Winsock::HostToAddress(text), 16777343) << text;
    }
    // The broadcast address and a failed lookup cannot be told apart.
    EXPECT_EQ(Winsock::HostToAddress("255.255.255.255"), -1);
    // A NUL would end the name for the platform; a malformed name the resolver turns down.
    for (const QString& name :
         {QStringLiteral("127.0.0.1") + QChar(0) + "evil.test",
          QStringLiteral("localhost") + QChar(0), QStringLiteral("no..such.host.invalid")}) {
        WSASetLastError(0);
        const std::int32_t address = Winsock::HostToAddress(name);
        const int error = WSAGetLastError();
        EXPECT_EQ(std::tuple(address, error, Winsock::OfficialHostName(name),
                             Winsock::LocalHostAddress(name)),
                  std::tuple(-1, WSAHOST_NOT_FOUND, "Unknown", -1))
            << name.toStdString();
    }
}

}  // namespace
