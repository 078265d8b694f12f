#pragma once

#include "HelperTool/Platform/KernelControl.h"

#include <chrono>
#include <filesystem>

namespace ntfs {

// Control channels as a Linux build of the driver offers them. Its kernel part is a file system
// module that has no channel of its own to user space; the driver's daemon offers one in its
// place, a Unix socket per unit of the control:
//
//     <root>/run/kernel-control/<control name>/<unit>        SOCK_SEQPACKET, owned by root
//
// Why this transport: a Unix socket keeps the control's full reverse-DNS name (generic netlink
// names stop at 15 characters), a folder only root can write keeps other users from posing as
// the driver, SOCK_SEQPACKET keeps the message boundaries of the original datagram control, and
// a test can run a fake driver on the very same transport.
//
// Reading an option is one request message and one answer:
//     request  int32 option, uint32 buffer size                      (host byte order)
//     answer   int32 errno (0: success), then at most "buffer size" bytes of the option's value
// An answer that does not come within the timeout fails with EAGAIN.
class UnixKernelControl final : public KernelControl {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{5000};

    explicit UnixKernelControl(std::filesystem::path root = "/", std::chrono::milliseconds timeout = defaultTimeout);

    std::unique_ptr<KernelControlSocket> open(int& error) override;

    static std::filesystem::path controlFolder(const std::filesystem::path& root);

private:
    std::filesystem::path root_;
    std::chrono::milliseconds timeout_;
};

}  // namespace ntfs
