#pragma once
// Shared by the start-up probes: report the time from process launch to the window's first
// painted frame, then quit. The launcher passes its own CLOCK_MONOTONIC reading, taken just
// before it started the process, in NORVANE_LAUNCH_NS.

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include "bench/monotonic.h"

namespace bench {

class FirstFrameReporter : public QObject {
public:
    explicit FirstFrameReporter(QWidget* window) : QObject(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Once the paint has been handled and flushed, the frame is on the screen.
            QTimer::singleShot(0, [] {
                const char* launch = std::getenv("NORVANE_LAUNCH_NS");
                const long long started = launch != nullptr ? std::atoll(launch) : 0;
                std::printf("first-frame-ns %lld\n", MonotonicNs() - started);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

}  // namespace bench
