#pragma once
// The mascot on the "About" tab: its sprite, the tumbling animation and its sound.

#include <cstdint>

#include <QImage>
#include <QSize>
#include <QString>

class frmWinsock;

namespace Moodule {

struct MascotState {
    bool MascotRunning = false;
    // Turn of the next frame in degrees: 0, 90, 180 or 270.
    std::int32_t MascotAngle = 0;
    // The sprite's width and height: the size of every frame.
    QSize SpriteInfo;
    QString SpritePath;
    // The sprite as loaded, and the off-screen context it was drawn from; both are kept for
    // the whole run.
    QImage SpriteBitmap;
    QImage SpriteDC;
};

// Start-up step: draws the sprite file beside the program into Picture1 and puts the
// animation timers at rest. Returns false when the program must end (the file could not be
// loaded and the user has been told so).
bool LoadMascotSprite(frmWinsock& form);
// A click on the mascot: starts the animation when it rests, stops it when it runs.
void ToggleMascot(frmWinsock& form);
void StartMascot(frmWinsock& form);
void StopMascot(frmWinsock& form);
// One frame of the animation, on each tick of the frame timer.
void MascotFrameStep(frmWinsock& form);
// Plays the mascot's sound, cutting off the one still playing.
void PlayMascotSound();

}  // namespace Moodule
