// Round trip of getVersionWithReply_ through the helper against a minimal echo service on the
// same private bus, measured in alternating rounds in one run, and the helper's resident memory
// when idle. Prints the figures and the ratio; it asserts nothing.
#include "HelperDaemon.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The baseline: a minimal service in a process of its own, like the helper.
class EchoService {
public:
    explicit EchoService(const ntfs::test::HelperDaemon& daemon)
        : process_({NTFS_ECHO_SERVICE}, {{daemon.bus().environmentEntry()}, std::nullopt, true}),
          connection_(daemon.connect())
    {
        if (process_.readLine() != "ready")
            throw std::runtime_error("the echo service did not start");
        proxy_ = sdbus::createProxy(*connection_, "org.bench.Echo", "/echo");
    }
    void call()
    {
        std::string reply;
        proxy_->callMethod("Echo").onInterface("org.bench.Echo").storeResultsTo(reply);
    }

private:
    ntfs::test::ChildProcess process_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

template <typename Call>
double microseconds(Call call)
{
    auto start = Clock::now();
    call();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main()
{
    ntfs::test::HelperDaemonOptions options;
    options.extraPolicy = ntfs::test::HelperDaemon::allowingOwnerPolicy("org.bench.Echo");
    ntfs::test::HelperDaemon daemon(options);
    long idleKiB = residentKiB(daemon.pid());

    EchoService echo(daemon);
    auto helper = daemon.client();

    auto echoCall = [&] { echo.call(); };
    auto helperCall = [&] { helper->getVersion(); };
    auto workerCall = [&] { helper->checkFilterInstalledFSDrivers({}); };
    echoCall();
    helperCall();  // the first call pays for the caller check

    // Calls alternate one by one with the baseline, so that whatever else the machine does falls
    // on both alike, and the medians keep the odd descheduled call out of the figures.
    constexpr int calls = 20000;
    std::vector<double> echoTimes, helperTimes, echoTimes2, workerTimes;
    for (int i = 0; i < calls; ++i) {
        echoTimes.push_back(microseconds(echoCall));
        helperTimes.push_back(microseconds(helperCall));
    }
    for (int i = 0; i < calls; ++i) {
        echoTimes2.push_back(microseconds(echoCall));
        workerTimes.push_back(microseconds(workerCall));
    }
    double echoMedian = median(echoTimes);
    double helperMedian = median(helperTimes);
    double workerMedian = median(workerTimes);
    double echoMedian2 = median(echoTimes2);
    long busyKiB = residentKiB(daemon.pid());

    std::cout << "echo round trip:          " << echoMedian << " us\n"
              << "getVersionWithReply_:     " << helperMedian << " us\n"
              << "ratio helper/echo:        " << helperMedian / echoMedian << " (goal: at most 1.2)\n"
              << "a request on a worker:    " << workerMedian << " us (empty path filter; ratio " << workerMedian / echoMedian2 << " to its own echo run)\n"
              << "helper resident, idle:    " << static_cast<double>(idleKiB) / 1024.0 << " MiB (goal: at most 6 MiB)\n"
              << "helper resident, after:   " << static_cast<double>(busyKiB) / 1024.0 << " MiB\n";
    return 0;
}
