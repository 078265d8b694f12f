#include "Authorization.h"
#include "TaskFixture.h"

#include <QRegularExpression>

#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace ntfs;
using namespace ntfs::test;

namespace {

class TaskLifecycle : public TaskFixture {
protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        useRoute(LaunchRoute::Direct);
    }
};

std::string fileText(const std::filesystem::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

}  // namespace

TEST_F(TaskLifecycle, PeriodicCheckSeesTheEndOnceAndLetsGoOfTheTask)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "exit 3"});
    int handled = 0;
    task->setTerminationHandler([&](const QVPrivilegedTask::Pointer& ended) {
        ++handled;
        EXPECT_FALSE(ended->isRunning());
        EXPECT_EQ(notifications_, 1) << "the notification comes before the handler";
    });

    ASSERT_EQ(task->launch(), 0);
    EXPECT_TRUE(task->isRunning());
    EXPECT_GT(task->processIdentifier(), 0);
    EXPECT_NE(task->outputFileHandle(), nullptr);
    EXPECT_EQ(task->terminationStatus(), 0);

    const QVPrivilegedTask* launched = task.get();
    std::weak_ptr<QVPrivilegedTask> watched = task;
    task.reset();
    ASSERT_FALSE(watched.expired()) << "the status timer holds a running task";

    ASSERT_TRUE(runLoopUntil([&] { return handled > 0; }));
    runLoopFor(std::chrono::milliseconds(300));  // six more intervals: the timer must stay stopped
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(notifications_, 1);
    EXPECT_EQ(notifiedTask_, launched);
    EXPECT_TRUE(watched.expired()) << "the timer lets go once the end is seen";
}

TEST_F(TaskLifecycle, WaitUntilExitEndsTheRunWithoutNotificationOrHandler)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "echo out; exit 5"});
    int handled = 0;
    task->setTerminationHandler([&](const QVPrivilegedTask::Pointer&) { ++handled; });
    ASSERT_EQ(task->launch(), 0);
    task->waitUntilExit();

    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationStatus(), 5);
    EXPECT_EQ(outputOf(task), "out\n");
    runLoopFor(std::chrono::milliseconds(200));
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(notifications_, 0);
}

TEST_F(TaskLifecycle, LaunchWhileRunningLogsAndStartsNothingAndTerminateDoesNothing)
{
    auto marks = dir_ / "marks";
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "echo started >> \"$0\"", QString::fromStdString(marks)});
    ASSERT_EQ(task->launch(), 0);
    auto pid = task->processIdentifier();
    auto handle = task->outputFileHandle();

    EXPECT_EQ(task->launch(), 0);
    EXPECT_EQ(task->launchWithAuthorization(nullptr), 0);
    task->terminate();
    EXPECT_TRUE(task->isRunning());
    EXPECT_EQ(task->processIdentifier(), pid);
    EXPECT_EQ(task->outputFileHandle(), handle);
    auto expected = "Task already running: " + task->description().toStdString();
    EXPECT_EQ(logLines(), (std::vector<std::string>{expected, expected}));

    task->waitUntilExit();
    EXPECT_EQ(fileText(marks), "started\n");
}

TEST_F(TaskLifecycle, WaitWhileIdleLogsTheDefaultDescriptionAndChangesNothing)
{
    auto task = QVPrivilegedTask::create();
    EXPECT_TRUE(QRegularExpression("^<QVPrivilegedTask: 0x[0-9a-f]+>$").match(task->defaultDescription()).hasMatch());
    task->waitUntilExit();
    EXPECT_EQ(logLines(), std::vector<std::string>{"Task " + task->defaultDescription().toStdString() + " is not running"});
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationStatus(), 0);
    EXPECT_EQ(task->outputFileHandle(), nullptr);
    EXPECT_EQ(task->processIdentifier(), 0);
}

TEST_F(TaskLifecycle, RelaunchWithAChangedCommandKeepsTheFirstStatusUntilTheEndIsSeen)
{
    auto authorization = Authorization::create();
    auto task = QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(
        "/bin/sh", {"-c", "echo first; exit 4"}, QString::fromStdString(dir_.path()), authorization.get());
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationStatus(), 4);
    auto firstHandle = task->outputFileHandle();
    EXPECT_EQ(outputOf(task), "first\n");

    task->setLaunchPath("/bin/echo");
    task->setArguments({"second"});
    ASSERT_EQ(task->launch(), 0);
    EXPECT_EQ(task->terminationStatus(), 4);
    EXPECT_NE(task->outputFileHandle(), firstHandle);
    task->waitUntilExit();
    EXPECT_EQ(task->terminationStatus(), 0);
    EXPECT_EQ(outputOf(task), "second\n");
}

