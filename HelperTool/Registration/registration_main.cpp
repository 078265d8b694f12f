// Writes the files that register a helper executable with the system, generated from the launchd
// job embedded in it, below a root directory: ntfs-helper-registration HELPER ROOT
#include "Common/ElfSection.h"
#include "HelperTool/Registration/RegistrationFiles.h"

#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " HELPER-EXECUTABLE ROOT-DIRECTORY\n";
        return 2;
    }
    auto section = ntfs::ElfSection::read(argv[1], "__launchd_plist");
    auto job = section ? ntfs::PropertyList::fromXml(*section) : std::nullopt;
    auto registration = job ? ntfs::RegistrationFiles::fromLaunchdJob(*job) : std::nullopt;
    if (!registration) {
        std::cerr << argv[1] << ": no usable launchd job embedded\n";
        return 1;
    }
    for (const auto& file : registration->files()) {
        auto path = std::filesystem::path(argv[2]) / file.path;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << file.content;
        if (!std::ofstream(path, std::ios::app)) {
            std::cerr << path << ": cannot write\n";
            return 1;
        }
    }
    return 0;
}
