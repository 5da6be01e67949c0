// The whois reply from the click on "Whois" until its end is painted on the screen, for
// Norvane and for two floors fed the same bytes by the same server over a TCP connection on
// 127.0.0.1, measured in turn (A B C A B C):
//
// - Norvane: the window, loaded and shown on the Whois tab, connected (untimed), then the click
//   on "Whois" until a paint of txtWinsock shows the last line of the exchange (the one after
//   the reply, "Connection Closed " or the note that the reply was cut) with the end of the
//   text inside the box; also, from the same runs, the time until the close was handled
//   (the reply read and held; the box catches up meanwhile and after);
// - the plain box: a QPlainTextEdit of txtWinsock's size, font and scroll bars in a window of
//   its own, on a non-blocking socket watched by a QSocketNotifier; from sending the query,
//   every read (16,384 bytes at most, as the program reads) is decoded with the locale's
//   decoder and inserted at the end; at the close it adds "Connection Closed "; it stops at
//   the paint that shows the end, checked as for Norvane;
// - the lower bound: the same socket and reads, but it keeps the decoded reply in one string
//   and, at each paint, lays out and draws only the lines that fit in a widget the size of
//   the box's inside, found by looking back from the end of the text. It paints at most once
//   a frame (16 ms) while the reply comes in, and at once when it ends. No document, no line
//   count, no scroll bar: what any box must at least do to show the reply and its end. It
//   stops at the first paint after the close, which draws the last line by construction
//   (checked).
//
// Replies are lines of 38 bytes (whois-like text) of 1, 8 and 64 MiB, and 8 MiB of bare line
// feeds. Printed per case: the median, least and greatest time in milliseconds of each, the
// ratios of the medians and, after "rounds", the median of each round's ratio; and from up to
// three more runs of Norvane, untimed, the longest time between two passes of its event loop.
// Last, the output box's memory for 8 MiB, beside what the reply bound counts for it. Then
// ReplaceAll and the unix2dos click beside their floors.
//
// usage: bench_whois [ROUNDS]   (ROUNDS, or NORVANE_BENCH_ROUNDS, rounds of every case;
// by default 15, 9, 2 and 1 from the smallest case up, and 9 for the line ends; about a
// minute on an idle machine, most of it the plain box's 64 MiB and bare line feeds)

#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include "app/frmwinsock.h"
#include "tests/loopback.h"
#include "whois/whois.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr qsizetype kMiB = 1024 * 1024;
constexpr std::size_t kReadSize = 16384;
const QString kClosed = QStringLiteral("Connection Closed ");

double Milliseconds(Clock::duration time) {
    return std::chrono::duration<double, std::milli>(time).count();
}

struct Spread {
    std::vector<double> runs;
    double Median() const {
        std::vector<double> sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Min() const { return *std::min_element(runs.begin(), runs.end()); }
    double Max() const { return *std::max_element(runs.begin(), runs.end()); }
};

// The median of each round's ratio: the two runs of a round see about the same machine.
double RoundRatio(const Spread& a, const Spread& b) {
    Spread ratios;
    for (std::size_t i = 0; i < a.runs.size(); ++i) {
        ratios.runs.push_back(a.runs[i] / b.runs[i]);
    }
    return ratios.Median();
}

void PrintRow(const char* name, const Spread& spread) {
    std::printf("  %-34s %10.2f   [%.2f-%.2f]\n", name, spread.Median(), spread.Min(),
                spread.Max());
}

// Whois-like text: lines of 38 bytes ending in LF, or nothing but LFs.
std::string Reply(qsizetype bytes, bool bareLineFeeds) {
    if (bareLineFeeds) {
        return std::string(static_cast<std::size_t>(bytes), '\n');
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(bytes) + 64);
    for (int line = 0; static_cast<qsizetype>(text.size()) < bytes; ++line) {
        std::string row = "Name Server: NS" + std::to_string(line) + ".REGISTRY.TEST ";
        row.resize(37, '-');
        text += row + '\n';
    }
    text.resize(static_cast<std::size_t>(bytes));
    return text;
}

// Runs the event loop until `done`; false after two minutes. It sleeps while there is nothing
// to do, leaving the processor to the server that writes the reply.
bool RunEventsUntil(const std::function<bool()>& done) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(std::chrono::minutes(2));
    while (!done() && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

void Show(QWidget& window) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "a window was never shown\n");
        std::exit(1);
    }
}

