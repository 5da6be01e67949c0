// The "Whois" tab driven as a person drives it, against whois servers on 127.0.0.1.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/frmwinsock.h"
#include "loopback.h"
#include "platform/asyncselect.h"
#include "platform/winsock.h"
#include "whois/whois.h"

namespace {

using loopback::Server;
using loopback::Spin;
using loopback::WaitUntil;

const QString kLookingFor = QStringLiteral(" Looking for: 127.0.0.1\r\n");
const QString kPress = QStringLiteral(" Press the Whois button to retrieve your data \r\n");

QString Connecting(const Server& server) {
    return QStringLiteral(" Connecting to: 127.0.0.1:") + server.PortText() +
           QStringLiteral("\r\n");
}

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

class WhoisTab : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<frmWinsock>();
        ASSERT_TRUE(form->Load());
        form->SSTab1->setCurrentIndex(3);
        form->show();
        form->txtServer->setText(QStringLiteral("127.0.0.1"));
        form->DomainName->setText(QStringLiteral("example.test"));
    }
    void TearDown() override {
        form.reset();
        whois::WhoisSocket = 0;
    }

    void Click() { QTest::mouseClick(form->cmdConnect, Qt::LeftButton); }
    QString Caption() const { return form->cmdConnect->text(); }
    QString Output() const { return whois::OutputText(*form); }
    QString Shown() const { return form->txtWinsock->toPlainText(); }

    // Connect to the server and wait until the button offers "Whois".
    void ConnectTo(const Server& server) {
        ASSERT_TRUE(server.Listening());
        form->txtPort->setText(server.PortText());
        Click();
        ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Whois"); }));
    }

    std::unique_ptr<frmWinsock> form;
};

TEST_F(WhoisTab, FullExchangeShowsEveryLineAndTheReplyAsPlainText) {
    std::string query;
    const std::string reply =
        "Domain Name: example.test\nRegistrar: <b>Example</b> &amp; <a href=\"x\">link</a>\n";
    Server server(Answer(reply, &query));
    ConnectTo(server);
    EXPECT_EQ(Output(), kLookingFor + Connecting(server) + kPress);

    Click();
    EXPECT_EQ(Caption(), QStringLiteral("Disconnect"));
    ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Connect"); }));
    EXPECT_EQ(query, "example.test\r\n");
    const QString expected = kLookingFor + Connecting(server) + kPress +
                             QStringLiteral("SEND: example.test\r\n") +
                             QString::fromStdString(reply) + QStringLiteral("Connection Closed ");
    EXPECT_EQ(Output(), expected);
    // The box shows each line end as one line break, and markup as the characters it is.
    EXPECT_EQ(Shown(), QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(form->txtWinsock->document()->blockCount(), 7);
    EXPECT_EQ(form->txtWinsock->textCursor().position(), Shown().size());
    EXPECT_EQ(whois::WhoisSocket, 0);
}

TEST_F(WhoisTab, LongReplyArrivesWholeInPiecesOfAtMost16384) {
    std::string reply;
    for (int line = 0; reply.size() < 40000; ++line) {
        reply += "line " + std::to_string(line) + " of a long reply ..........................\n";
    }
    reply.resize(40000);
    Server server(Answer(reply));
    ConnectTo(server);
    std::vector<int> pieces;
    QObject::connect(form->txtWinsock->document(), &QTextDocument::contentsChange,
                     [&](int, int, int added) { pieces.push_back(added); });
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Connect"); }));
    EXPECT_TRUE(
        Output().endsWith(QString::fromStdString(reply) + QStringLiteral("Connection Closed ")));
    // The echo, the pieces of the reply, "Connection Closed ".
    ASSERT_GE(pieces.size(), 2u + 3u);
    int replyLength = 0;
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        EXPECT_LE(pieces[i], 16384);
        replyLength += pieces[i];
    }
    EXPECT_EQ(replyLength, 40000);
}

TEST_F(WhoisTab, RefusedConnectionShowsTheErrorAndKeepsConnect) {
    form->txtPort->setText(QString::number(static_cast<std::int16_t>(loopback::ClosedPort())));
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().contains(QLatin1String("Error Occured: ")); }));
    Spin(100);
    EXPECT_TRUE(
        Output().endsWith(kPress + QStringLiteral("Error Occured: Connection refused.\r\n")));
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_GT(whois::WhoisSocket, 0);

    // A new attempt closes the failed socket and starts again from an empty box.
    const int open = platform::OpenSockets();
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().contains(QLatin1String("Error Occured: ")); }));
    EXPECT_TRUE(Output().startsWith(kLookingFor));
    EXPECT_EQ(Output().count(QLatin1String("Error Occured: ")), 1);
    EXPECT_EQ(platform::OpenSockets(), open);
}

