#include "tests/HelperTool/HelperDaemon.h"

#include "Common/UniqueFd.h"
#include "tests/support/TempDir.h"

#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>

namespace ntfs::test {
namespace {

// The daemon says READY=1 on a notification socket once its name is taken.
class ReadinessSocket {
public:
    ReadinessSocket() : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        path_ = (dir_ / "notify").string();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        if (!fd_ || bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot make the readiness socket");
    }
    std::string environmentEntry() const { return "NOTIFY_SOCKET=" + path_; }
    bool waitForReady(int timeoutMs)
    {
        pollfd ready{fd_.get(), POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) != 1)
            return false;
        char buffer[256] = {};
        auto n = recv(fd_.get(), buffer, sizeof buffer - 1, 0);
        return n > 0 && std::string(buffer).find("READY=1") != std::string::npos;
    }

private:
    TempDir dir_;
    std::string path_;
    UniqueFd fd_;
};

}  // namespace

HelperDaemon::HelperDaemon(HelperDaemonOptions options)
    : bus_({PrivateBusOptions::Kind::System,
            {std::filesystem::path(NTFS_REGISTRATION_ROOT) / "usr/share/dbus-1/system.d/com.tarn.mac.utility.store.ntfs.HelperTool.conf"},
            options.extraPolicy})
{
    ReadinessSocket readiness;
    ChildOptions child{options.environment, std::nullopt, options.captureOutput};
    child.environment.insert(child.environment.end(), {bus_.environmentEntry(), readiness.environmentEntry()});
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{options.executable.string()}, child);
    if (!readiness.waitForReady(10000))
        throw std::runtime_error("the helper did not become ready");
}

HelperDaemon::~HelperDaemon() = default;

std::unique_ptr<sdbus::IConnection> HelperDaemon::connect() const
{
    return sdbus::createSessionBusConnectionWithAddress(bus_.address());
}

std::unique_ptr<HelperToolClient> HelperDaemon::client() const { return std::make_unique<HelperToolClient>(connect()); }

std::pair<int, std::string> HelperDaemon::runClient(std::vector<std::string> argv, std::optional<uid_t> user) const
{
    return ChildProcess::run(std::move(argv), {{bus_.environmentEntry()}, user, true});
}

std::string HelperDaemon::allowingOwnerPolicy(const std::string& serviceName)
{
    return "  <policy user=\"root\"><allow own=\"" + serviceName + "\"/></policy>\n"
           "  <policy context=\"default\"><allow send_destination=\"" + serviceName + "\"/></policy>\n";
}

}  // namespace ntfs::test
