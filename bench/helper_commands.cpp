// The command-running messages measured against baselines taken in the same run:
//  - checkDisk of /bin/true through the helper against an in-process spawn-and-wait of /bin/true
//    plus a bare echo round trip on the same bus (goal: at most 1.15 of their sum);
//  - a cap-sized output through the helper, in MiB/s, against the same command run in-process
//    (goal: at least 200 MiB/s);
//  - the helper's CPU time while one 10-second command runs (goal: near zero).
// Prints the figures; it asserts nothing.
#include "Common/Linux/SyslogLogger.h"
#include "HelperTool/Operations/DiskCommands.h"
#include "HelperTool/Platform/Linux/PosixCommandRunner.h"
#include "bench/EchoServiceProcess.h"
#include "bench/Measure.h"
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSecondsOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)  // utime, stime
            ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

template <typename Call>
double microsecondsPerCall(Call call, int calls)
{
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    using namespace ntfs::bench;
    ntfs::test::HelperDaemonOptions options;
    options.extraPolicy = EchoServiceProcess::policy();
    ntfs::test::HelperDaemon daemon(options);
    EchoServiceProcess echo(daemon);
    auto helper = daemon.client();
    ntfs::PosixCommandRunner runner;
    ntfs::SyslogLogger log("bench_helper_commands");
    ntfs::DiskCommands commands(runner, log);

    auto echoCall = [&] { echo.echo("disk4s2"); };
    auto spawnCall = [&] { runner.run("/bin/true", {"disk4s2"}); };
    auto helperCall = [&] { helper->checkDisk("/bin/true", "disk4s2"); };
    auto procedureCall = [&] { commands.checkDisk("/bin/true", "disk4s2"); };
    auto noSpawnCall = [&] { helper->checkDisk("/nonexistent/tool", "disk4s2"); };
    echoCall();
    helperCall();  // the first call pays for the caller check

    auto medians = alternatingMedians(2000, echoCall, spawnCall, helperCall, noSpawnCall, procedureCall);
    double echoUs = medians[0], spawnUs = medians[1], helperUs = medians[2], noSpawnUs = medians[3], procedureUs = medians[4];

    ntfs::test::TempDir dir;
    auto big = dir / "big";
    {
        std::ofstream out(big, std::ios::binary);
        std::string line(1023, 'a');
        line += '\n';
        for (std::size_t i = 0; i < ntfs::PosixCommandRunner::defaultOutputCap / line.size(); ++i)
            out << line;
    }
    constexpr double mib = ntfs::PosixCommandRunner::defaultOutputCap / (1024.0 * 1024.0);
    std::vector<double> helperBulk, localBulk;
    for (int round = 0; round < 5; ++round) {
        helperBulk.push_back(microsecondsPerCall([&] { helper->checkDisk("/bin/cat", big.string()); }, 3));
        localBulk.push_back(microsecondsPerCall([&] { runner.run("/bin/cat", {big.string()}); }, 3));
    }
    std::string bulkText(ntfs::PosixCommandRunner::defaultOutputCap, 'a');
    std::vector<double> echoBulk;
    for (int round = 0; round < 5; ++round)
        echoBulk.push_back(microsecondsPerCall([&] { echo.echo(bulkText); }, 3));
    double echoMiBs = 2 * mib / (median(echoBulk) / 1e6);  // the text crosses the bus both ways
    double helperMiBs = mib / (median(helperBulk) / 1e6), localMiBs = mib / (median(localBulk) / 1e6);

    double cpuBefore = cpuSecondsOf(daemon.pid());
    auto start = Clock::now();
    helper->checkDisk("/bin/sleep", "10");
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = cpuSecondsOf(daemon.pid()) - cpuBefore;

    std::cout << "echo round trip (b):             " << echoUs << " us\n"
              << "in-process spawn of /bin/true (a): " << spawnUs << " us\n"
              << "checkDisk /bin/true via helper:  " << helperUs << " us\n"
              << "DiskCommands::checkDisk in-process: " << procedureUs << " us; ratio to (a) " << procedureUs / spawnUs << "\n"
              << "checkDisk of a missing tool:     " << noSpawnUs << " us (the helper's own part)\n"
              << "ratio helper/(a+b):              " << helperUs / (spawnUs + echoUs) << " (goal: at most 1.15)\n"
              << "16 MiB output via helper:        " << helperMiBs << " MiB/s (goal: at least 200)\n"
              << "16 MiB string on the bus (echo): " << echoMiBs << " MiB/s per crossing\n"
              << "16 MiB output in-process:        " << localMiBs << " MiB/s; ratio helper/in-process "
              << helperMiBs / localMiBs << "\n"
              << "helper CPU during a " << wall << " s command: " << cpu * 1000 << " ms (goal: near zero)\n";
    return 0;
}