TEST_F(WhoisTab, TheAnyAddressIsRefusedRatherThanTakenForThisHost) {
    // Linux would connect 0.0.0.0 to a server of this host; the user asked for no such host.
    Server server(Answer("should not be reached\n"));
    form->txtServer->setText(QStringLiteral("0.0.0.0"));
    form->txtPort->setText(server.PortText());
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().contains(QLatin1String("Error Occured: ")); }));
    EXPECT_TRUE(Output().endsWith(
        kPress + QStringLiteral("Error Occured: Can't assign requested address.\r\n")));
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    Spin(100);
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(WhoisTab, ServerClosingBeforeTheQueryEndsTheExchange) {
    Server server([](int fd) { ::close(fd); });
    form->txtPort->setText(server.PortText());
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().endsWith(QLatin1String("Connection Closed ")); }));
    EXPECT_EQ(Output(),
              kLookingFor + Connecting(server) + kPress + QStringLiteral("Connection Closed "));
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_EQ(whois::WhoisSocket, 0);
}

TEST_F(WhoisTab, ResetInTheMiddleOfTheReplyShowsWhatCameAndCloses) {
    Server server([](int fd) {
        loopback::ReadLine(fd);
        loopback::WriteAll(fd, "first half of the reply\nsecond ha");
        loopback::Reset(fd);
    });
    ConnectTo(server);
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Connect"); }));
    EXPECT_TRUE(Output().endsWith(QStringLiteral(
        "SEND: example.test\r\nfirst half of the reply\nsecond haConnection Closed ")));
    EXPECT_EQ(whois::WhoisSocket, 0);
}

TEST_F(WhoisTab, DisconnectWhileTheReplyArrivesResetsTheConnection) {
    std::atomic<bool> reset{false};
    Server server([&](int fd) {
        loopback::ReadLine(fd);
        loopback::WriteAll(fd, "the first part of a reply");
        reset = loopback::AwaitEnd(fd);
        ::close(fd);
    });
    ConnectTo(server);
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().endsWith(QLatin1String("a reply")); }));
    const std::int16_t socket = whois::WhoisSocket;
    Click();
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    EXPECT_TRUE(reset);
    Spin(200);
    EXPECT_TRUE(Output().endsWith(
        QStringLiteral("the first part of a reply*** Socket Closed (Disconnect Button)")));
    EXPECT_EQ(whois::WhoisSocket, socket);

    // The closed handle is closed again without effect by the next attempt.
    Server next([](int fd) {
        loopback::AwaitEnd(fd);
        ::close(fd);
    });
    ConnectTo(next);
    EXPECT_EQ(Output(), kLookingFor + Connecting(next) + kPress);
}

TEST_F(WhoisTab, SecondConnectDropsTheFirstSocketAndItsEvents) {
    std::atomic<bool> answered{false};
    Server first([&](int fd) {
        loopback::WriteAll(fd, "FROM THE FIRST SERVER\n");
        ::close(fd);
        answered = true;
    });
    Server second([](int fd) {
        loopback::AwaitEnd(fd);
        ::close(fd);
    });
    form->txtPort->setText(first.PortText());
    Click();
    // The first connection stands and has been answered and closed before the second click,
    // but the program has not seen any of it yet.
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return answered.load(); }));
    form->txtPort->setText(second.PortText());
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Whois"); }));
    Spin(200);
    EXPECT_EQ(Output(), kLookingFor + Connecting(second) + kPress);
    EXPECT_EQ(Caption(), QStringLiteral("Whois"));
}

TEST_F(WhoisTab, ClosingTheWindowClosesExactlyTheWhoisSocketThenReleasesWinsock) {
    const int bystander = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_GT(bystander, 0);
    std::atomic<bool> reset{false};
    Server server([&](int fd) {
        reset = loopback::AwaitEnd(fd);
        ::close(fd);
    });
    ConnectTo(server);
    const int users = platform::WinsockUsers();
    form->close();
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    EXPECT_TRUE(reset);
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(platform::WinsockUsers(), users - 1);
    EXPECT_NE(::fcntl(bystander, F_GETFD), -1);
    WSADATA data;
    ASSERT_EQ(WSAStartup(257, &data), 0);
    EXPECT_EQ(closesocket(bystander), 0);
    WSACleanup();
}

