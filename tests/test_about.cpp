// The "About" tab: terms text, quarter turns and copies of images; start-up, clicks on the
// mascot and the label, and the timers' ticks, fired directly rather than waited for.

#include <vector>

#include <QDeadlineTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "about/drawing.h"
#include "about/moodule.h"
#include "about/terms.h"
#include "assets/mascot_picture.h"
#include "platform/sound/sound.h"
#include "tests/loopback.h"
#include "tests/window_fixture.h"

namespace {

// Every pixel names its own position.
QRgb Tag(int x, int y) {
    return qRgb(x * 10 + 5, y * 10 + 5, 200);
}

QImage Tagged(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int k = 0; k < width * height; ++k) {
        image.setPixel(k % width, k / width, Tag(k % width, k / width));
    }
    return image;
}

// The width x height region of `image` turned by `angle`, checked to be `size` large.
QImage Turn(QImage image, std::int32_t width, std::int32_t height, std::int32_t angle, QSize size) {
    Moodule::RotateImage(image, width, height, angle);
    EXPECT_TRUE(image.size() == size && QSize(width, height) == size);
    return image;
}

TEST(RotateImage, QuarterTurnsTakeTheirPixelsOnePixelOffAnExactTurn) {
    const QImage source = Tagged(4, 3);  // a 3 x 2 region and the column and row past it
    EXPECT_EQ(Turn(source, 3, 2, 0, {3, 2}), source.copy(0, 0, 3, 2));
    const QImage quarter = Turn(source, 3, 2, 2, {2, 3});
    EXPECT_EQ(quarter.pixel(0, 0), Tag(0, 2));  // column 0 from the row below the region
    EXPECT_EQ(quarter.pixel(1, 2), Tag(2, 1));
    EXPECT_EQ(Turn(source, 3, 2, 3, {3, 2}).pixel(0, 0), Tag(3, 2));
    const QImage threeQuarters = Turn(source, 3, 2, 5, {2, 3});
    EXPECT_EQ(threeQuarters.pixel(0, 0), Tag(3, 0));  // row 0 from the column past the region
    EXPECT_EQ(threeQuarters.pixel(1, 2), Tag(1, 1));
    EXPECT_EQ(source, Tagged(4, 3));  // only read
    // Where the region fills the surface there is no row below it: the copy stays black.
    EXPECT_EQ(Turn(Tagged(3, 2), 3, 2, 2, {2, 3}).pixel(0, 1), qRgb(0, 0, 0));

    // Four quarter turns give the region back but for the top row and left column (read past).
    QImage image = Tagged(6, 6);
    for (int turn = 0; turn < 4; ++turn) {
        image = Turn(image, 5, 5, 2, {5, 5});
    }
    QImage expected = Tagged(5, 5);
    QPainter(&expected).fillRect(0, 0, 5, 1, Qt::black);
    QPainter(&expected).fillRect(0, 0, 1, 5, Qt::black);
    EXPECT_EQ(image, expected);
}

// A copy takes what lies inside both images and leaves the rest; pixels of four bytes and three.
TEST(BitBlt, CopiesWhatLiesInsideBothImagesAndNothingElse) {
    const int copies[][6] = {{1, 1, 2, 2, 1, 0},   {-2, -1, 4, 3, 0, 0}, {3, 2, 9, 9, 0, 0},
                             {0, 0, 3, 3, -1, -2}, {2, 1, 5, 5, 2, 1},   {-6, 0, 3, 3, 0, 0},
                             {0, 0, 3, 3, 4, 0},   {1, 0, -1, 2, 0, 0},  {0, 3, 5, 5, 0, 2}};
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        const QImage source = Tagged(4, 3).convertToFormat(format);
        for (const auto& [x, y, width, height, sourceX, sourceY] : copies) {
            QImage destination(5, 4, format);
            destination.fill(Qt::white);
            platform::BitBlt(destination, x, y, width, height, source, sourceX, sourceY);
            int wrong = 0;
            for (int k = 0; k < 5 * 4; ++k) {
                const QPoint at(k % 5, k / 5), from = at - QPoint(x - sourceX, y - sourceY);
                const bool copied =
                    QRect(x, y, width, height).contains(at) && source.rect().contains(from);
                wrong +=
                    destination.pixel(at) != (copied ? source.pixel(from) : qRgb(255, 255, 255));
            }
            EXPECT_EQ(wrong, 0) << format << " row " << (&x - &copies[0][0]) / 6;
        }
    }
    // Between pixel formats the copy converts; without a context there is no bitmap.
    QImage other(5, 4, QImage::Format_ARGB32);
    platform::BitBlt(other, 1, 1, 2, 2, Tagged(4, 3), 1, 0);
    EXPECT_TRUE(other.pixel(1, 1) == Tag(1, 0) && other.pixel(2, 2) == Tag(2, 1));
    EXPECT_TRUE(platform::CreateCompatibleBitmap(QImage(), 2, 2).isNull());
}

