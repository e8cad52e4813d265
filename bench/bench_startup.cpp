// Start-up: the time from process start until the main window has been shown
// (offscreen), and the process's peak memory, each as a ratio to a bare Qt
// Widgets window built by the same child program, and to that window with
// one line of Chinese text (the share of fontconfig and the CJK font, which
// the bare window never loads). Runs alternate so that all see the same
// machine noise.
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
    constexpr int kRounds = 11;
    const char *modes[] = {"window", "bare", "label"};
    QList<double> ms[3], mem[3];
    for (const char *mode : modes)
        runChild(mode); // warm the file cache
    for (int i = 0; i < kRounds; ++i) {
        for (int m = 0; m < 3; ++m) {
            const Sample s = runChild(modes[m]);
            if (s.ms < 0) {
                std::fprintf(stderr, "start-up child failed (%s)\n", modes[m]);
                return 1;
            }
            ms[m] << s.ms;
            mem[m] << s.peakMiB;
        }
    }
    std::printf("%-34s %8s %8s %8s %9s %9s %8s\n", "start-up (offscreen), median", "window", "bare", "+label",
                "/bare", "/+label", "target");
    std::printf("%-34s %8.1f %8.1f %8.1f %9.2f %9.2f %8s\n", "  ms until shown", yzbench::median(ms[0]), yzbench::median(ms[1]),
                yzbench::median(ms[2]), yzbench::median(ms[0]) / yzbench::median(ms[1]), yzbench::median(ms[0]) / yzbench::median(ms[2]), "<= 1.3");
    std::printf("%-34s %8.1f %8.1f %8.1f %9.2f %9.2f %8s\n", "  peak memory, MiB", yzbench::median(mem[0]), yzbench::median(mem[1]),
                yzbench::median(mem[2]), yzbench::median(mem[0]) / yzbench::median(mem[1]), yzbench::median(mem[0]) / yzbench::median(mem[2]), "<= 1.3");
    return 0;
}
