// The mascot on the "About" tab, driven as a person drives it: start-up, clicks on the
// pictures, and the timers' own ticks.

#include <functional>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QAudioDevice>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLibrary>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "about/mascot.h"
#include "about/terms.h"
#include "platform/controls.h"
#include "app/frmwinsock.h"
#include "platform/drawing.h"
#include "platform/sound.h"
#include "platform/winsock.h"

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// Closes every message box that comes up by pressing its OK button, as a person would, and
// keeps what each one said.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            seen.push_back({box->windowTitle(), box->text(), box->standardButtons()});
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    std::vector<SeenBox> seen;

private:
    QTimer timer_;
};

struct PlayedSound {
    QString path;
    unsigned flags;
    qint64 at;  // milliseconds since the recorder was set
};

// Source position of frame pixel (j, i) for a sprite of w x h at each turn in degrees.
QPoint FrameSource(int degrees, int j, int i, int w, int h) {
    switch (degrees) {
        case 90:
            return {i, h - j};
        case 180:
            return {w - j, h - i};
        case 270:
            return {w - i, j};
        default:
            return {j, i};
    }
}

// Whether `shown` (a picture box's image) holds the sprite in `source` turned by `degrees`
// at its top-left corner, and the box's back colour everywhere else.
::testing::AssertionResult ShowsFrame(const QImage& shown, const QImage& source, int degrees, int w,
                                      int h) {
    const int frameW = degrees % 180 == 0 ? w : h;
    const int frameH = degrees % 180 == 0 ? h : w;
    const QRgb back = PictureBox::BackColor().rgb();
    for (int i = 0; i < shown.height(); ++i) {
        for (int j = 0; j < shown.width(); ++j) {
            QRgb expected = back;
            if (j < frameW && i < frameH) {
                const QPoint from = FrameSource(degrees, j, i, w, h);
                expected = source.pixel(from);
            }
            if (shown.pixel(j, i) != expected) {
                return ::testing::AssertionFailure()
                       << "pixel (" << j << ", " << i << ") of the " << degrees << " degree frame";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

QString Beside(const char* name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

class About : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.start();
        platform::SetSoundRecorder([this](const QString& path, unsigned flags) {
            sounds.push_back({path, flags, clock_.elapsed()});
        });
    }
    void TearDown() override {
        platform::SetSoundRecorder({});
        platform::SetDrawingContextFailure(false);
    }

    // The window after a start-up that must go on.
    void Start() {
        ASSERT_TRUE(form.Load());
        sprite = form.Picture1->Image().copy();
    }

    // Keeps a copy of Picture2 after each frame, until `count` frames are in (at most 5 s).
    void CollectFrames(std::size_t count) {
        const std::size_t target = frames.size() + count;
        ASSERT_TRUE(QTest::qWaitFor([&] { return frames.size() >= target; }, 5000))
            << "only " << frames.size() << " frames";
    }
    void WatchFrames() {
        QObject::connect(form.Timer1, &VbTimer::Timer, form.Timer1,
                         [this] { frames.push_back(form.Picture2->Image().copy()); });
    }

    bool Resting() const {
        return !form.Mascot.MascotRunning && !form.Picture3->isHidden() &&
               !form.Timer1->Enabled() && !form.Timer2->Enabled();
    }

    QElapsedTimer clock_;
    MessageBoxCloser boxes;
    frmWinsock form;
    QImage sprite;
    std::vector<QImage> frames;
    std::vector<PlayedSound> sounds;
};

TEST_F(About, StartUpDrawsTheSpriteAndPutsTheMascotAtRest) {
    Start();
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(form.Mascot.SpriteInfo, QSize(75, 75));
    EXPECT_EQ(form.Mascot.MascotAngle, 0);
    EXPECT_EQ(form.Mascot.SpritePath, Beside("cbm.dll"));
    EXPECT_TRUE(Resting());
    EXPECT_EQ(form.Timer1->Interval(), 250);
    EXPECT_EQ(form.Timer2->Interval(), 3000);
    EXPECT_TRUE(sounds.empty());

    // Picture1 holds the file's picture at its origin, the back colour around it.
    QImage file(Beside("cbm.dll"), "BMP");
    ASSERT_EQ(file.size(), QSize(75, 75));
    file = file.convertToFormat(QImage::Format_RGB32);
    const QRgb back = PictureBox::BackColor().rgb();
    for (int y = 0; y < sprite.height(); ++y) {
        for (int x = 0; x < sprite.width(); ++x) {
            const QRgb expected = x < 75 && y < 75 ? file.pixel(x, y) : back;
            ASSERT_EQ(sprite.pixel(x, y), expected) << x << ", " << y;
        }
    }
}

TEST_F(About, AClickTumblesTheMascotAQuarterTurnEachFrame) {
    Start();
    WatchFrames();
    QTest::mouseClick(form.Picture3, Qt::LeftButton);
    EXPECT_TRUE(form.Mascot.MascotRunning);
    EXPECT_TRUE(form.Picture3->isHidden());
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_TRUE(form.Timer2->Enabled());
    ASSERT_EQ(sounds.size(), 1U);  // at once, before any frame
    EXPECT_EQ(sounds[0].path, Beside("mw.dll"));
    EXPECT_EQ(sounds[0].flags, 3U);

    CollectFrames(5);
    const int turns[] = {0, 90, 180, 270, 0};
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(ShowsFrame(frames[k], sprite, turns[k], 75, 75)) << "frame " << k;
    }
    // Frames are always made from the unturned sprite in Picture1.
    EXPECT_EQ(form.Picture1->Image(), sprite);

    QTest::mouseClick(form.Picture2, Qt::LeftButton);
    EXPECT_TRUE(Resting());
}

TEST_F(About, AStopAfterTheQuarterTurnAndARestartGoOnWithTheHalfTurn) {
    Start();
    WatchFrames();
    QTest::mouseClick(form.Picture3, Qt::LeftButton);
    CollectFrames(2);
    QTest::mouseClick(form.Picture2, Qt::LeftButton);
    EXPECT_TRUE(Resting());
    EXPECT_EQ(form.Mascot.MascotAngle, 180);
    // Picture2 keeps its last frame behind the still picture.
    EXPECT_TRUE(ShowsFrame(form.Picture2->Image(), sprite, 90, 75, 75));
    const std::size_t framesWhenStopped = frames.size();
    QTest::qWait(400);
    EXPECT_EQ(frames.size(), framesWhenStopped);

    QTest::mouseClick(form.Picture1, Qt::LeftButton);
    EXPECT_TRUE(form.Mascot.MascotRunning);
    EXPECT_EQ(sounds.size(), 2U);
    CollectFrames(1);
    EXPECT_TRUE(ShowsFrame(frames.back(), sprite, 180, 75, 75));
}

TEST_F(About, TheSoundPlaysAtOnceAndAgainEveryThreeSeconds) {
    Start();
    QTest::mouseClick(form.Picture3, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sounds.size() >= 2; }, 6000));
    QTest::mouseClick(form.Picture3, Qt::LeftButton);
    ASSERT_EQ(sounds.size(), 2U);
    for (const PlayedSound& sound : sounds) {
        EXPECT_EQ(sound.path, Beside("mw.dll"));
        EXPECT_EQ(sound.flags, SND_ASYNC | SND_NODEFAULT);
    }
    EXPECT_GE(sounds[1].at - sounds[0].at, 2900);
}

