#include "ElfSection.h"
#include "RegistrationFiles.h"

#include <gtest/gtest.h>

using namespace ntfs;

namespace {

RegistrationFiles embeddedJob()
{
    auto section = ElfSection::read(NTFS_HELPER_EXECUTABLE, "__launchd_plist");
    EXPECT_TRUE(section);
    auto job = PropertyList::fromXml(section.value_or(""));
    EXPECT_TRUE(job);
    return RegistrationFiles::fromLaunchdJob(*job).value();
}

}  // namespace

TEST(RegistrationFiles, FollowTheEmbeddedLaunchdJob)
{
    auto files = embeddedJob();
    EXPECT_EQ(files.label(), "com.zel.ntfs.HelperTool");
    EXPECT_EQ(files.program(), "/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool");
    EXPECT_EQ(files.serviceNames(), std::vector<std::string>{"com.tarn.mac.utility.store.ntfs.HelperTool"});

    auto unit = files.unitFile();
    EXPECT_NE(unit.find("ExecStart=/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool\n"), std::string::npos);
    EXPECT_NE(unit.find("Restart=always\n"), std::string::npos);
    EXPECT_NE(unit.find("MemoryMax=512M\nTasksMax=256\n"), std::string::npos);
    EXPECT_NE(unit.find("BusName=com.tarn.mac.utility.store.ntfs.HelperTool\n"), std::string::npos);
    auto activation = files.activationFile("com.tarn.mac.utility.store.ntfs.HelperTool");
    EXPECT_NE(activation.find("SystemdService=com.zel.ntfs.HelperTool.service\n"), std::string::npos);

    std::vector<std::string> paths;
    for (const auto& file : files.files())
        paths.push_back(file.path.string());
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "etc/systemd/system/com.zel.ntfs.HelperTool.service",
                         "usr/share/polkit-1/actions/com.zel.ntfs.HelperTool.policy",
                         "usr/share/dbus-1/system-services/com.tarn.mac.utility.store.ntfs.HelperTool.service",
                         "usr/share/dbus-1/system.d/com.tarn.mac.utility.store.ntfs.HelperTool.conf",
                     }));
}

TEST(RegistrationFiles, CarryTheBundleInformationKeyForKey)
{
    auto section = ElfSection::read(NTFS_HELPER_EXECUTABLE, "__info_plist");
    ASSERT_TRUE(section);
    auto info = PropertyList::fromXml(*section);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->keys(), (std::vector<std::string>{"CFBundleIdentifier", "CFBundleInfoDictionaryVersion", "CFBundleName",
                                                      "CFBundleVersion", "SMAuthorizedClients"}));
    auto clients = info->strings("SMAuthorizedClients").value();
    ASSERT_EQ(clients.size(), 2u);
    const std::string tail = " and (certificate leaf[field.1.2.840.113635.100.6.1.9] /* exists */ or certificate "
                             "1[field.1.2.840.113635.100.6.2.6] /* exists */ and certificate "
                             "leaf[field.1.2.840.113635.100.6.1.13] /* exists */ and certificate leaf[subject.OU] = K4QZP7MXRD)";
    EXPECT_EQ(clients[0], "anchor apple generic and identifier \"com.tarn.mac.utility.website.ntfs.HelperApp\"" + tail);
    EXPECT_EQ(clients[1], "anchor apple generic and identifier \"com.tarn.mac.utility.store.ntfs\"" + tail);
}

TEST(RegistrationFiles, RefuseAJobWithoutItsEssentials)
{
    auto job = PropertyList::fromXml("<plist version=\"1.0\"><dict><key>Label</key><string>x</string></dict></plist>");
    ASSERT_TRUE(job);
    EXPECT_FALSE(RegistrationFiles::fromLaunchdJob(*job));
    EXPECT_FALSE(PropertyList::fromXml("not a property list"));
}
