// Floods of the helper by a local user (uid 65534), each against its own helper and polkit
// stand-in; prints the figures against their goals and asserts nothing.
//  1. Many calls: 100 connections with 120 checkDisk calls each, every one carrying a 64 KiB
//     argument, while polkit says no. An administrator's 100 requests during the flood against the
//     same 100 when all is quiet, the helper's resident memory at its peak and once it is over, and
//     how many questions polkit was asked.
//  2. Large arguments: 32 connections with a checkDisk call each, every one carrying a 30 MiB disk
//     identifier, once while polkit holds the prompts they ask for and once while it says no at
//     once. The helper's resident memory at its peak and after the flooding user has left.
//  3. Held prompts: 32 connections of that user each wait at a password prompt nobody answers.
//     Meanwhile a new root connection sends 64 calls at once and an administrator 16: their answers
//     and times, against the same bursts when all is quiet.
#include "bench/Measure.h"
#include "tests/HelperTool/FakePolkit.h"
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/ChildProcess.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace ntfs;
using Clock = std::chrono::steady_clock;
constexpr uid_t nobody = 65534;
constexpr uid_t administrator = 1000;  // polkit's yes stands for an administrator's
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
void resetPeak(pid_t pid) { std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5"; }

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

test::HelperDaemon startDaemon()
{
    test::HelperDaemonOptions options;
    options.extraPolicy = test::FakePolkit::policy();
    return test::HelperDaemon(options);
}

std::unique_ptr<test::ChildProcess> startFlood(const test::HelperDaemon& daemon, std::vector<std::string> arguments, uid_t user)
{
    arguments.insert(arguments.begin(), NTFS_FLOOD_CALLER);
    return std::make_unique<test::ChildProcess>(arguments, test::ChildOptions{{daemon.bus().environmentEntry()}, user, true});
}

// Reads a streaming flood's answers until each of its calls is answered or held by polkit.
std::map<std::string, int> answersOrHeld(test::ChildProcess& flood, test::FakePolkit& polkit, std::size_t calls)
{
    std::map<std::string, int> answers;
    std::size_t answered = 0;
    flood.readLine();  // "flooding"
    while (!polkit.waitUntilHolding(calls - answered, std::chrono::milliseconds(50))) {
        auto line = flood.readLine();
        if (!line || *line == "done")
            break;
        ++answers[*line];
        ++answered;
    }
    return answers;
}

std::string describe(const std::map<std::string, int>& answers)
{
    std::string text;
    for (const auto& [name, count] : answers)
        text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
    return text.empty() ? "none" : text;
}

// A burst of small calls on one new connection, timed from start to the last answer.
std::pair<double, std::string> burst(const test::HelperDaemon& daemon, int calls, uid_t user)
{
    auto start = Clock::now();
    auto [code, output] = daemon.runClient({NTFS_FLOOD_CALLER, "1", std::to_string(calls), "16"}, user);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::string tally = output.substr(output.find('\n') + 1);
    tally = tally.substr(0, tally.rfind("done"));
    for (auto& c : tally)
        c = c == '\n' ? ';' : c;
    return {ms, tally};
}

void manyCallsFlood()
{
    auto daemon = startDaemon();
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
    constexpr int connections = 100, requestsPerConnection = 120;

    double quietMs = bench::microseconds(adminBatch) / 1000.0;
    double quietVersionMs = bench::microseconds(versionBatch) / 1000.0;
    long quietKiB = statusKiB(daemon.pid(), "VmRSS");
    resetPeak(daemon.pid());
    auto flood = startFlood(daemon, {std::to_string(connections), std::to_string(requestsPerConnection)}, nobody);
    double cpuBefore = cpuMs(daemon.pid());
    auto floodStart = Clock::now();
    if (flood->readLine() != "flooding")
        throw std::runtime_error("the flooding client did not start");
    double floodMs = bench::microseconds(adminBatch) / 1000.0;
    double floodVersionMs = bench::microseconds(versionBatch) / 1000.0;
    std::string answers;
    for (auto line = flood->readLine(); line && *line != "done"; line = flood->readLine())
        answers += "  " + *line + "\n";
    flood->wait();
    double floodWallMs = std::chrono::duration<double, std::milli>(Clock::now() - floodStart).count();
    double floodCpuMs = cpuMs(daemon.pid()) - cpuBefore;
    long peakKiB = statusKiB(daemon.pid(), "VmHWM");
    admin->getVersion();  // the helper has read all that was sent before this
    std::this_thread::sleep_for(std::chrono::seconds(1));  // it gives memory back half a second after a flood
    long afterKiB = statusKiB(daemon.pid(), "VmRSS");

    std::cout << "1. many calls: flood answers (" << connections * requestsPerConnection << " calls):\n" << answers
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
}

void largeArgumentFlood(bool polkitHoldsPrompts)
{
    auto daemon = startDaemon();
    test::FakePolkit polkit(daemon.bus().address(), false, polkitHoldsPrompts);
    long quietKiB = statusKiB(daemon.pid(), "VmRSS");
    resetPeak(daemon.pid());
    auto start = Clock::now();
    std::vector<std::string> arguments{"32", "1", std::to_string(30 << 20), "stream"};
    if (polkitHoldsPrompts)
        arguments.push_back("interactive");
    auto flood = startFlood(daemon, arguments, nobody);
    auto answers = answersOrHeld(*flood, polkit, 32);
    double floodMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    long peakKiB = statusKiB(daemon.pid(), "VmHWM");
    long heldKiB = statusKiB(daemon.pid(), "VmRSS");
    flood.reset();  // the flooding user leaves
    daemon.client()->getVersion();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // memory goes back half a second after a flood
    long afterKiB = statusKiB(daemon.pid(), "VmRSS");
    std::cout << "2. large arguments (32 connections, a call of 30 MiB each), polkit " << (polkitHoldsPrompts ? "holds the prompts" : "says no at once")
              << ":\n  answers: " << describe(answers) << "; the rest held by polkit"
              << "; " << floodMs << " ms\n"
              << "  helper resident: quiet " << mib(quietKiB) << " MiB, peak " << mib(peakKiB) << " MiB (goal: at most 64), "
              << "while held " << mib(heldKiB) << " MiB, after the user left " << mib(afterKiB) << " MiB (goal: at most 16)\n";
}

void heldPrompts()
{
    auto daemon = startDaemon();
    test::FakePolkit polkit(daemon.bus().address(), true, true);
    auto rootVersion = [&] {
        auto start = Clock::now();
        std::string answer;
        try {
            answer = daemon.client()->getVersion();
        } catch (const sdbus::Error& e) {
            answer = e.getName();
        }
        return std::pair(std::chrono::duration<double, std::milli>(Clock::now() - start).count(), answer);
    };
    auto quietRoot = rootVersion();
    auto quietRootBurst = burst(daemon, 64, 0);
    auto quietAdminBurst = burst(daemon, 16, administrator);
    auto flood = startFlood(daemon, {"32", "1", "16", "interactive", "stream"}, nobody);
    auto answers = answersOrHeld(*flood, polkit, 32);
    auto heldRoot = rootVersion();
    auto heldRootBurst = burst(daemon, 64, 0);
    auto heldAdminBurst = burst(daemon, 16, administrator);
    std::cout << "3. held prompts: the flooding user's 32 interactive calls: " << describe(answers) << "; the rest held\n"
              << "  root's first version on a new connection: quiet " << quietRoot.first << " ms (" << quietRoot.second << "), held "
              << heldRoot.first << " ms (" << heldRoot.second << ") (goal: answered within 1000 ms)\n"
              << "  root's 64 at once: quiet " << quietRootBurst.first << " ms (" << quietRootBurst.second << "), held "
              << heldRootBurst.first << " ms (" << heldRootBurst.second << ")\n"
              << "  administrator's 16 at once: quiet " << quietAdminBurst.first << " ms (" << quietAdminBurst.second << "), held "
              << heldAdminBurst.first << " ms (" << heldAdminBurst.second << ") (goal: all answered, within 1000 ms)\n";
}

}  // namespace

int main(int argc, char** argv)
{
    std::string only = argc > 1 ? argv[1] : "";
    try {
        if (only.empty() || only == "many")
            manyCallsFlood();
        if (only.empty() || only == "large") {
            largeArgumentFlood(true);
            largeArgumentFlood(false);
        }
        if (only.empty() || only == "held")
            heldPrompts();
    } catch (const std::exception& e) {
        std::cerr << "bench_helper_flood: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
