#pragma once

#include "App/Shell/ServiceManagement.h"

class Bundle;
namespace ntfs {
class Logger;
}

// Blesses through the app's own root tool, ntfs-bless-helper, run beside the app's executable by
// the privileged task runner, so the user is asked in the same way as for the scripts. Under
// polkit's auth_admin_keep a consent given for the script of the same press is still valid, and no
// second prompt appears. The tool reads the job embedded in the helper that the app carries,
// copies the helper into place and registers it with systemd and the system bus.
//
// Errors: a launch that did not start (dismissed consent -60006, refusal, no tool) gives the
// launch status in the OSStatus domain; an exit code of the tool gives a launchd-domain error
// (BlessToolStatus).
class BlessToolServiceManagement final : public ServiceManagement {
public:
    BlessToolServiceManagement(const Bundle& bundle, ntfs::Logger& logger);

    bool jobBless(const QString& domain, const QString& label, std::optional<DomainError>& error) override;

private:
    const Bundle& bundle_;
    ntfs::Logger& logger_;
};
