// A Qt generic plugin (QT_QPA_GENERIC_PLUGINS=norvaneplayer[:ping]) that plays the user of the
// installed, unchanged program: it presses OK on every message box, and after the window's
// first frame prints "first frame" and closes it. With ":ping" it first prints the CapEff and
// CapPrm lines and each raw socket held, presses "Ping IP", prints the report, and looks again.
// Unlike LD_PRELOAD, a plugin is loaded even into a program with file capabilities.

#include <sys/socket.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

void PrintPrivilege() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("CapEff:", 0) == 0 || line.rfind("CapPrm:", 0) == 0) {
            std::puts(line.c_str());
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        int type = 0;
        socklen_t length = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_RAW) {
            std::printf("raw socket %d\n", fd);
        }
    }
}

class StartUpPlayer : public QObject {
public:
    explicit StartUpPlayer(bool ping) : ping_(ping) {}

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
            QTimer::singleShot(0, this, [this, window] {
                std::puts("first frame");
                if (ping_ && window != nullptr) {
                    PrintPrivilege();
                    window->findChild<QAbstractButton*>(QStringLiteral("pingit"))->click();
                    const auto* results = window->findChild<QPlainTextEdit*>("results");
                    std::puts(qPrintable(results->toPlainText()));
                    PrintPrivilege();
                }
                std::fflush(stdout);
                if (window != nullptr) {
                    window->close();
                }
            });
        }
        return false;
    }

private:
    bool ping_;
    bool painted_ = false;
};

}  // namespace

class StartUpPlayerPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "start_up_player.json")

public:
    // The application deletes what this returns when it ends.
    QObject* create(const QString& /*key*/, const QString& mode) override {
        auto* player = new StartUpPlayer(mode == QLatin1String("ping"));
        QCoreApplication::instance()->installEventFilter(player);
        return player;
    }
};

#include "start_up_player.moc"
