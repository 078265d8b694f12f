// The privileged task runner's two ways of following a tool, measured in one run:
//  - the CPU time this process spends in waitUntilExit on a 2-second tool, as a share of the wall
//    time, against a wait that polls waitpid back to back on the same tool (goal: under 2%; the
//    polling wait is near 100%);
//  - how long after a tool's end the periodic check posts the termination notification, against
//    the check interval of 50 ms (goal: within one interval).
// Runs tools directly (as a root process does), so the figures are about the waits, not pkexec.
// Prints the figures; it asserts nothing.
#include "Common/Subprocess.h"
#include "PrivilegedTask/Linux/PkexecElevator.h"
#include "PrivilegedTask/NotificationCenter.h"
#include "PrivilegedTask/QVPrivilegedTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/syscall.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <typename Wait>
double cpuShareOf(Wait wait)
{
    auto wallStart = Clock::now();
    double cpuStart = processCpuSeconds();
    wait();
    double cpu = processCpuSeconds() - cpuStart;
    double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    return cpu / wall;
}

double spinningWaitShare()
{
    auto child = ntfs::Subprocess::spawn({"/bin/sleep", {"2"}});
    return cpuShareOf([&] {
        while (!child.tryReap()) {
        }
    });
}

double taskWaitShare()
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sleep", {"2"});
    if (task->launch() != 0)
        return -1;
    return cpuShareOf([&] { task->waitUntilExit(); });
}

// Milliseconds from the tool's end (seen through a pidfd of our own) to the notification.
double notificationDelayMs(double toolSeconds)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sleep", {QString::number(toolSeconds)});
    if (task->launch() != 0)
        return -1;
    ntfs::UniqueFd pidFd(static_cast<int>(syscall(SYS_pidfd_open, task->processIdentifier(), 0)));
    Clock::time_point ended{};
    Clock::time_point notified{};
    QEventLoop loop;
    QSocketNotifier endWatch(pidFd.get(), QSocketNotifier::Read);
    QObject::connect(&endWatch, &QSocketNotifier::activated, [&] {
        ended = Clock::now();
        endWatch.setEnabled(false);
    });
    auto token = ntfs::NotificationCenter::defaultCenter().addObserver(QVPrivilegedTask::didTerminateNotification,
                                                                       [&](const ntfs::Notification&) {
                                                                           notified = Clock::now();
                                                                           loop.quit();
                                                                       });
    loop.exec();
    ntfs::NotificationCenter::defaultCenter().removeObserver(token);
    return std::chrono::duration<double, std::milli>(notified - ended).count();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ntfs::PkexecElevatorOptions options;
    options.isRoot = [] { return true; };
    QVPrivilegedTask::setElevator(std::make_shared<ntfs::PkexecElevator>(options));

    double spinning = spinningWaitShare();
    double task = taskWaitShare();
    std::printf("waitUntilExit on a 2 s tool: CPU %.3f%% of wall time; back-to-back waitpid baseline: %.1f%% "
                "(ratio %.5f; goal under 2%%)\n",
                task * 100, spinning * 100, task / spinning);

    std::vector<double> delays;
    for (int i = 0; i < 40; ++i)  // tools of different lengths end at different points of an interval
        delays.push_back(notificationDelayMs(0.005 + 0.0023 * i));
    std::sort(delays.begin(), delays.end());
    double mean = 0;
    for (double d : delays)
        mean += d / static_cast<double>(delays.size());
    double interval = static_cast<double>(QVPrivilegedTask::statusCheckInterval.count());
    std::printf("periodic check, tool end to notification over %zu runs: mean %.1f ms, max %.1f ms; "
                "interval %.0f ms (max/interval %.2f; goal about 1)\n",
                delays.size(), mean, delays.back(), interval, delays.back() / interval);
    return 0;
}
