// Put into the program under test with LD_PRELOAD, this plays the user at start-up: it presses
// OK on every message box, and once the main window has painted its first frame it prints
// "first frame" and closes the window. The program itself is the installed one, unchanged, so
// its exit status and standard error are its own.

#include <cstdio>

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

class StartUpPlayer : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                QTimer::singleShot(0, box, [box] { box->accept(); });
            }
        } else if (event->type() == QEvent::Paint && !painted_ &&
                   watched->objectName() == QLatin1String("frmWinsock")) {
            painted_ = true;
            QPointer<QWidget> window = static_cast<QWidget*>(watched);
            QTimer::singleShot(0, this, [window] {
                std::puts("first frame");
                std::fflush(stdout);
                if (window != nullptr) {
                    window->close();
                }
            });
        }
        return false;
    }

private:
    bool painted_ = false;
};

void WatchTheProgram() {
    QCoreApplication::instance()->installEventFilter(
        new StartUpPlayer(QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchTheProgram)
