#pragma once

#include "HelperTool/Platform/FileViewer.h"

#include <optional>
#include <string>

namespace ntfs {

// Asks the file manager of a user's session, org.freedesktop.FileManager1.ShowItems(uris, ""),
// on that user's session bus. The helper runs as root, and the call is made as the user: a child
// process drops to the user's ids and groups before it runs busctl, so the session bus sees the
// user, and root never connects to a user's bus. Root and unknown users are not served.
class SessionBusFileViewer final : public FileViewer {
public:
    static constexpr const char* defaultBusctl = "/usr/bin/busctl";

    // `sessionBusAddress`, when given, is used for every user instead of the user's own
    // "unix:path=/run/user/<uid>/bus" (tests run a private session bus).
    explicit SessionBusFileViewer(std::optional<std::string> sessionBusAddress = std::nullopt,
                                  std::string busctl = defaultBusctl);

    Outcome showItems(uid_t user, const std::vector<std::string>& uris) override;

    std::vector<std::string> commandFor(uid_t user, const std::vector<std::string>& uris) const;

private:
    std::optional<std::string> sessionBusAddress_;
    std::string busctl_;
};

}  // namespace ntfs
