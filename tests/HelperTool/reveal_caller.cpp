// Test client: sends revealFSDir_ with its arguments as the paths, then one getVersionWithReply_
// on the same connection, whose reply comes only after the reveal was handled; prints the version.
#include "HelperTool/Client/HelperToolClient.h"

#include <iostream>

int main(int argc, char** argv)
{
    try {
        ntfs::HelperToolClient client;
        client.revealFSDir(std::vector<std::string>(argv + 1, argv + argc));
        std::cout << client.getVersion() << "\n";
    } catch (const std::exception& e) {
        std::cout << "failed: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
