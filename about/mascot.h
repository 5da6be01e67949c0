#pragma once
// The mascot on the "About" tab: its sprite, the tumbling animation and its sound.

#include <cstdint>

#include <QImage>
#include <QSize>
#include <QString>

class PictureBox;
class QWidget;
class VbTimer;

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

// What the mascot's commands work on; the window fills it when it wires their events.
struct Tab {
    PictureBox* Picture1 = nullptr;  // the unturned sprite, hidden at the back
    PictureBox* Picture2 = nullptr;  // the frames
    PictureBox* Picture3 = nullptr;  // the still picture in front
    VbTimer* Timer1 = nullptr;       // frames
    VbTimer* Timer2 = nullptr;       // sound
    MascotState* Mascot = nullptr;
    QWidget* Window = nullptr;  // parent of the start-up message boxes
};

// Start-up step: draws the sprite file beside the program into Picture1, shows it as the still
// picture in Picture3 and puts the animation timers at rest. Returns false when the program
// must end (the file could not be loaded and the user has been told so).
bool LoadMascotSprite(const Tab& tab);
// A click on the mascot: starts the animation when it rests, stops it when it runs.
void ToggleMascot(const Tab& tab);
void StartMascot(const Tab& tab);
void StopMascot(const Tab& tab);
// One frame of the animation, on each tick of the frame timer.
void MascotFrameStep(const Tab& tab);
// Plays the mascot's sound, cutting off the one still playing.
void PlayMascotSound();

}  // namespace Moodule
