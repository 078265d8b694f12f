#pragma once

#include "PrivilegedTask/Elevator.h"
#include "PrivilegedTask/Linux/PkexecElevator.h"
#include "PrivilegedTask/QVPrivilegedTask.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RecordingLogger.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace ntfs::test {

namespace fs = std::filesystem;

// Runs tools for real (directly, as root would) unless told to answer a program (by file name)
// with a status, as a dismissed or refused consent prompt would. Records every request.
class ScriptedElevator final : public Elevator {
public:
    bool available() const override { return true; }
    ElevatedLaunch execute(const SpawnRequest& request) override
    {
        launches.push_back(request);
        auto answer = answers.find(fs::path(request.program).filename().string());
        return answer != answers.end() ? ElevatedLaunch::failure(answer->second) : direct_.execute(request);
    }

    std::vector<SpawnRequest> launches;
    std::map<std::string, std::int32_t> answers;

private:
    PkexecElevator direct_{PkexecElevatorOptions{"/nonexistent/pkexec", "/nonexistent/trampoline", [] { return true; }}};
};

inline std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A launchd job as the helper embeds it.
inline std::string job(const std::string& label, const std::string& program = "/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool",
                       const std::string& service = "com.tarn.mac.utility.store.ntfs.HelperTool")
{
    return "<plist version=\"1.0\"><dict><key>Label</key><string>" + label + "</string><key>MachServices</key><dict><key>" + service +
           "</key><true/></dict><key>Program</key><string>" + program + "</string></dict></plist>";
}

inline void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

// An app folder in a temporary directory (driver stand-ins, scripts written by the test, copies of
// the bless tool and of the helper it carries) and a temporary root that the bless tool and the
// scripts write into. Tools run for real through a scripted elevator.
class InstallFixture : public testing::Test {
protected:
    static constexpr const char* label = "com.zel.ntfs.HelperTool";

    void SetUp() override
    {
        for (const char* file : {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter", "tarn_ntfs.kext/Contents/Info.plist",
                                 "tarn_ntfs.fs/Contents/Info.plist"})
            writeFile(app_ / "Resources" / file, "stand-in\n");
        fs::copy_file(NTFS_BLESS_TOOL, app_ / "ntfs-bless-helper");
        fs::create_directories(carried().parent_path());
        fs::copy_file(NTFS_HELPER, carried());
        setenv("NTFS_INSTALL_ROOT", root_.path().c_str(), 1);
        QVPrivilegedTask::setElevator(elevator);
        QVPrivilegedTask::setLogger(std::make_shared<RecordingLogger>());
    }

    void TearDown() override
    {
        QVPrivilegedTask::setElevator(nullptr);
        QVPrivilegedTask::setLogger(nullptr);
        unsetenv("NTFS_INSTALL_ROOT");
    }

    // Writes Resources/<name>, run through /bin/sh.
    void writeScript(const std::string& name, const std::string& body) const { writeFile(app_ / "Resources" / name, body); }

    // The carried helper becomes the built one with one embedded section replaced.
    void carryHelperWithSection(const std::string& section, const std::string& content) const
    {
        writeFile(work_ / "section.plist", content);
        fs::remove(carried());
        auto [status, output] = ChildProcess::run({"/usr/bin/objcopy", "--update-section",
                                                   section + "=" + (work_ / "section.plist").string(), NTFS_HELPER,
                                                   carried().string()});
        ASSERT_EQ(status, 0) << output;
    }

    QString appPath() const { return QString::fromStdString(app_.path().string()); }
    fs::path carried() const { return app_ / "Library/LaunchServices" / label; }
    fs::path installed() const { return root_ / "Library/PrivilegedHelperTools" / label; }

    // Every file below the root, relative to it.
    std::set<std::string> rootFiles() const
    {
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root_.path()))
            if (!entry.is_directory())
                files.insert(fs::relative(entry.path(), root_.path()).string());
        return files;
    }

    TempDir app_, root_, work_;
    std::shared_ptr<ScriptedElevator> elevator = std::make_shared<ScriptedElevator>();
};

}  // namespace ntfs::test
