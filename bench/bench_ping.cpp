// One echo to 127.0.0.1 inside the running program, beside a bare datagram ICMP echo, each pair
// measured in turn (A B A B) from the application's event loop, with the window shown:
//
// - SendEcho, as the Ping IP click calls it, against a bare echo: open a datagram ICMP socket,
//   send one 9-byte "Echo This", wait at most 200 ms for the reply, read it, close;
// - the Ping IP click until its report is painted in `results`, against the same bare echo
//   with the four octet boxes read and the same five-line report written into `results` and
//   painted;
// - and, on its own, platform::RunBlocking on a call that returns at once.
//
// Printed: medians, the 10th to 90th percentile and the 99th, in microseconds, and the ratios
// of the medians.
//
// Both echoes use datagram ICMP sockets, which net.ipv4.ping_group_range must allow. Run as
// root, the benchmark moves into a network namespace of its own and allows them there, so the
// machine's setting stays as it is; otherwise it says what is missing and stops.
//
// usage: bench_ping [ROUNDS]   (default 5000 echoes a side and a quarter as many clicks, or
// NORVANE_BENCH_ROUNDS)

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/frmwinsock.h"
#include "net/blockinghook.h"
#include "ping/module1.h"
#include "platform/icmp/icmp.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    std::vector<double> micros;
    void Add(Clock::duration elapsed) {
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    double Percentile(double p) {
        std::sort(micros.begin(), micros.end());
        const auto index =
            static_cast<std::size_t>(p * static_cast<double>(micros.size() - 1) + 0.5);
        return micros[index];
    }
};

void PrintRow(const char* name, Figures& figures) {
    std::printf("  %-46s %9.1f   %7.1f-%-7.1f %9.1f\n", name, figures.Percentile(0.5),
                figures.Percentile(0.1), figures.Percentile(0.9), figures.Percentile(0.99));
}

bool DatagramIcmpAllowed() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// A network namespace of this process's own, its loopback up, datagram ICMP sockets allowed to
// every group. Needs root.
bool EnterOwnNetworkNamespace() {
    if (::unshare(CLONE_NEWNET) != 0) {
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    ::close(fd);
    const int range = ::open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY | O_CLOEXEC);
    const char everyone[] = "0 2147483647\n";
    const bool allowed =
        range >= 0 && ::write(range, everyone, sizeof everyone - 1) == sizeof everyone - 1;
    ::close(range);
    return up && allowed;
}

