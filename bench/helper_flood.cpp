// An unauthorized local user (uid 65534) floods the helper: 100 connections with 120 checkDisk
// calls each, every one carrying a 64 KiB argument, while polkit says no. Measures, in one run,
// an administrator's 100 requests during the flood against the same 100 when all is quiet, the
// helper's resident memory at its peak during the flood and once it is over, and how many
// questions polkit was asked. Prints the figures against their goals; it asserts nothing.
#include "ChildProcess.h"
#include "FakePolkit.h"
#include "HelperDaemon.h"
#include "Measure.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>
#include <string>
#include <thread>

namespace {

constexpr uid_t nobody = 65534;
constexpr int connections = 100;
constexpr int requestsPerConnection = 120;
constexpr int adminRequests = 100;

long statusKiB(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

double mib(long kib) { return static_cast<double>(kib) / 1024.0; }

// User plus system time the process has used, in milliseconds.
double cpuMs(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main()
{
    using namespace ntfs;
    test::HelperDaemonOptions options;
    options.extraPolicy = test::FakePolkit::policy();
    test::HelperDaemon daemon(options);
    test::FakePolkit polkit(daemon.bus().address(), false);
    auto admin = daemon.client();
    admin->getVersion();
    auto adminBatch = [&] {
        for (int i = 0; i < adminRequests; ++i)
            admin->checkDisk("/bin/true", "disk");
    };
    // The bare round trip through the bus, answered on the helper's bus thread: what the bus
    // itself adds while it carries the flood.
    auto versionBatch = [&] {
        for (int i = 0; i < adminRequests; ++i)
            admin->getVersion();
    };

    double quietMs = bench::microseconds(adminBatch) / 1000.0;
    double quietVersionMs = bench::microseconds(versionBatch) / 1000.0;
    long quietKiB = statusKiB(daemon.pid(), "VmRSS");
    std::ofstream("/proc/" + std::to_string(daemon.pid()) + "/clear_refs") << "5";  // peak := now

    test::ChildProcess flood({NTFS_FLOOD_CALLER, std::to_string(connections), std::to_string(requestsPerConnection)},
                             {{daemon.bus().environmentEntry()}, nobody, true});
    double cpuBefore = cpuMs(daemon.pid());
    auto floodStart = std::chrono::steady_clock::now();
    if (flood.readLine() != "flooding") {
        std::cerr << "the flooding client did not start\n";
        return 1;
    }
    double floodMs = bench::microseconds(adminBatch) / 1000.0;
    double floodVersionMs = bench::microseconds(versionBatch) / 1000.0;
    std::string answers;
    for (auto line = flood.readLine(); line && *line != "done"; line = flood.readLine())
        answers += "  " + *line + "\n";
    flood.wait();
    double floodWallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - floodStart).count();
    double floodCpuMs = cpuMs(daemon.pid()) - cpuBefore;
    long peakKiB = statusKiB(daemon.pid(), "VmHWM");
    admin->getVersion();  // the helper has read all that was sent before this
    std::this_thread::sleep_for(std::chrono::seconds(1));  // it gives memory back half a second after a flood
    long afterKiB = statusKiB(daemon.pid(), "VmRSS");

    std::cout << "flood answers (" << connections * requestsPerConnection << " calls):\n" << answers
              << "admin's " << adminRequests << " checkDisk, quiet:   " << quietMs << " ms\n"
              << "admin's " << adminRequests << " checkDisk, flooded: " << floodMs << " ms\n"
              << "flood lasted:                 " << floodWallMs << " ms, helper CPU meanwhile " << floodCpuMs << " ms\n"
              << "ratio flooded/quiet:          " << floodMs / quietMs << " (goal: at most 2)\n"
              << "admin's " << adminRequests << " getVersion, quiet " << quietVersionMs << " ms, flooded " << floodVersionMs
              << " ms (the bus's share)\n"
              << "helper resident, quiet:       " << mib(quietKiB) << " MiB\n"
              << "helper resident, peak:        " << mib(peakKiB) << " MiB (goal: at most 16 MiB)\n"
              << "helper resident, after:       " << mib(afterKiB) << " MiB (goal: at most 16 MiB)\n"
              << "polkit questions:             " << polkit.questions().size() << " for " << connections
              << " flooding connections (goal: about one each)\n";
    return 0;
}
