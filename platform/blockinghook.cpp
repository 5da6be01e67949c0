#include "platform/blockinghook.h"

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>

namespace platform {

namespace {

// A call that answers within this time is simply waited for: no local loop, no cursor flicker.
constexpr std::chrono::milliseconds kGrace{20};

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

// Holds back user input while a blocking call waits and hands it on afterwards. One per
// application; waits may nest (a timer's handler may wait too), the outermost one holds.
class InputHold : public QObject {
public:
    static InputHold& Instance() {
        static QPointer<InputHold> instance;
        if (instance == nullptr) {
            instance = new InputHold(QCoreApplication::instance());
        }
        return *instance;
    }

    void Begin() {
        if (depth_++ > 0) {
            return;
        }
        QCoreApplication::instance()->installEventFilter(this);
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        }
    }

    void End() {
        if (--depth_ > 0) {
            return;
        }
        QCoreApplication::instance()->removeEventFilter(this);
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
            QGuiApplication::restoreOverrideCursor();
        }
        // The input goes on once the command that waited has returned to the event loop.
        if (!held_.empty()) {
            QCoreApplication::postEvent(this, new QEvent(ReplayEvent()));
        }
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (depth_ == 0 || !IsUserInput(event->type())) {
            return false;
        }
        if (event->type() == QEvent::Close) {
            // Refused for now, so the window stays; it is closed again afterwards.
            event->ignore();
        }
        held_.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
        return true;
    }

    bool event(QEvent* event) override {
        if (event->type() != ReplayEvent()) {
            return QObject::event(event);
        }
        // A wait that began since then replays everything when it ends.
        if (depth_ > 0) {
            return true;
        }
        std::vector<Held> input = std::move(held_);
        held_.clear();
        for (Held& held : input) {
            if (held.receiver == nullptr) {
                continue;
            }
            if (held.event->type() == QEvent::Close) {
                // A close event alone would not hide the window; close() does the whole of it.
                QMetaObject::invokeMethod(held.receiver, "close");
            } else {
                QCoreApplication::sendEvent(held.receiver, held.event.get());
            }
        }
        return true;
    }

private:
    using QObject::QObject;

    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };

    static QEvent::Type ReplayEvent() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    int depth_ = 0;
    std::vector<Held> held_;
};

// Input is held back for as long as one of these lives.
class Waiting {
public:
    Waiting() { InputHold::Instance().Begin(); }
    ~Waiting() { InputHold::Instance().End(); }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;
};

}  // namespace

void RunBlockingWork(const std::function<void()>& work) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QCoreApplication::closingDown() ||
        QThread::currentThread() != application->thread()) {
        work();
        return;
    }
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    std::exception_ptr failure;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished.set_value();
        if (dispatcher != nullptr) {
            dispatcher->wakeUp();
        }
    });
    if (dispatcher != nullptr && done.wait_for(kGrace) != std::future_status::ready) {
        const Waiting waiting;
        while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace platform
