// The "Whois" tab driven as a person drives it, against whois servers on 127.0.0.1.

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "loopback.h"
#include "platform/asyncselect.h"
#include "whois/whois.h"
#include "window_fixture.h"

namespace {

using loopback::Server;
using loopback::Spin;
using loopback::WaitUntil;

const QString kLookingFor = QStringLiteral(" Looking for: 127.0.0.1\r\n");
const QString kPress = QStringLiteral(" Press the Whois button to retrieve your data \r\n");

// A whois server: reads the query, answers, closes.
Server::Session Answer(std::string reply, std::string* query = nullptr) {
    return [reply, query](int fd) {
        const std::string line = loopback::ReadLine(fd);
        if (query != nullptr) {
            *query = line;
        }
        loopback::WriteAll(fd, reply);
        ::close(fd);
    };
}
// A server that sends `first` and holds the connection until the client ends it; `reset`
// tells whether it was reset.
Server::Session Hold(std::atomic<bool>* reset = nullptr, std::string first = {}) {
    return [reset, first](int fd) {
        loopback::WriteAll(fd, first);
        const bool wasReset = loopback::AwaitEnd(fd);
        if (reset != nullptr) {
            *reset = wasReset;
        }
        ::close(fd);
    };
}

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
    bool CaptionBecomes(const char* caption, int milliseconds = 5000) {
        return WaitUntil([&] { return Caption() == QLatin1String(caption); }, milliseconds);
    }
    bool OutputHas(const char* text) {
        return WaitUntil([&] { return Output().contains(QLatin1String(text)); });
    }
    QString Output() const { return whois::OutputText(*form); }
    QString Shown() const { return form->txtWinsock->toPlainText(); }
    static QString Connecting(const Server& server) {
        return QStringLiteral(" Connecting to: 127.0.0.1:") + server.PortText() + "\r\n";
    }
    // Connect to the server and wait until the button offers "Whois".
    void ConnectTo(const Server& server) {
        form->txtPort->setText(server.PortText());
        Click();
        ASSERT_TRUE(CaptionBecomes("Whois"));
    }
    bool Send(unsigned message, std::int32_t socket, std::int32_t lParam) {
        platform::SocketMessage event(message, socket, lParam);
        return QCoreApplication::sendEvent(form.get(), &event);
    }
};