QString Beside(const char* name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

QImage AtTopLeftOnBackColour(const QImage& picture, QSize box) {
    QImage image(box, QImage::Format_RGB32);
    image.fill(assets::MascotBackground());
    QPainter(&image).drawImage(0, 0, picture);
    return image;
}

class About : public LoadedWindow {
protected:
    void SetUp() override {
        platform::SetSoundRecorder([this](const QString& path, unsigned flags) {
            sounds.push_back(flags == (SND_ASYNC | SND_NODEFAULT) ? path : "wrong flags");
        });
        LoadedWindow::SetUp();
        sprite = form->Picture1->Image().copy();
    }
    void TearDown() override { platform::SetSoundRecorder({}); }
    bool Resting() const {
        return !form->Mascot.MascotRunning && !form->Picture3->isHidden() &&
               !form->Timer1->Ticking() && !form->Timer2->Ticking();
    }
    // Fires the frame timer; true when Picture2 then holds the sprite turned by `radians` alone.
    bool TickShows(std::int32_t radians) {
        emit form->Timer1->Timer();
        QImage turned = sprite;
        std::int32_t width = form->Mascot.SpriteInfo.width();
        std::int32_t height = form->Mascot.SpriteInfo.height();
        Moodule::RotateImage(turned, width, height, radians);
        return form->Picture2->Image() == AtTopLeftOnBackColour(turned, sprite.size());
    }

    MessageBoxCloser boxes;
    std::vector<QString> sounds;
    QImage sprite;
};

TEST_F(About, StartUpShowsTheMascotAndTheTermsClicksStartAndStopTheTumbling) {
    EXPECT_TRUE(boxes.seen.isEmpty() && sounds.empty() && Resting());
    EXPECT_TRUE(form->Timer1->Interval() == 250 && form->Mascot.SpriteInfo == QSize(75, 75));
    // The sprite file is the mascot as drawn; Picture1 and the still picture hold it, and show it.
    const QImage drawn = AtTopLeftOnBackColour(assets::MascotPicture(), sprite.size());
    const QRect inside = form->Picture3->contentsRect();
    EXPECT_EQ(form->Picture3->grab(inside).toImage().convertToFormat(QImage::Format_RGB32), drawn);
    EXPECT_TRUE(sprite == drawn && form->Picture3->Image() == drawn);
    // It was read as a BMP, without loading the image format plugins to ask them about it.
    QFile maps(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly) && !maps.readAll().contains("imageformats"));

    // The terms: a fixed title, headings and blanks, and the notice in the rights paragraph only.
    const QString text = Moodule::TermsText();
    EXPECT_TRUE(text.startsWith("Norvane 1.0\r\n\r\nRight of use to the Enduser:\r\n\r\n"));
    EXPECT_EQ(text.count(QLatin1Char('\n')), 32);  // the sixteen separators' line ends only
    const QStringList blocks = text.split("\r\n\r\n");
    ASSERT_EQ(blocks.size(), 17);
    EXPECT_TRUE(blocks[3].startsWith(QLatin1Char(' ')) && !blocks[3].startsWith("  "));
    EXPECT_EQ(std::tuple(blocks[4], blocks[6], blocks[8], blocks[13]),
              std::tuple("Disclaimer of Warrantee: ", "Limitations:", "Distribution ",
                         "Decompiling and Alteration Restrictions"));
    EXPECT_TRUE(blocks[15].endsWith(QLatin1Char(' ')) && text.endsWith(QLatin1Char(' ')));

    QStringList noticed = Moodule::TermsTextWithNotice().split("\r\n\r\n");
    ASSERT_EQ(noticed.size(), 17);
    EXPECT_TRUE(noticed[15].startsWith(blocks[15] + "Copyright")) << noticed[15].toStdString();
    noticed[15] = blocks[15];
    EXPECT_EQ(noticed, blocks);
    EXPECT_EQ(form->mooinfo->toPlainText(), Moodule::TermsText().replace("\r\n", "\n"));
    QTest::mouseClick(form->Label7, Qt::LeftButton);
    EXPECT_EQ(form->mooinfo->toPlainText(), Moodule::TermsTextWithNotice().replace("\r\n", "\n"));

    // Clicks start and stop the tumbling, which goes on from the angle reached at each tick.
    form->Mascot.SpriteInfo = QSize(40, 20);  // wider than high: frames alternate in shape
    QTest::mouseClick(form->Picture3, Qt::LeftButton);
    EXPECT_TRUE(form->Mascot.MascotRunning && form->Picture3->isHidden());
    EXPECT_TRUE(form->Timer1->Ticking() && form->Timer2->Ticking());
    EXPECT_EQ(sounds, std::vector<QString>{Beside("mw.dll")});  // at once
    EXPECT_TRUE(TickShows(0) && TickShows(2));
    QTest::mouseClick(form->Picture2, Qt::LeftButton);
    EXPECT_TRUE(Resting());
    QTest::mouseClick(form->Picture1, Qt::LeftButton);
    EXPECT_EQ(sounds.size(), 2U);
    EXPECT_TRUE(TickShows(3) && TickShows(5) && TickShows(0));
    emit form->Timer2->Timer();
    EXPECT_EQ(sounds.size(), 3U);

    // A timer of interval 0 never ticks; the first tick comes one interval after enabling.
    VbTimer timer;
    QSignalSpy ticks(&timer, &VbTimer::Timer);
    timer.SetInterval(0);  // enabled, as the frame timer's design has it
    EXPECT_FALSE(ticks.wait(30));
    timer.SetEnabled(false);
    timer.SetInterval(40);
    const QDeadlineTimer oneInterval(40);
    timer.SetEnabled(true);
    ASSERT_TRUE(ticks.wait(1000));
    EXPECT_TRUE(oneInterval.hasExpired());
}

