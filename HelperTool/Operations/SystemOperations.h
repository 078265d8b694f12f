#pragma once

#include "Common/Logger.h"
#include "HelperTool/CommandResult.h"
#include "HelperTool/Platform/KernelControl.h"
#include "HelperTool/Platform/KernelVariables.h"

#include <cstdio>
#include <string_view>

namespace ntfs {

// The driver's hibernate-check switch and its latest mount log.
class SystemOperations {
public:
    static constexpr std::string_view hibernateCheckVariable = "vfs.tarnntfs.config.hibernate_check";
    static constexpr std::string_view driverControl = "com.tarn.ntfs-support.kext";
    static constexpr std::int32_t mountLogOption = 2;
    static constexpr std::size_t mountLogBufferSize = 1024;

    // `out` takes the mount log's two printed lines (standard output in the helper).
    SystemOperations(KernelVariables& variables, KernelControl& control, Logger& logger, std::FILE* out);

    // Any non-zero value switches the check on (1), zero off (0).
    CommandResult configureHibernateCheck(int value);

    // (text, 0) from the driver, (nothing, 0) for a text that is not UTF-8, (nothing, -1) for any
    // failure of the conversation.
    CommandResult latestMountLog();

private:
    void print(const std::string& line);

    KernelVariables& variables_;
    KernelControl& control_;
    Logger& logger_;
    std::FILE* out_;
};

}  // namespace ntfs
