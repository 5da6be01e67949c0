#include "about/mascot.h"

#include <cmath>
#include <cstdio>

#include <QCoreApplication>
#include <QMessageBox>

#include "about/drawing.h"
#include "about/moodule.h"
#include "platform/controls/controls.h"
#include "platform/sound/sound.h"

namespace Moodule {
namespace {

constexpr int kFrameInterval = 250;

QString FileBesideProgram(const char* name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

void ShowError(QWidget* window, const char* prompt, const char* title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(title), QString::fromLatin1(prompt),
                    QMessageBox::Ok, window);
    box.exec();
}

}  // namespace

bool LoadMascotSprite(const Tab& tab) {
    MascotState& mascot = *tab.Mascot;
    mascot.MascotAngle = 0;
    mascot.SpritePath = FileBesideProgram("cbm.dll");
    mascot.SpriteBitmap = platform::LoadBitmapFile(mascot.SpritePath);
    if (mascot.SpriteBitmap.isNull()) {
        std::fprintf(stderr, "norvane: cannot load the mascot's sprite from %s\n",
                     qPrintable(mascot.SpritePath));
        ShowError(tab.Window, "Error, Unable To Load Bitmap", "Bitmap Load Error");
        return false;
    }
    // The still picture is the sprite itself, so the cow is drawn only once, when the data
    // files are made, and not again at every start.
    tab.Picture3->SetPicture(mascot.SpriteBitmap);
    mascot.SpriteDC = platform::CreateCompatibleDC();
    if (mascot.SpriteDC.isNull()) {
        // The program goes on without the animation; the timers keep their design settings.
        ShowError(tab.Window, "Error, Unable To Create Device Context", "Device Context Error");
        return true;
    }
    platform::SelectObject(mascot.SpriteDC, mascot.SpriteBitmap);
    mascot.SpriteInfo = mascot.SpriteBitmap.size();
    platform::BitBlt(tab.Picture1->Image(), 0, 0, mascot.SpriteInfo.width(),
                     mascot.SpriteInfo.height(), mascot.SpriteDC, 0, 0);
    tab.Picture1->Refresh();
    tab.Timer1->SetInterval(kFrameInterval);
    tab.Timer1->SetEnabled(false);
    tab.Timer2->SetEnabled(false);
    return true;
}

void ToggleMascot(const Tab& tab) {
    if (tab.Mascot->MascotRunning) {
        StopMascot(tab);
    } else {
        StartMascot(tab);
    }
}

void StartMascot(const Tab& tab) {
    tab.Timer1->SetEnabled(true);
    tab.Timer2->SetEnabled(true);
    tab.Picture3->setVisible(false);
    PlayMascotSound();
    tab.Mascot->MascotRunning = true;
}

void StopMascot(const Tab& tab) {
    tab.Timer1->SetEnabled(false);
    tab.Timer2->SetEnabled(false);
    tab.Picture3->setVisible(true);
    tab.Mascot->MascotRunning = false;
}

void MascotFrameStep(const Tab& tab) {
    MascotState& mascot = *tab.Mascot;
    // Whole radians, a tie going to the even number: 0, 90, 180, 270 degrees give 0, 2, 3, 5.
    std::int32_t radians =
        static_cast<std::int32_t>(std::nearbyint(mascot.MascotAngle * 3.14159 / 180.0));
    QImage frame = tab.Picture1->Image();
    std::int32_t width = mascot.SpriteInfo.width();
    std::int32_t height = mascot.SpriteInfo.height();
    RotateImage(frame, width, height, radians);

    tab.Picture2->ClearPicture();
    platform::BitBlt(tab.Picture2->Image(), 0, 0, width, height, frame, 0, 0);
    tab.Picture2->Refresh();
    frame = QImage();

    mascot.MascotAngle += 90;
    if (mascot.MascotAngle == 360) {
        mascot.MascotAngle = 0;
    }
}

void PlayMascotSound() {
    const QByteArray path = FileBesideProgram("mw.dll").toLocal8Bit();
    sndPlaySoundA(path.constData(), SND_ASYNC | SND_NODEFAULT);
}

}  // namespace Moodule
