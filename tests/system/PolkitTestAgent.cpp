// A scripted polkit authentication agent for the user's own session, the way a desktop's agent
// would be: polkit-test-agent PASSWORD|--dismiss COMMAND [ARGUMENT...]
// Registers for the session it runs in, runs the command and ends with its exit status. Every
// prompt is answered with PASSWORD for the first user polkit offers (through polkit's own
// setuid helper, so the password is checked by PAM), or dismissed. Says on stderr what it was
// asked and what it did.
#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-login.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Identity = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;
constexpr const char* agentPath = "/org/ntfs/test/Agent";
constexpr const char* agentHelper = "/usr/lib/polkit-1/polkit-agent-helper-1";

int exitCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Spawns argv with stdin and stdout on pipes when asked; returns the pid or -1.
pid_t spawn(char* const* argv, int stdinFd, int stdoutFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string firstUser(const std::vector<Identity>& identities)
{
    for (const auto& identity : identities) {
        auto details = identity.get<1>();
        if (identity.get<0>() == "unix-user" && details.count("uid")) {
            if (const passwd* user = getpwuid(details.at("uid").get<std::uint32_t>()))
                return user->pw_name;
        }
    }
    return {};
}

// Talks polkit-agent-helper-1's line protocol: the cookie, then one answer per PAM prompt, until
// it reports SUCCESS or FAILURE. On success the helper itself tells polkitd.
bool authenticate(const std::string& user, const std::string& cookie, const std::string& password)
{
    int toHelper[2], fromHelper[2];
    if (pipe2(toHelper, O_CLOEXEC) != 0 || pipe2(fromHelper, O_CLOEXEC) != 0)
        return false;
    std::string helper = agentHelper;
    std::string name = user;
    char* argv[] = {helper.data(), name.data(), nullptr};
    pid_t pid = spawn(argv, toHelper[0], fromHelper[1]);
    close(toHelper[0]);
    close(fromHelper[1]);
    std::unique_ptr<FILE, int (*)(FILE*)> in(fdopen(fromHelper[0], "r"), fclose);
    std::unique_ptr<FILE, int (*)(FILE*)> out(fdopen(toHelper[1], "w"), fclose);
    bool success = false;
    if (pid > 0 && in && out) {
        std::fprintf(out.get(), "%s\n", cookie.c_str());
        std::fflush(out.get());
        char line[1024];
        while (std::fgets(line, sizeof line, in.get())) {
            if (std::strncmp(line, "PAM_PROMPT_ECHO", 15) == 0) {
                std::fprintf(out.get(), "%s\n", password.c_str());
                std::fflush(out.get());
            } else if (std::strncmp(line, "SUCCESS", 7) == 0 || std::strncmp(line, "FAILURE", 7) == 0) {
                success = line[0] == 'S';
                break;
            }
        }
    }
    out.reset();
    in.reset();
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    return success;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: polkit-test-agent PASSWORD|--dismiss COMMAND [ARGUMENT...]\n");
        return 2;
    }
    std::string password = argv[1];
    bool dismiss = password == "--dismiss";
    char* session = nullptr;
    if (sd_pid_get_session(0, &session) < 0) {
        std::fprintf(stderr, "polkit-test-agent: not in a login session\n");
        return 2;
    }
    std::string sessionId = session;
    std::free(session);

    auto connection = sdbus::createSystemBusConnection();
    auto agent = sdbus::createObject(*connection, agentPath);
    const char* agentInterface = "org.freedesktop.PolicyKit1.AuthenticationAgent";
    agent->registerMethod("BeginAuthentication")
        .onInterface(agentInterface)
        .implementedAs([&](const std::string& action, const std::string& message, const std::string&,
                           const std::map<std::string, std::string>&, const std::string& cookie,
                           const std::vector<Identity>& identities) {
            std::fprintf(stderr, "polkit-test-agent: %s: asks \"%s\"\n", action.c_str(), message.c_str());
            if (dismiss) {
                std::fprintf(stderr, "polkit-test-agent: %s: prompt dismissed\n", action.c_str());
                throw sdbus::Error("org.freedesktop.PolicyKit1.Error.Cancelled", "dismissed by the test agent");
            }
            auto user = firstUser(identities);
            bool success = !user.empty() && authenticate(user, cookie, password);
            std::fprintf(stderr, "polkit-test-agent: %s: authentication as %s %s\n", action.c_str(),
                         user.empty() ? "(nobody offered)" : user.c_str(), success ? "succeeded" : "failed");
            if (!success)
                throw sdbus::Error("org.freedesktop.PolicyKit1.Error.Failed", "authentication failed");
        });
    agent->registerMethod("CancelAuthentication").onInterface(agentInterface).implementedAs([](const std::string&) {});
    agent->finishRegistration();

    auto authority = sdbus::createProxy(*connection, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority");
    Identity subject{"unix-session", {{"session-id", sdbus::Variant(sessionId)}}};
    authority->callMethod("RegisterAuthenticationAgent")
        .onInterface("org.freedesktop.PolicyKit1.Authority")
        .withArguments(subject, std::string("C"), std::string(agentPath));
    connection->enterEventLoopAsync();

    pid_t pid = spawn(argv + 2, -1, -1);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) {
        std::fprintf(stderr, "polkit-test-agent: cannot run %s\n", argv[2]);
        status = 127 << 8;
    }
    connection->leaveEventLoop();
    return exitCode(status);
}
