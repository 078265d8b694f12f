#pragma once

#include <cstdint>

namespace ntfs {

// The kext manager's return codes (OSReturn) and the two tables the load operations use.
class KextReturnCodes {
public:
    static constexpr std::int32_t success = 0;                                          // kOSReturnSuccess
    static constexpr std::int32_t internalError = static_cast<std::int32_t>(0xdc008001u);  // kOSKextReturnInternalError
    static constexpr std::int32_t noMemory = static_cast<std::int32_t>(0xdc008002u);       // kOSKextReturnNoMemory
    static constexpr std::int32_t notFound = static_cast<std::int32_t>(0xdc008006u);       // kOSKextReturnNotFound
    static constexpr std::int32_t unsupported = static_cast<std::int32_t>(0xdc008009u);    // kOSKextReturnUnsupported
    static constexpr std::int32_t notLoadable = static_cast<std::int32_t>(0xdc008013u);    // kOSKextReturnNotLoadable
    static constexpr std::int32_t timeout = static_cast<std::int32_t>(0xdc008018u);        // kOSKextReturnTimeout
    static constexpr std::int32_t systemPolicy = static_cast<std::int32_t>(0xdc00801bu);   // kOSKextReturnSystemPolicy

    // How a Linux module load failure (errno of the kernel or libkmod) is reported:
    //
    //   0, EEXIST (the module is loaded already)                       kOSReturnSuccess
    //   EPERM (kernel lockdown, module loading disabled), EACCES,
    //   EKEYREJECTED, ENOKEY, EKEYEXPIRED, EKEYREVOKED, EBADMSG
    //   (the module's signature refused)                               kOSKextReturnSystemPolicy
    //   ENOEXEC (not a module, wrong format or kernel version),
    //   EINVAL (bad module or parameters), EISDIR, EFBIG, ENOTUNIQ     kOSKextReturnNotLoadable
    //   ENOENT, ENOTDIR (no such file or module)                        kOSKextReturnNotFound
    //   ENOMEM                                                          kOSKextReturnNoMemory
    //   ENOSYS (a kernel without module support)                        kOSKextReturnUnsupported
    //   EBUSY, ETIMEDOUT (a symbol could not be resolved in time)       kOSKextReturnTimeout
    //   anything else                                                   kOSKextReturnInternalError
    static std::int32_t fromLinuxError(int error);

    // The KextLoadResult of a return code: 2 loaded, 0 internal error, 1 refused by system
    // policy, 3 not loadable, 4 anything else.
    static std::uint64_t loadResultOf(std::int32_t returnCode);
};

}  // namespace ntfs