// What follows the last line end of `text`.
QStringView LastLine(QStringView text) {
    qsizetype at = text.size();
    while (at > 0 && text[at - 1] != u'\n' && text[at - 1] != u'\r' &&
           text[at - 1] != QChar::LineSeparator && text[at - 1] != QChar::ParagraphSeparator) {
        --at;
    }
    return text.mid(at);
}

// Watches the paints of a text box; `shown` once a paint begins with the box's last line
// ending in the final line (given by `finalLine`, null until the exchange is over) and the end
// of its text inside the box.
class EndWatch : public QObject {
public:
    // `endShown` tells whether the box's text ends in the line and its end is inside the box.
    EndWatch(QAbstractScrollArea* box, std::function<QString()> finalLine,
             std::function<bool(const QString&)> endShown)
        : box_(box), finalLine_(std::move(finalLine)), endShown_(std::move(endShown)) {
        box_->viewport()->installEventFilter(this);
    }
    bool shown = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (shown || event->type() != QEvent::Paint) {
            return false;
        }
        const QString last = finalLine_();
        shown = !last.isNull() && endShown_(last);
        return false;
    }

private:
    QAbstractScrollArea* box_;
    std::function<QString()> finalLine_;
    std::function<bool(const QString&)> endShown_;
};

bool InsideBox(const QAbstractScrollArea* box, QRect place) {
    return place.top() >= 0 && place.bottom() < box->viewport()->height();
}

// Norvane, click on "Whois" to the end painted.
class Program {
public:
    explicit Program(const loopback::Server& server) {
        if (!form_.Load()) {
            std::exit(1);
        }
        form_.SSTab1->setCurrentIndex(3);
        form_.txtServer->setText(QStringLiteral("127.0.0.1"));
        form_.txtPort->setText(server.PortText());
        Show(form_);
    }
    ~Program() { form_.Unload(); }
    whois::OutputBox* Box() const { return form_.txtWinsock; }

    // With `probeGaps`, a timer that fires at every pass of the event loop measures the longest
    // time between two passes meanwhile (the run's time then counts the probe's work too).
    double Run(qsizetype bytes, bool probeGaps = false) {
        QTimer probe;
        QElapsedTimer sincePass;
        double longest = 0;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            longest = std::max(longest, sincePass.nsecsElapsed() / 1e6);
            sincePass.start();
        });
        form_.cmdConnect->click();
        RunEventsUntil([this] { return form_.cmdConnect->text() == QLatin1String("Whois"); });
        whois::OutputBox* box = form_.txtWinsock;
        EndWatch watch(
            box,
            [this] {
                return form_.cmdConnect->text() == QLatin1String("Connect")
                           ? LastLine(whois::OutputText(form_)).toString()
                           : QString();
            },
            [box](const QString& last) {
                return box->Text().endsWith(last) &&
                       InsideBox(box, box->PositionRect(box->Text().size()));
            });
        const auto start = Clock::now();
        if (probeGaps) {
            sincePass.start();
            probe.start(0);
        }
        form_.cmdConnect->click();
        std::optional<Clock::time_point> closed;
        if (!RunEventsUntil([&] {
                if (!closed && form_.cmdConnect->text() == QLatin1String("Connect")) {
                    closed = Clock::now();
                }
                return watch.shown;
            })) {
            std::fprintf(stderr, "Norvane never showed the end of the reply\n");
        }
        const double time = Milliseconds(Clock::now() - start);
        if (probeGaps) {
            longestGap.runs.push_back(longest);
            return time;
        }
        untilClosed.runs.push_back(Milliseconds(closed.value_or(Clock::now()) - start));
        const QString text = whois::OutputText(form_);
        if (!text.endsWith(kClosed)) {
            note = LastLine(text).toString();
        } else if (text.size() < bytes) {
            note = QStringLiteral("the reply did not arrive whole");
        }
        return time;
    }
    QString note;  // how the last exchange ended, when not with the whole reply
    // Until the close was handled: the reply read, decoded and held, the box not yet caught up
    // (seen between two passes of the event loop).
    Spread untilClosed;
    Spread longestGap;  // between two passes of the event loop, in the probed runs

