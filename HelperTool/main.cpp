#include "HelperTool.h"
#include "LogFormat.h"
#include "PolkitCallerAuthority.h"
#include "PosixCommandRunner.h"
#include "SyslogLogger.h"

#include <sdbus-c++/sdbus-c++.h>

// The helper takes no arguments and reads none. It serves until SIGTERM; if its loop ever ends
// otherwise it exits with status 1, and the service manager starts it again.
int main()
{
    ntfs::SyslogLogger log("com.zel.ntfs.HelperTool");
    ntfs::PolkitCallerAuthority authority;
    ntfs::PosixCommandRunner commandRunner;
    ntfs::DiskCommands diskCommands(commandRunner, log);
    try {
        auto listener = sdbus::createSystemBusConnection();
        ntfs::HelperTool tool(*listener, {log, authority, diskCommands});
        if (tool.run() == ntfs::BusEventLoop::Outcome::Stopped)
            return 0;
    } catch (const std::exception& e) {
        log.log(ntfs::formatLog("The helper stopped: %@", e.what()));
    }
    return 1;
}
