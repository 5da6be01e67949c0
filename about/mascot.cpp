#include "about/mascot.h"

#include <cmath>
#include <cstdio>

#include <QCoreApplication>
#include <QMessageBox>

#include "about/moodule.h"
#include "platform/controls.h"
#include "app/frmwinsock.h"
#include "platform/drawing.h"
#include "platform/sound.h"

namespace Moodule {
namespace {

constexpr int kFrameInterval = 250;

QString FileBesideProgram(const char* name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

void ShowError(frmWinsock& form, const char* prompt, const char* title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(title), QString::fromLatin1(prompt),
                    QMessageBox::Ok, &form);
    box.exec();
}

}  // namespace

bool LoadMascotSprite(frmWinsock& form) {
    MascotState& mascot = form.Mascot;
    mascot.MascotAngle = 0;
    mascot.SpritePath = FileBesideProgram("cbm.dll");
    mascot.SpriteBitmap = platform::LoadBitmapFile(mascot.SpritePath);
    if (mascot.SpriteBitmap.isNull()) {
        std::fprintf(stderr, "norvane: cannot load the mascot's sprite from %s\n",
                     qPrintable(mascot.SpritePath));
        ShowError(form, "Error, Unable To Load Bitmap", "Bitmap Load Error");
        return false;
    }
    mascot.SpriteDC = platform::CreateCompatibleDC();
    if (mascot.SpriteDC.isNull()) {
        // The program goes on without the animation; the timers keep their design settings.
        ShowError(form, "Error, Unable To Create Device Context", "Device Context Error");
        return true;
    }
    platform::SelectObject(mascot.SpriteDC, mascot.SpriteBitmap);
    mascot.SpriteInfo = mascot.SpriteBitmap.size();
    platform::BitBlt(form.Picture1->Image(), 0, 0, mascot.SpriteInfo.width(),
                     mascot.SpriteInfo.height(), mascot.SpriteDC, 0, 0);
    form.Picture1->Refresh();
    form.Timer1->SetInterval(kFrameInterval);
    form.Timer1->SetEnabled(false);
    form.Timer2->SetEnabled(false);
    return true;
}

void ToggleMascot(frmWinsock& form) {
    if (form.Mascot.MascotRunning) {
        StopMascot(form);
    } else {
        StartMascot(form);
    }
}

void StartMascot(frmWinsock& form) {
    form.Timer1->SetEnabled(true);
    form.Timer2->SetEnabled(true);
    form.Picture3->setVisible(false);
    PlayMascotSound();
    form.Mascot.MascotRunning = true;
}

void StopMascot(frmWinsock& form) {
    form.Timer1->SetEnabled(false);
    form.Timer2->SetEnabled(false);
    form.Picture3->setVisible(true);
    form.Mascot.MascotRunning = false;
}

void MascotFrameStep(frmWinsock& form) {
    MascotState& mascot = form.Mascot;
    // Whole radians, a tie going to the even number: 0, 90, 180, 270 degrees give 0, 2, 3, 5.
    std::int32_t radians =
        static_cast<std::int32_t>(std::nearbyint(mascot.MascotAngle * 3.14159 / 180.0));
    QImage frame = form.Picture1->Image();
    std::int32_t width = mascot.SpriteInfo.width();
    std::int32_t height = mascot.SpriteInfo.height();
    RotateImage(frame, width, height, radians);

    form.Picture2->ClearPicture();
    platform::BitBlt(form.Picture2->Image(), 0, 0, width, height, frame, 0, 0);
    form.Picture2->Refresh();
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