private:
    frmWinsock form_;
};

// The floors' side of the exchange: a non-blocking TCP socket on 127.0.0.1, read as the
// program reads, decoded with the locale's decoder.
class BareExchange : public QObject {
public:
    BareExchange(std::uint16_t port, std::function<void(const QString&)> take,
                 std::function<void()> closed)
        : take_(std::move(take)), closed_(std::move(closed)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~BareExchange() override {
        notifier_.reset();
        ::close(fd_);
    }

    void Send(const QString& query) {
        const QByteArray bytes = query.toLocal8Bit();
        ::send(fd_, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Read(); });
    }
    qsizetype bytes = 0;

private:
    void Read() {
        char buffer[kReadSize];
        const ssize_t received = ::recv(fd_, buffer, sizeof buffer, 0);
        if (received > 0) {
            bytes += received;
            take_(decoder_.decode(QByteArrayView(buffer, received)));
            return;
        }
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        notifier_->setEnabled(false);
        closed_();
    }

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QStringDecoder decoder_{QStringConverter::System};
    std::function<void(const QString&)> take_;
    std::function<void()> closed_;
};

// The plain box: every read inserted at the end of a QPlainTextEdit.
double PlainBox(const loopback::Server& server, QSize size, const QFont& font, qsizetype bytes) {
    QWidget window;
    window.setFont(font);
    auto* box = new QPlainTextEdit(&window);
    box->resize(size);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    window.resize(size);
    Show(window);
    QString tail;  // the reply's text after its last line end
    bool closed = false;
    BareExchange exchange(
        server.Port(),
        [&](const QString& text) {
            box->moveCursor(QTextCursor::End);
            box->insertPlainText(text);
            const qsizetype lineEnd = text.lastIndexOf(QLatin1Char('\n'));
            tail = lineEnd < 0 ? tail + text : text.mid(lineEnd + 1);
        },
        [&] {
            box->moveCursor(QTextCursor::End);
            box->insertPlainText(kClosed);
            closed = true;
        });
    EndWatch watch(
        box, [&] { return closed ? tail + kClosed : QString(); },
        [box](const QString& last) {
            if (!box->document()->lastBlock().text().endsWith(last)) {
                return false;
            }
            QTextCursor end(box->document());
            end.movePosition(QTextCursor::End);
            return InsideBox(box, box->cursorRect(end));
        });
    const auto start = Clock::now();
    exchange.Send(QStringLiteral("debian.net\r\n"));
    if (!RunEventsUntil([&watch] { return watch.shown; })) {
        std::fprintf(stderr, "the plain box never showed the end of the reply\n");
    }
    const double time = Milliseconds(Clock::now() - start);
    if (exchange.bytes != bytes) {
        std::fprintf(stderr, "the plain box got %lld of %lld bytes\n",
                     static_cast<long long>(exchange.bytes), static_cast<long long>(bytes));
    }
    return time;
}

// The lower bound: the decoded reply in one string, and only the lines on screen laid out.
// Like a screen, it shows the text at most once a frame, and the end at once.
class LastLines : public QWidget {
public:
    LastLines() {
        frame_.setSingleShot(true);
        connect(&frame_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    }
    void Append(const QString& text) {
        text_ += text;
        if (!frame_.isActive()) {
            frame_.start(16);
        }
    }
    void Close() {
        text_ += kClosed;
        closed_ = true;
        frame_.stop();
        update();
    }
    bool endPainted = false;
    QString lastDrawn;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().base());
        painter.setPen(palette().text().color());
        const double spacing = QFontMetricsF(font()).lineSpacing();
        double y = height();
        for (qsizetype end = text_.size(); y > 0; end -= 1) {
            const qsizetype start =
                end == 0 ? 0 : text_.lastIndexOf(QLatin1Char('\n'), end - 1) + 1;
            QTextLayout layout(text_.mid(start, end - start), font());
            layout.beginLayout();
            QTextLine line = layout.createLine();
            line.setLineWidth(width());
            layout.endLayout();
            y -= spacing;
            layout.draw(&painter, QPointF(4, y));
            if (end == text_.size()) {
                lastDrawn = layout.text();
            }
            end = start;
            if (start == 0) {
                break;
            }
        }
        endPainted = closed_;
    }

