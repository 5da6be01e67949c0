// Start-up figures: the time from process launch to the first painted frame and the peak
// resident memory, for Norvane's window and for the bare Qt floor, as the median, least and
// greatest of many runs, which alternate between the two programs.
// usage: bench_startup [RUNS]   (default 15; QT_QPA_PLATFORM defaults to offscreen; set it to
// xcb, with DISPLAY, to measure on an X server such as Xvfb)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/monotonic.h"

namespace {

struct Run {
    double firstFrameMs = 0;
    double peakRssMiB = 0;
};

bool RunOnce(const std::string& program, Run& run) {
    int out[2];
    if (pipe(out) != 0) {
        return false;
    }
    const long long launch = bench::MonotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        setenv("NORVANE_LAUNCH_NS", std::to_string(launch).c_str(), 1);
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

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 15;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string dir = std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/') + 1);
    const std::string programs[] = {dir + "bench_startup_probe", dir + "bench_startup_floor"};

    std::vector<double> ms[2], rss[2];
    for (int i = 0; i < runs; ++i) {
        for (int p = 0; p < 2; ++p) {  // alternate, so that both see the same machine
            Run run;
            if (!RunOnce(programs[p], run)) {
                return 1;
            }
            ms[p].push_back(run.firstFrameMs);
            rss[p].push_back(run.peakRssMiB);
        }
    }
    const Spread norvaneMs = Summary(ms[0]), floorMs = Summary(ms[1]);
    const Spread norvaneRss = Summary(rss[0]), floorRss = Summary(rss[1]);
    std::printf("start-up over %d runs each (QT_QPA_PLATFORM=%s)\n", runs,
                std::getenv("QT_QPA_PLATFORM"));
    std::printf("%-8s %8s %7s %7s   %8s %7s %7s\n", "", "frame ms", "min", "max", "RSS MiB", "min",
                "max");
    PrintRow("norvane", norvaneMs, norvaneRss);
    PrintRow("floor", floorMs, floorRss);
    std::printf("%-8s %8.2f %15s   %8.2f   (medians; goals: 1.10 and 1.05 or less)\n", "ratio",
                norvaneMs.median / floorMs.median, "", norvaneRss.median / floorRss.median);
    return 0;
}
