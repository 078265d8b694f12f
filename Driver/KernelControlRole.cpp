// tarn_ntfs-kctl: the driver's control channel. systemd listens on the channel's socket and starts
// this for each connection (Accept=yes), which it answers once before it ends.
#include "DriverRoles.h"
#include "DriverStatus.h"
#include "KernelControlResponder.h"
#include "MountLogStore.h"
#include "UniqueFd.h"

#include <systemd/sd-daemon.h>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>

namespace ntfs {
namespace {

constexpr int noAnswer = 1;

const char* const usageText =
    "usage: tarn_ntfs-kctl   (started by systemd through tarn_ntfs-kctl.socket, one connection each)\n"
    "Answers one request on the driver's control channel \"com.tarn.ntfs-support.kext\": option 2 is the\n"
    "latest mount log (/run/tarn_ntfs/mount-log), empty before the first mount since boot.\n";

}  // namespace

int runKernelControl(const Arguments& arguments)
{
    if (asksForHelp(arguments))
        return showHelp(usageText);
    int count = sd_listen_fds(1);
    if (!arguments.empty() || count != 1 || sd_is_socket(SD_LISTEN_FDS_START, AF_UNIX, SOCK_SEQPACKET, 0) <= 0)
        return failWith("tarn_ntfs-kctl", status::usage, "expects one accepted connection from systemd and no arguments");
    UniqueFd connection(SD_LISTEN_FDS_START);
    ::fcntl(connection.get(), F_SETFD, FD_CLOEXEC);
    MountLogStore logs;
    int error = KernelControlResponder(logs).serve(connection.get());
    if (error != 0)
        return failWith("tarn_ntfs-kctl", noAnswer, std::string("no answer went out: ") + std::strerror(error));
    return status::done;
}

}  // namespace ntfs
