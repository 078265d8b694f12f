#include "TaskFixture.h"

#include "NotificationCenter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <fstream>
#include <unistd.h>

namespace ntfs::test {

std::string routeName(const testing::TestParamInfo<LaunchRoute>& info)
{
    return info.param == LaunchRoute::Direct ? "Direct" : "Trampoline";
}

std::filesystem::path writeFakePkexec(const TempDir& dir, const std::string& body)
{
    auto path = dir / "pkexec";
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::shared_ptr<Elevator> elevatorWithPkexec(const std::filesystem::path& pkexec)
{
    PkexecElevatorOptions options;
    options.pkexec = pkexec;
    options.trampoline = NTFS_TRAMPOLINE_PATH;
    options.isRoot = [] { return false; };
    return std::make_shared<PkexecElevator>(options);
}

void TaskFixture::SetUp()
{
    QVPrivilegedTask::setLogger(logger_);
    observer_ = NotificationCenter::defaultCenter().addObserver(
        QVPrivilegedTask::didTerminateNotification, [this](const Notification& notification) {
            ++notifications_;
            notifiedTask_ = std::any_cast<QVPrivilegedTask::Pointer>(notification.object).get();
        });
}

void TaskFixture::TearDown()
{
    NotificationCenter::defaultCenter().removeObserver(observer_);
    QVPrivilegedTask::setElevator(nullptr);
    QVPrivilegedTask::setLogger(nullptr);
}

std::filesystem::path TaskFixture::makeAppFolder() const
{
    namespace fs = std::filesystem;
    auto app = dir_ / "app";
    fs::create_directories(app / "Resources");
    fs::copy_file(NTFS_TRAMPOLINE_PATH, app / "ntfs-privileged-trampoline", fs::copy_options::overwrite_existing);
    std::ofstream(app / "Resources/pass.sh") << "exec \"$@\"\n";
    return app / "ntfs-privileged-trampoline";
}

void TaskFixture::useRoute(LaunchRoute route)
{
    if (route == LaunchRoute::Trampoline) {
        if (geteuid() != 0)
            GTEST_SKIP() << "the trampoline runs only tools that root alone can change; run as root";
        auto trampoline = makeAppFolder();
        auto pkexec = writeFakePkexec(dir_, R"([ "$1" = --disable-internal-agent ] && [ "$2" = --keep-cwd ] || exit 99
shift 3
exec ")" + trampoline.string() + "\" /bin/sh \"" + (trampoline.parent_path() / "Resources/pass.sh").string() + "\" \"$@\"");
        PkexecElevatorOptions options;
        options.pkexec = pkexec;
        options.trampoline = trampoline;
        options.isRoot = [] { return false; };
        useElevator(std::make_shared<PkexecElevator>(options));
        return;
    }
    PkexecElevatorOptions options;
    options.pkexec = dir_ / "no-pkexec";
    options.trampoline = NTFS_TRAMPOLINE_PATH;
    options.isRoot = [] { return true; };
    useElevator(std::make_shared<PkexecElevator>(options));
}

void TaskFixture::useElevator(std::shared_ptr<Elevator> elevator) { QVPrivilegedTask::setElevator(std::move(elevator)); }

bool TaskFixture::runLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

void TaskFixture::runLoopFor(std::chrono::milliseconds time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray TaskFixture::outputOf(const QVPrivilegedTask::Pointer& task)
{
    auto handle = task->outputFileHandle();
    return handle ? handle->readDataToEndOfFile() : QByteArray();
}

}  // namespace ntfs::test
