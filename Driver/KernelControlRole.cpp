// tarn_ntfs-kctl: the driver's control channel. systemd listens on the channel's socket and starts
// this for each connection (Accept=yes), which it answers once before it ends.
#include "Common/UniqueFd.h"
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"
#include "Driver/KernelControlResponder.h"
#include "Driver/MountLogStore.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ntfs {
namespace {

constexpr int noAnswer = 1;
// systemd's socket-activation convention: the passed descriptors start at 3.
constexpr int firstPassedFd = 3;

// Whether systemd passed this process exactly one accepted SOCK_SEQPACKET connection. Checked
// here rather than through libsystemd, which every other role of the driver would then load too.
bool holdsOneAcceptedConnection()
{
    const char* pid = std::getenv("LISTEN_PID");
    const char* fds = std::getenv("LISTEN_FDS");
    if (pid == nullptr || fds == nullptr || std::strtol(pid, nullptr, 10) != ::getpid() || std::strcmp(fds, "1") != 0)
        return false;
    int type = 0;
    int domain = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(firstPassedFd, SOL_SOCKET, SO_TYPE, &type, &length) != 0)
        return false;
    length = sizeof domain;
    return ::getsockopt(firstPassedFd, SOL_SOCKET, SO_DOMAIN, &domain, &length) == 0 && type == SOCK_SEQPACKET
        && domain == AF_UNIX;
}

const char* const usageText =
    "usage: tarn_ntfs-kctl   (started by systemd through tarn_ntfs-kctl.socket, one connection each)\n"
    "Answers one request on the driver's control channel \"com.tarn.ntfs-support.kext\": option 2 is the\n"
    "latest mount log (/run/tarn_ntfs/mount-log), empty before the first mount since boot.\n";

}  // namespace

int runKernelControl(const Arguments& arguments)
{
    if (asksForHelp(arguments))
        return showHelp(usageText);
    if (!arguments.empty() || !holdsOneAcceptedConnection())
        return failWith("tarn_ntfs-kctl", status::usage, "expects one accepted connection from systemd and no arguments");
    UniqueFd connection(firstPassedFd);
    ::fcntl(connection.get(), F_SETFD, FD_CLOEXEC);
    MountLogStore logs;
    int error = KernelControlResponder(logs).serve(connection.get());
    if (error != 0)
        return failWith("tarn_ntfs-kctl", noAnswer, std::string("no answer went out: ") + std::strerror(error));
    return status::done;
}

}  // namespace ntfs
