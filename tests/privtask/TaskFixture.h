#pragma once

#include "NotificationCenter.h"
#include "PkexecElevator.h"
#include "QVPrivilegedTask.h"
#include "RecordingLogger.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ntfs::test {

// The two ways a tool gets started: directly (we are root), or through pkexec and our trampoline
// (here a stand-in pkexec that checks its options and passes on to a copy of the trampoline in a
// root-owned app folder, which runs the test's tool through a script of that folder).
enum class LaunchRoute { Direct, Trampoline };

std::string routeName(const testing::TestParamInfo<LaunchRoute>& info);

// Writes an executable shell script standing in for pkexec.
std::filesystem::path writeFakePkexec(const TempDir& dir, const std::string& body);

std::shared_ptr<Elevator> elevatorWithPkexec(const std::filesystem::path& pkexec);

// Installs a recording logger and an elevator for one test and puts the defaults back after it;
// counts the termination notifications posted meanwhile.
class TaskFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Skips the test when the trampoline route needs root and we are not.
    void useRoute(LaunchRoute route);
    // A copy of the trampoline in an app folder of its own, with Resources/pass.sh that execs its
    // arguments; returns the copy.
    std::filesystem::path makeAppFolder() const;
    void useElevator(std::shared_ptr<Elevator> elevator);

    // Runs the event loop until the predicate holds, giving up after a generous limit.
    static bool runLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Runs the event loop for a while, to see that nothing more happens.
    static void runLoopFor(std::chrono::milliseconds time);

    static QByteArray outputOf(const QVPrivilegedTask::Pointer& task);
    std::vector<std::string> logLines() const { return logger_->lines(); }

    TempDir dir_;
    std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
    int notifications_ = 0;
    const QVPrivilegedTask* notifiedTask_ = nullptr;

private:
    NotificationCenter::Token observer_ = 0;
};

}  // namespace ntfs::test
