// The driver's one entry: the launcher under each of its names calls it with its own argv.
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

namespace ntfs {

int failWith(const char* role, int code, const std::string& why)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", role, why.c_str());
    return code;
}

bool asksForHelp(const Arguments& arguments)
{
    return !arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h");
}

int showHelp(const char* usage)
{
    std::printf("%s%s", usage, DriverStatus::table().c_str());
    return status::done;
}

}  // namespace ntfs

extern "C" __attribute__((visibility("default"))) int tarn_ntfs_driver_main(int argc, char** argv)
{
    using namespace ntfs;
    static constexpr std::array<std::pair<std::string_view, int (*)(const Arguments&)>, 6> roles{{
        {"mount.tarn_ntfs", runMountHelper},
        {"tarn_ntfs_fix", runRepairTool},
        {"tarn_ntfs-formatter", runFormatter},
        {"tarn_ntfs-diskutil", runDiskUtility},
        {"tarn_ntfs-probe", runProbe},
        {"tarn_ntfs-kctl", runKernelControl},
    }};
    // Lines reach the helper's one pipe in the order written, stdout and stderr alike.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string_view name = argc > 0 ? argv[0] : "";
    name = name.substr(name.find_last_of('/') + 1);
    Arguments arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    for (const auto& [role, run] : roles)
        if (role == name)
            return run(arguments);
    std::fprintf(stderr, "tarn_ntfs: started as \"%.*s\"; the driver's names are mount.tarn_ntfs, tarn_ntfs_fix, "
                         "tarn_ntfs-formatter, tarn_ntfs-diskutil, tarn_ntfs-probe and tarn_ntfs-kctl\n",
                 static_cast<int>(name.size()), name.data());
    return status::usage;
}
