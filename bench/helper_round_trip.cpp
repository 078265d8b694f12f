// Round trip of getVersionWithReply_ through the helper against a minimal echo service on the
// same private bus, and of a request served on a worker; the helper's resident memory when
// idle. Prints the figures and the ratios; it asserts nothing.
#include "bench/EchoServiceProcess.h"
#include "bench/Measure.h"
#include "tests/HelperTool/HelperDaemon.h"

#include <fstream>
#include <iostream>
#include <string>

namespace {

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
    using namespace ntfs::bench;
    ntfs::test::HelperDaemonOptions options;
    options.extraPolicy = EchoServiceProcess::policy();
    ntfs::test::HelperDaemon daemon(options);
    double idleMiB = static_cast<double>(residentKiB(daemon.pid())) / 1024.0;

    EchoServiceProcess echo(daemon);
    auto helper = daemon.client();
    helper->getVersion();  // the first call pays for the caller check

    constexpr int rounds = 20000;
    auto version = alternatingMedians(rounds, [&] { echo.version(); }, [&] { helper->getVersion(); });
    auto worker = alternatingMedians(rounds, [&] { echo.version(); }, [&] { helper->checkFilterInstalledFSDrivers({}); });
    double busyMiB = static_cast<double>(residentKiB(daemon.pid())) / 1024.0;

    std::cout << "echo round trip:           " << version[0] << " us\n"
              << "getVersionWithReply_:      " << version[1] << " us\n"
              << "ratio helper/echo:         " << version[1] / version[0] << " (goal: at most 1.2)\n"
              << "request on a worker:       " << worker[1] << " us (empty path filter), ratio to echo "
              << worker[1] / worker[0] << "\n"
              << "helper resident, idle:     " << idleMiB << " MiB (goal: at most 6 MiB)\n"
              << "helper resident, after:    " << busyMiB << " MiB\n";
    return 0;
}
