#include "platform/sound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace {

std::function<void(const QString&, unsigned)>& Recorder() {
    static std::function<void(const QString&, unsigned)> recorder;
    return recorder;
}

// One player for the whole program, owned by the application object so that it goes before
// Qt's audio does.
QSoundEffect* Player() {
    static QPointer<QSoundEffect> player;
    if (player.isNull() && QCoreApplication::instance() != nullptr) {
        player = new QSoundEffect(QCoreApplication::instance());
    }
    return player.data();
}

// Whether there is an audio output to play on. Looking for one on a machine without a sound
// server makes Qt's audio layer complain on stderr; a missing device is silent here, so those
// complaints are held back while we ask.
bool HaveAudioOutput() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type != QtWarningMsg && previous != nullptr) {
                previous(type, context, message);
            }
        });
    const bool found = !QMediaDevices::defaultAudioOutput().isNull();
    qInstallMessageHandler(previous);
    return found;
}

}  // namespace

bool sndPlaySoundA(const char* path, unsigned flags) {
    const QString file = QString::fromLocal8Bit(path != nullptr ? path : "");
    if (Recorder()) {
        Recorder()(file, flags);
        return true;
    }
    QSoundEffect* player = Player();
    if (player == nullptr) {
        return false;
    }
    player->stop();
    if (!QFileInfo(file).isFile() || !HaveAudioOutput()) {
        return false;
    }
    player->setSource(QUrl::fromLocalFile(file));
    player->play();
    return true;
}

namespace platform {
void SetSoundRecorder(std::function<void(const QString& path, unsigned flags)> recorder) {
    Recorder() = std::move(recorder);
}
}  // namespace platform
