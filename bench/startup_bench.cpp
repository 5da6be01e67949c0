// Start-up figures: the time from process launch to the first painted frame and the peak
// resident memory, for Norvane (its own main(), built with a first-frame reporter) and for the
// plain Qt floor that builds the same window. The two programs run in turn, A B A B, after one
// unmeasured run of each; printed are the median, least and greatest of each, and the ratios of
// the medians and the median of each round's ratio. First it checks that the floor builds the same
// window: both save their first frame, and the two pictures are compared pixel for pixel.
//
// usage: bench_startup [ROUNDS]   (default 51, or NORVANE_BENCH_ROUNDS; QT_QPA_PLATFORM
// defaults to offscreen; set it to xcb, with DISPLAY, to measure on an X server such as Xvfb)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QImage>
#include <QRect>

#include "bench/monotonic.h"

namespace {

struct Run {
    double firstFrameMs = 0;
    double peakRssMiB = 0;
};

bool RunOnce(const std::string& program, Run& run, const char* grab = nullptr) {
    int out[2];
    if (pipe(out) != 0) {
        return false;
    }
    const long long launch = bench::MonotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        setenv("NORVANE_LAUNCH_NS", std::to_string(launch).c_str(), 1);
        if (grab != nullptr) {
            setenv("NORVANE_BENCH_GRAB", grab, 1);
        }
        dup2(out[1], STDOUT_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const auto at = text.find("first-frame-ns ");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos) {
        std::fprintf(stderr, "%s did not report a first frame\n", program.c_str());
        return false;
    }
    run.firstFrameMs = std::atoll(text.c_str() + at + 15) / 1e6;
    run.peakRssMiB = usage.ru_maxrss / 1024.0;
    return true;
}

// Both programs' first frames, compared pixel for pixel; true when they are the same.
bool SameWindow(const std::string programs[2]) {
    const std::string folder = "/tmp/bench_startup." + std::to_string(getpid());
    const std::string files[2] = {folder + ".norvane.bmp", folder + ".floor.bmp"};
    QImage images[2];
    for (int p = 0; p < 2; ++p) {
        Run run;
        if (!RunOnce(programs[p], run, files[p].c_str())) {
            return false;
        }
        images[p] =
            QImage(QString::fromStdString(files[p]), "BMP").convertToFormat(QImage::Format_RGB32);
    }
    if (images[0].isNull() || images[0].size() != images[1].size()) {
        std::printf("same window: NO (sizes %dx%d and %dx%d); pictures kept in %s.*.bmp\n",
                    images[0].width(), images[0].height(), images[1].width(), images[1].height(),
                    folder.c_str());
        return false;
    }
    long differing = 0;
    QRect where;
    for (int y = 0; y < images[0].height(); ++y) {
        for (int x = 0; x < images[0].width(); ++x) {
            if (images[0].pixel(x, y) != images[1].pixel(x, y)) {
                ++differing;
                where |= QRect(x, y, 1, 1);
            }
        }
    }
    if (differing != 0) {
        std::printf(
            "same window: NO, %ld of %d pixels differ, within (%d,%d)-(%d,%d); pictures "
            "kept in %s.*.bmp\n",
            differing, images[0].width() * images[0].height(), where.left(), where.top(),
            where.right(), where.bottom(), folder.c_str());
        return false;
    }
    std::printf("same window: yes, the first frames (%dx%d) are identical pixel for pixel\n",
                images[0].width(), images[0].height());
    for (const std::string& file : files) {
        std::remove(file.c_str());
    }
    return true;
}

struct Spread {
    double median, min, max;
};

Spread Summary(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void PrintRow(const char* name, const Spread& ms, const Spread& rss) {
    std::printf("%-8s %8.1f %7.1f %7.1f   %8.1f %7.1f %7.1f\n", name, ms.median, ms.min, ms.max,
                rss.median, rss.min, rss.max);
}

int Rounds(int argc, char** argv, int fallback) {
    const char* text = argc > 1 ? argv[1] : std::getenv("NORVANE_BENCH_ROUNDS");
    return text != nullptr ? std::max(3, std::atoi(text)) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = Rounds(argc, argv, 51);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string dir = std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/') + 1);
    const std::string programs[2] = {dir + "bench_startup_probe", dir + "bench_startup_floor"};

    std::printf("start-up, QT_QPA_PLATFORM=%s\n", std::getenv("QT_QPA_PLATFORM"));
    const bool same = SameWindow(programs);

    std::vector<double> ms[2], rss[2];
    for (int i = -1; i < rounds; ++i) {
        for (int p = 0; p < 2; ++p) {  // in turn, so that both see the same machine
            Run run;
            if (!RunOnce(programs[p], run)) {
                return 1;
            }
            if (i >= 0) {  // the first round only warms the file cache
                ms[p].push_back(run.firstFrameMs);
                rss[p].push_back(run.peakRssMiB);
            }
        }
    }
    const Spread norvaneMs = Summary(ms[0]), floorMs = Summary(ms[1]);
    const Spread norvaneRss = Summary(rss[0]), floorRss = Summary(rss[1]);
    std::printf("%d rounds, A B A B\n", rounds);
    std::printf("%-8s %8s %7s %7s   %8s %7s %7s\n", "", "frame ms", "min", "max", "peak MiB", "min",
                "max");
    PrintRow("norvane", norvaneMs, norvaneRss);
    PrintRow("floor", floorMs, floorRss);
    std::printf("%-8s %8.3f %15s   %8.3f   (of the medians; goals: 1.02 and 1.01 or less)\n",
                "ratio", norvaneMs.median / floorMs.median, "",
                norvaneRss.median / floorRss.median);
    // Each round's pair sees about the same machine; the median of their ratios shrugs off
    // a load that comes and goes.
    std::vector<double> msRatios, rssRatios;
    for (int i = 0; i < rounds; ++i) {
        msRatios.push_back(ms[0][i] / ms[1][i]);
        rssRatios.push_back(rss[0][i] / rss[1][i]);
    }
    const Spread msRatio = Summary(msRatios), rssRatio = Summary(rssRatios);
    std::printf("%-8s %8.3f %7.3f %7.3f   %8.3f %7.3f %7.3f   (median of each round's ratio)\n",
                "pairs", msRatio.median, msRatio.min, msRatio.max, rssRatio.median, rssRatio.min,
                rssRatio.max);
    return same ? 0 : 3;
}