TEST_F(About, EachFrameClearsThePreviousOne) {
    Start();
    // A sprite wider than high gives frames of alternating shape.
    constexpr int w = 40;
    constexpr int h = 20;
    QImage& source = form.Picture1->Image();
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            source.setPixel(x, y, qRgb(x * 3, y * 3, 99));
        }
    }
    form.Mascot.SpriteInfo = QSize(w, h);
    const QImage wide = source.copy();
    for (int degrees : {0, 90, 180, 270}) {
        Moodule::MascotFrameStep(form);
        EXPECT_TRUE(ShowsFrame(form.Picture2->Image(), wide, degrees, w, h));
    }
    EXPECT_EQ(form.Mascot.MascotAngle, 0);
}

TEST_F(About, WithoutADrawingContextTheSoundTimerKeepsPlaying) {
    platform::SetDrawingContextFailure(true);
    ASSERT_TRUE(form.Load());
    ASSERT_EQ(boxes.seen.size(), 1U);
    EXPECT_EQ(boxes.seen[0].title, QStringLiteral("Device Context Error"));
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("Error, Unable To Create Device Context"));
    EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(form.mooinfo->toPlainText(), Moodule::TermsText().replace("\r\n", "\n"));

    // The timers keep their design settings: no frames, the sound every three seconds.
    EXPECT_EQ(form.Timer1->Interval(), 0);
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_TRUE(form.Timer2->Enabled());
    const QImage empty = form.Picture1->Image().copy();
    EXPECT_EQ(empty.pixel(30, 30), PictureBox::BackColor().rgb());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sounds.empty(); }, 4500));
    EXPECT_EQ(sounds[0].path, Beside("mw.dll"));

    // A click uncovers the empty Picture2 and plays at once; the next one ends the sound.
    QTest::mouseClick(form.Picture3, Qt::LeftButton);
    EXPECT_TRUE(form.Picture3->isHidden());
    EXPECT_EQ(sounds.size(), 2U);
    QTest::mouseClick(form.Picture2, Qt::LeftButton);
    EXPECT_TRUE(Resting());
    EXPECT_EQ(form.Picture2->Image().pixel(30, 30), PictureBox::BackColor().rgb());
}

