#pragma once

namespace ntfs {

// How a process ended: it called exit with a code, or a signal killed it.
struct ExitStatus {
    enum class Kind { Exited, Signaled };
    Kind kind = Kind::Exited;
    int value = 0;  // the exit code, or the signal number

    static ExitStatus fromWaitStatus(int waitStatus);
    bool operator==(const ExitStatus&) const = default;
};

}  // namespace ntfs
