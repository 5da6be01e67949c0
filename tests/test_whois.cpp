// The "Whois" tab driven as a person drives it, against whois servers on 127.0.0.1.

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>

#include "loopback.h"
#include "platform/asyncselect.h"
#include "whois/whois.h"
#include "window_fixture.h"

namespace {

using loopback::Server;
using loopback::WaitUntil;

const QString kLookingFor = QStringLiteral(" Looking for: 127.0.0.1\r\n");
const QString kPress = QStringLiteral(" Press the Whois button to retrieve your data \r\n");

// A whois server: reads the query, sends the reply `times` times (0: until the client ends
// the connection) and closes; or with `hold`, waits for the client to end it.
struct Whois {
    explicit Whois(std::string text, int count = 1, bool wait = false)
        : reply(std::move(text)), times(count), hold(wait) {}
    std::string reply;
    const int times;
    const bool hold;
    std::string query;
    std::atomic<bool> ended{false}, reset{false};
    Server server{[this](int fd) {
        query = loopback::ReadLine(fd);
        for (int sent = 0; (times == 0 || sent < times) && loopback::WriteAll(fd, reply); ++sent) {
        }
        reset = hold && loopback::AwaitEnd(fd);
        ended = true;
        ::close(fd);
    }};
};

class WhoisTab : public LoadedWindow {
protected:
    void SetUp() override {
        LoadedWindow::SetUp();
        form->SSTab1->setCurrentIndex(3);
        form->show();
        form->txtServer->setText(QStringLiteral("127.0.0.1"));
        form->DomainName->setText(QStringLiteral("example.test"));
    }
    void TearDown() override {
        LoadedWindow::TearDown();
        whois::WhoisSocket = 0;
    }

    void Click() { QTest::mouseClick(form->cmdConnect, Qt::LeftButton); }
    QString Caption() const { return form->cmdConnect->text(); }
    bool CaptionBecomes(const char* caption) {
        return WaitUntil([&] { return Caption() == QLatin1String(caption); }, 30000);
    }
    bool OutputHas(const char* text) {
        return WaitUntil([&] { return Output().contains(QLatin1String(text)); });
    }
    QString Output() const { return whois::OutputText(*form); }
    QString Shown() const { return form->txtWinsock->toPlainText(); }
    QString LastLine() const { return form->txtWinsock->document()->lastBlock().text(); }
    static QString Opening(const Server& server) {
        return kLookingFor + " Connecting to: 127.0.0.1:" + server.PortText() + "\r\n" + kPress;
    }
    // Connect to the server and wait until the button offers "Whois".
    void ConnectTo(const Server& server) {
        form->txtPort->setText(server.PortText());
        Click();
        ASSERT_TRUE(CaptionBecomes("Whois"));
        EXPECT_EQ(Output(), Opening(server));
    }
    bool Send(std::int32_t socket, std::int32_t lParam, unsigned message = 1025) {
        platform::SocketMessage event(message, socket, lParam);
        return QCoreApplication::sendEvent(form.get(), &event);
    }
};

TEST_F(WhoisTab, FullExchangeShowsEveryLineAndTheReplyAsPlainTextToItsEnd) {
    Whois whois{"Registrar: <b>Example</b> &amp; <a href=\"x\">link</a>\n"};
    for (int line = 0; line < 300; ++line) {
        whois.reply += "line " + std::to_string(line) + " of a reply longer than one read ....\n";
    }
    const int open = platform::OpenSockets();
    ASSERT_NO_FATAL_FAILURE(ConnectTo(whois.server));
    // A line end would make a second query of the rest, a NUL cut the query: not sent.
    const QString notSent = " Not sent: the domain name holds a line break or a NUL character \r\n";
    for (const QString& text : {QStringLiteral("a.test\r\nb.test"), QStringLiteral("a\nb"),
                                QStringLiteral("a") + QChar(0) + "b"}) {
        form->DomainName->setText(text);
        Click();
        EXPECT_EQ(Caption(), QStringLiteral("Whois"));
    }
    form->DomainName->setText(QStringLiteral("ex\u00e4mple.test"));
    Click();
    EXPECT_EQ(Caption(), QStringLiteral("Disconnect"));
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_EQ(whois.query, "ex\xc3\xa4mple.test\r\n");
    const QString expected = Opening(whois.server) + notSent + notSent + notSent +
                             "SEND: ex\u00e4mple.test\r\n" + QString::fromStdString(whois.reply) +
                             "Connection Closed ";
    EXPECT_EQ(Output(), expected);
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(platform::OpenSockets(), open);
    // Each line end is one line break, markup is the characters it is, and the box catches up
    // and shows the end of the output with the insertion point behind it.
    ASSERT_TRUE(WaitUntil([&] { return LastLine().endsWith(QLatin1String("Closed ")); }));
    EXPECT_EQ(Shown(), QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(form->txtWinsock->textCursor().position(), Shown().size());
    const QScrollBar* bar = form->txtWinsock->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 250);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(WhoisTab, FailedConnectionShowsTheErrorAndTheNextAttemptClosesItsSocket) {
    const Server closed(nullptr);  // refuses every connection
    form->txtPort->setText(closed.PortText());
    const int open = platform::OpenSockets();
    for (int attempt = 0; attempt < 2; ++attempt) {
        Click();
        ASSERT_TRUE(OutputHas("Error Occured"));
    }
    EXPECT_EQ(Output(), Opening(closed) + "Error Occured: Connection refused.\r\n");
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_EQ(platform::OpenSockets(), open + 1);
    // Linux would connect 0.0.0.0 to a server of this host; the user asked for no such host.
    Whois whois{"not to be reached"};
    form->txtServer->setText(QStringLiteral("0.0.0.0"));
    form->txtPort->setText(whois.server.PortText());
    Click();
    ASSERT_TRUE(OutputHas("Error Occured"));
    EXPECT_TRUE(Output().endsWith(kPress + "Error Occured: Can't assign requested address.\r\n"));
    loopback::Spin(100);
    EXPECT_EQ(whois.server.Accepted(), 0);
}

TEST_F(WhoisTab, DisconnectAndClosingTheWindowResetTheConnection) {
    Whois whois{"the first part of a reply", 1, true};
    ASSERT_NO_FATAL_FAILURE(ConnectTo(whois.server));
    Click();
    ASSERT_TRUE(OutputHas("a reply"));
    const std::int16_t socket = whois::WhoisSocket;
    Click();
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return whois.ended.load(); }));
    EXPECT_TRUE(whois.reset);
    EXPECT_TRUE(Output().endsWith("a reply*** Socket Closed (Disconnect Button)"));
    EXPECT_EQ(whois::WhoisSocket, socket);
    // The next attempt closes the closed handle again, without effect, and starts afresh.
    whois.ended = whois.reset = false;
    const int open = platform::OpenSockets();
    ASSERT_NO_FATAL_FAILURE(ConnectTo(whois.server));
    EXPECT_EQ(platform::OpenSockets(), open + 1);
    Click();
    ASSERT_TRUE(OutputHas("a reply"));
    const int users = platform::WinsockUsers();
    form->close();
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return whois.ended.load(); }));
    EXPECT_TRUE(whois.reset);
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(platform::WinsockUsers(), users - 1);
}

