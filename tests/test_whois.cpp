// The "Whois" tab driven as a person drives it, against whois servers on 127.0.0.1.

#include <algorithm>

#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>

#include <fcntl.h>
#include <sys/resource.h>

#include "loopback.h"
#include "platform/winsock/asyncselect.h"
#include "whois/whois.h"
#include "window_fixture.h"

namespace {

using loopback::Server;
using loopback::WaitUntil;

const QString kLookingFor = QStringLiteral(" Looking for: 127.0.0.1\r\n");
const QString kPress = QStringLiteral(" Press the Whois button to retrieve your data \r\n");

// Reads the query, sends the reply `times` times (0: endlessly) and closes, or with `hold`,
// waits for the client to end the connection.
struct Whois {
    std::string reply;
    int times = 1;
    bool hold = false;
    std::string query = {};
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

    void Click() { QTest::mouseClick(form->cmdConnect, Qt::LeftButton); }
    QString Caption() const { return form->cmdConnect->text(); }
    bool CaptionBecomes(const char* caption) {
        return WaitUntil([&] { return Caption() == QLatin1String(caption); }, 30000);
    }
    bool OutputHas(const char* text) {
        return WaitUntil([&] { return Output().contains(QLatin1String(text)); });
    }
    // The box's text ends with the close, and the box shows its end.
    bool BoxShowsClosed() {
        whois::OutputBox* box = form->txtWinsock;
        return WaitUntil([box] {
            const QRect end = box->PositionRect(box->Text().size());
            return box->Text().endsWith(u"Closed ") && end.top() >= 0 &&
                   end.bottom() < box->viewport()->height();
        });
    }
    QString Output() const { return whois::OutputText(*form); }
    QString Shown() const { return form->txtWinsock->toPlainText(); }
    static QString Opening(const Server& server) {
        return kLookingFor + " Connecting to: 127.0.0.1:" + server.PortText() + "\r\n" + kPress;
    }
    void ConnectTo(const Server& server) {
        form->txtPort->setText(server.PortText());
        Click();
        ASSERT_TRUE(CaptionBecomes("Whois"));
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
        Click();  // still the Whois button: the query below is sent
    }
    form->DomainName->setText(QStringLiteral("ex\u00e4mple.test"));
    Click();
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_EQ(whois.query, "ex\xc3\xa4mple.test\r\n");
    const QString expected = Opening(whois.server) + notSent + notSent + notSent +
                             "SEND: ex\u00e4mple.test\r\n" + QString::fromStdString(whois.reply) +
                             "Connection Closed ";
    EXPECT_EQ(Output(), expected);
    EXPECT_EQ(platform::OpenSockets(), open);
    // One break per line end, markup as plain text; the box shows the end, the cursor behind it.
    ASSERT_TRUE(BoxShowsClosed());
    EXPECT_EQ(Shown(), QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(form->txtWinsock->CursorPosition(), Output().size());
    const QScrollBar* bar = form->txtWinsock->verticalScrollBar();
    const int top = bar->value();
    EXPECT_TRUE(bar->maximum() > 250 && top == bar->maximum());
    // unix2dos leaves the lines on screen and a second window's text alone; a copy takes the
    // exact text, and what the user types replaces it.
    frmWinsock other;
    other.WhoisClient->AppendOutput(QStringLiteral("other\n"));
    other.unix2dos->click();
    form->unix2dos->click();
    EXPECT_EQ(Output(), QString(expected).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    EXPECT_EQ(whois::OutputText(other), QStringLiteral("other\r\n"));
    EXPECT_EQ(std::pair(bar->value(), form->txtWinsock->CursorPosition()),
              std::pair(top, Output().size()));
    form->txtWinsock->selectAll();
    QTest::keySequence(form->txtWinsock, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), Output());
    QTest::keyClicks(form->txtWinsock, QStringLiteral("!"));
    EXPECT_EQ(Output(), QStringLiteral("!"));
}

TEST_F(WhoisTab, FailuresShowTheirLineAndTheNextAttemptClosesTheFailedSocket) {
    const int open = platform::OpenSockets();
    for (const QString& text : {QString(), QStringLiteral("32768"), QStringLiteral("-32769"),
                                QStringLiteral("4 3"), QStringLiteral("43") + QChar(0) + "x"}) {
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
    // A server that is not found says so; a NUL would have cut the name short.
    form->txtPort->setText(QStringLiteral("43"));
    for (const QString& server : {QStringLiteral("no..such.host.invalid"),
                                  QStringLiteral("127.0.0.1") + QChar(0) + "evil.test"}) {
        form->txtServer->setText(server);
        Click();
        EXPECT_EQ(Output(), " Looking for: " + server + "\r\n Connecting to: \r\n" + kPress +
                                "Error Occured: Host not found.\r\n");
        EXPECT_EQ(whois::WhoisSocket, -1);
        EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    }
    form->txtServer->setText(QStringLiteral("127.0.0.1"));
    const Server closed(nullptr);  // refuses every connection
    form->txtPort->setText(closed.PortText());
    Click();
    ASSERT_TRUE(OutputHas("Error Occured"));
    EXPECT_EQ(Output(), Opening(closed) + "Error Occured: Connection refused.\r\n");
    EXPECT_EQ(Caption(), QStringLiteral("Connect"));
    // Linux would connect 0.0.0.0 to this host; the user asked for no such host.
    form->txtServer->setText(QStringLiteral("0.0.0.0"));
    Click();
    ASSERT_TRUE(OutputHas("Error Occured"));
    EXPECT_TRUE(Output().endsWith(kPress + "Error Occured: Can't assign requested address.\r\n"));
    EXPECT_EQ(platform::OpenSockets(), open + 1);  // this one; the refused one is closed

    // A socket whose number does not fit the 16-bit handle is closed, not kept under another.
    // Every lower number is taken first, the failed socket's too: an attempt closes it before
    // it opens the next. Root raises its hard limit of open files for this where it may.
    form->txtPort->setText(QString());
    Click();
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit raised{40000, std::max<rlim_t>(limit.rlim_max, 40000)};
    if (::setrlimit(RLIMIT_NOFILE, &raised) != 0) {
        GTEST_SKIP() << "cannot raise the limit of open files (CAP_SYS_RESOURCE): "
                     << std::strerror(errno);
    }
    std::vector<int> taken;  // every number below 32768
    for (int fd = 0; fd < 32767 && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
        taken.push_back(fd);
    }
    form->txtServer->setText(QStringLiteral("127.0.0.1"));
    form->txtPort->setText(closed.PortText());
    Click();
    std::ranges::for_each(taken, ::close);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_TRUE(Output() == Opening(closed) && whois::WhoisSocket == -1);
    EXPECT_EQ(platform::OpenSockets(), open);
}

TEST_F(WhoisTab, DisconnectAndClosingTheWindowResetTheConnection) {
    Whois whois{"the first part of a reply", 1, true};
    for (const bool closeWindow : {false, true}) {
        whois.ended = whois.reset = false;
        ASSERT_NO_FATAL_FAILURE(ConnectTo(whois.server));
        Click();
        ASSERT_TRUE(OutputHas("a reply"));
        closeWindow ? void(form->close()) : Click();
        ASSERT_TRUE(WaitUntil([&] { return whois.ended.load(); }, 5000, false));
        EXPECT_TRUE(whois.reset);
        EXPECT_TRUE(closeWindow ||
                    Output().endsWith("a reply*** Socket Closed (Disconnect Button)"));
    }
    EXPECT_EQ(whois::WhoisSocket, 0);
}

TEST_F(WhoisTab, NotificationsOfTheWhoisSocketAreTakenOthersAreDroppedOrPassed) {
    const auto send = [&](std::int32_t socket, std::int32_t lParam) {
        platform::SocketMessage event(1025, socket, lParam);
        return QCoreApplication::sendEvent(form.get(), &event);
    };
    whois::Client& client = *form->WhoisClient;
    client.SetOutputText(QStringLiteral("before"));  // the cursor at its start
    EXPECT_TRUE(send(7, FD_CONNECT | 10061 << 16));  // no socket held: dropped
    whois::WhoisSocket = 7;                          // a handle the program never opened
    platform::SocketMessage otherMessage(1026, 7, FD_CLOSE);
    EXPECT_FALSE(whois::NotifyWindowProc(form.get(), &otherMessage));
    // Another socket's close is dropped; recv fails on a socket that is not open: nothing read.
    EXPECT_TRUE(send(8, FD_CLOSE) && send(7, FD_WRITE) && send(7, FD_READ));
    EXPECT_EQ(Output(), QStringLiteral("before"));
    EXPECT_EQ(client.ReplyBytes(), 0);
    // A reset closes as any close does: an unfinished character shows, an override as a mark.
    client.AppendOutput(QStringLiteral("half a line\u202e"));
    EXPECT_EQ(client.DecodeReply("\xe2\x82"), QString());
    EXPECT_TRUE(send(7, FD_CLOSE | 10054 << 16));
    EXPECT_EQ(whois::WhoisSocket, 0);
    EXPECT_TRUE(Output().endsWith(u"half a line\u202e\u00e2\u201aConnection Closed "));
    client.CatchUp();
    EXPECT_TRUE(Shown().endsWith(u"half a line\u25af\u00e2\u201aConnection Closed "));
}

// The keys and the mouse move over a line end whole, and every edit and copy is of the exact
// text, CRs and all.
TEST_F(WhoisTab, KeysAndMouseEditAndSelectTheExactText) {
    whois::OutputBox* box = form->txtWinsock;
    form->WhoisClient->SetOutputText(QStringLiteral("ab\r\r\ncd\r\nef"));
    const auto copy = [&] {
        QTest::keySequence(box, QKeySequence::Copy);
        return QApplication::clipboard()->text();
    };
    const auto keys = [&](std::initializer_list<QKeyCombination> combinations) {
        for (const QKeyCombination key : combinations) {
            QTest::keyClick(box, key.key(), key.keyboardModifiers());
        }
    };
    keys({Qt::Key_Right, Qt::ShiftModifier | Qt::Key_Right, Qt::ShiftModifier | Qt::Key_Right});
    EXPECT_EQ(copy(), QStringLiteral("b\r\r\n"));
    keys({Qt::Key_End, Qt::Key_Down, Qt::Key_Backspace});  // "f" goes
    EXPECT_EQ(Output(), QStringLiteral("ab\r\r\ncd\r\ne"));
    keys({Qt::Key_Home, Qt::Key_Backspace});  // the line end before "e" goes, whole
    EXPECT_EQ(Output(), QStringLiteral("ab\r\r\ncde"));
    keys({Qt::Key_Left, Qt::Key_Return});
    QTest::keyClicks(box, QStringLiteral("Z"));
    EXPECT_EQ(Output(), QStringLiteral("ab\r\r\nc\nZde"));
    keys({Qt::Key_Up, Qt::ShiftModifier | Qt::Key_Left});
    EXPECT_EQ(box->SelectedText(), QStringLiteral("c"));
    for (int i = 0; i < 3; ++i) {
        QTest::keySequence(box, QKeySequence::Undo);
    }
    EXPECT_EQ(Output(), QStringLiteral("ab\r\r\ncd\r\ne"));
    QTest::keySequence(box, QKeySequence::Redo);
    EXPECT_EQ(Output(), QStringLiteral("ab\r\r\ncde"));
    // Cut and paste carry the exact text; Delete takes the character behind the caret.
    keys({Qt::ControlModifier | Qt::Key_Home,
          Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_End});
    QTest::keySequence(box, QKeySequence::Cut);
    EXPECT_EQ(Output(), QString());
    QTest::keySequence(box, QKeySequence::Paste);
    keys({Qt::ControlModifier | Qt::Key_Home, Qt::Key_Delete, Qt::ControlModifier | Qt::Key_Right});
    EXPECT_EQ(std::pair(Output(), box->CursorPosition()),
              std::pair(QStringLiteral("b\r\r\ncde"), qsizetype(1)));

    // End on a wrapped row stops before the blank at which the row wraps.
    form->WhoisClient->SetOutputText(QStringLiteral("word ").repeated(40));
    keys({Qt::Key_End});
    EXPECT_TRUE(Output()[box->CursorPosition()] == u' ' &&
                box->PositionRect(box->CursorPosition()).top() == box->PositionRect(0).top())
        << box->CursorPosition();

    // A click puts the caret where it points, a shift-click selects to there, a double click
    // selects a word.
    form->WhoisClient->SetOutputText(QStringLiteral("one two\r\nthree"));
    const auto at = [&](qsizetype position) { return box->PositionRect(position).center(); };
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at(4));
    EXPECT_EQ(box->CursorPosition(), 4);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(12));
    EXPECT_EQ(copy(), QStringLiteral("two\r\nthr"));
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at(11));
    EXPECT_EQ(copy(), QStringLiteral("three"));
    // Dragging selects; what is selected is painted so.
    QTest::mousePress(box->viewport(), Qt::LeftButton, {}, at(0));
    QMouseEvent drag(QEvent::MouseMove, at(6), box->viewport()->mapToGlobal(at(6)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &drag);
    QTest::mouseRelease(box->viewport(), Qt::LeftButton, {}, at(6));
    EXPECT_EQ(box->SelectedText(), QStringLiteral("one tw"));
    const QImage painted = box->viewport()->grab().toImage();
    const QPoint rowTop(0, box->PositionRect(0).top() + 1 - at(0).y());  // above the glyphs
    EXPECT_EQ(painted.pixelColor(at(2) + rowTop), box->palette().color(QPalette::Highlight));
    EXPECT_EQ(painted.pixelColor(at(14) + rowTop), box->palette().color(QPalette::Base));
    // Text dropped on the box goes where it is dropped.
    QMimeData dropped;
    dropped.setText(QStringLiteral("[x]"));
    QDragEnterEvent enter(at(3), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(at(3), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &enter);
    QApplication::sendEvent(box->viewport(), &drop);
    EXPECT_EQ(Output(), QStringLiteral("one[x] two\r\nthree"));

    // The caret is drawn while the box has the focus.
    form->WhoisClient->SetOutputText(QString());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto caret = [&] {
        return box->viewport()->grab().toImage().pixelColor(box->PositionRect(0).center());
    };
    box->setFocus();
    EXPECT_EQ(caret(), box->palette().color(QPalette::Text));
    box->clearFocus();
    EXPECT_EQ(caret(), box->palette().color(QPalette::Base));
}

// The standard context menu, an input method, a screen reader and the wheel reach the box.
TEST_F(WhoisTab, ContextMenuInputMethodScreenReaderAndWheelWork) {
    whois::OutputBox* box = form->txtWinsock;
    whois::Client& client = *form->WhoisClient;
    client.SetOutputText(QStringLiteral("first\r\nsecond"));
    QContextMenuEvent ask(QContextMenuEvent::Mouse, QPoint(5, 5),
                          box->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box->viewport(), &ask);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (const QAction* action : menu->actions()) {
        items << action->text() + (action->isEnabled() ? "" : " (off)");
    }
    EXPECT_EQ(items,
              QStringList({"&Undo (off)", "&Redo (off)", "", "Cu&t (off)", "&Copy (off)",
                           QApplication::clipboard()->text().isEmpty() ? "&Paste (off)" : "&Paste",
                           "Delete (off)", "", "Select All"}));
    menu->actions().last()->trigger();
    menu->close();
    EXPECT_EQ(box->SelectedText(), Output());

    QInputMethodEvent composed(QStringLiteral("u"), {});
    QApplication::sendEvent(box, &composed);
    QInputMethodEvent committed;
    committed.setCommitString(QStringLiteral("\u00fc"));
    QApplication::sendEvent(box, &committed);
    EXPECT_EQ(Output(), QStringLiteral("\u00fc"));
    EXPECT_EQ(std::tuple(box->inputMethodQuery(Qt::ImCursorPosition),
                         box->inputMethodQuery(Qt::ImSurroundingText),
                         box->inputMethodQuery(Qt::ImCursorRectangle)),
              std::tuple(1, QStringLiteral("\u00fc"), box->PositionRect(1)));

    // A screen reader reads and edits the exact text and finds its characters on screen.
    client.SetOutputText(QStringLiteral("first"));
    client.AppendOutput(QStringLiteral("\r\nsecond"));
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(box);
    ASSERT_TRUE(reader->textInterface() != nullptr && reader->editableTextInterface() != nullptr);
    EXPECT_TRUE(reader->role() == QAccessible::EditableText && reader->state().multiLine);
    QAccessibleTextInterface* text = reader->textInterface();
    EXPECT_EQ(text->text(0, 7), QStringLiteral("first\r\n"));
    EXPECT_EQ(text->offsetAtPoint(text->characterRect(9).center()), 9);
    text->setSelection(0, 7, 10);
    EXPECT_EQ(box->SelectedText(), QStringLiteral("sec"));
    int from = 0, to = 0;
    text->selection(0, &from, &to);
    EXPECT_EQ(std::tuple(from, to, text->selectionCount(), text->cursorPosition()),
              std::tuple(7, 10, 1, 10));
    text->removeSelection(0);
    reader->editableTextInterface()->insertText(0, QStringLiteral(">"));
    EXPECT_EQ(std::pair(text->selectionCount(), Output()),
              std::pair(0, QStringLiteral(">first\r\nsecond")));
    reader->editableTextInterface()->deleteText(0, 1);
    reader->editableTextInterface()->replaceText(5, 7, QStringLiteral(" "));
    EXPECT_EQ(std::pair(Output(), text->characterCount()),
              std::pair(QStringLiteral("first second"), 12));

    // The wheel scrolls three lines a notch; what is added brings the end back.
    client.SetOutputText(QString());
    for (int line = 0; line < 100; ++line) {
        client.AppendOutput(QStringLiteral("line %1\r\n").arg(line));
    }
    client.CatchUp();
    QScrollBar* bar = box->verticalScrollBar();
    const int end = bar->value();
    QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(box->viewport(), &wheel);
    EXPECT_EQ(std::pair(end, bar->value()), std::pair(bar->maximum(), end - 3));
    client.AppendOutput(QStringLiteral("more"));
    client.CatchUp();
    EXPECT_EQ(bar->value(), bar->maximum());
    // Page Down turns a page, caret and lines on screen alike.
    QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_PageDown);
    const int page = bar->pageStep();
    EXPECT_EQ(std::pair(bar->value(), box->CursorPosition()),
              std::pair(page, Output().indexOf(QStringLiteral("line %1\r").arg(page))));
    QTest::keyClick(box, Qt::Key_PageUp);
    EXPECT_EQ(std::pair(bar->value(), box->CursorPosition()), std::pair(0, qsizetype(0)));
    // A larger font fits fewer lines.
    QFont larger = box->font();
    larger.setPointSize(larger.pointSize() * 2);
    box->setFont(larger);
    EXPECT_LT(bar->pageStep(), page);
}

// How fast the box takes these is bench_whois's to measure; here they must simply arrive whole.
TEST_F(WhoisTab, LongLineArrivesDisconnectActsDuringAFloodAndTheBoundCutsAnEndlessReply) {
    Whois line{std::string(2 << 20, 'x')};  // 2 MiB in one line
    ConnectTo(line.server);
    Click();
    EXPECT_TRUE(BoxShowsClosed());
    EXPECT_TRUE(Output().endsWith("SEND: example.test\r\n" + QString(2 << 20, u'x') +
                                  "Connection Closed "));

    const int open = platform::OpenSockets();
    Whois endless{"0123456789abcdef", 0};
    ASSERT_NO_FATAL_FAILURE(ConnectTo(endless.server));
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Output().size() > 1 << 18; }));
    QTimer::singleShot(0, form.get(), [&] { Click(); });
    ASSERT_TRUE(CaptionBecomes("Connect"));

    // The box's memory bounds what an exchange may add too: 8 MiB of bare line feeds, which
    // cost it most, are taken whole, and then the box, not the reply limit, leaves less room.
    whois::Client& client = *form->WhoisClient;
    client.StartReply();
    ASSERT_GE(client.ReplyRoom(), 8 << 20);
    client.AppendOutput(QString(8 << 20, u'\n'));
    client.SetReplyLimit(whois::Client::kBoxLimit);
    EXPECT_TRUE(client.ReplyRoom() > 8 << 20 &&
                client.ReplyRoom() < whois::Client::kBoxLimit - (8 << 20));
    client.SetOutputText(QString());

    client.SetReplyLimit(1 << 20);  // (the same code cuts at any size)
    ASSERT_NO_FATAL_FAILURE(ConnectTo(endless.server));
    const QString before = Output() + "SEND: example.test\r\n";
    Click();
    ASSERT_TRUE(CaptionBecomes("Connect"));
    EXPECT_TRUE(Output() == before + QString(QStringLiteral("0123456789abcdef")).repeated(1 << 16) +
                                "\r\n*** Socket Closed (reply cut after 1048576 bytes)");
    EXPECT_EQ(platform::OpenSockets(), open);
    rusage usage{};  // the peak resident size, VmHWM of /proc/self/status, in KiB
    ASSERT_EQ(::getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 1536 * 1024);
}

}  // namespace
