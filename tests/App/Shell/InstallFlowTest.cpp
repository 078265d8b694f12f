// The install flows without a window, end to end: the scripts and the bless tool run for real into
// a temporary root; what the listener hears and what is logged, for each outcome.
#include "tests/App/Shell/InstallFixture.h"

#include "App/Shell/Bundle.h"
#include "App/Shell/InstallFlow.h"
#include "App/Shell/Linux/BlessToolServiceManagement.h"
#include "tests/App/Shell/TestAppServices.h"

#include <QEventLoop>
#include <QTimer>

namespace ntfs::test {
namespace {

using testing::ElementsAre;
using Outcome = InstallFlowListener::Outcome;

const char* const stepNames[] = {"None", "Password", "Installing", "Registering", "Uninstalling", "Reloading"};
const char* const resultNames[] = {"Succeeded", "ScriptFailed", "BlessFailed", "Cancelled", "NotLaunched"};

// Hears the flow as "step:<step>", "line:<text>" and "end:<result>"; keeps the outcome.
struct RecordingListener final : InstallFlowListener {
    void flowStepChanged(Step step) override { events.push_back(std::string("step:") + stepNames[static_cast<int>(step)]); }
    void flowOutputLine(const QString& line) override { events.push_back("line:" + line.toStdString()); }
    void flowEnded(const Outcome& ended) override
    {
        events.push_back(std::string("end:") + resultNames[static_cast<int>(ended.result)]);
        outcome = ended;
        onEnd();
    }
    std::vector<std::string> events;
    std::optional<Outcome> outcome;
    std::function<void()> onEnd;
};

class InstallFlowTest : public InstallFixture {
protected:
    // Starts a flow and returns once the listener has heard its end.
    void runFlow(const std::function<void()>& start)
    {
        QEventLoop loop;
        listener.onEnd = [&] { loop.quit(); };
        QTimer::singleShot(120000, &loop, [&] { loop.exit(1); });  // only a guard against a hang
        start();
        ASSERT_EQ(loop.exec(), 0) << "the flow did not finish";
    }