// Without the sprite file the program ends at once; without a drawing context it goes on.
TEST(AboutStartUp, WithoutTheSpriteFileTheProgramEndsAtOnceWithoutADrawingContextItGoesOn) {
    if (qEnvironmentVariableIsSet("NORVANE_TEST_WITHOUT_DATA_FILES")) {
        MessageBoxCloser boxes;
        frmWinsock form;
        const int users = platform::WinsockUsers();
        EXPECT_FALSE(form.Load());
        EXPECT_EQ(boxes.seen, QStringList{"Bitmap Load Error|Error, Unable To Load Bitmap"});
        EXPECT_EQ(platform::WinsockUsers(), users + 1);  // no unload runs
        return;
    }
    {
        MessageBoxCloser boxes;
        frmWinsock form;
        platform::SetDrawingContextFailure(true);
        EXPECT_TRUE(form.Load());
        platform::SetDrawingContextFailure(false);
        EXPECT_EQ(boxes.seen,
                  QStringList{"Device Context Error|Error, Unable To Create Device Context"});
        EXPECT_TRUE(form.Mascot.SpriteInfo.isEmpty() && form.Timer1->Interval() != 250);
    }
    // The sprite is looked for beside the program: run a copy of this test in an empty folder.
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("test_about"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QProcess child;
    qputenv("NORVANE_TEST_WITHOUT_DATA_FILES", "1");
    child.start(copy, {"--gtest_filter=AboutStartUp.*"});
    qunsetenv("NORVANE_TEST_WITHOUT_DATA_FILES");
    ASSERT_TRUE(child.waitForFinished(60000));
    const std::string output = child.readAll().toStdString();
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// The moo as a WAVE reader reads it, and as the real player plays it to a sound server of the
// test's own, whose one output plays into nothing and is recorded.
TEST(AboutSound, TheMooIsAWaveFileThatThePlayerPlaysWholeAndNoFileIsSilent) {
    QProcess reader;  // Python's
    reader.start(
        "/usr/bin/python3",
        {"-c", "import sys, wave; print(*wave.open(sys.argv[1]).getparams())", Beside("mw.dll")});
    ASSERT_TRUE(reader.waitForFinished(20000));
    EXPECT_EQ(reader.readAll(), "1 2 22050 28665 NONE not compressed\n");  // 16-bit mono, 1.3 s
    QTemporaryDir home;
    qputenv("PULSE_SERVER", "unix:" + home.filePath("native").toLocal8Bit());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", home.path());
    QProcess server;  // (the processes are killed when the test ends)
    server.setProcessEnvironment(environment);
    server.start(
        "pulseaudio",
        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes",
         "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + home.filePath("native"),
         "-L", "module-null-sink sink_name=heard rate=22050 channels=1"});
    ASSERT_TRUE(loopback::WaitUntil([&] { return QFile::exists(home.filePath("native")); }));
    QProcess recorder;
    recorder.setProcessEnvironment(environment);
    recorder.start("parec", {"-d", "heard.monitor", "--raw", "--format=s16le", "--rate=22050",
                             "--channels=1", "--latency-msec=20"});
    loopback::Spin(300);
    EXPECT_FALSE(sndPlaySoundA("/nonexistent/mw.dll", SND_ASYNC | SND_NODEFAULT));
    EXPECT_TRUE(sndPlaySoundA(Beside("mw.dll").toLocal8Bit(), SND_ASYNC | SND_NODEFAULT));
    // Heard until half a second of quiet follows: from its first loud sample to its last.
    QByteArray heard;
    qsizetype scanned = 0, first = -1, last = -1;
    loopback::WaitUntil(
        [&] {
            heard += recorder.readAllStandardOutput();
            const auto* samples = reinterpret_cast<const std::int16_t*>(heard.constData());
            for (; scanned < heard.size() / 2; ++scanned) {
                first = first < 0 && std::abs(samples[scanned]) > 300 ? scanned : first;
                last = std::abs(samples[scanned]) > 300 ? scanned : last;
            }
            return first >= 0 && scanned - last > 22050 / 2;
        },
        10000);
    qunsetenv("PULSE_SERVER");
    ASSERT_GE(first, 0) << scanned << " samples, all silent";
    EXPECT_NEAR(double(last - first) / 22050, 1.3, 0.15);
}

}  // namespace