TEST_F(TaskLifecycle, ConvenienceConstructorsLaunchWaitAndKeepTheCommand)
{
    const QString directory = QString::fromStdString(std::filesystem::canonical(dir_.path()));
    const QStringList shArguments{"-c", "pwd; exit 6"};
    struct Case {
        const char* name;
        QVPrivilegedTask::Pointer task;
        QStringList arguments;
        int status;
    };
    const Case cases[] = {
        {"path", QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath("/bin/true"), {}, 0},
        {"arguments", QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath("/bin/sh", shArguments), shArguments, 6},
        {"directory", QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath("/bin/sh", shArguments, directory), shArguments, 6},
        {"authorization",
         QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath("/bin/sh", shArguments, directory, nullptr), shArguments, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.task->isRunning());
        EXPECT_EQ(c.task->terminationStatus(), c.status);
        EXPECT_EQ(c.task->launchPath(), c.arguments.isEmpty() ? "/bin/true" : "/bin/sh");
        EXPECT_EQ(c.task->arguments(), c.arguments);
    }
    EXPECT_EQ(cases[2].task->currentDirectoryPath(), directory);
    EXPECT_EQ(outputOf(cases[2].task), (directory + "\n").toUtf8());
    EXPECT_EQ(notifications_, 0);
}

TEST_F(TaskLifecycle, HandlerMayLaunchTheTaskAgain)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "exit 1"});
    std::vector<int> statuses;
    task->setTerminationHandler([&](const QVPrivilegedTask::Pointer& ended) {
        statuses.push_back(ended->terminationStatus());
        if (statuses.size() == 1) {
            ended->setArguments({"-c", "exit 2"});
            EXPECT_EQ(ended->launch(), 0);
        }
    });
    ASSERT_EQ(task->launch(), 0);
    std::weak_ptr<QVPrivilegedTask> watched = task;
    task.reset();
    ASSERT_TRUE(runLoopUntil([&] { return statuses.size() == 2; }));
    EXPECT_EQ(statuses, (std::vector<int>{1, 2}));
    EXPECT_TRUE(watched.expired());
}

TEST_F(TaskLifecycle, FailedWaitEndsTheRunWithItsOwnStatus)
{
    for (bool periodic : {false, true}) {
        SCOPED_TRACE(periodic ? "periodic check" : "waitUntilExit");
        int handled = 0;
        auto task = QVPrivilegedTask::initWithLaunchPath("/bin/true");
        task->setTerminationHandler([&](const QVPrivilegedTask::Pointer&) { ++handled; });
        ASSERT_EQ(task->launch(), 0);
        ASSERT_EQ(waitpid(task->processIdentifier(), nullptr, 0), task->processIdentifier());  // reaped behind its back

        if (periodic)
            ASSERT_TRUE(runLoopUntil([&] { return handled > 0; }));
        else
            task->waitUntilExit();
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->terminationStatus(), QVPrivilegedTask::waitFailedStatus);
        EXPECT_EQ(handled, periodic ? 1 : 0);
    }
}

TEST_F(TaskLifecycle, DescriptionQuotesEachArgumentAndNamesTheDirectory)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"/tmp/a.sh"}, "/");
    EXPECT_TRUE(task->description().startsWith(task->defaultDescription()));
    EXPECT_TRUE(task->description().endsWith(" /bin/sh '/tmp/a.sh' (CWD:/)")) << task->description().toStdString();

    auto bare = QVPrivilegedTask::create();
    EXPECT_EQ(bare->currentDirectoryPath().toStdString(), std::filesystem::current_path().string());
    EXPECT_EQ(bare->description(), bare->defaultDescription() + " (null) (CWD:" + bare->currentDirectoryPath() + ")");
}

TEST_F(TaskLifecycle, WithoutAnElevatorBothLaunchesFailWithoutChangingTheTask)
{
    useElevator(elevatorWithPkexec(dir_ / "no-pkexec"));
    EXPECT_FALSE(QVPrivilegedTask::authorizationFunctionAvailable());

    const std::string unavailable = "AuthorizationExecuteWithPrivileges() function not available on this system";
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/true");
    EXPECT_EQ(task->launch(), -70001);
    EXPECT_EQ(task->launchWithAuthorization(nullptr), -70001);
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->outputFileHandle(), nullptr);
    EXPECT_EQ(task->processIdentifier(), 0);
    EXPECT_EQ(logLines(), (std::vector<std::string>{unavailable, unavailable}));

    auto waited = QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath("/bin/true");
    EXPECT_FALSE(waited->isRunning());
    EXPECT_EQ(waited->terminationStatus(), 0);
    EXPECT_EQ(logLines().back(), "Task " + waited->defaultDescription().toStdString() + " is not running");
}

TEST_F(TaskLifecycle, AToolThatCannotStartIsAFailedLaunch)
{
    auto task = QVPrivilegedTask::initWithLaunchPath(QString::fromStdString(dir_ / "missing"));
    EXPECT_EQ(task->launch(), -60031);
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->outputFileHandle(), nullptr);
    EXPECT_TRUE(logLines().empty());
}
