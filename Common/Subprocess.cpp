#include "Common/Subprocess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace ntfs {
namespace {

[[noreturn]] void fail(int error, const char* what) { throw std::system_error(error, std::generic_category(), what); }

// Output still in the pipe when the child has ended; a grandchild may go on writing, so we take
// what the pipe held, not more.
constexpr std::size_t drainLimit = 2 * 1024 * 1024;

UniqueFd openOrFail(const char* path, int flags, const char* what)
{
    UniqueFd fd(open(path, flags | O_CLOEXEC));
    if (!fd)
        fail(errno, what);
    return fd;
}

// A close-on-exec pipe: its read end, then its write end.
std::pair<UniqueFd, UniqueFd> makePipe()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        fail(errno, "pipe2");
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// argv or envp for exec: pointers into strings that outlive the call.
class CStrings {
public:
    explicit CStrings(std::vector<std::string> strings) : strings_(std::move(strings))
    {
        for (auto& text : strings_)
            pointers_.push_back(text.data());
        pointers_.push_back(nullptr);
    }
    char* const* get() { return pointers_.data(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

// What the child needs, prepared before it exists.
struct ChildSetup {
    UniqueFd input;
    UniqueFd outputWrite;
    UniqueFd directory;
    CStrings argv;
    std::optional<CStrings> envp;
    bool errorsToOutput = true;

    char* const* environment() { return envp ? envp->get() : environ; }
};

class SpawnAttributes {
public:
    SpawnAttributes(const ChildSetup& setup, bool ownGroup)
    {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_adddup2(&actions_, setup.input.get(), 0);
        if (setup.outputWrite)
            posix_spawn_file_actions_adddup2(&actions_, setup.outputWrite.get(), 1);
        if (setup.outputWrite && setup.errorsToOutput)
            posix_spawn_file_actions_adddup2(&actions_, setup.outputWrite.get(), 2);
        if (setup.directory)
            posix_spawn_file_actions_addfchdir_np(&actions_, setup.directory.get());
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3);

        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setpgroup(&attributes_, 0);
        posix_spawnattr_setflags(&attributes_, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF
                                                                  | (ownGroup ? POSIX_SPAWN_SETPGROUP : 0)));
    }
    ~SpawnAttributes()
    {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

pid_t spawnDirectly(const std::string& program, ChildSetup& setup, bool ownGroup)
{
    SpawnAttributes attributes(setup, ownGroup);
    pid_t pid = -1;
    int error = posix_spawn(&pid, program.c_str(), attributes.actions(), attributes.attributes(), setup.argv.get(),
                            setup.environment());
    if (error != 0)
        fail(error, "posix_spawn");
    return pid;
}

struct ChildFailure {
    int stage = 0;  // 1: switching to the user, 2: exec
    int error = 0;
};

[[noreturn]] void childFailed(int report, int stage)
{
    ChildFailure failure{stage, errno};
    (void)!write(report, &failure, sizeof failure);
    _exit(127);
}

// Between fork and exec only async-signal-safe calls: the helper has other threads.
[[noreturn]] void becomeUser(const std::string& program, ChildSetup& setup, const RunAs& user, int report)
{
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        sigaction(signal, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(setup.input.get(), 0) < 0 || (setup.outputWrite && dup2(setup.outputWrite.get(), 1) < 0)
        || (setup.outputWrite && setup.errorsToOutput && dup2(setup.outputWrite.get(), 2) < 0)
        || (setup.directory && fchdir(setup.directory.get()) != 0))
        childFailed(report, 2);
    if (setgroups(user.groups.size(), user.groups.data()) != 0 || setgid(user.group) != 0 || setuid(user.user) != 0)
        childFailed(report, 1);
    if (getuid() != user.user || geteuid() != user.user) {
        errno = EPERM;
        childFailed(report, 1);
    }
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);  // the report pipe stays open until exec
    execve(program.c_str(), setup.argv.get(), setup.environment());
    childFailed(report, 2);
}

pid_t spawnAsUser(const std::string& program, ChildSetup& setup, const RunAs& user)
{
    auto [reportRead, reportWrite] = makePipe();
    pid_t pid = fork();
    if (pid < 0)
        fail(errno, "fork");
    if (pid == 0)
        becomeUser(program, setup, user, reportWrite.get());
    reportWrite.reset();
    ChildFailure failure;
    ssize_t n;
    do {
        n = read(reportRead.get(), &failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof failure)) {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        fail(failure.error, failure.stage == 1 ? "switch to the user" : "execve");
    }
    return pid;
}

}  // namespace

ExitStatus ExitStatus::fromWaitStatus(int waitStatus)
{
    if (WIFSIGNALED(waitStatus))
        return {Kind::Signaled, WTERMSIG(waitStatus)};
    return {Kind::Exited, WEXITSTATUS(waitStatus)};
}

Subprocess Subprocess::spawn(const SpawnRequest& request)
{
    auto [readEnd, writeEnd] = request.captureOutput ? makePipe() : std::pair<UniqueFd, UniqueFd>{};
    std::vector<std::string> argv{request.program};
    argv.insert(argv.end(), request.arguments.begin(), request.arguments.end());
    ChildSetup setup{openOrFail(request.input ? request.input->c_str() : "/dev/null", O_RDONLY, "open the input"), std::move(writeEnd), {}, CStrings(std::move(argv)),
                     std::nullopt};
    if (request.workingDirectory)
        setup.directory = openOrFail(request.workingDirectory->c_str(), O_RDONLY | O_DIRECTORY, "open working directory");
    if (request.environment)
        setup.envp.emplace(*request.environment);
    setup.errorsToOutput = request.errorsToOutput;

    pid_t pid = request.runAs ? spawnAsUser(request.program, setup, *request.runAs)
                              : spawnDirectly(request.program, setup, request.ownProcessGroup);
    Subprocess child = adopt(pid, std::move(readEnd));
    child.ownGroup_ = request.ownProcessGroup && !request.runAs;
    return child;
}

Subprocess Subprocess::adopt(pid_t pid, UniqueFd output)
{
    UniqueFd pidFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    if (!pidFd) {
        int openError = errno;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        fail(openError, "pidfd_open");
    }
    return Subprocess(pid, std::move(pidFd), std::move(output));
}

Subprocess::Subprocess(Subprocess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), pidFd_(std::move(other.pidFd_)), output_(std::move(other.output_)),
      exit_(std::exchange(other.exit_, std::nullopt)), released_(other.released_), ownGroup_(other.ownGroup_),
      deadline_(other.deadline_), deadlinePassed_(other.deadlinePassed_)
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
        released_ = other.released_;
        ownGroup_ = other.ownGroup_;
        deadline_ = other.deadline_;
        deadlinePassed_ = other.deadlinePassed_;
    }
    return *this;
}

