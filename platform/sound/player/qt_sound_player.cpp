// The half of the sound stand-in that needs Qt Multimedia. It is a module of its own, loaded
// with the first sound, so that starting the program does not pay for the audio libraries.

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace {

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

// Cuts off the sound playing and starts the wave file at `path` (UTF-8 or the locale's
// encoding, as QString::fromLocal8Bit reads it). True when the sound was started.
extern "C" Q_DECL_EXPORT bool norvane_play_wave(const char* path) {
    QSoundEffect* player = Player();
    if (player == nullptr) {
        return false;
    }
    player->stop();
    const QString file = QString::fromLocal8Bit(path);
    if (!QFileInfo(file).isFile() || !HaveAudioOutput()) {
        return false;
    }
    player->setSource(QUrl::fromLocalFile(file));
    player->play();
    return true;
}
