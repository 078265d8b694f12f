#pragma once

namespace ntfs {

// How a process ended: it called exit with a code, or a signal killed it.
struct ExitStatus {
    enum class Kind { Exited, Signaled };
    Kind kind = Kind::Exited;
    int value = 0;  // the exit code, or the signal number

    static ExitStatus fromWaitStatus(int waitStatus);
    // As a shell reports it: the exit code, or 128 + the signal number.
    int exitCode() const { return kind == Kind::Signaled ? 128 + value : value; }
    bool operator==(const ExitStatus&) const = default;
};

}  // namespace ntfs
