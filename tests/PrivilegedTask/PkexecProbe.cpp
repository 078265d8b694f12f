// Runs as an ordinary user on a private system bus with a real polkitd: registers an
// authentication agent for itself that dismisses every prompt, then launches a task through the
// real pkexec and prints what the launch reported.
#include "PrivilegedTask/Linux/PkexecElevator.h"
#include "PrivilegedTask/QVPrivilegedTask.h"

#include <QCoreApplication>

#include <sdbus-c++/sdbus-c++.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using Identity = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;

std::uint64_t processStartTime()
{
    std::ostringstream text;
    text << std::ifstream("/proc/self/stat").rdbuf();
    std::istringstream fields(text.str().substr(text.str().rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)  // field 22 is the start time
        fields >> field;
    return std::stoull(field);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;

    auto connection = sdbus::createSystemBusConnection();
    auto agent = sdbus::createObject(*connection, "/org/ntfs/test/Agent");
    const char* agentInterface = "org.freedesktop.PolicyKit1.AuthenticationAgent";
    agent->registerMethod("BeginAuthentication").onInterface(agentInterface).implementedAs([](const std::string&, const std::string&, const std::string&, const std::map<std::string, std::string>&,
                          const std::string&, const std::vector<Identity>&) {
            throw sdbus::Error("org.freedesktop.PolicyKit1.Error.Cancelled", "dismissed by the test agent");
        });
    agent->registerMethod("CancelAuthentication").onInterface(agentInterface).implementedAs([](const std::string&) {});
    agent->finishRegistration();

    auto authority = sdbus::createProxy(*connection, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority");
    Identity subject{"unix-process", {{"pid", sdbus::Variant(std::uint32_t(getpid()))}, {"start-time", sdbus::Variant(processStartTime())}}};
    authority->callMethod("RegisterAuthenticationAgent").onInterface("org.freedesktop.PolicyKit1.Authority")
        .withArguments(subject, std::string("C"), std::string("/org/ntfs/test/Agent"));
    connection->enterEventLoopAsync();

    QVPrivilegedTask::setElevator(std::make_shared<ntfs::PkexecElevator>(ntfs::PkexecElevatorOptions{.trampoline = argv[1], .isRoot = {}}));
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/true");
    auto status = task->launch();
    std::printf("status=%d running=%d handle=%d\n", status, task->isRunning() ? 1 : 0, task->outputFileHandle() ? 1 : 0);
    connection->leaveEventLoop();
    return 0;
}