private:
    QString text_;
    bool closed_ = false;
    QTimer frame_;
};

double LowerBound(const loopback::Server& server, QSize size, const QFont& font, qsizetype bytes) {
    LastLines window;
    window.setFont(font);
    window.resize(size);
    Show(window);
    QString tail;
    BareExchange exchange(
        server.Port(),
        [&](const QString& text) {
            window.Append(text);
            const qsizetype lineEnd = text.lastIndexOf(QLatin1Char('\n'));
            tail = lineEnd < 0 ? tail + text : text.mid(lineEnd + 1);
        },
        [&] { window.Close(); });
    const auto start = Clock::now();
    exchange.Send(QStringLiteral("debian.net\r\n"));
    if (!RunEventsUntil([&window] { return window.endPainted; })) {
        std::fprintf(stderr, "the lower bound never painted the end\n");
    }
    const double time = Milliseconds(Clock::now() - start);
    if (exchange.bytes != bytes || window.lastDrawn != tail + kClosed) {
        std::fprintf(stderr, "the lower bound did not draw the whole reply's last line\n");
    }
    return time;
}

void ReplyCase(const char* name, qsizetype bytes, bool bareLineFeeds, int rounds) {
    const std::string reply = Reply(bytes, bareLineFeeds);
    loopback::Server server([&reply](int fd) {
        // However long a reader takes over one read, the server waits for it.
        const timeval noLimit{0, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &noLimit, sizeof noLimit);
        loopback::ReadLine(fd);
        loopback::WriteAll(fd, reply);
        ::close(fd);
    });
    Program program(server);
    const QSize size = program.Box()->size();
    const QSize inside = program.Box()->viewport()->size();
    const QFont font = program.Box()->font();
    Spread ours, plain, bound;
    for (int i = 0; i < rounds; ++i) {
        ours.runs.push_back(program.Run(bytes));
        plain.runs.push_back(PlainBox(server, size, font, bytes));
        bound.runs.push_back(LowerBound(server, inside, font, bytes));
    }
    for (int i = 0; i < std::min(rounds, 3); ++i) {
        program.Run(bytes, true);
    }
    std::printf("%s, %d rounds (ms)\n", name, rounds);
    PrintRow("Norvane", ours);
    PrintRow("  of which until the close", program.untilClosed);
    PrintRow("  longest between loop passes", program.longestGap);
    PrintRow("floor: plain box", plain);
    PrintRow("lower bound: last lines only", bound);
    std::printf(
        "  Norvane / plain box %.2f (rounds %.2f), Norvane / lower bound %.2f (rounds %.2f)\n",
        ours.Median() / plain.Median(), RoundRatio(ours, plain), ours.Median() / bound.Median(),
        RoundRatio(ours, bound));
    if (!program.note.isEmpty()) {
        std::printf("  Norvane's output ended with: %s\n", qPrintable(program.note));
    }
    std::fflush(stdout);
}

// The heap in use, in bytes.
qsizetype HeapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return qsizetype(info.uordblks + info.hblkhd);
}

