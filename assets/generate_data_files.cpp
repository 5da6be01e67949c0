// Writes the two data files the program reads from its own folder: cbm.dll, the mascot's
// sprite as a 256-colour BMP, and mw.dll, a short "moo" as a RIFF WAVE file, synthesized here.
// With --icons it writes the program's icons for the desktop instead: the mascot drawn at each
// size of the hicolor theme, and once more as SVG, under ICON_FOLDER/hicolor/ as NAME.png/.svg.
//
//   generate_data_files OUTPUT_FOLDER
//   generate_data_files --icons ICON_FOLDER NAME

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include "assets/mascot_picture.h"

namespace {

constexpr int kSampleRate = 22050;
constexpr double kSeconds = 1.3;

// One low, falling voice with a closed-mouth "mm" that opens into an "oo": a sum of
// harmonics, each weighted by how close it lies to the vowel's resonances.
std::vector<std::int16_t> SynthesizeMoo() {
    const double pi = std::numbers::pi;
    const int count = static_cast<int>(kSampleRate * kSeconds);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    double phase = 0.0;
    for (int n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / kSampleRate;
        const double progress = t / kSeconds;
        // The pitch rises a little as the mouth opens, then sinks, with a slow wobble.
        const double pitch = 118.0 + 22.0 * std::sin(pi * std::min(progress * 1.6, 1.0)) -
                             25.0 * progress + 2.5 * std::sin(2.0 * pi * 5.5 * t);
        phase += 2.0 * pi * pitch / kSampleRate;
        // "mm" is muffled (one low resonance); "oo" adds a second one higher up.
        const double open = std::clamp((progress - 0.12) / 0.2, 0.0, 1.0);
        const double low = 300.0;
        const double high = 800.0;
        double value = 0.0;
        for (int harmonic = 1; harmonic <= 24; ++harmonic) {
            const double frequency = pitch * harmonic;
            const double nearLow = std::exp(-std::pow((frequency - low) / 180.0, 2.0));
            const double nearHigh = std::exp(-std::pow((frequency - high) / 260.0, 2.0));
            const double weight = (0.35 + 0.65 * nearLow + open * 0.45 * nearHigh) / harmonic;
            value += weight * std::sin(harmonic * phase);
        }
        // Swell in, hold, fade out.
        const double attack = std::min(t / 0.12, 1.0);
        const double release = std::min((kSeconds - t) / 0.35, 1.0);
        const double envelope = attack * release * (0.55 + 0.45 * open);
        samples[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(
            std::lround(std::clamp(value * envelope * 0.45, -1.0, 1.0) * 32000.0));
    }
    return samples;
}

void AppendLittleEndian(QByteArray& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// A PCM RIFF WAVE file: 16-bit mono.
QByteArray WaveFile(const std::vector<std::int16_t>& samples) {
    const auto dataSize = static_cast<std::uint32_t>(samples.size() * 2);
    QByteArray bytes;
    bytes.append("RIFF");
    AppendLittleEndian(bytes, 36 + dataSize, 4);
    bytes.append("WAVE");
    bytes.append("fmt ");
    AppendLittleEndian(bytes, 16, 4);
    AppendLittleEndian(bytes, 1, 2);  // PCM
    AppendLittleEndian(bytes, 1, 2);  // mono
    AppendLittleEndian(bytes, kSampleRate, 4);
    AppendLittleEndian(bytes, kSampleRate * 2, 4);  // bytes per second
    AppendLittleEndian(bytes, 2, 2);                // bytes per sample frame
    AppendLittleEndian(bytes, 16, 2);               // bits per sample
    bytes.append("data");
    AppendLittleEndian(bytes, dataSize, 4);
    for (std::int16_t sample : samples) {
        AppendLittleEndian(bytes, static_cast<std::uint16_t>(sample), 2);
    }
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

// Full colour on a transparent back: desktops show these icons at every size in menus and
// docks, where the window icon's sixteen colours would look coarse.
bool WriteIcons(const QDir& folder, const QString& name) {
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString apps = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        assets::DrawMascot(painter, size);
        painter.end();
        if (!folder.mkpath(apps) || !icon.save(folder.filePath(apps + '/' + name + ".png"))) {
            return false;
        }
    }
    const QString scalable = QStringLiteral("hicolor/scalable/apps");
    if (!folder.mkpath(scalable)) {
        return false;
    }
    QSvgGenerator svg;
    svg.setFileName(folder.filePath(scalable + '/' + name + ".svg"));
    svg.setSize(QSize(75, 75));
    svg.setResolution(96);  // CSS pixels: the picture is 75 px square
    svg.setViewBox(QRect(0, 0, 75, 75));
    svg.setTitle(QStringLiteral("Norvane"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    // The drawing has no text, but every group of the SVG names a font; give it a valid one.
    QFont font;
    font.setPixelSize(12);
    painter.setFont(font);
    assets::DrawMascot(painter, 75);
    return painter.end();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--icons") {
        if (!WriteIcons(QDir(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3]))) {
            std::fprintf(stderr, "cannot write the icons into %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER | --icons ICON_FOLDER NAME\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QImage sprite = assets::MascotPicture();
    if (sprite.format() != QImage::Format_Indexed8 ||
        !sprite.save(folder.filePath(QStringLiteral("cbm.dll")), "BMP")) {
        std::fprintf(stderr, "cannot write the sprite into %s\n", argv[1]);
        return 1;
    }
    if (!WriteFile(folder.filePath(QStringLiteral("mw.dll")), WaveFile(SynthesizeMoo()))) {
        std::fprintf(stderr, "cannot write the sound into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
