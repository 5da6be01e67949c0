// Linked into both start-up programs (Norvane's own main() and the plain Qt floor): reports the
// time from process launch to the window's first painted frame, then quits. The launcher passes
// its own CLOCK_MONOTONIC reading, taken just before it started the process, in
// NORVANE_LAUNCH_NS. With NORVANE_BENCH_GRAB set to a file name, the window as painted is saved
// there (a BMP) before quitting, so that the launcher can compare the two windows.
//
// It hooks in when the application object is made, so the program under test keeps its own
// main() unchanged.

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "bench/monotonic.h"

namespace {

class FirstFrameReporter : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (seen_ || event->type() != QEvent::Paint || !watched->isWidgetType() ||
            !static_cast<QWidget*>(watched)->isWindow()) {
            return false;
        }
        seen_ = true;
        QPointer<QWidget> window = static_cast<QWidget*>(watched);
        // Once the paint has been handled and flushed, the frame is on the screen.
        QTimer::singleShot(0, [window] {
            const char* launch = std::getenv("NORVANE_LAUNCH_NS");
            const long long started = launch != nullptr ? std::atoll(launch) : 0;
            std::printf("first-frame-ns %lld\n", bench::MonotonicNs() - started);
            std::fflush(stdout);
            if (const char* grab = std::getenv("NORVANE_BENCH_GRAB"); grab != nullptr && window) {
                window->grab().toImage().save(QString::fromLocal8Bit(grab), "BMP");
            }
            QCoreApplication::quit();
        });
        return false;
    }

private:
    bool seen_ = false;
};

void InstallFirstFrameReporter() {
    QCoreApplication* application = QCoreApplication::instance();
    auto* reporter = new FirstFrameReporter;
    reporter->setParent(application);
    application->installEventFilter(reporter);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallFirstFrameReporter)
