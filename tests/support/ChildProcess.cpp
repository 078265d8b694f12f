#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <csignal>

extern char** environ;

namespace ntfs::test {
namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra)
{
    auto name = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> merged;
    for (char** e = environ; *e; ++e)
        if (std::ranges::none_of(extra, [&](const std::string& x) { return name(x) == name(*e); }))
            merged.emplace_back(*e);
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

SpawnRequest requestFor(const std::vector<std::string>& argv, const ChildOptions& options)
{
    SpawnRequest request{argv.front(), {std::next(argv.begin()), argv.end()}};
    request.environment = mergedEnvironment(options.environment);
    if (options.user)
        request.runAs = RunAs{*options.user, *options.user, {}};  // its group id is the same number
    request.captureOutput = options.captureOutput;
    return request;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, ChildOptions options)
    : process_(Subprocess::spawn(requestFor(argv, options)))
{
}

ChildProcess::~ChildProcess()
{
    signal(SIGTERM);
    if (!exit_)
        process_.waitForExit();
}

std::optional<std::string> ChildProcess::readLine()
{
    auto newline = pending_.find('\n');
    if (newline == std::string::npos)
        process_.readOutput([&](std::string_view chunk) {
            keep(chunk);
            newline = pending_.find('\n');
            return newline == std::string::npos;
        });
    if (newline == std::string::npos)
        return pending_.empty() ? std::nullopt : std::optional(std::exchange(pending_, {}));
    std::string line = pending_.substr(0, newline);
    pending_.erase(0, newline + 1);
    return line;
}

int ChildProcess::wait()
{
    if (!exit_)
        exit_ = process_.waitDrainingOutput([this](std::string_view chunk) { keep(chunk); });
    return exit_->exitCode();
}

void ChildProcess::keep(std::string_view chunk)
{
    output_.append(chunk);
    pending_.append(chunk);
}

void ChildProcess::signal(int signo) const
{
    if (!exit_)
        kill(process_.pid(), signo);
}

std::pair<int, std::string> ChildProcess::run(std::vector<std::string> argv, ChildOptions options)
{
    ChildProcess child(std::move(argv), std::move(options));
    int code = child.wait();
    return {code, child.output()};
}

}  // namespace ntfs::test
