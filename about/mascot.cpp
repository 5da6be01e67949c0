#include "about/mascot.h"

#include "app/frmwinsock.h"

namespace Moodule {
bool LoadMascotSprite(frmWinsock&) {
    return true;
}
void ToggleMascot(frmWinsock&) {}
void MascotFrameStep(frmWinsock&) {}
void PlayMascotSound() {}
}  // namespace Moodule
