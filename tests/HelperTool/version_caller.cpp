// Test client: makes N getVersionWithReply_ calls over one connection and prints one line each,
// the version or the error name, after a first line with its own unique bus name.
// Usage: version_caller N [LINK-PATH DISK-PATH] (the link request first, with its error name, if any, on a line of its own)
#include "HelperTool/Client/HelperToolClient.h"

#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    auto answer = [](auto call) {
        try {
            call();
        } catch (const sdbus::Error& e) {
            std::cout << e.getName() << "\n";
        }
    };
    try {
        ntfs::HelperToolClient client;
        std::cout << "name " << client.uniqueName() << "\n";
        if (argc > 3)
            answer([&] { client.addLinkPath(argv[2], argv[3]); });
        for (int i = 0; i < std::stoi(argv[1]); ++i)
            answer([&] { std::cout << client.getVersion() << "\n"; });
    } catch (const std::exception& e) {
        std::cout << "failed: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