TEST_F(WhoisTab, CharacterSplitBetweenTwoReadsIsShownWhole) {
    std::atomic<bool> secondHalf{false};
    Server server([&](int fd) {
        loopback::ReadLine(fd);
        loopback::WriteAll(fd, "caf\xc3");
        loopback::WaitWithoutEvents([&] { return secondHalf.load(); });
        loopback::WriteAll(fd, "\xa9 au lait\n");
        ::close(fd);
    });
    ConnectTo(server);
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().endsWith(QLatin1String("caf")); }));
    secondHalf = true;
    ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Connect"); }));
    EXPECT_TRUE(Output().endsWith(QStringLiteral("caf\u00e9 au lait\nConnection Closed ")));
    EXPECT_FALSE(Output().contains(QChar::ReplacementCharacter));
}

TEST_F(WhoisTab, PortTextThatIsNotA16BitNumberStartsNoConnection) {
    const int open = platform::OpenSockets();
    for (const char* text : {"", "abc", "70000", "32768", "-32769", "4 3", "43x"}) {
        form->txtPort->setText(QString::fromLatin1(text));
        Click();
        EXPECT_EQ(Output(), kLookingFor +
                                QStringLiteral(" Not a port number from -32768 to 32767: \"") +
                                QString::fromLatin1(text) + QStringLiteral("\"\r\n"));
        EXPECT_EQ(Caption(), QStringLiteral("Connect"));
        EXPECT_EQ(whois::WhoisSocket, 0);
        EXPECT_EQ(platform::OpenSockets(), open);
    }
}

TEST_F(WhoisTab, PortMinusOneShowsAnEmptyPeerAndKeepsConnect) {
    form->txtPort->setText(QStringLiteral("-1"));
    Click();
    EXPECT_EQ(Output(), kLookingFor + QStringLiteral(" Connecting to: \r\n") + kPress);
    EXPECT_EQ(whois::WhoisSocket, -1);
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
}

TEST_F(WhoisTab, EmptyDomainNameSendsALineEndAlone) {
    std::string query;
    Server server(Answer("nothing\n", &query));
    form->DomainName->clear();
    ConnectTo(server);
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Caption() == QLatin1String("Connect"); }));
    EXPECT_EQ(query, "\r\n");
    EXPECT_TRUE(Output().contains(kPress + QStringLiteral("SEND: \r\nnothing\n")));
}

TEST_F(WhoisTab, HandleThatDoesNotFitIn16BitsCountsAsAFailedConnection) {
    // Every descriptor number below 32768 is taken, so the next socket gets 32768.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit before = limit;
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 33000);
    if (limit.rlim_max < 33000 || ::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        GTEST_SKIP() << "the descriptor limit cannot be raised above 32768 here";
    }
    Server server([](int fd) {
        loopback::AwaitEnd(fd);
        ::close(fd);
    });
    std::vector<int> fillers;
    for (int fd = ::fcntl(0, F_DUPFD_CLOEXEC, 0); fd >= 0 && fd < 32768;
         fd = ::fcntl(0, F_DUPFD_CLOEXEC, 0)) {
        fillers.push_back(fd);
    }
    form->txtPort->setText(server.PortText());
    Click();
    Spin(200);
    for (int fd : fillers) {
        ::close(fd);
    }
    ::setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(whois::WhoisSocket, -1);
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_EQ(::fcntl(32768, F_GETFD), -1);
}

TEST_F(WhoisTab, SocketMessagesForOtherSocketsAreDroppedAndOtherEventsPass) {
    const auto send = [&](unsigned message, std::int32_t socket, std::int32_t lParam) {
        platform::SocketMessage event(message, socket, lParam);
        return QCoreApplication::sendEvent(form.get(), &event);
    };
    whois::AppendOutput(*form, QStringLiteral("before"));
    whois::WhoisSocket = 0;
    EXPECT_TRUE(send(1025, 7, FD_CONNECT | 10061 << 16));
    EXPECT_EQ(Output(), QStringLiteral("before"));

    whois::WhoisSocket = 7;  // a handle that the program never opened
    platform::SocketMessage otherMessage(1026, 7, FD_CLOSE);
    EXPECT_FALSE(whois::NotifyWindowProc(form.get(), &otherMessage));
    send(1026, 7, FD_CLOSE);
    EXPECT_EQ(whois::WhoisSocket, 7);
    EXPECT_EQ(Output(), QStringLiteral("before"));
    EXPECT_TRUE(send(1025, 7, FD_WRITE));
    EXPECT_TRUE(send(1025, 7, FD_CONNECT | 10061 << 16));
    EXPECT_EQ(Output(), QStringLiteral("beforeError Occured: Connection refused.\r\n"));
    EXPECT_TRUE(send(1025, 7, FD_CONNECT));
    EXPECT_EQ(Caption(), QStringLiteral("Whois"));
    EXPECT_TRUE(send(1025, 7, FD_CLOSE | 10054 << 16));
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    EXPECT_TRUE(Output().endsWith(QLatin1String("\r\nConnection Closed ")));

    // Every other event takes its normal course.
    QTest::mouseClick(form->unix2dos, Qt::LeftButton);
    EXPECT_TRUE(Output().endsWith(QLatin1String("\r\r\nConnection Closed ")));
}

