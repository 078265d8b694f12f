// The command-running messages measured against baselines taken in the same run:
//  - checkDisk of /bin/true through the helper against an in-process spawn-and-wait of /bin/true
//    plus a bare echo round trip on the same bus (goal: at most 1.15 of their sum);
//  - a cap-sized output through the helper, in MiB/s, against the same command run in-process
//    (goal: at least 200 MiB/s);
//  - the helper's CPU time while one 10-second command runs (goal: near zero).
// Prints the figures; it asserts nothing.
#include "DiskCommands.h"
#include "HelperDaemon.h"
#include "PosixCommandRunner.h"
#include "SyslogLogger.h"
#include "TempDir.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class EchoService {
public:
    explicit EchoService(const std::string& address) : connection_(sdbus::createSessionBusConnectionWithAddress(address))
    {
        object_ = sdbus::createObject(*connection_, "/echo");
        object_->registerMethod("Echo").onInterface("org.bench.Echo").implementedAs([](std::string text) { return text; });
        object_->finishRegistration();
        connection_->requestName("org.bench.Echo");
        connection_->enterEventLoopAsync();
    }
    ~EchoService() { connection_->leaveEventLoop(); }

private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
};

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

}  // namespace

int main()
{
    ntfs::test::HelperDaemonOptions options;
    options.extraPolicy = ntfs::test::HelperDaemon::allowingOwnerPolicy("org.bench.Echo");
    ntfs::test::HelperDaemon daemon(options);
    EchoService echo(daemon.bus().address());
    auto connection = sdbus::createSessionBusConnectionWithAddress(daemon.bus().address());
    auto echoProxy = sdbus::createProxy(*connection, "org.bench.Echo", "/echo");
    auto helper = daemon.client();
    ntfs::PosixCommandRunner runner;
    ntfs::SyslogLogger log("bench_helper_commands");
    ntfs::DiskCommands commands(runner, log);

    auto echoCall = [&] {
        std::string reply;
        echoProxy->callMethod("Echo").onInterface("org.bench.Echo").withArguments(std::string("disk4s2")).storeResultsTo(reply);
    };
    auto spawnCall = [&] { runner.run("/bin/true", {"disk4s2"}); };
    auto helperCall = [&] { helper->checkDisk("/bin/true", "disk4s2"); };
    auto procedureCall = [&] { commands.checkDisk("/bin/true", "disk4s2"); };
    auto noSpawnCall = [&] { helper->checkDisk("/nonexistent/tool", "disk4s2"); };
    echoCall();
    helperCall();  // the first call pays for the caller check

    constexpr int rounds = 7;
    constexpr int calls = 300;
    std::vector<double> echoTimes, spawnTimes, helperTimes, noSpawnTimes, procedureTimes;
    for (int round = 0; round < rounds; ++round) {
        echoTimes.push_back(microsecondsPerCall(echoCall, calls));
        spawnTimes.push_back(microsecondsPerCall(spawnCall, calls));
        helperTimes.push_back(microsecondsPerCall(helperCall, calls));
        noSpawnTimes.push_back(microsecondsPerCall(noSpawnCall, calls));
        procedureTimes.push_back(microsecondsPerCall(procedureCall, calls));
    }
    double echoUs = median(echoTimes), spawnUs = median(spawnTimes), helperUs = median(helperTimes);
    double noSpawnUs = median(noSpawnTimes), procedureUs = median(procedureTimes);

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
        echoBulk.push_back(microsecondsPerCall([&] {
            std::string reply;
            echoProxy->callMethod("Echo").onInterface("org.bench.Echo").withArguments(bulkText).storeResultsTo(reply);
        }, 3));
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
