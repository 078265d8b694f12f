#pragma once

#include "AppWiring.h"
#include "AuthorizationStatus.h"
#include "EventLog.h"
#include "FixedOSVersionSource.h"
#include "InstallHelperViewController.h"
#include "RecordingColorCatalog.h"
#include "RecordingLogger.h"
#include "RecordingProcessExit.h"
#include "RecordingRestart.h"
#include "ScriptedElevator.h"
#include "SequencedAlertPresenter.h"
#include "TempDir.h"
#include "Window.h"

#include <QTranslator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ntfs::test {

// An app folder in a temporary directory (driver stand-ins, scripts written by the test, a copy
// of the bless tool and of the helper it carries), a temporary root that the bless tool and the
// scripts write into, the app's services with recording doubles, the English texts, and a window
// showing the installation screen. Tools run for real, directly, through a scripted elevator.
class InstallFixture : public testing::Test {
protected:
    static constexpr const char* label = "com.zel.ntfs.HelperTool";

    void SetUp() override;
    void TearDown() override;

    // Writes Resources/<name> with a shell body (no "#!" needed: run through /bin/sh).
    std::filesystem::path writeScript(const std::string& name, const std::string& body) const;
    // Replaces the carried helper by a copy of the built one with one embedded section replaced.
    void carryHelperWithSection(const std::string& section, const std::string& content) const;

    InstallHelperViewController& screen() const;
    // Starts a flow of the screen (a press, an action) and returns once it has finished.
    void runFlow(const std::function<void()>& start) const;
    // Lets the window release a screen it replaced.
    static void settle();
    std::string contentClass() const;
    std::vector<std::string> logLines() const { return logger.lines(); }
    std::filesystem::path installedHelper() const { return root_ / "Library/PrivilegedHelperTools" / label; }
    // Every file below the root, relative to it.
    std::vector<std::string> rootFiles() const;
    static QString text(const char* key);

    TempDir app_;
    TempDir root_;
    TempDir work_;
    EventLog log;
    RecordingLogger logger;
    RecordingColorCatalog colors{log, {}};
    RecordingRestart restart{log};
    RecordingProcessExit exit{log};
    SequencedAlertPresenter alerts{log};
    FixedOSVersionSource osVersion;
    std::shared_ptr<ScriptedElevator> elevator = std::make_shared<ScriptedElevator>();
    std::unique_ptr<Window> window;

private:
    std::optional<AppWiring> wiring_;  // the real bless through the task runner, in the app folder
    std::unique_ptr<QTranslator> translator_;
    std::optional<std::string> previousRoot_;
};

}  // namespace ntfs::test
