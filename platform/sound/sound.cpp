#include "platform/sound/sound.h"

#include <QCoreApplication>
#include <QLibrary>

namespace {

std::function<void(const QString&, unsigned)>& Recorder() {
    static std::function<void(const QString&, unsigned)> recorder;
    return recorder;
}

using PlayWave = bool (*)(const char* path);

// The player module beside the program, loaded with the first sound and kept to the end.
// Without it nothing is heard.
PlayWave Player() {
    static PlayWave play = []() -> PlayWave {
        if (QCoreApplication::instance() == nullptr) {
            return nullptr;
        }
        QLibrary module(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                        QLatin1String(NORVANE_SOUND_MODULE));
        return reinterpret_cast<PlayWave>(module.resolve("norvane_play_wave"));
    }();
    return play;
}

}  // namespace

bool sndPlaySoundA(const char* path, unsigned flags) {
    if (Recorder()) {
        Recorder()(QString::fromLocal8Bit(path != nullptr ? path : ""), flags);
        return true;
    }
    const PlayWave play = Player();
    return play != nullptr && play(path != nullptr ? path : "");
}

namespace platform {
void SetSoundRecorder(std::function<void(const QString& path, unsigned flags)> recorder) {
    Recorder() = std::move(recorder);
}
}  // namespace platform
