#include "Common/LogFormat.h"
#include "HelperTool/Operations/SystemRoots.h"
#include "HelperTool/Platform/Linux/KmodKernelModules.h"
#include "HelperTool/Platform/Linux/PolkitCallerAuthority.h"
#include "HelperTool/Platform/Linux/PosixCommandRunner.h"
#include "HelperTool/Platform/Linux/ProcKernelVariables.h"
#include "HelperTool/Platform/Linux/ProcLoadedModules.h"
#include "HelperTool/Platform/Linux/SessionBusFileViewer.h"
#include "HelperTool/Platform/Linux/StderrLogger.h"
#include "HelperTool/Platform/Linux/UnixKernelControl.h"
#include "HelperTool/Service/HelperTool.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cstdio>
#include <cstdlib>

// The helper takes no arguments and reads none. It serves until SIGTERM; if its loop ever ends
// otherwise it exits with status 1, and the service manager starts it again.
int main()
{
    ntfs::StderrLogger log("com.zel.ntfs.HelperTool");
    ntfs::PosixCommandRunner commandRunner;
    ntfs::DiskCommands diskCommands(commandRunner, log);
    auto roots = ntfs::SystemRoots::fromEnvironment();
    ntfs::KmodKernelModules kernelModules;
    ntfs::ProcLoadedModules loadedModules(roots.root);
    ntfs::KernelExtensionOperations kernelExtensions(kernelModules, loadedModules);
    ntfs::ProcKernelVariables kernelVariables(roots.root);
    ntfs::UnixKernelControl kernelControl(roots.root);
    ntfs::SystemOperations systemOperations(kernelVariables, kernelControl, log, stdout);
    ntfs::SessionBusFileViewer fileViewer(roots.sessionBusAddress);
    ntfs::FileOperations fileOperations(fileViewer, log);
    try {
        auto listener = sdbus::createSystemBusConnection();
        ntfs::PolkitCallerAuthority authority(*listener);  // asks over the listener's own connection
        ntfs::HelperTool tool(*listener, {log, authority, diskCommands, kernelExtensions, systemOperations, fileOperations});
        auto outcome = tool.run();
        if (!tool.idle()) {
            // The stop grace is over: the workers still waiting for their commands cannot be
            // joined, and the service manager ends what they started.
            std::fflush(nullptr);
            std::_Exit(outcome == ntfs::BusEventLoop::Outcome::Stopped ? 0 : 1);
        }
        if (outcome == ntfs::BusEventLoop::Outcome::Stopped)
            return 0;
    } catch (const std::exception& e) {
        log.log(ntfs::formatLog("The helper stopped: %@", e.what()));
    }
    return 1;
}
