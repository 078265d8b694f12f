// The bless step's root tool: ntfs-bless-helper LABEL
// Installs and registers the helper that the app beside this tool carries under
// Library/LaunchServices/LABEL. The exit codes are listed in BlessToolStatus.h.
#include "App/BlessTool/BlessToolStatus.h"
#include "App/BlessTool/HelperBlesser.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << BlessToolStatus::executableName << " LABEL\n";
        return BlessToolStatus::internalFailure;
    }
    umask(022);
    // pkexec clears the environment, so a root other than "/" reaches only a caller that is root.
    const char* root = std::getenv(BlessToolStatus::rootVariable);
    std::error_code error;
    auto bundle = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) {
        std::cerr << BlessToolStatus::executableName << ": cannot find the app beside this tool\n";
        return BlessToolStatus::internalFailure;
    }
    HelperBlesser blesser(root && *root ? root : "/", bundle, std::cerr);
    return blesser.blessJobWithLabel(argv[1]);
}
