#include "HelperTool/Operations/SystemRoots.h"

#include <cstdlib>

namespace ntfs {

SystemRoots SystemRoots::fromEnvironment()
{
    SystemRoots roots;
    if (const char* root = std::getenv("NTFS_HELPER_SYSTEM_ROOT"); root && *root)
        roots.root = root;
    if (const char* address = std::getenv("NTFS_HELPER_SESSION_BUS_ADDRESS"); address && *address)
        roots.sessionBusAddress = address;
    return roots;
}

}  // namespace ntfs
