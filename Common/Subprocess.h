#pragma once

#include "Common/ExitStatus.h"
#include "Common/UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ntfs {

// The user a child runs as: the process drops to these ids and groups before the program starts.
struct RunAs {
    uid_t user = 0;
    gid_t group = 0;
    std::vector<gid_t> groups;
};

struct SpawnRequest {
    std::string program;                  // run directly, never through a shell; also argv[0]
    std::vector<std::string> arguments;   // each element is one argument
    std::optional<std::filesystem::path> workingDirectory = std::nullopt;  // the child's alone; ours never changes
    std::optional<std::vector<std::string>> environment = std::nullopt;  // "NAME=value" each; none: ours
    std::optional<RunAs> runAs = std::nullopt;  // none: our own user
    bool errorsToOutput = true;  // false: the child's stderr is ours (a tool that talks to the user's terminal)
    std::optional<std::filesystem::path> input = std::nullopt;  // the child's stdin; none: /dev/null
    bool ownProcessGroup = false;  // so that a deadline ends whatever the child started too
    bool captureOutput = true;  // false: no pipe, the child's stdout and stderr are ours (a daemon logging beside us)
};

// A child process: stdin from /dev/null, stdout and stderr on one close-on-exec pipe, every other
// descriptor closed, default signal mask and dispositions. Its end is watched through a pidfd.
// A child still running when the object goes is killed and reaped, so no zombie outlives it,
// unless it was released.
//
// This is the one place that starts, waits for and reaps processes.
class Subprocess {
public:
    // Gets each chunk of output; returns false once it has seen enough.
    using Reader = std::function<bool(std::string_view)>;

    // Throws std::system_error carrying the errno of a failed start (ENOENT, EACCES, or EPERM
    // when the switch to another user failed).
    static Subprocess spawn(const SpawnRequest& request);

    // Takes what `fd` holds right now, up to `limit` bytes, without blocking; resets `fd` at the
    // end of its stream. Returns false when the reader asked to stop.
    static bool readReady(UniqueFd& fd, std::size_t limit, const Reader& reader);

    // A moved-from object owns no child any more, so its destructor must not kill or reap one.
    Subprocess(Subprocess&& other) noexcept;
    Subprocess& operator=(Subprocess&& other) noexcept;
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;
    ~Subprocess();

    pid_t pid() const { return pid_; }
    UniqueFd takeOutput() { return std::move(output_); }

    // The child is no longer ours to kill (a tool running as root may not be ours to signal, and
    // its owner may want it to outlive us): when the object goes, a running child is left alone.
    void release() { released_ = true; }
    // From then on waiting for output or the end gives up at `deadline`: the child (its process
    // group, when it has its own) is killed, and the waits return as if it had ended.
    void setDeadline(std::chrono::steady_clock::time_point deadline) { deadline_ = deadline; }
    bool deadlinePassed() const { return deadlinePassed_; }

    // Hands the output to the reader while the child runs, and once it has ended what the pipe
    // still holds (a grandchild holding the pipe open does not keep us waiting). Returns true
    // when the reader stopped it early; the child is then neither waited for nor reaped.
    bool readOutput(const Reader& reader);
    // Hands every chunk of output to the sink, then reaps the child.
    ExitStatus waitDrainingOutput(const std::function<void(std::string_view)>& sink);
    // Sleeps until `fd` is readable (true) or the child has ended (false); -1 waits for the end.
    bool awaitReadableBeforeExit(int fd) const;
    // Reaps the child if it has ended; never blocks. Throws std::system_error when it is no child
    // of ours any more.
    std::optional<ExitStatus> tryReap();
    // Blocks until the child has ended and reaps it, leaving the output pipe alone.
    ExitStatus waitForExit();

private:
    Subprocess(pid_t pid, UniqueFd pidFd, UniqueFd output) : pid_(pid), pidFd_(std::move(pidFd)), output_(std::move(output)) {}
    static Subprocess adopt(pid_t pid, UniqueFd output);
    std::optional<ExitStatus> reap(int options);
    int millisecondsLeft() const;
    void killForDeadline() const;

    pid_t pid_ = -1;
    UniqueFd pidFd_;
    UniqueFd output_;
    std::optional<ExitStatus> exit_;
    bool released_ = false;
    bool ownGroup_ = false;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    mutable bool deadlinePassed_ = false;
};

}  // namespace ntfs
