#include "Driver/MediaFolder.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace ntfs {
namespace {

namespace fs = std::filesystem;

class MediaFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(temp / "media");
        fs::permissions(temp / "media", fs::perms(0755));
    }
    std::string mine(const std::string& name) const { return (temp / "media" / user / name).string(); }

    test::TempDir temp;
    MediaFolder media{temp / "media"};
    std::string user = getpwuid(getuid())->pw_name;
};

TEST_F(MediaFolderTest, MakesTheUsersFolderForThemAloneAndPassesOverTakenNames)
{
    auto first = media.claim(mine("Data"), getuid());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path(), mine("Data"));
    struct stat info {};
    ASSERT_EQ(stat((temp / "media" / user).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);
    char acl[64];
    ASSERT_EQ(getxattr((temp / "media" / user).c_str(), "system.posix_acl_access", acl, sizeof acl), 44);
    uid_t granted = 0;
    std::memcpy(&granted, acl + 4 + 8 + 4, sizeof granted);  // the second entry: ACL_USER
    EXPECT_EQ(granted, getuid());

    // While the first claim is held, another waits; once its folder holds a volume, the next name.
    EXPECT_FALSE(media.claim(mine("Data"), getuid(), false));
    first->keep();
    first.reset();
    std::ofstream(mine("Data/mounted")) << "x";
    EXPECT_EQ(media.claim(mine("Data"), getuid())->path(), mine("Data-2"));
    // A folder the claim made goes when the mount failed; an empty one found there is taken again.
    EXPECT_FALSE(fs::exists(mine("Data-2")));
    fs::create_directory(mine("Data-2"));
    EXPECT_EQ(media.claim(mine("Data-2"), getuid())->path(), mine("Data-2"));
    EXPECT_TRUE(fs::exists(mine("Data-2")));
}

TEST_F(MediaFolderTest, RefusesEveryOtherShapeOfPathAndForeignFolders)
{
    for (const auto& path : {(temp / "media" / "someone-else" / "Data").string(), mine("a/b"), mine(".."),
                             mine("line\nbreak"), (temp / "media" / "Data").string()})
        EXPECT_THROW(media.claim(path, getuid()), MediaFolder::Refused) << path;
    fs::create_directory(temp / "elsewhere");
    fs::create_directory_symlink(temp / "elsewhere", temp / "media" / user);
    EXPECT_THROW(media.claim(mine("Data"), getuid()), MediaFolder::Refused);
    EXPECT_FALSE(fs::exists(temp / "elsewhere" / "Data"));
    fs::remove(temp / "media" / user);
    fs::permissions(temp / "media", fs::perms(0775));
    EXPECT_THROW(media.claim(mine("Data"), getuid()), MediaFolder::Refused);
    EXPECT_EQ(MediaFolder::ownerIn("ro,uid=1000,gid=100"), 1000u);
    EXPECT_EQ(MediaFolder::ownerIn("windows_names"), geteuid());
    EXPECT_THROW(MediaFolder::ownerIn("uid=root"), MediaFolder::Refused);
    EXPECT_TRUE(media.covers(mine("Data")));
    EXPECT_FALSE(media.covers((temp / "mnt" / "Data").string()));
    EXPECT_FALSE(media.covers((temp / "media" / "sdb1").string()));
}

}  // namespace
}  // namespace ntfs
