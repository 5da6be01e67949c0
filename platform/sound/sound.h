#pragma once
// Stand-in for the Windows multimedia call that plays a wave file, on Qt Multimedia.
// Playing is always asynchronous: the call returns at once and the sound plays on in Qt's
// audio output. A new sound cuts off the one still playing. A missing or unplayable file, or
// a machine without an audio output, plays nothing and reports nothing.

#include <functional>

#include <QString>

constexpr unsigned SND_ASYNC = 0x0001;
constexpr unsigned SND_NODEFAULT = 0x0002;

// `path` is in the locale's 8-bit encoding. True when the sound was started.
bool sndPlaySoundA(const char* path, unsigned flags);

namespace platform {
// Test seam: while set, sndPlaySoundA hands its path and flags to `recorder` and plays nothing.
// An empty function plays again.
void SetSoundRecorder(std::function<void(const QString& path, unsigned flags)> recorder);
}  // namespace platform
