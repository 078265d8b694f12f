#include "Subprocess.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <utility>

extern char** environ;

namespace ntfs {
namespace {

[[noreturn]] void fail(int error, const char* what) { throw std::system_error(error, std::generic_category(), what); }

class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    void prepare(int outputWriteFd, int directoryFd)
    {
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, outputWriteFd, 1);
        posix_spawn_file_actions_adddup2(&actions_, outputWriteFd, 2);
        if (directoryFd >= 0)
            posix_spawn_file_actions_addfchdir_np(&actions_, directoryFd);
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3);

        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

}  // namespace

ExitStatus ExitStatus::fromWaitStatus(int waitStatus)
{
    if (WIFSIGNALED(waitStatus))
        return {Kind::Signaled, WTERMSIG(waitStatus)};
    return {Kind::Exited, WEXITSTATUS(waitStatus)};
}

Subprocess Subprocess::spawn(const SpawnRequest& request)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        fail(errno, "pipe2");
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    UniqueFd directory;
    if (request.workingDirectory) {
        directory.reset(open(request.workingDirectory->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!directory)
            fail(errno, "open working directory");
    }

    SpawnSetup setup;
    setup.prepare(writeEnd.get(), directory.get());

    std::vector<std::string> argvStrings{request.program};
    argvStrings.insert(argvStrings.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argvStrings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int error = posix_spawn(&pid, request.program.c_str(), setup.actions(), setup.attributes(), argv.data(), environ);
    if (error != 0)
        fail(error, "posix_spawn");

    UniqueFd pidFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    if (!pidFd) {
        int openError = errno;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        fail(openError, "pidfd_open");
    }
    return Subprocess(pid, std::move(pidFd), std::move(readEnd));
}

Subprocess::Subprocess(Subprocess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), pidFd_(std::move(other.pidFd_)), output_(std::move(other.output_)),
      exit_(std::exchange(other.exit_, std::nullopt))
{
}

Subprocess& Subprocess::operator=(Subprocess&& other) noexcept
{
    if (this != &other) {
        Subprocess gone(std::move(*this));
        pid_ = std::exchange(other.pid_, -1);
        pidFd_ = std::move(other.pidFd_);
        output_ = std::move(other.output_);
        exit_ = std::exchange(other.exit_, std::nullopt);
    }
    return *this;
}

Subprocess::Released Subprocess::release() &&
{
    Released released{std::exchange(pid_, -1), std::move(pidFd_), std::move(output_)};
    exit_.reset();
    return released;
}

Subprocess::~Subprocess()
{
    if (pid_ > 0 && !exit_) {
        kill(pid_, SIGKILL);
        reap(0);
    }
}

std::optional<ExitStatus> Subprocess::reap(int options)
{
    if (exit_)
        return exit_;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, options);
    } while (result < 0 && errno == EINTR);
    if (result == pid_)
        exit_ = ExitStatus::fromWaitStatus(status);
    else if (result < 0)
        fail(errno, "waitpid");
    return exit_;
}

std::optional<ExitStatus> Subprocess::tryReap() { return reap(WNOHANG); }

ExitStatus Subprocess::waitForExit() { return *reap(0); }

void Subprocess::drainAvailable(const std::function<void(std::string_view)>& sink)
{
    // A grandchild may go on writing after the child's end; take what the pipe held, not more.
    constexpr size_t limit = 2 * 1024 * 1024;
    std::array<char, 65536> buffer;
    for (size_t taken = 0; taken < limit;) {
        pollfd ready{output_.get(), POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0 || !(ready.revents & (POLLIN | POLLHUP)))
            return;
        ssize_t n = read(output_.get(), buffer.data(), buffer.size());
        if (n <= 0) {
            output_.reset();
            return;
        }
        sink({buffer.data(), static_cast<size_t>(n)});
        taken += static_cast<size_t>(n);
    }
}

ExitStatus Subprocess::waitDrainingOutput(const std::function<void(std::string_view)>& sink)
{
    std::array<char, 65536> buffer;
    while (output_) {
        std::array<pollfd, 2> fds{{{output_.get(), POLLIN, 0}, {pidFd_.get(), POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, "poll");
        }
        if (fds[1].revents & POLLIN)
            break;
        ssize_t n = read(output_.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            output_.reset();
            break;
        }
        sink({buffer.data(), static_cast<size_t>(n)});
    }
    if (output_)
        drainAvailable(sink);
    return waitForExit();
}

}  // namespace ntfs
