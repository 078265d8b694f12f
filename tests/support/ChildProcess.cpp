#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

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

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

int exitCodeOf(int waitStatus)
{
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : -1;
}

ChildProcess::ChildProcess(std::vector<std::string> argv, ChildOptions options)
{
    std::vector<std::string> env = mergedEnvironment(options.environment);
    std::vector<char*> argvPtrs = pointers(argv);
    std::vector<char*> envPtrs = pointers(env);
    int fds[2] = {-1, -1};
    if (options.captureOutput && pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);  // the parent may block signals it reads itself
        if (options.captureOutput) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
        }
        const uid_t user = options.user.value_or(0);  // its group id is the same number
        if (options.user && (setgroups(0, nullptr) != 0 || setresgid(user, user, user) != 0 || setresuid(user, user, user) != 0))
            _exit(125);
        execve(argvPtrs[0], argvPtrs.data(), envPtrs.data());
        _exit(127);
    }
    if (options.captureOutput) {
        close(fds[1]);
        outputFd_ = fds[0];
    }
}

ChildProcess::~ChildProcess()
{
    if (!reaped_) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (outputFd_ >= 0)
        close(outputFd_);
}

std::optional<std::string> ChildProcess::readLine()
{
    for (;;) {
        auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        char buffer[4096];
        ssize_t n = outputFd_ < 0 ? 0 : read(outputFd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return pending_.empty() ? std::nullopt : std::optional(std::exchange(pending_, {}));
        output_.append(buffer, static_cast<size_t>(n));
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

int ChildProcess::wait()
{
    while (!reaped_ && readLine()) {
    }
    while (!reaped_ && waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    return status_;
}

void ChildProcess::signal(int signo) const
{
    if (!reaped_)
        kill(pid_, signo);
}

std::pair<int, std::string> ChildProcess::run(std::vector<std::string> argv, ChildOptions options)
{
    ChildProcess child(std::move(argv), std::move(options));
    int status = child.wait();
    return {exitCodeOf(status), child.output()};
}

}  // namespace ntfs::test
