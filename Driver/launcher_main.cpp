// The driver program under each of its names (mount.tarn_ntfs, tarn_ntfs_fix, tarn_ntfs-formatter,
// tarn_ntfs-diskutil, tarn_ntfs-probe, tarn_ntfs-kctl). All of the driver is its shared library,
// which this loads from where the app folder or the installation put it beside the program, and
// which takes its role from the name the program was started under. Plain C library calls only:
// started for every disk message, it loads nothing the library does not need anyway.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace {

// The library's places relative to the program's own folder: in the app's Resources (and in the
// file-system bundle there), and installed (sbin, lib/tarn_ntfs, and the bundle below it).
const char* const libraryPlaces[] = {"/libintl.8.dylib", "/../../../libintl.8.dylib", "/../lib/tarn_ntfs/libintl.so.8",
                                     "/libintl.so.8", "/../../../libintl.so.8"};

}  // namespace

int main(int argc, char** argv)
{
    char folder[PATH_MAX] = "";
    ssize_t n = readlink("/proc/self/exe", folder, sizeof folder - 1);
    folder[n > 0 ? n : 0] = '\0';
    if (char* slash = strrchr(folder, '/'))
        *slash = '\0';
    for (const char* place : libraryPlaces) {
        char library[PATH_MAX * 2];
        snprintf(library, sizeof library, "%s%s", folder, place);
        if (access(library, R_OK) != 0)
            continue;
        void* handle = dlopen(library, RTLD_LAZY | RTLD_LOCAL);
        if (!handle) {
            fprintf(stderr, "tarn_ntfs: %s\n", dlerror());
            return 69;
        }
        using Entry = int (*)(int, char**);
        if (auto entry = reinterpret_cast<Entry>(dlsym(handle, "tarn_ntfs_driver_main")))
            return entry(argc, argv);
        fprintf(stderr, "tarn_ntfs: %s is not the driver's library\n", library);
        return 69;
    }
    fprintf(stderr, "tarn_ntfs: the driver's library is missing beside %s\n", folder);
    return 69;
}
