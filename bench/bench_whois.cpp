// Whois output speed beside honest floors, each case run several times in one sitting:
//
// - click on "Whois" to "Connection Closed " painted in the box, for a reply of whois-like
//   lines (38 bytes each) from a server on 127.0.0.1, beside a bare QPlainTextEdit of
//   txtWinsock's size, shown, fed the same lines in 16,384-byte pieces with an event-loop pass
//   after each piece and a final paint; with the longest event-loop gap during the reply;
// - ReplaceAll of LF by CR LF beside a linear pass that counts the LFs, sizes the result once
//   and writes through a QChar pointer;
// - the unix2dos click beside ReplaceAll alone.
//
// Printed per case: the project's median, the floor's median, their ratio, and each one's
// spread (min to max) in milliseconds.
//
//   cmake --build build --target bench_whois && build/bench/bench_whois

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <unistd.h>

#include "app/frmwinsock.h"
#include "platform/winsock.h"
#include "tests/loopback.h"
#include "whois/whois.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr qsizetype kMiB = 1024 * 1024;
constexpr qsizetype kPiece = 16384;

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

Spread Measure(int runs, const std::function<double()>& run) {
    Spread spread;
    for (int i = 0; i < runs; ++i) {
        spread.runs.push_back(run());
    }
    return spread;
}

void Print(const char* name, const Spread& project, const Spread& floor) {
    std::printf("%-28s %9.2f %9.2f %6.2fx   [%.2f-%.2f] [%.2f-%.2f]\n", name, project.Median(),
                floor.Median(), project.Median() / floor.Median(), project.Min(), project.Max(),
                floor.Min(), floor.Max());
}

// Whois-like text: lines of 38 bytes ending in LF.
std::string Reply(qsizetype bytes) {
    std::string text;
    text.reserve(static_cast<std::size_t>(bytes));
    for (int line = 0; static_cast<qsizetype>(text.size()) < bytes; ++line) {
        std::string row = "Name Server: NS" + std::to_string(line) + ".REGISTRY.TEST ";
        row.resize(37, '-');
        text += row + '\n';
    }
    text.resize(static_cast<std::size_t>(bytes));
    return text;
}

template <typename Done>
void RunEventsUntil(Done done) {
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (!done() && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Records the longest time between two passes of the event loop while it runs.
class GapMeter {
public:
    GapMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, Milliseconds(now - last_));
            last_ = now;
        });
    }
    void Start() {
        longest_ = 0;
        last_ = Clock::now();
        timer_.start(0);
    }
    double Stop() {
        timer_.stop();
        return longest_;
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longest_ = 0;
};

// Click on "Whois" to "Connection Closed " painted; `gaps` gets each run's longest gap.
Spread WhoisClickToClosed(qsizetype bytes, int runs, Spread* gaps) {
    const std::string reply = Reply(bytes);
    loopback::Server server([&reply](int fd) {
        loopback::ReadLine(fd);
        loopback::WriteAll(fd, reply);
        ::close(fd);
    });
    WSADATA data;
    WSAStartup(257, &data);
    frmWinsock form;
    whois::InstallNotifyHook(*form.WhoisClient);
    form.SSTab1->setCurrentIndex(3);
    form.show();
    form.txtServer->setText(QStringLiteral("127.0.0.1"));
    form.txtPort->setText(server.PortText());
    QPlainTextEdit* box = form.txtWinsock;
    GapMeter meter;
    const Spread spread = Measure(runs, [&] {
        QTest::mouseClick(form.cmdConnect, Qt::LeftButton);
        RunEventsUntil([&] { return form.cmdConnect->text() == QLatin1String("Whois"); });
        const auto start = Clock::now();
        meter.Start();
        QTest::mouseClick(form.cmdConnect, Qt::LeftButton);
        RunEventsUntil(
            [&] { return box->document()->lastBlock().text().endsWith(QLatin1String("Closed ")); });
        box->viewport()->repaint();
        const double time = Milliseconds(Clock::now() - start);
        gaps->runs.push_back(meter.Stop());
        if (whois::OutputText(form).size() < bytes) {
            std::fprintf(stderr, "the reply did not arrive whole\n");
        }
        return time;
    });
    form.Unload();
    return spread;
}

Spread BarePlainTextEditFloor(qsizetype bytes, int runs, QSize size) {
    const QByteArray reply = QByteArray::fromStdString(Reply(bytes));
    return Measure(runs, [&] {
        QWidget window;
        QPlainTextEdit box(&window);
        box.resize(size);
        box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        window.show();
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        for (qsizetype at = 0; at < reply.size(); at += kPiece) {
            box.moveCursor(QTextCursor::End);
            box.insertPlainText(QString::fromLocal8Bit(reply.mid(at, kPiece)));
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        box.viewport()->repaint();
        return Milliseconds(Clock::now() - start);
    });
}

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
Spread Time(int runs, Work work) {
    return Measure(runs, [&] {
        const auto start = Clock::now();
        work();
        return Milliseconds(Clock::now() - start);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QSize boxSize = [] {
        frmWinsock form;
        return form.txtWinsock->size();
    }();

    std::printf("%-28s %9s %9s %7s   %s\n", "case (ms)", "project", "floor", "ratio",
                "[project min-max] [floor min-max]");
    Spread gaps1, gaps8;
    const Spread whois1 = WhoisClickToClosed(kMiB, 9, &gaps1);
    Print("whois click to closed 1 MiB", whois1, BarePlainTextEditFloor(kMiB, 9, boxSize));
    const Spread whois8 = WhoisClickToClosed(8 * kMiB, 3, &gaps8);
    Print("whois click to closed 8 MiB", whois8, BarePlainTextEditFloor(8 * kMiB, 3, boxSize));
    std::printf("%-28s %9.2f           [%.2f-%.2f]\n", "longest loop gap 8 MiB", gaps8.Median(),
                gaps8.Min(), gaps8.Max());

    for (const qsizetype mib : {1, 8}) {
        const QString text = QString::fromStdString(Reply(mib * kMiB));
        const QString lf = QStringLiteral("\n"), crLf = QStringLiteral("\r\n");
        QString result;
        const Spread replaceAll = Time(21, [&] { result = whois::ReplaceAll(text, lf, crLf); });
        const Spread linear = Time(21, [&] { result = LinearLfToCrLf(text); });
        Print(mib == 1 ? "ReplaceAll 1 MiB" : "ReplaceAll 8 MiB", replaceAll, linear);
        if (mib == 8) {
            WSADATA data;
            WSAStartup(257, &data);
            frmWinsock form;
            form.show();
            whois::Client& client = *form.WhoisClient;
            client.SetOutputText(text);
            QCoreApplication::processEvents();
            const Spread click = Measure(9, [&] {
                client.SetExactText(text);
                const auto start = Clock::now();
                form.unix2dos->click();
                QCoreApplication::processEvents();
                return Milliseconds(Clock::now() - start);
            });
            Print("unix2dos click 8 MiB", click, replaceAll);
            WSACleanup();
        }
    }
    return 0;
}