// The bare echo: open, send "Echo This" to 127.0.0.1, wait at most 200 ms, read the reply,
// close. The kernel fills in the identifier and checksum of a datagram ICMP socket and hands
// it only the replies to its own identifier. The round-trip time in whole milliseconds, or -1.
int BareEcho() {
    static std::uint16_t sequence = 0;
    const auto start = Clock::now();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        return -1;
    }
    ++sequence;
    // An echo request (type 8, code 0) with its sequence number; the kernel writes the
    // checksum and the identifier.
    std::uint8_t request[8 + 9] = {8};
    request[6] = static_cast<std::uint8_t>(sequence >> 8);
    request[7] = static_cast<std::uint8_t>(sequence);
    std::memcpy(request + 8, "Echo This", 9);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int result = -1;
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&target),
                 sizeof target) == sizeof request) {
        std::uint8_t reply[1500];
        pollfd wait{fd, POLLIN, 0};
        while (::poll(&wait, 1, 200) == 1) {
            const ssize_t size = ::recv(fd, reply, sizeof reply, 0);
            if (size >= 8 && reply[0] == 0 && reply[6] == request[6] && reply[7] == request[7]) {
                result = static_cast<int>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                        .count());
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

// Runs the event loop until `box` has been painted holding text; false after a second.
bool UntilPaintedWithText(QPlainTextEdit* box, PaintCounter& counter, int paintsBefore) {
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (counter.paints == paintsBefore || box->document()->isEmpty()) {
        if (Clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

bool UntilPainted(PaintCounter& counter, int paintsBefore) {
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (counter.paints == paintsBefore && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return counter.paints != paintsBefore;
}

int Measure(frmWinsock& form, int rounds) {
    bool ok = true;
    Module1::EchoReply reply;
    const QString loopback = QStringLiteral("127.0.0.1");
    Figures sendEcho, bareEcho;
    for (int i = -100; i < rounds; ++i) {
        auto start = Clock::now();
        ok = Module1::SendEcho(loopback, reply) >= 0 && reply.Status == 0 && ok;
        const auto ours = Clock::now() - start;
        start = Clock::now();
        ok = BareEcho() >= 0 && ok;
        const auto bare = Clock::now() - start;
        if (i >= 0) {
            sendEcho.Add(ours);
            bareEcho.Add(bare);
        }
    }

    // The click and its floor write into the same box of the same window, so both pay the
    // same paint.
    QPlainTextEdit* results = form.results;
    PaintCounter painted(results->viewport());
    Figures click, bareClick;
    const int clicks = std::max(10, rounds / 4);
    for (int i = -20; i < clicks; ++i) {
        for (const bool ours : {true, false}) {
            results->clear();
            ok = UntilPainted(painted, painted.paints) && ok;
            const int before = painted.paints;
            const auto start = Clock::now();
            if (ours) {
                form.pingit->click();
            } else {
                QString address;
                for (const QLineEdit* octet : {form.one, form.two, form.three, form.four}) {
                    bool number = false;
                    const int value = octet->text().toInt(&number);
                    address += (address.isEmpty() ? QString() : QStringLiteral(".")) +
                               QString::number(number ? value : 0);
                }
                const int milliseconds = BareEcho();
                ok = milliseconds >= 0 && ok;
                results->setPlainText(
                    address + QStringLiteral("\r\n0   [ ip success ]\r\n") +
                    QString::number(milliseconds) +
                    QStringLiteral(" ms  Round Trip Time\r\n9 bytes  Data\r\n\r\n"));
            }
            ok = UntilPaintedWithText(results, painted, before) && ok;
            const auto elapsed = Clock::now() - start;
            if (i >= 0) {
                (ours ? click : bareClick).Add(elapsed);
            }
            if (!results->toPlainText().startsWith(
                    QStringLiteral("127.0.0.1\n0   [ ip success ]\n"))) {
                std::fprintf(stderr, "%s did not report a success\n",
                             ours ? "the Ping IP click" : "the floor");
                ok = false;
            }
        }
    }

    Figures runBlocking;
    for (int i = -100; i < rounds; ++i) {
        const auto start = Clock::now();
        const std::optional<int> answer = platform::RunBlocking([] { return 1; });
        const auto elapsed = Clock::now() - start;
        ok = answer == 1 && ok;
        if (i >= 0) {
            runBlocking.Add(elapsed);
        }
    }

    std::printf("  %-46s %9s   %-15s %9s\n", "microseconds", "median", "p10-p90", "p99");
    PrintRow("SendEcho", sendEcho);
    PrintRow("floor: bare echo (open, send, receive, close)", bareEcho);
    PrintRow("Ping IP click until the report is painted", click);
    PrintRow("floor: bare echo, report written and painted", bareClick);
    PrintRow("RunBlocking on a call that returns at once", runBlocking);
    std::printf("  SendEcho / bare echo: %.2f (goal: at most 1.3)\n",
                sendEcho.Percentile(0.5) / bareEcho.Percentile(0.5));
    std::printf("  Ping IP click / bare echo with report: %.2f\n",
                click.Percentile(0.5) / bareClick.Percentile(0.5));
    if (!ok) {
        std::fprintf(stderr, "an echo failed or a report was not painted\n");
        return 1;
    }
    return 0;
}

int Rounds(int argc, char** argv, int fallback) {
    const char* text = argc > 1 ? argv[1] : std::getenv("NORVANE_BENCH_ROUNDS");
    return text != nullptr ? std::max(10, std::atoi(text)) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = Rounds(argc, argv, 5000);
    // Before any thread starts: a namespace change holds for this thread and those it starts.
    const char* where = "this machine's loopback";
    if (!DatagramIcmpAllowed()) {
        if (::geteuid() != 0 || !EnterOwnNetworkNamespace() || !DatagramIcmpAllowed()) {
            std::fprintf(stderr,
                         "bench_ping cannot run: it needs datagram ICMP sockets, and "
                         "net.ipv4.ping_group_range does not admit this user's group. Run it as "
                         "root (it then allows them in a network namespace of its own), or allow "
                         "them with: sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n");
            return 2;
        }
        where = "the loopback of a network namespace of its own";
    }
    alarm(300);  // a lost loopback reply must not keep the benchmark forever
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    frmWinsock form;
    if (!form.Load()) {
        return 1;
    }
    const HANDLE probe = IcmpCreateFile();
    const bool datagram = platform::IcmpSocketKindOf(probe) == platform::IcmpSocketKind::Datagram;
    IcmpCloseHandle(probe);
    form.SSTab1->setCurrentIndex(2);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        return 1;
    }
    std::printf("ICMP echo to 127.0.0.1 on %s, %d echoes a side, %d clicks a side, in turn\n",
                where, rounds, std::max(10, rounds / 4));
    if (!datagram) {
        std::printf("  NOTE: SendEcho uses a raw socket here, the floor a datagram one\n");
    }
    int status = 1;
    // Measured from the running event loop, as a click is handled.
    QTimer::singleShot(0, [&] {
        status = Measure(form, rounds);
        QCoreApplication::quit();
    });
    QApplication::exec();
    form.Unload();
    return status;
}
