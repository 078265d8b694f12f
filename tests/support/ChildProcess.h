#pragma once

#include "Common/Subprocess.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ntfs::test {

struct ChildOptions {
    std::vector<std::string> environment;   // "NAME=value" entries added to (or replacing in) ours
    std::optional<uid_t> user;               // drop to this user (and its group id) before exec
    bool captureOutput = true;               // stdout and stderr into one pipe, read by output()
};

// A program started for a test; killed (SIGTERM, then reaped) when the object goes.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> argv, ChildOptions options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return process_.pid(); }
    // Reads all output, then reaps the child; returns its exit code (or 128+signal).
    int wait();
    const std::string& output() const { return output_; }
    // Reads one line of output (without the newline); empty optional at end of output.
    std::optional<std::string> readLine();
    void signal(int signo) const;

    // Runs a program to its end and returns its exit code (or 128+signal) and combined output.
    static std::pair<int, std::string> run(std::vector<std::string> argv, ChildOptions options = {});

private:
    void keep(std::string_view chunk);

    Subprocess process_;
    std::optional<ExitStatus> exit_;
    std::string output_;
    std::string pending_;
};

}  // namespace ntfs::test
