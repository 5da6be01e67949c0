#pragma once
// The mascot on the "About" tab: its sprite, the tumbling animation and its sound.

#include <QSize>

class frmWinsock;

namespace Moodule {

struct MascotState {
    bool MascotRunning = false;
    int MascotAngle = 0;
    QSize SpriteInfo;
};

// Start-up step. Returns false when the program must end (the user has been told why).
bool LoadMascotSprite(frmWinsock& form);
void ToggleMascot(frmWinsock& form);
// One frame of the animation, on each tick of the frame timer.
void MascotFrameStep(frmWinsock& form);
void PlayMascotSound();

}  // namespace Moodule