// Run in a copy of this program in a folder without the data files (see below).
void CheckStartUpWithoutSprite() {
    ASSERT_FALSE(QFile::exists(Beside("cbm.dll")));
    MessageBoxCloser boxes;
    frmWinsock form;
    const int usersBefore = platform::WinsockUsers();
    EXPECT_FALSE(form.Load());
    ASSERT_EQ(boxes.seen.size(), 1U);
    EXPECT_EQ(boxes.seen[0].title, QStringLiteral("Bitmap Load Error"));
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("Error, Unable To Load Bitmap"));
    EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(form.mooinfo->toPlainText().isEmpty());
    // The program ends at once: Windows Sockets is not released by an unload.
    EXPECT_EQ(platform::WinsockUsers(), usersBefore + 1);
}

TEST(AboutStartUp, WithoutTheSpriteFileTheProgramEnds) {
    if (qEnvironmentVariableIsSet("NORVANE_TEST_WITHOUT_DATA_FILES")) {
        CheckStartUpWithoutSprite();
        return;
    }
    // The sprite is looked for beside the program, so a copy of this test program runs in a
    // folder of its own.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString copy = folder.filePath(QStringLiteral("test_about"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVANE_TEST_WITHOUT_DATA_FILES"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(copy,
                {QStringLiteral("--gtest_filter=AboutStartUp.WithoutTheSpriteFileTheProgramEnds")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(AboutDataFiles, SpriteAndSoundAreBesideTheProgram) {
    const QImage sprite(Beside("cbm.dll"), "BMP");
    ASSERT_FALSE(sprite.isNull());
    EXPECT_EQ(sprite.size(), QSize(75, 75));
    EXPECT_EQ(sprite.format(), QImage::Format_Indexed8);
    EXPECT_EQ(sprite.pixel(0, 0), PictureBox::BackColor().rgb());

    QFile sound(Beside("mw.dll"));
    ASSERT_TRUE(sound.open(QIODevice::ReadOnly));
    const QByteArray wave = sound.readAll();
    ASSERT_GE(wave.size(), 44);
    EXPECT_EQ(wave.left(4), "RIFF");
    EXPECT_EQ(wave.mid(8, 8), "WAVEfmt ");
    const auto le = [&](int at, int size) {
        quint32 value = 0;
        for (int i = size - 1; i >= 0; --i) {
            value = value << 8 | static_cast<quint8>(wave[at + i]);
        }
        return value;
    };
    EXPECT_EQ(le(20, 2), 1U);  // PCM
    const quint32 bytesPerSecond = le(28, 4);
    ASSERT_EQ(wave.mid(36, 4), "data");
    const quint32 dataBytes = le(40, 4);
    EXPECT_EQ(dataBytes + 44, static_cast<quint32>(wave.size()));
    EXPECT_GT(dataBytes, bytesPerSecond / 2);
    EXPECT_LT(dataBytes, bytesPerSecond * 2);
}

TEST(AboutSound, PlayingWithoutAFileOrADeviceIsSilentAndReturnsAtOnce) {
    // The real player: nothing is recorded, nothing is reported.
    const QByteArray missing =
        QDir::temp().filePath(QStringLiteral("no-such-sound.wav")).toLocal8Bit();
    EXPECT_FALSE(sndPlaySoundA(missing.constData(), SND_ASYNC | SND_NODEFAULT));

    const QByteArray real = Beside("mw.dll").toLocal8Bit();
    const bool haveDevice = !QMediaDevices::defaultAudioOutput().isNull();
    EXPECT_EQ(sndPlaySoundA(real.constData(), SND_ASYNC | SND_NODEFAULT), haveDevice);
    // A second call cuts off the first, and the event loop goes on.
    EXPECT_EQ(sndPlaySoundA(real.constData(), SND_ASYNC | SND_NODEFAULT), haveDevice);
    QTest::qWait(100);

    // The player itself lies beside the program, where the first sound loads it from.
    QLibrary player(Beside("libnorvane_sound.so"));
    EXPECT_NE(player.resolve("norvane_play_wave"), nullptr) << player.errorString().toStdString();
}

}  // namespace
