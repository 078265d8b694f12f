#include "App/Tools/Screenshots/HoldingElevator.h"

ntfs::ElevatedLaunch HoldingElevator::execute(const ntfs::SpawnRequest& request)
{
    // tail ends within a second of this process, which the screenshot script kills.
    ntfs::SpawnRequest held{"/bin/sh", {"-c", "\"$@\"; exec tail -f --pid=\"$PPID\" /dev/null", "sh", request.program},
                            request.workingDirectory};
    held.arguments.insert(held.arguments.end(), request.arguments.begin(), request.arguments.end());
    return direct_.execute(held);
}