TEST(ReplaceAll, ReplacesEveryOccurrenceOfTheSourceOnlyLeftToRight) {
    struct Row {
        const char* source;
        const char* search;
        const char* replacement;
        const char* result;
    };
    for (const Row& row : {
             Row{"no line feed", "\n", "\r\n", "no line feed"},
             Row{"", "\n", "\r\n", ""},
             Row{"a\nb", "\n", "\r\n", "a\r\nb"},
             Row{"\n\n", "\n", "\r\n", "\r\n\r\n"},
             Row{"ends\n", "\n", "\r\n", "ends\r\n"},
             Row{"dos\r\n", "\n", "\r\n", "dos\r\r\n"},
             Row{"cr\ralone", "\n", "\r\n", "cr\ralone"},
             Row{"aaaa", "aa", "b", "bb"},
             Row{"aaa", "aa", "aaa", "aaaa"},
             Row{"Case case", "case", "X", "Case X"},
             Row{"abc", "", "X", "abc"},
             Row{"abc", "abc", "", ""},
         }) {
        EXPECT_EQ(
            whois::ReplaceAll(QString::fromLatin1(row.source), QString::fromLatin1(row.search),
                              QString::fromLatin1(row.replacement)),
            QString::fromLatin1(row.result))
            << row.source;
    }
}

TEST_F(WhoisTab, Unix2dosGivesEveryLineFeedOneMoreCarriageReturnPerClick) {
    whois::AppendOutput(*form, QStringLiteral("line one\nline two\r\nend"));
    const QString shown = Shown();
    QTest::mouseClick(form->unix2dos, Qt::LeftButton);
    EXPECT_EQ(Output(), QStringLiteral("line one\r\nline two\r\r\nend"));
    QTest::mouseClick(form->unix2dos, Qt::LeftButton);
    EXPECT_EQ(Output(), QStringLiteral("line one\r\r\nline two\r\r\r\nend"));

    // Output after a conversion keeps its own line ends until the next click.
    whois::AppendOutput(*form, QStringLiteral(" more\nlast"));
    EXPECT_EQ(Output(), QStringLiteral("line one\r\r\nline two\r\r\r\nend more\nlast"));
    QTest::mouseClick(form->unix2dos, Qt::LeftButton);
    EXPECT_EQ(Output(), QStringLiteral("line one\r\r\r\nline two\r\r\r\r\nend more\r\nlast"));
    // However many CRs stand before a line feed, the box shows one line break.
    EXPECT_EQ(shown, QStringLiteral("line one\nline two\nend"));
    EXPECT_EQ(Shown(), QStringLiteral("line one\nline two\nend more\nlast"));
    whois::AppendOutput(*form, QStringLiteral("\r"));
    whois::AppendOutput(*form, QStringLiteral("\r\nnext\rlone"));
    EXPECT_EQ(Shown(), QStringLiteral("line one\nline two\nend more\nlast\nnext\nlone"));
}

TEST_F(WhoisTab, WhatTheUserTypesIntoTheBoxIsWhatUnix2dosConverts) {
    whois::AppendOutput(*form, QStringLiteral("from the server\r\n"));
    form->txtWinsock->setFocus();
    form->txtWinsock->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->txtWinsock, QStringLiteral("typed"));
    EXPECT_EQ(Output(), QStringLiteral("from the server\ntyped"));
    QTest::mouseClick(form->unix2dos, Qt::LeftButton);
    EXPECT_EQ(Output(), QStringLiteral("from the server\r\ntyped"));
}

}  // namespace