// What the output box takes of the heap for 8 MiB of text read in 16 KiB pieces, per character
// and per line, beside what the reply bound counts for it.
void MemoryCases() {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {{"38-byte lines", Reply(8 * kMiB, false)},
                          {"bare line feeds", Reply(8 * kMiB, true)},
                          {"one long line, broken", std::string(8 * kMiB, 'x')}};
    std::printf("the box's memory for 8 MiB read in 16 KiB pieces (heap in use, MiB)\n");
    for (const Case& c : cases) {
        whois::OutputBox box;
        box.resize(365, 125);
        const qsizetype before = HeapInUse();
        for (std::size_t at = 0; at < c.text.size(); at += kReadSize) {
            box.Append(QString::fromLatin1(c.text.substr(at, kReadSize)));
        }
        const qsizetype heap = HeapInUse() - before;
        const qsizetype counted = box.Text().size() * whois::Client::kBoxBytesPerCharacter +
                                  box.Lines() * whois::Client::kBoxBytesPerLine;
        std::printf(
            "  %-22s heap %6.1f, box's own count %6.1f, bound's estimate %6.1f "
            "(%.2f x heap); %.2f bytes a character, %lld lines\n",
            c.name, double(heap) / kMiB, double(box.MemoryNeeded()) / kMiB, double(counted) / kMiB,
            double(counted) / double(heap), double(heap) / double(box.Text().size()),
            static_cast<long long>(box.Lines()));
    }
    std::fflush(stdout);
}

// LF to CR LF in one pass: count, size the result once, write through a pointer.
QString LinearLfToCrLf(const QString& text) {
    const qsizetype lineFeeds = text.count(QLatin1Char('\n'));
    QString result(text.size() + lineFeeds, Qt::Uninitialized);
    QChar* out = result.data();
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            *out++ = QLatin1Char('\r');
        }
        *out++ = c;
    }
    return result;
}

template <typename Work>
double Time(Work work) {
    const auto start = Clock::now();
    work();
    return Milliseconds(Clock::now() - start);
}

// ReplaceAll against the one-pass conversion, and the unix2dos click against ReplaceAll
// alone, at 8 MiB of 38-byte lines.
void LineEndCases(int rounds) {
    const QString text = QString::fromStdString(Reply(8 * kMiB, false));
    const QString lf = QStringLiteral("\n"), crLf = QStringLiteral("\r\n");
    frmWinsock form;
    if (!form.Load()) {
        std::exit(1);
    }
    form.show();
    whois::Client& client = *form.WhoisClient;
    client.SetOutputText(text);
    QCoreApplication::processEvents();
    Spread replaceAll, linear, click;
    QString result;
    for (int i = 0; i < rounds; ++i) {
        replaceAll.runs.push_back(Time([&] { result = whois::ReplaceAll(text, lf, crLf); }));
        linear.runs.push_back(Time([&] { result = LinearLfToCrLf(text); }));
        client.SetExactText(text);
        click.runs.push_back(Time([&] {
            form.unix2dos->click();
            QCoreApplication::processEvents();
        }));
    }
    std::printf("line ends at 8 MiB, %d rounds (ms)\n", rounds);
    PrintRow("ReplaceAll LF to CR LF", replaceAll);
    PrintRow("floor: one pass, sized once", linear);
    PrintRow("unix2dos click", click);
    std::printf("  ReplaceAll / one pass %.2f, unix2dos click / ReplaceAll %.2f\n",
                replaceAll.Median() / linear.Median(), click.Median() / replaceAll.Median());
    form.Unload();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const char* asked = argc > 1 ? argv[1] : std::getenv("NORVANE_BENCH_ROUNDS");
    const int rounds = asked != nullptr ? std::max(1, std::atoi(asked)) : 0;
    auto roundsOr = [rounds](int fallback) { return rounds > 0 ? rounds : fallback; };

    std::printf("whois reply, click on \"Whois\" to its end painted, in turn A B C\n");
    ReplyCase("1 MiB of 38-byte lines", kMiB, false, roundsOr(15));
    ReplyCase("8 MiB of 38-byte lines", 8 * kMiB, false, roundsOr(9));
    ReplyCase("64 MiB of 38-byte lines", 64 * kMiB, false, roundsOr(2));
    ReplyCase("8 MiB of bare line feeds", 8 * kMiB, true, roundsOr(1));
    LineEndCases(roundsOr(9));
    MemoryCases();
    return 0;
}
