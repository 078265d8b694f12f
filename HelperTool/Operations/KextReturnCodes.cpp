#include "HelperTool/Operations/KextReturnCodes.h"

#include <cerrno>

namespace ntfs {

std::int32_t KextReturnCodes::fromLinuxError(int error)
{
    switch (error) {
    case 0:
    case EEXIST:
        return success;
    case EPERM:
    case EACCES:
    case EKEYREJECTED:
    case ENOKEY:
    case EKEYEXPIRED:
    case EKEYREVOKED:
    case EBADMSG:
        return systemPolicy;
    case ENOEXEC:
    case EINVAL:
    case EISDIR:
    case EFBIG:
    case ENOTUNIQ:
        return notLoadable;
    case ENOENT:
    case ENOTDIR:
        return notFound;
    case ENOMEM:
        return noMemory;
    case ENOSYS:
        return unsupported;
    case EBUSY:
    case ETIMEDOUT:
        return timeout;
    default:
        return internalError;
    }
}

std::uint64_t KextReturnCodes::loadResultOf(std::int32_t returnCode)
{
    switch (returnCode) {
    case success:
        return 2;
    case internalError:
        return 0;
    case systemPolicy:
        return 1;
    case notLoadable:
        return 3;
    default:
        return 4;
    }
}

}  // namespace ntfs
