#include "Common/ElfSection.h"
#include "HelperTool/Registration/RegistrationFiles.h"

#include <gtest/gtest.h>

#include <map>

using namespace ntfs;

TEST(RegistrationFiles, FollowTheEmbeddedLaunchdJob)
{
    auto section = ElfSection::read(NTFS_HELPER_EXECUTABLE, "__launchd_plist");
    ASSERT_TRUE(section);
    auto job = PropertyList::fromXml(*section);
    ASSERT_TRUE(job);
    auto files = RegistrationFiles::fromLaunchdJob(*job);
    ASSERT_TRUE(files);
    std::map<std::string, std::string> content;
    for (const auto& file : files->files())
        content[file.path.string()] = file.content;
    const std::string name = "com.tarn.mac.utility.store.ntfs.HelperTool";
    const std::pair<std::string, std::string> expected[] = {
        {"etc/systemd/system/com.zel.ntfs.HelperTool.service", "ExecStart=/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool\n"},
        {"etc/systemd/system/com.zel.ntfs.HelperTool.service", "Restart=always\n"},
        {"etc/systemd/system/com.zel.ntfs.HelperTool.service", "MemoryMax=512M\nTasksMax=256\n"},
        {"etc/systemd/system/com.zel.ntfs.HelperTool.service", "BusName=" + name + "\n"},
        {"usr/share/dbus-1/system-services/" + name + ".service", "SystemdService=com.zel.ntfs.HelperTool.service\n"},
        {"usr/share/dbus-1/system.d/" + name + ".conf", "<policy user=\"root\">\n    <allow own=\"" + name + "\"/>"},
        {"usr/share/polkit-1/actions/com.zel.ntfs.HelperTool.policy", "<action id=\"com.zel.ntfs.HelperTool.use\">"},
        {"usr/share/polkit-1/actions/com.zel.ntfs.HelperTool.policy", "<allow_any>no</allow_any>"},
    };
    for (const auto& [path, text] : expected)
        EXPECT_NE(content[path].find(text), std::string::npos) << path << " lacks " << text;
    EXPECT_EQ(content.size(), 4u);
    // Only root may own the name: no other policy grants it.
    auto& policy = content["usr/share/dbus-1/system.d/" + name + ".conf"];
    EXPECT_EQ(policy.find("own="), policy.rfind("own="));

    auto bare = PropertyList::fromXml("<plist version=\"1.0\"><dict><key>Label</key><string>x</string></dict></plist>");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(RegistrationFiles::fromLaunchdJob(*bare));
}
