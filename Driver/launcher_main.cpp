// The driver program under each of its names (mount.tarn_ntfs, tarn_ntfs_fix, tarn_ntfs-formatter,
// tarn_ntfs-diskutil, tarn_ntfs-probe). All of the driver is its shared library, which this loads
// from where the app folder or the installation put it beside the program, and which takes its
// role from the name the program was started under.
#include <array>
#include <cstdio>
#include <dlfcn.h>
#include <limits.h>
#include <string>
#include <unistd.h>

namespace {

// The library's places relative to the program's own folder: in the app's Resources (and in the
// file-system bundle there), and installed (sbin, lib/tarn_ntfs, and the bundle below it).
constexpr std::array<const char*, 5> libraryPlaces{
    "/libintl.8.dylib", "/../../../libintl.8.dylib", "/../lib/tarn_ntfs/libintl.so.8", "/libintl.so.8",
    "/../../../libintl.so.8"};

std::string ownFolder()
{
    std::array<char, PATH_MAX> path{};
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    std::string self(path.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    return self.substr(0, self.find_last_of('/'));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = ownFolder();
    for (const char* place : libraryPlaces) {
        std::string library = folder + place;
        if (access(library.c_str(), R_OK) != 0)
            continue;
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "tarn_ntfs: %s\n", dlerror());
            return 69;
        }
        using Entry = int (*)(int, char**);
        if (auto entry = reinterpret_cast<Entry>(dlsym(handle, "tarn_ntfs_driver_main")))
            return entry(argc, argv);
        std::fprintf(stderr, "tarn_ntfs: %s is not the driver's library\n", library.c_str());
        return 69;
    }
    std::fprintf(stderr, "tarn_ntfs: the driver's library is missing beside %s\n", folder.c_str());
    return 69;
}
