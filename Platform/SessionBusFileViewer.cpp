#include "SessionBusFileViewer.h"

#include "UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ntfs {
namespace {

// ShowItems normally answers at once; a session whose file manager hangs must not hold the
// request much longer than that.
constexpr const char* callTimeout = "--timeout=10";
constexpr std::size_t outputKept = 2048;

struct Account {
    gid_t group = 0;
    std::vector<gid_t> groups;
};

std::optional<Account> accountOf(uid_t user)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> text(16384);
    if (getpwuid_r(user, &entry, text.data(), text.size(), &found) != 0 || !found)
        return std::nullopt;
    Account account;
    account.group = entry.pw_gid;
    int count = 64;
    account.groups.resize(static_cast<std::size_t>(count));
    if (getgrouplist(entry.pw_name, entry.pw_gid, account.groups.data(), &count) < 0) {
        account.groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(entry.pw_name, entry.pw_gid, account.groups.data(), &count) < 0)
            return std::nullopt;
    }
    account.groups.resize(static_cast<std::size_t>(count));
    return account;
}

// Only async-signal-safe calls between fork and exec: the helper has other threads.
[[noreturn]] void runAsUser(uid_t user, const Account& account, int input, int output, char* const* argv,
                            char* const* envp)
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0)
        _exit(126);
    if (setgroups(account.groups.size(), account.groups.data()) != 0 || setgid(account.group) != 0
        || setuid(user) != 0 || getuid() != user || geteuid() != user)
        _exit(126);
    execve(argv[0], argv, envp);
    _exit(127);
}

std::string readAll(int fd)
{
    std::string output;
    char chunk[1024];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return output;
        if (output.size() < outputKept)
            output.append(chunk, std::min(static_cast<std::size_t>(n), outputKept - output.size()));
    }
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

std::string describe(int status, std::string output)
{
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    std::string how = WIFEXITED(status) ? "busctl exited with " + std::to_string(WEXITSTATUS(status))
        : WIFSIGNALED(status)           ? "busctl killed by signal " + std::to_string(WTERMSIG(status))
                                        : "busctl could not be waited for";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 126)
        how = "could not switch to the user";
    return output.empty() ? how : how + ": " + output;
}

}  // namespace

SessionBusFileViewer::SessionBusFileViewer(std::optional<std::string> sessionBusAddress, std::string busctl)
    : sessionBusAddress_(std::move(sessionBusAddress)), busctl_(std::move(busctl))
{
}

std::vector<std::string> SessionBusFileViewer::commandFor(uid_t user, const std::vector<std::string>& uris) const
{
    std::string address = sessionBusAddress_.value_or("unix:path=/run/user/" + std::to_string(user) + "/bus");
    std::vector<std::string> argv{busctl_, "--address=" + address, callTimeout, "--quiet", "--",
                                  "call", "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                  "org.freedesktop.FileManager1", "ShowItems", "ass", std::to_string(uris.size())};
    argv.insert(argv.end(), uris.begin(), uris.end());
    argv.emplace_back("");  // startup id: none
    return argv;
}

FileViewer::Outcome SessionBusFileViewer::showItems(uid_t user, const std::vector<std::string>& uris)
{
    if (user == 0 || user == static_cast<uid_t>(-1))
        return {false, "the caller is root or unknown, and no session bus is reached as root"};
    auto account = accountOf(user);
    if (!account)
        return {false, "user " + std::to_string(user) + " has no account"};

    auto command = commandFor(user, uris);
    std::vector<char*> argv;
    for (auto& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string locale = "LANG=C.UTF-8";
    char* envp[] = {locale.data(), nullptr};

    UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int ends[2];
    if (!input || ::pipe2(ends, O_CLOEXEC) != 0)
        return {false, "no pipe for busctl: " + std::to_string(errno)};
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    pid_t pid = ::fork();
    if (pid < 0)
        return {false, "fork failed: " + std::to_string(errno)};
    if (pid == 0)
        runAsUser(user, *account, input.get(), writeEnd.get(), argv.data(), envp);
    writeEnd.reset();
    std::string output = readAll(readEnd.get());
    int status = waitFor(pid);
    if (status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {true, {}};
    return {false, describe(status, std::move(output))};
}

}  // namespace ntfs
