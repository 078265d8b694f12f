#include "HelperTool/Platform/Linux/SessionBusFileViewer.h"

#include "Common/Subprocess.h"

#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <system_error>

namespace ntfs {
namespace {

// ShowItems normally answers at once; a session whose file manager hangs must not hold the
// request much longer than that.
constexpr const char* callTimeout = "--timeout=10";
constexpr std::size_t outputKept = 2048;

// The user's ids and groups, as a login would set them.
std::optional<RunAs> accountOf(uid_t user)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> text(16384);
    if (getpwuid_r(user, &entry, text.data(), text.size(), &found) != 0 || !found)
        return std::nullopt;
    RunAs account{user, entry.pw_gid, {}};
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

std::string describe(const ExitStatus& status, std::string output)
{
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    std::string how = status.kind == ExitStatus::Kind::Exited ? "busctl exited with " + std::to_string(status.value)
                                                               : "busctl killed by signal " + std::to_string(status.value);
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
    SpawnRequest request{command.front(), {command.begin() + 1, command.end()}};
    request.environment = {"LANG=C.UTF-8"};
    request.runAs = std::move(account);
    try {
        auto child = Subprocess::spawn(request);
        std::string output;
        auto status = child.waitDrainingOutput([&output](std::string_view chunk) {
            output.append(chunk.substr(0, outputKept - std::min(outputKept, output.size())));
        });
        if (status == ExitStatus{ExitStatus::Kind::Exited, 0})
            return {true, {}};
        return {false, describe(status, std::move(output))};
    } catch (const std::system_error& error) {
        return {false, std::string("busctl could not be started: ") + error.what()};
    }
}

}  // namespace ntfs