TEST_F(WhoisTab, PortTextMustBeAWhole16BitNumberAndBadPeersFailAtOnce) {
    const int open = platform::OpenSockets();
    for (const QString& text :
         {QString(), QStringLiteral("abc"), QStringLiteral("32768"), QStringLiteral("-32769"),
          QStringLiteral("4 3"), QStringLiteral("43x"), QStringLiteral("43") + QChar(0) + "x"}) {
        form->txtPort->setText(text);
        Click();
        EXPECT_EQ(Output(),
                  kLookingFor + " Not a port number from -32768 to 32767: \"" + text + "\"\r\n");
        EXPECT_EQ(whois::WhoisSocket, 0);
    }
    form->txtPort->setText(QStringLiteral("-1"));
    Click();
    EXPECT_EQ(Output(), kLookingFor + " Connecting to: \r\n" + kPress);
    EXPECT_EQ(whois::WhoisSocket, -1);
    form->txtServer->setText(QStringLiteral("no-such-host.invalid"));
    form->txtPort->setText(QStringLiteral("43"));
    Click();
    EXPECT_TRUE(Output().endsWith(" Connecting to: \r\n" + kPress));
    EXPECT_EQ(platform::OpenSockets(), open);
}

TEST_F(WhoisTab, NotificationsOfTheWhoisSocketMoveTheCaptionOthersAreDroppedOrPassed) {
    whois::Client& client = *form->WhoisClient;
    client.AppendOutput(QStringLiteral("before"));
    EXPECT_TRUE(Send(7, FD_CONNECT | 10061 << 16));  // no socket held: dropped
    whois::WhoisSocket = 7;                          // a handle the program never opened
    platform::SocketMessage otherMessage(1026, 7, FD_CLOSE);
    EXPECT_FALSE(whois::NotifyWindowProc(form.get(), &otherMessage));
    EXPECT_TRUE(Send(8, FD_CLOSE));
    EXPECT_TRUE(Send(7, FD_WRITE));
    EXPECT_EQ(Output(), QStringLiteral("before"));
    EXPECT_TRUE(Send(7, FD_CONNECT | 10061 << 16));
    EXPECT_EQ(Output(), QStringLiteral("beforeError Occured: Connection refused.\r\n"));
    EXPECT_TRUE(Send(7, FD_CONNECT));
    EXPECT_EQ(Caption(), QStringLiteral("Whois"));
    // A reset ends the exchange like any close; a character the server left unfinished is
    // shown as such, and its direction override as a mark that turns nothing around.
    client.AppendOutput(QStringLiteral("half a line\u202e"));
    EXPECT_EQ(client.DecodeReply("\xe2\x82"), QString());
    EXPECT_TRUE(Send(7, FD_CLOSE | 10054 << 16));
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_TRUE(Output().endsWith(QStringLiteral("\r\nhalf a line\u202e\ufffdConnection Closed ")));
    client.CatchUp();
    EXPECT_TRUE(Shown().endsWith(QStringLiteral("\nhalf a line\u25af\ufffdConnection Closed ")));
}

