// tarn_ntfs-kctl: the driver's control channel. systemd listens on the channel's socket and starts
// this for each connection (Accept=yes), which it answers once before it ends.
#include "KernelControlResponder.h"
#include "MountLogStore.h"
#include "UniqueFd.h"

#include <systemd/sd-daemon.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/socket.h>

namespace {

constexpr int usageStatus = 64;

const char* const help =
    "Usage: tarn_ntfs-kctl   (started by systemd through tarn_ntfs-kctl.socket, one connection each)\n"
    "Answers one request on the driver's control channel \"com.tarn.ntfs-support.kext\": option 2 is\n"
    "the latest mount log (/run/tarn_ntfs/mount-log), empty before the first mount since boot.\n"
    "Exit status: 0 answered; 1 no answer went out; 64 not started with one connection by systemd.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        bool asked = std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h";
        std::fputs(help, asked ? stdout : stderr);
        return asked ? 0 : usageStatus;
    }
    int count = sd_listen_fds(1);
    if (count != 1 || sd_is_socket(SD_LISTEN_FDS_START, AF_UNIX, SOCK_SEQPACKET, 0) <= 0) {
        std::fprintf(stderr, "tarn_ntfs-kctl: expects one accepted connection from systemd, got %d descriptors\n", count);
        return usageStatus;
    }
    ntfs::UniqueFd connection(SD_LISTEN_FDS_START);
    ::fcntl(connection.get(), F_SETFD, FD_CLOEXEC);
    ntfs::MountLogStore logs;
    int error = ntfs::KernelControlResponder(logs).serve(connection.get());
    if (error != 0)
        std::fprintf(stderr, "tarn_ntfs-kctl: no answer went out: %s\n", std::strerror(error));
    return error == 0 ? 0 : 1;
}
