#pragma once

#include "ExitStatus.h"
#include "UniqueFd.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ntfs {

struct SpawnRequest {
    std::string program;                  // run directly, never through a shell; also argv[0]
    std::vector<std::string> arguments;   // each element is one argument
    std::optional<std::filesystem::path> workingDirectory;  // the child's alone; ours never changes
};

// A child process started with posix_spawn: stdin from /dev/null, stdout and stderr on one
// close-on-exec pipe, every other descriptor closed, default signal mask and dispositions.
// Its end is watched through a pidfd. A child still running when the object goes is killed and
// reaped, so no zombie outlives it.
class Subprocess {
public:
    // Throws std::system_error carrying the errno of a failed start (ENOENT, EACCES, ...).
    static Subprocess spawn(const SpawnRequest& request);

    // A moved-from object owns no child any more, so its destructor must not kill or reap one.
    Subprocess(Subprocess&& other) noexcept;
    Subprocess& operator=(Subprocess&& other) noexcept;
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;
    ~Subprocess();

    pid_t pid() const { return pid_; }
    int pidFd() const { return pidFd_.get(); }
    int outputFd() const { return output_.get(); }
    UniqueFd takeOutput() { return std::move(output_); }

    // Hands the child over: the caller gets its pid, pidfd and output and must reap it. The
    // object forgets the child and never kills it (a tool running as root may not be ours to
    // signal, and its owner may want it to outlive us).
    struct Released {
        pid_t pid = -1;
        UniqueFd pidFd;
        UniqueFd output;
    };
    Released release() &&;

    // Hands every chunk of output to the sink while the child runs, and returns once the child
    // has ended: what is still in the pipe then is read, but a grandchild holding the pipe open
    // does not keep us waiting. Reaps the child.
    ExitStatus waitDrainingOutput(const std::function<void(std::string_view)>& sink);
    // Reaps the child if it has ended; never blocks.
    std::optional<ExitStatus> tryReap();
    // Blocks until the child has ended and reaps it, leaving the output pipe alone.
    ExitStatus waitForExit();

private:
    Subprocess(pid_t pid, UniqueFd pidFd, UniqueFd output) : pid_(pid), pidFd_(std::move(pidFd)), output_(std::move(output)) {}
    std::optional<ExitStatus> reap(int options);
    void drainAvailable(const std::function<void(std::string_view)>& sink);

    pid_t pid_ = -1;
    UniqueFd pidFd_;
    UniqueFd output_;
    std::optional<ExitStatus> exit_;
};

}  // namespace ntfs