    Bundle bundle{appPath()};
    FixedOSVersionSource osVersion;
    RecordingLogger logger;
    BlessToolServiceManagement serviceManagement{bundle, logger};
    RecordingListener listener;
    InstallFlow flow{bundle, osVersion, serviceManagement, logger, &QVPrivilegedTask::create, listener};
};

// Install runs the script, then blesses the helper; a step that fails ends the flow there, runs
// nothing after it and installs nothing.
TEST_F(InstallFlowTest, InstallRunsTheScriptThenBlessesAndEndsAtAFailedStep)
{
    const std::string P = "step:Password", I = "step:Installing", R = "step:Registering", output = "line:installing 5";
    const std::vector<std::tuple<std::function<void()>, std::vector<std::string>, std::string, std::string, std::size_t>> cases{
        {[&] { writeScript("Install-Kext.sh", "echo 'no room on the disk'\nexit 3\n"); }, {P, I, "line:no room on the disk", "end:ScriptFailed"},
         "Script ret code: 3, OSStatus code: 0\nno room on the disk\n", "", 1},
        {[&] { elevator->answers["sh"] = AuthorizationStatus::canceled; }, {P, "end:ScriptFailed"}, "Script ret code: 0, OSStatus code: -60006\n", "", 1},
        {[&] { elevator->answers["ntfs-bless-helper"] = AuthorizationStatus::canceled; }, {P, I, output, R, "end:BlessFailed"}, "",
         "The operation couldn\u2019t be completed. (OSStatus error -60006.)", 2},
        {[&] { carryHelperWithSection("__launchd_plist", job("com.example.Other")); }, {P, I, output, R, "end:BlessFailed"}, "",
         "The operation couldn\u2019t be completed. (CFErrorDomainLaunchd error 5.)", 2},
        {[&] { fs::remove_all(app_ / "Resources/tarn_ntfs.fs"); }, {P, "end:ScriptFailed"}, "Missing resources: tarn_ntfs.fs\n", "", 0},
        {[&] {  // what the rows above broke, restored
             writeFile(app_ / "Resources/tarn_ntfs.fs/Contents/Info.plist", "stand-in\n");
             fs::copy_file(NTFS_HELPER, carried(), fs::copy_options::overwrite_existing);
         }, {P, I, output, R, "end:Succeeded"}, "", "", 2},
    };
    for (const auto& [arrange, events, scriptResult, blessError, launches] : cases) {
        SCOPED_TRACE(events.back() + scriptResult + blessError);
        writeScript("Install-Kext.sh", "echo \"installing $#\"\n");
        elevator->answers.clear();
        elevator->launches.clear();
        listener.events.clear();
        arrange();
        runFlow([this] { flow.install(); });
        EXPECT_EQ(listener.events, events);
        EXPECT_EQ(listener.outcome->flow, Outcome::Flow::Install);
        EXPECT_EQ(listener.outcome->scriptResult.toStdString(), scriptResult);
        EXPECT_EQ(listener.outcome->blessError ? listener.outcome->blessError->localizedDescription().toStdString() : "", blessError);
        EXPECT_EQ(elevator->launches.size(), launches);
        EXPECT_EQ(fs::exists(installed()), events.back() == "end:Succeeded");
    }
    EXPECT_THAT(elevator->launches.back().arguments, ElementsAre(label));
    auto lines = logger.lines();
    EXPECT_THAT(std::vector(lines.end() - 5, lines.end()),
                ElementsAre("Install Action: Executing Script", "Script Execution Result:Script ret code: 0, OSStatus code: 0\ninstalling 5\n",
                            "Install Action: Bless Jobs", testing::StartsWith("Bless tool: "), "Job is available!"));
}

// From 13.0.0 the kernel-extension script runs and also receives the driver bundles; both run in
// their folder and receive $0 and each argument as given.
TEST_F(InstallFlowTest, TheSystemsVersionPicksTheScriptAndItsArguments)
{
    auto record = work_ / "record";
    for (const char* script : {"Install-Kext.sh", "Install-Executables.sh"})
        writeScript(script, "{ echo \"$0\"; for a in \"$@\"; do echo \"$a\"; done; pwd; } > '" + record.string() + "'\n");
    const auto resources = (app_ / "Resources").string();
    for (auto [version, script] : {std::pair{OperatingSystemVersion{12, 99, 99}, "Install-Executables.sh"},
                                   std::pair{OperatingSystemVersion{13, 0, 0}, "Install-Kext.sh"}}) {
        osVersion.version = version;
        std::string expected = resources + "/" + script + "\n";
        for (const char* file : {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter", "tarn_ntfs.kext", "tarn_ntfs.fs"})
            if (version.majorVersion >= 13 || !std::string_view(file).starts_with("tarn_ntfs."))
                expected += resources + "/" + file + "\n";
        QString result;
        EXPECT_TRUE(flow.copyInstallExecutales(result)) << result.toStdString();
        EXPECT_EQ(readFile(record), expected + resources + "\n");
    }
}

// Uninstall and reload: the outcome follows the script's exit status and comes only once it ended;
// flows asked for meanwhile are ignored. consent: what the elevator answers; success runs the script.
struct JobCase {
    const char *name, *script, *body;
    std::int32_t consent;
    std::vector<std::string> events, logLines;
};

class JobOutcomeTest : public InstallFlowTest, public testing::WithParamInterface<JobCase> {};

TEST_P(JobOutcomeTest, ReportsTheScriptsOutcomeOnceItHasRun)
{
    const JobCase& c = GetParam();
    auto marker = work_ / "done";
    writeScript(c.script, "sleep 0.2\necho reloaded\ntouch '" + marker.string() + "'\n" + c.body);
    if (c.consent != AuthorizationStatus::success)
        elevator->answers["sh"] = c.consent;
    bool uninstall = std::string(c.script) == "Uninstall.sh";
    runFlow([&] {
        uninstall ? flow.uninstall() : flow.reload();
        listener.onEnd = [&, quit = listener.onEnd] { EXPECT_EQ(fs::exists(marker), c.consent == AuthorizationStatus::success); quit(); };
        flow.install();
        flow.uninstall();
        flow.reload();
    });
    EXPECT_EQ(listener.events, c.events);
    EXPECT_EQ(listener.outcome->flow, uninstall ? Outcome::Flow::Uninstall : Outcome::Flow::Reload);
    EXPECT_EQ(logger.lines(), c.logLines);
    ASSERT_EQ(elevator->launches.size(), 1u);
    EXPECT_EQ(elevator->launches[0].program, "/bin/sh");
    EXPECT_THAT(elevator->launches[0].arguments, ElementsAre((app_ / "Resources" / c.script).string()));
}

const std::string launchedLine = "Task successfully launched", reloadedLine = "Task successfully launched: reloaded\n\n";
const std::int32_t ok = AuthorizationStatus::success;

INSTANTIATE_TEST_SUITE_P(
    Outcomes, JobOutcomeTest,
    testing::Values(JobCase{"UninstallSucceeds", "Uninstall.sh", "exit 0\n", ok, {"step:Password", "step:Uninstalling", "line:reloaded", "end:Succeeded"}, {launchedLine}},
                    JobCase{"UninstallFails", "Uninstall.sh", "exit 1\n", ok, {"step:Password", "step:Uninstalling", "line:reloaded", "end:ScriptFailed"}, {launchedLine}},
                    JobCase{"UninstallDismissed", "Uninstall.sh", "", AuthorizationStatus::canceled, {"step:Password", "end:Cancelled"}, {"User cancelled"}},
                    JobCase{"UninstallRefused", "Uninstall.sh", "", AuthorizationStatus::denied, {"step:Password", "end:NotLaunched"}, {"Something went wrong"}},
                    JobCase{"ReloadSucceeds", "Reload.sh", "exit 0\n", ok, {"step:Password", "step:Reloading", "line:reloaded", "end:Succeeded"}, {reloadedLine}},
                    JobCase{"ReloadFails", "Reload.sh", "exit 1\n", ok, {"step:Password", "step:Reloading", "line:reloaded", "end:ScriptFailed"}, {reloadedLine}},
                    JobCase{"ReloadDismissed", "Reload.sh", "", AuthorizationStatus::canceled, {"step:Password", "end:Cancelled"}, {"User cancelled"}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ntfs::test
