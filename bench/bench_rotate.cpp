// Time of one quarter turn of the 75 x 75 mascot, as the animation makes it four times a
// second, beside a floor measured in the same run: the same turn with QImage::pixel and
// QImage::setPixel in a plain loop.

#include <cstdint>

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include "about/moodule.h"
#include "assets/mascot_picture.h"

namespace {

constexpr int kSprite = 75;

// The sprite as the picture box holds it: at the origin of a slightly larger image.
const QImage& Surface() {
    static const QImage surface = [] {
        QImage image(81, 77, QImage::Format_RGB32);
        image.fill(assets::MascotBackground());
        const QImage sprite = assets::MascotPicture().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < kSprite; ++y) {
            for (int x = 0; x < kSprite; ++x) {
                image.setPixel(x, y, sprite.pixel(x, y));
            }
        }
        return image;
    }();
    return surface;
}

void BM_RotateImage(benchmark::State& state) {
    const auto angle = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        QImage surface = Surface();
        std::int32_t width = kSprite;
        std::int32_t height = kSprite;
        std::int32_t turn = angle;
        Moodule::RotateImage(surface, width, height, turn);
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_RotateImage)->Arg(0)->Arg(2)->Arg(3)->Arg(5)->Unit(benchmark::kMicrosecond);

// The floor: a quarter turn clockwise with the same one-pixel shift, one pixel()/setPixel()
// pair per pixel.
void BM_PixelSetPixelFloor(benchmark::State& state) {
    const QImage& source = Surface();
    for (auto _ : state) {
        QImage copy(kSprite, kSprite, source.format());
        copy.fill(0);
        for (int i = 0; i < kSprite; ++i) {
            for (int j = 0; j < kSprite; ++j) {
                copy.setPixel(j, i, source.pixel(i, kSprite - j));
            }
        }
        benchmark::DoNotOptimize(copy.constBits());
    }
}
BENCHMARK(BM_PixelSetPixelFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
