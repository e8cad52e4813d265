// Start-up: the time from process start until the main window has been
// painted (offscreen), and the process's peak memory, each as a ratio to a
// bare Qt Widgets window built by the same child program. Two steps between
// them show where a window that draws Chinese spends its time: the bare
// window after reading the font database, and with one line of Chinese text.
// Runs alternate so that all see the same machine noise.
#include "bench/Timing.h"

#include <QList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Sample {
    double ms = -1;
    double peakMiB = -1;
};

Sample runChild(const char *mode)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char child[] = YZ_STARTUP_CHILD;
    char modeArg[16];
    std::snprintf(modeArg, sizeof modeArg, "%s", mode);
    char *argv[] = {child, modeArg, nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, child, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    Sample sample;
    char buffer[64];
    if (spawned == 0 && ::read(pipeFds[0], buffer, sizeof buffer) > 0)
        sample.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    if (spawned == 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        sample.peakMiB = double(usage.ru_maxrss) / 1024;
    else
        sample.ms = -1;
    return sample;
}

} // namespace

int main()
{
    constexpr int kRounds = 25;
    struct Mode {
        const char *name;
        const char *caption;
    };
    const Mode modes[] = {{"bare", "bare Qt window"},
                          {"fontdb", "  + font database read"},
                          {"label", "  + one line of Chinese"},
                          {"window", "the program's window"}};
    constexpr int kModes = int(std::size(modes));
    QList<double> ms[kModes], mem[kModes];
    for (const Mode &mode : modes)
        runChild(mode.name); // warm the file cache
    for (int i = 0; i < kRounds; ++i) {
        for (int m = 0; m < kModes; ++m) {
            const Sample s = runChild(modes[m].name);
            if (s.ms < 0) {
                std::fprintf(stderr, "start-up child failed (%s)\n", modes[m].name);
                return 1;
            }
            ms[m] << s.ms;
            mem[m] << s.peakMiB;
        }
    }
    std::printf("%-34s %8s %8s %8s %8s %8s\n", "start-up (offscreen), median", "ms", "/bare", "MiB", "/bare", "target");
    const double bareMs = yzbench::median(ms[0]);
    const double bareMiB = yzbench::median(mem[0]);
    for (int m = 0; m < kModes; ++m) {
        const double t = yzbench::median(ms[m]);
        const double peak = yzbench::median(mem[m]);
        std::printf("%-34s %8.1f %8.2f %8.1f %8.2f %8s\n", modes[m].caption, t, t / bareMs, peak, peak / bareMiB, "");
    }
    // The figure with a target: the program against any window that shows Chinese.
    const double labelMs = yzbench::median(ms[2]);
    std::printf("%-34s %8s %8.2f %8s %8.2f %8s\n", "the program's window / Chinese line", "",
                yzbench::median(ms[kModes - 1]) / labelMs, "",
                yzbench::median(mem[kModes - 1]) / yzbench::median(mem[2]), "<= 1.3");
    return 0;
}