TEST_F(WhoisTab, FullExchangeShowsEveryLineAndTheReplyAsPlainTextToItsEnd) {
    std::string query;
    std::string reply = "Registrar: <b>Example</b> &amp; <a href=\"x\">link</a>\n";
    for (int line = 0; line < 300; ++line) {
        reply += "line " + std::to_string(line) + " of a reply longer than one read ........\n";
    }
    Server server(Answer(reply, &query));
    const int open = platform::OpenSockets();
    ASSERT_NO_FATAL_FAILURE(ConnectTo(server));
    EXPECT_EQ(Output(), kLookingFor + Connecting(server) + kPress);
    form->DomainName->setText(QStringLiteral("ex\u00e4mple.test"));
    Click();
    EXPECT_EQ(Caption(), QStringLiteral("Disconnect"));
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_EQ(query, "ex\xc3\xa4mple.test\r\n");
    const QString expected = kLookingFor + Connecting(server) + kPress +
                             "SEND: ex\u00e4mple.test\r\n" + QString::fromStdString(reply) +
                             "Connection Closed ";
    EXPECT_EQ(Output(), expected);
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(platform::OpenSockets(), open);
    // Each line end is one line break, markup is the characters it is, and the box shows the
    // end of the output with the insertion point behind it.
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
    Click();
    ASSERT_TRUE(OutputHas("Error Occured"));
    Click();
    ASSERT_TRUE(OutputHas("Error Occured"));
    EXPECT_EQ(Output(), kLookingFor + Connecting(closed) + kPress +
                            "Error Occured: Connection refused.\r\n");
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_EQ(platform::OpenSockets(), open + 1);
    // Linux would connect 0.0.0.0 to a server of this host; the user asked for no such host.
    Server server(Hold());
    form->txtServer->setText(QStringLiteral("0.0.0.0"));
    form->txtPort->setText(server.PortText());
    Click();
    ASSERT_TRUE(OutputHas("Error Occured"));
    EXPECT_TRUE(Output().endsWith(kPress + "Error Occured: Can't assign requested address.\r\n"));
    Spin(100);
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(WhoisTab, DisconnectResetsTheConnectionAndTheNextConnectStartsAfresh) {
    std::atomic<bool> reset{false};
    Server server(Hold(&reset, "the first part of a reply"));
    ASSERT_NO_FATAL_FAILURE(ConnectTo(server));
    Click();
    ASSERT_TRUE(OutputHas("a reply"));
    const std::int16_t socket = whois::WhoisSocket;
    Click();
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    EXPECT_TRUE(reset);
    Spin(100);
    EXPECT_TRUE(Output().endsWith("a reply*** Socket Closed (Disconnect Button)"));
    EXPECT_EQ(whois::WhoisSocket, socket);
    const int open = platform::OpenSockets();
    ASSERT_NO_FATAL_FAILURE(ConnectTo(server));
    EXPECT_EQ(Output(), kLookingFor + Connecting(server) + kPress);
    EXPECT_EQ(platform::OpenSockets(), open + 1);
    whois::CloseWhoisSocket();
}

TEST_F(WhoisTab, ClosingTheWindowClosesExactlyTheWhoisSocketThenReleasesWinsock) {
    const int bystander = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    std::atomic<bool> reset{false};
    Server server(Hold(&reset));
    ASSERT_NO_FATAL_FAILURE(ConnectTo(server));
    const int users = platform::WinsockUsers();
    form->close();
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    EXPECT_TRUE(reset);
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(platform::WinsockUsers(), users - 1);
    WSADATA data;
    ASSERT_EQ(WSAStartup(257, &data), 0);
    EXPECT_EQ(closesocket(bystander), 0);
    WSACleanup();
}

TEST_F(WhoisTab, PortTextMustBeAWhole16BitNumberAndBadPeersFailAtOnce) {
    const int open = platform::OpenSockets();
    for (const QString& text : {QString(), QStringLiteral("abc"), QStringLiteral("32768"),
                                QStringLiteral("-32769"), QStringLiteral("4 3"),
                                QStringLiteral("43x"), QStringLiteral("43") + QChar(0) + "x"}) {
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

TEST_F(WhoisTab, DomainNameWithALineBreakIsNotSentAndAnEmptyOneSendsALineEnd) {
    std::string query;
    Server server(Answer("nothing\n", &query));
    ASSERT_NO_FATAL_FAILURE(ConnectTo(server));
    const QString notSent =
        QStringLiteral(" Not sent: the domain name holds a line break or a NUL character \r\n");
    for (const QString& text : {QStringLiteral("a.test\r\nb.test"), QStringLiteral("a\nb"),
                                QStringLiteral("a") + QChar(0) + "b"}) {
        form->DomainName->setText(text);
        Click();
        EXPECT_EQ(Caption(), QStringLiteral("Whois"));
    }
    EXPECT_EQ(Output(), kLookingFor + Connecting(server) + kPress + notSent + notSent + notSent);
    form->DomainName->clear();
    Click();
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_EQ(query, "\r\n");
    EXPECT_TRUE(Output().endsWith(notSent + "SEND: \r\nnothing\nConnection Closed "));
}

TEST_F(WhoisTab, NotificationsOfTheWhoisSocketMoveTheCaptionOthersAreDroppedOrPassed) {
    whois::AppendOutput(*form->WhoisClient, QStringLiteral("before"));
    EXPECT_TRUE(Send(1025, 7, FD_CONNECT | 10061 << 16));  // no socket held: dropped
    whois::WhoisSocket = 7;                               // a handle the program never opened
    platform::SocketMessage otherMessage(1026, 7, FD_CLOSE);
    EXPECT_FALSE(whois::NotifyWindowProc(form.get(), &otherMessage));
    EXPECT_TRUE(Send(1025, 8, FD_CLOSE));
    EXPECT_TRUE(Send(1025, 7, FD_WRITE));
    EXPECT_EQ(Output(), QStringLiteral("before"));
    EXPECT_TRUE(Send(1025, 7, FD_CONNECT | 10061 << 16));
    EXPECT_EQ(Output(), QStringLiteral("beforeError Occured: Connection refused.\r\n"));
    EXPECT_TRUE(Send(1025, 7, FD_CONNECT));
    EXPECT_EQ(Caption(), QStringLiteral("Whois"));
    // A reset ends the exchange like any close; what the server last sent keeps its line.
    // A character that the server left unfinished is shown as such.
    whois::AppendOutput(*form->WhoisClient, QStringLiteral("half a line\u202e"));
    EXPECT_EQ(form->WhoisClient->DecodeReply("\xe2\x82"), QString());
    EXPECT_TRUE(Send(1025, 7, FD_CLOSE | 10054 << 16));
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_TRUE(Output().endsWith(QStringLiteral("\r\nhalf a line\u202e\ufffdConnection Closed ")));
}

TEST_F(WhoisTab, Unix2dosConvertsTheExactTextAndACopyTakesItWhatTheUserTypesReplacesIt) {
    whois::AppendOutput(*form->WhoisClient, QStringLiteral("one\ntwo\r\nend"));
    form->unix2dos->click();
    EXPECT_EQ(Output(), QStringLiteral("one\r\ntwo\r\r\nend"));
    whois::AppendOutput(*form->WhoisClient, QStringLiteral(" more\nlast"));
    form->unix2dos->click();
    EXPECT_EQ(Output(), QStringLiteral("one\r\r\ntwo\r\r\r\nend more\r\nlast"));
    EXPECT_EQ(Shown(), QStringLiteral("one\ntwo\nend more\nlast"));
    form->txtWinsock->setFocus();
    form->txtWinsock->selectAll();
    QTest::keySequence(form->txtWinsock, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), Output());
    form->txtWinsock->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->txtWinsock, QStringLiteral("!"));
    EXPECT_EQ(Output(), QStringLiteral("one\ntwo\nend more\nlast!"));
}

TEST(WhoisWindows, EachWindowKeepsItsOwnExactText) {
    frmWinsock first, second;
    whois::AppendOutput(*first.WhoisClient, QStringLiteral("line\r\n"));
    whois::AppendOutput(*second.WhoisClient, QStringLiteral("other\n"));
    second.unix2dos->click();
    EXPECT_EQ(whois::OutputText(first), QStringLiteral("line\r\n"));
    first.unix2dos->click();
    EXPECT_EQ(whois::OutputText(first), QStringLiteral("line\r\r\n"));
    EXPECT_EQ(whois::OutputText(second), QStringLiteral("other\r\n"));
}

}  // namespace
