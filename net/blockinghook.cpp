#include "net/blockinghook.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QWheelEvent>

#include "platform/winsock/winsock.h"

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
// Escape ends the waits instead of being held. A close ends them too and is held: once the
// command that waited has returned, the window closes, and the input held with the close is
// dropped, since it was meant for a window the user is closing.
class InputHold : public QObject {
public:
    static InputHold& Instance() {
        static QPointer<InputHold> instance;
        if (instance == nullptr) {
            instance = new InputHold(QCoreApplication::instance());
        }
        return *instance;
    }

    // True from a close made during a wait until the window has been closed.
    bool ClosePending() const { return closePending_; }

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
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            CancelBlockingCall();
            return true;
        }
        if (event->type() == QEvent::Close) {
            // Refused for now, so the window stays until the command has returned.
            event->ignore();
            closePending_ = true;
            CancelBlockingCall();
        }
        Held held{receiver, std::unique_ptr<QEvent>(event->clone()), {}};
        if (event->isSinglePointEvent()) {
            const auto* pointer = static_cast<QSinglePointEvent*>(event);
            held.place = {pointer->position(), pointer->scenePosition(), pointer->globalPosition()};
        }
        held_.push_back(std::move(held));
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
        if (closePending_) {
            closePending_ = false;
            std::erase_if(input,
                          [](const Held& held) { return held.event->type() != QEvent::Close; });
        }
        for (Held& held : input) {
            if (held.receiver == nullptr) {
                continue;
            }
            if (held.event->type() == QEvent::Close) {
                // A close event alone would not hide the window; close() does the whole of it.
                QMetaObject::invokeMethod(held.receiver, "close");
            } else if (const std::unique_ptr<QEvent> remade = RemadeInPlace(held)) {
                QCoreApplication::sendEvent(held.receiver, remade.get());
            } else {
                QCoreApplication::sendEvent(held.receiver, held.event.get());
            }
            if (closePending_) {
                return true;  // a close during a wait that this input began
            }
        }
        return true;
    }

private:
    using QObject::QObject;

    // Where a mouse or wheel event happened, taken when it came.
    struct Place {
        QPointF position, scenePosition, globalPosition;
    };
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
        std::optional<Place> place;
    };

    // A mouse or wheel event made anew at the place where it happened. Qt's pointer events
    // share their point with the device, which every later pointer event moves, so a copy
    // kept until now tells where the pointer is now; a click would land wherever the pointer
    // has gone since. Nothing for other events.
    static std::unique_ptr<QEvent> RemadeInPlace(const Held& held) {
        if (!held.place) {
            return nullptr;
        }
        const Place& at = *held.place;
        if (const auto* mouse = dynamic_cast<const QMouseEvent*>(held.event.get())) {
            auto remade = std::make_unique<QMouseEvent>(
                mouse->type(), at.position, at.scenePosition, at.globalPosition, mouse->button(),
                mouse->buttons(), mouse->modifiers(), mouse->pointingDevice());
            remade->setTimestamp(mouse->timestamp());
            return remade;
        }
        if (const auto* wheel = dynamic_cast<const QWheelEvent*>(held.event.get())) {
            return std::make_unique<QWheelEvent>(
                at.position, at.globalPosition, wheel->pixelDelta(), wheel->angleDelta(),
                wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted(),
                wheel->source(), wheel->pointingDevice());
        }
        return nullptr;
    }

    static QEvent::Type ReplayEvent() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    int depth_ = 0;
    bool closePending_ = false;
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

// Counts CancelBlockingCall calls; a wait ends when the count moves. User-interface thread
// only.
int cancels = 0;

// What the waiter and the worker share. The worker holds it until its call has returned,
// whether or not anyone still waits: a wait that was ended leaves the worker nothing of the
// waiter's to write to, and the worker wakes a waiter only while one is registered.
struct Job {
    std::shared_ptr<BlockingCall> call;
    std::exception_ptr failure;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    QAbstractEventDispatcher* waiter = nullptr;

    bool Done() {
        const std::lock_guard guard(lock);
        return done;
    }
};

void RunJob(Job& job) {
    try {
        job.call->Run();
    } catch (...) {
        job.failure = std::current_exception();
    }
    const std::lock_guard guard(job.lock);
    job.done = true;
    job.finished.notify_one();
    if (job.waiter != nullptr) {
        job.waiter->wakeUp();
    }
}

// The threads that run the calls. They are kept once started, so that a call does not pay
// for a thread of its own; a call goes to an idle one, or to a new one when none is idle (one
// may still be running a call whose wait was ended). Detached and never destroyed: a wait
// that is ended does not wait for its worker, nor does the program's exit, and a worker
// touches nothing but the jobs it takes.
class Workers {
public:
    static Workers& Instance() {
        static auto* workers = new Workers;
        return *workers;
    }

    void Submit(std::shared_ptr<Job> job) {
        const std::lock_guard guard(lock_);
        queue_.push_back(std::move(job));
        if (queue_.size() > idle_) {
            std::thread([this] { Serve(); }).detach();
        } else {
            waiting_.notify_one();
        }
    }

private:
    void Serve() {
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock guard(lock_);
                ++idle_;
                waiting_.wait(guard, [this] { return !queue_.empty(); });
                --idle_;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            RunJob(*job);
        }
    }

    std::mutex lock_;
    std::condition_variable waiting_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::size_t idle_ = 0;
};

}  // namespace

void CancelBlockingCall() {
    ++cancels;
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->wakeUp();
    }
}

bool RunBlockingWork(const std::shared_ptr<BlockingCall>& call) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QCoreApplication::closingDown() ||
        QThread::currentThread() != application->thread()) {
        call->Run();
        return true;
    }
    // The window is closing: nothing more is waited for.
    if (InputHold::Instance().ClosePending()) {
        WSASetLastError(WSAEINTR);
        return false;
    }
    auto job = std::make_shared<Job>();
    job->call = call;
    job->waiter = QAbstractEventDispatcher::instance();
    Workers::Instance().Submit(job);

    std::unique_lock guard(job->lock);
    const auto done = [&job] { return job->done; };
    if (job->waiter == nullptr) {
        job->finished.wait(guard, done);
    } else if (!job->finished.wait_for(guard, kGrace, done)) {
        guard.unlock();
        const int cancelsBefore = cancels;
        {
            const Waiting waiting;
            while (!job->Done() && cancels == cancelsBefore) {
                job->waiter->processEvents(QEventLoop::WaitForMoreEvents);
            }
        }
        guard.lock();
    }
    job->waiter = nullptr;
    if (!job->done) {
        WSASetLastError(WSAEINTR);
        return false;
    }
    guard.unlock();
    if (job->failure) {
        std::rethrow_exception(job->failure);
    }
    return true;
}

}  // namespace platform
