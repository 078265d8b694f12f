#pragma once

#include "Common/UniqueFd.h"
#include "HelperTool/Platform/KernelControlSocket.h"

#include <filesystem>

namespace ntfs {

// One socket of UnixKernelControl, which describes the transport.
class UnixKernelControlSocket final : public KernelControlSocket {
public:
    UnixKernelControlSocket(UniqueFd fd, std::filesystem::path controlFolder);

    int lookUp(std::string_view controlName) override;
    int connect(std::uint32_t unit) override;
    OptionRead getOption(std::int32_t option, std::span<char> buffer) override;

private:
    UniqueFd fd_;
    std::filesystem::path controlFolder_;
    std::filesystem::path control_;  // set by a successful lookUp
};

}  // namespace ntfs