TEST_F(WhoisTab, Unix2dosConvertsTheExactTextAndACopyTakesItWhatTheUserTypesReplacesIt) {
    whois::Client& client = *form->WhoisClient;
    client.AppendOutput(QStringLiteral("one\ntwo\r\nend"));
    form->unix2dos->click();
    EXPECT_EQ(Output(), QStringLiteral("one\r\ntwo\r\r\nend"));
    client.AppendOutput(QStringLiteral(" more\nlast"));
    client.CatchUp();
    const int revision = form->txtWinsock->document()->revision();
    form->unix2dos->click();
    EXPECT_EQ(Output(), QStringLiteral("one\r\r\ntwo\r\r\r\nend more\r\nlast"));
    EXPECT_EQ(Shown(), QStringLiteral("one\ntwo\nend more\nlast"));
    EXPECT_EQ(form->txtWinsock->document()->revision(), revision);  // the box is left alone
    form->txtWinsock->setFocus();
    form->txtWinsock->selectAll();
    QTest::keySequence(form->txtWinsock, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), Output());
    form->txtWinsock->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->txtWinsock, QStringLiteral("!"));
    EXPECT_EQ(Output(), QStringLiteral("one\ntwo\nend more\nlast!"));
}

TEST_F(WhoisTab, LongLineCostsInProportionToItsLengthAndDisconnectActsAtOnce) {
    const auto exchange = [&](std::string reply) {
        Whois whois{std::move(reply)};
        ConnectTo(whois.server);
        const auto start = std::chrono::steady_clock::now();
        Click();
        EXPECT_TRUE(WaitUntil([&] { return LastLine().endsWith(QLatin1String("Closed ")); }));
        return std::chrono::steady_clock::now() - start;
    };
    std::string lines;
    while (lines.size() < (2 << 20)) {
        lines += "Registrar WHOIS Server: whois.test\r\n";  // 38 bytes, as whois servers write
    }
    const auto inLines = exchange(lines);
    EXPECT_LT(exchange(std::string(2 << 20, 'x')), 3 * inLines);

    Whois endless{std::string(65536, 'x'), 0};
    ASSERT_NO_FATAL_FAILURE(ConnectTo(endless.server));
    Click();
    ASSERT_TRUE(
        WaitUntil([&] { return form->txtWinsock->document()->characterCount() > 1 << 18; }));
    const auto start = std::chrono::steady_clock::now();
    QTimer::singleShot(0, form.get(), [&] { Click(); });
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_TRUE(Output().endsWith("xx*** Socket Closed (Disconnect Button)"));
    EXPECT_TRUE(loopback::WaitWithoutEvents([&] { return endless.ended.load(); }));
}

TEST_F(WhoisTab, EndlessReplyIsCutAtTheBoundWithNothingBeforeItLost) {
    EXPECT_EQ(form->WhoisClient->ReplyLimit(), 64 << 20);
    form->WhoisClient->SetReplyLimit(1 << 20);  // (the same code cuts at any size)
    Whois endless{"0123456789abcdef", 0};
    ASSERT_NO_FATAL_FAILURE(ConnectTo(endless.server));
    const QString before = Output() + "SEND: example.test\r\n";
    Click();
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_TRUE(Output() == before + QString(QStringLiteral("0123456789abcdef")).repeated(1 << 16) +
                                "\r\n*** Socket Closed (reply cut after 1048576 bytes)");
    EXPECT_TRUE(loopback::WaitWithoutEvents([&] { return endless.ended.load(); }));
    QFile status(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray all = status.readAll();
    const QByteArray peak = all.mid(all.indexOf("VmHWM:") + 6).trimmed();  // "123 kB\n..."
    EXPECT_LT(peak.left(peak.indexOf(' ')).toLongLong(), 1536 * 1024) << peak.data();
}

TEST(WhoisWindows, EachWindowKeepsItsOwnExactText) {
    frmWinsock first, second;
    first.WhoisClient->AppendOutput(QStringLiteral("line\r\n"));
    second.WhoisClient->AppendOutput(QStringLiteral("other\n"));
    second.unix2dos->click();
    EXPECT_EQ(whois::OutputText(first), QStringLiteral("line\r\n"));
    first.unix2dos->click();
    EXPECT_EQ(whois::OutputText(first), QStringLiteral("line\r\r\n"));
    EXPECT_EQ(whois::OutputText(second), QStringLiteral("other\r\n"));
}

}  // namespace
