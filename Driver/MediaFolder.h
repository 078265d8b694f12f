#pragma once

#include "Common/UniqueFd.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace ntfs {

// The folders a user's volumes are mounted on, /media/<user>/<name>, made as root for that user.
// The user's folder belongs to us (root) with mode 0750 and an ACL entry giving the user r-x,
// so that only the user gets in. A volume's folder is claimed under a lock on the user's folder,
// held until the mount is done, so two mounts at once never land on one folder: a name already
// mounted on (or holding anything) is passed over for the next choice ("Data-2").
//
// Nothing here follows a symlink, and only a path of exactly that shape, for that uid's own
// user, is touched: a caller cannot steer it onto another path.
class MediaFolder {
public:
    struct Refused : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    // The folder to mount on; the lock is held while the object lives. A folder the claim made is
    // removed again when it goes, unless the mount kept it.
    class Claim {
    public:
        Claim(std::string path, UniqueFd folder, bool made) : path_(std::move(path)), folder_(std::move(folder)), made_(made) {}
        Claim(Claim&&) = default;
        Claim& operator=(Claim&&) = default;
        ~Claim();
        const std::string& path() const { return path_; }
        void keep() { made_ = false; }

    private:
        std::string path_;
        UniqueFd folder_;  // the user's folder, locked
        bool made_;
    };

    explicit MediaFolder(std::filesystem::path root = "/media") : root_(std::move(root)) {}

    // Whether `mountPoint` lies in a folder below the media root (and so must pass claim()).
    bool covers(const std::string& mountPoint) const;
    // The user a volume is mounted for: the "uid=" of its mount options, else ourselves.
    static uid_t ownerIn(const std::string& options);
    // Claims `mountPoint` (or the next free choice of its name) for `uid`; throws Refused.
    // Without `wait`, a folder locked by another claim gives nothing instead of waiting.
    std::optional<Claim> claim(const std::string& mountPoint, uid_t uid, bool wait = true) const;

private:
    UniqueFd userFolder(const std::string& user, uid_t uid) const;
    static bool usable(int folder, const std::string& name, dev_t parentDevice, bool& made);

    std::filesystem::path root_;
};

}  // namespace ntfs