Subprocess::~Subprocess()
{
    if (pid_ > 0 && !exit_ && !released_) {
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

int Subprocess::millisecondsLeft() const
{
    if (!deadline_)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long>(0, left.count()));
}

void Subprocess::killForDeadline() const
{
    deadlinePassed_ = true;
    if (ownGroup_)
        kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
}

std::optional<ExitStatus> Subprocess::tryReap() { return reap(WNOHANG); }

ExitStatus Subprocess::waitForExit()
{
    if (deadline_ && !exit_)
        awaitReadableBeforeExit(-1);
    if (deadlinePassed_ && !exit_) {
        // Killed, but a process stuck in the kernel (on a dead device, say) may not end at once;
        // it is not worth hanging for.
        pollfd ended{pidFd_.get(), POLLIN, 0};
        if (poll(&ended, 1, 1000) != 1) {
            released_ = true;
            exit_ = ExitStatus{ExitStatus::Kind::Signaled, SIGKILL};
        }
    }
    return *reap(0);
}

bool Subprocess::awaitReadableBeforeExit(int fd) const
{
    for (;;) {
        std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {pidFd_.get(), POLLIN, 0}}};
        int ready = poll(fds.data(), fds.size(), millisecondsLeft());
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;  // nothing to wait on any more; the caller goes on to reap
        }
        if (ready == 0) {
            killForDeadline();
            return false;
        }
        if (fds[1].revents != 0)
            return false;
        if (fds[0].revents != 0)
            return true;
    }
}

bool Subprocess::readReady(UniqueFd& fd, std::size_t limit, const Reader& reader)
{
    std::array<char, 65536> buffer;
    for (std::size_t taken = 0; fd && taken < limit;) {
        pollfd ready{fd.get(), POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0 || (ready.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            return true;
        ssize_t n = read(fd.get(), buffer.data(), std::min(buffer.size(), limit - taken));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fd.reset();
            return true;
        }
        taken += static_cast<std::size_t>(n);
        if (!reader({buffer.data(), static_cast<std::size_t>(n)}))
            return false;
    }
    return true;
}

bool Subprocess::readOutput(const Reader& reader)
{
    std::array<char, 65536> buffer;
    while (output_ && awaitReadableBeforeExit(output_.get())) {
        ssize_t n = read(output_.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            output_.reset();
            return false;
        }
        if (!reader({buffer.data(), static_cast<std::size_t>(n)}))
            return true;
    }
    return !readReady(output_, drainLimit, reader);
}

ExitStatus Subprocess::waitDrainingOutput(const std::function<void(std::string_view)>& sink)
{
    readOutput([&sink](std::string_view chunk) {
        sink(chunk);
        return true;
    });
    return waitForExit();
}

}  // namespace ntfs
