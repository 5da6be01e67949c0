// Whois output speed: from the "Whois" click to "Connection Closed " for a long reply from a
// server on 127.0.0.1, beside the floor of appending the same bytes to a bare QPlainTextEdit
// in 16,384-byte pieces; and ReplaceAll of LF by CR LF beside a plain linear pass.
//
//   cmake --build build --target benchmarks && QT_QPA_PLATFORM=offscreen build/bench/bench_whois

#include <chrono>
#include <string>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "app/frmwinsock.h"
#include "platform/winsock.h"
#include "tests/loopback.h"
#include "whois/whois.h"

namespace {

constexpr qsizetype kMiB = 1024 * 1024;
constexpr qsizetype kPiece = 16384;

// Whois-like text: lines of 64 characters ending in LF.
std::string Reply(qsizetype bytes) {
    std::string text;
    text.reserve(static_cast<std::size_t>(bytes));
    for (int line = 0; static_cast<qsizetype>(text.size()) < bytes; ++line) {
        std::string row = "Line " + std::to_string(line) + ": ";
        row.resize(63, 'x');
        text += row + '\n';
    }
    text.resize(static_cast<std::size_t>(bytes));
    return text;
}

template <typename Done>
void RunEventsUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void WhoisClickToClosed(benchmark::State& state) {
    const qsizetype bytes = state.range(0) * kMiB;
    const std::string reply = Reply(bytes);
    // Answers every query with the reply and closes.
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
    const auto caption = [&] { return form.cmdConnect->text(); };
    for (auto _ : state) {
        QTest::mouseClick(form.cmdConnect, Qt::LeftButton);
        RunEventsUntil([&] { return caption() == QLatin1String("Whois"); });
        const auto start = std::chrono::steady_clock::now();
        QTest::mouseClick(form.cmdConnect, Qt::LeftButton);
        RunEventsUntil([&] { return caption() == QLatin1String("Connect"); });
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!whois::OutputText(form).endsWith(QLatin1String("Connection Closed "))) {
            state.SkipWithError("the reply did not end with the server's close");
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    form.Unload();
}

void BarePlainTextEditFloor(benchmark::State& state) {
    const qsizetype bytes = state.range(0) * kMiB;
    const QByteArray reply = QByteArray::fromStdString(Reply(bytes));
    for (auto _ : state) {
        QPlainTextEdit box;
        box.show();
        const auto start = std::chrono::steady_clock::now();
        for (qsizetype at = 0; at < reply.size(); at += kPiece) {
            box.moveCursor(QTextCursor::End);
            box.insertPlainText(QString::fromLocal8Bit(reply.mid(at, kPiece)));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void ReplaceAllLfByCrLf(benchmark::State& state) {
    const QString text = QString::fromStdString(Reply(state.range(0) * kMiB));
    const QString lf = QStringLiteral("\n");
    const QString crLf = QStringLiteral("\r\n");
    for (auto _ : state) {
        benchmark::DoNotOptimize(whois::ReplaceAll(text, lf, crLf));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * kMiB);
}

// The same conversion written as one plain loop over the characters.
void LinearPassFloor(benchmark::State& state) {
    const QString text = QString::fromStdString(Reply(state.range(0) * kMiB));
    for (auto _ : state) {
        QString result;
        result.reserve(text.size() + text.size() / 32);
        for (const QChar c : text) {
            if (c == QLatin1Char('\n')) {
                result.append(QLatin1Char('\r'));
            }
            result.append(c);
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * kMiB);
}

BENCHMARK(WhoisClickToClosed)->Arg(1)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BarePlainTextEditFloor)->Arg(1)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ReplaceAllLfByCrLf)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(LinearPassFloor)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
