// The longest stall of the window's event loop while the installation screen runs a 3-second
// script as root through the elevator (Reload, and Install up to its script step), against the
// blocking path measured in the same run: launch and waitUntilExit on the window's thread, as the
// screen once did. The elevator stands for a consent prompt by holding each launch for half a
// second (the user typing a password), then runs the tool directly, as for a root process.
// Goal: at most 50 ms. Prints the figures; exits with 1 when the goal is missed.
#include "App/Screens/InstallHelperViewController.h"
#include "App/Screens/Storyboard.h"
#include "App/Screens/Window.h"
#include "App/Shell/AlertPresenter.h"
#include "App/Shell/ProcessExit.h"
#include "App/Shell/SystemRestart.h"
#include "App/Start/AppWiring.h"
#include "Common/Logger.h"
#include "PrivilegedTask/Linux/PkexecElevator.h"
#include "PrivilegedTask/QVPrivilegedTask.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

namespace {

constexpr double goalMs = 50;
constexpr auto promptTime = std::chrono::milliseconds(500);

class QuietLogger final : public ntfs::Logger {
public:
    void log(std::string_view) override {}
};

class NoRestart final : public SystemRestart {
public:
    bool restart(QString&) override { return false; }
};

class NoExit final : public ProcessExit {
public:
    void exitNow(int) override {}
};

class DismissedAlerts final : public AlertPresenter {
public:
    void runModal(const Alert&) override {}
};

class PromptingElevator final : public ntfs::Elevator {
public:
    bool available() const override { return true; }
    ntfs::ElevatedLaunch execute(const ntfs::SpawnRequest& request) override
    {
        std::this_thread::sleep_for(promptTime);
        return direct_.execute(request);
    }

private:
    ntfs::PkexecElevator direct_{{"/nonexistent/pkexec", "/nonexistent/trampoline", [] { return true; }}};
};

// Ticks the event loop every millisecond and keeps the longest gap between two ticks.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }

    // Runs start on the event loop and returns the longest stall until finished() is called.
    double measure(const std::function<void(std::function<void()> finished)>& start)
    {
        QEventLoop loop;
        longest_ = 0;
        sinceTick_.start();
        timer_.start();
        QTimer::singleShot(0, [&] { start([&] { loop.quit(); }); });
        loop.exec();
        timer_.stop();
        tick();  // the stall that ended the run, if any
        return longest_;
    }

private:
    void tick()
    {
        longest_ = std::max(longest_, static_cast<double>(sinceTick_.nsecsElapsed()) / 1e6);
        sinceTick_.restart();
    }

    QTimer timer_;
    QElapsedTimer sinceTick_;
    double longest_ = 0;
};

void write(const QString& path, const char* content)
{
    std::ofstream(path.toStdString()) << content;
}

QString prepareBundle(const QTemporaryDir& dir)
{
    QString resources = dir.filePath(QStringLiteral("Resources"));
    QDir().mkpath(resources + QStringLiteral("/tarn_ntfs.kext"));
    QDir().mkpath(resources + QStringLiteral("/tarn_ntfs.fs"));
    for (const char* file : {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter"})
        write(resources + QLatin1Char('/') + QLatin1String(file), "stand-in\n");
    // Install ends at its script step (a failed script), so that no helper is blessed.
    const char* install = "echo copying; sleep 3; echo done; exit 3\n";
    write(resources + QStringLiteral("/Install-Kext.sh"), install);
    write(resources + QStringLiteral("/Install-Executables.sh"), install);
    write(resources + QStringLiteral("/Reload.sh"), "echo unloading; sleep 3; echo loaded\n");
    return resources + QStringLiteral("/Reload.sh");
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    QString reloadScript = prepareBundle(dir);

    QuietLogger logger;
    NoRestart restart;
    NoExit exit;
    DismissedAlerts alerts;
    AppServiceOverrides overrides;
    overrides.logger = &logger;
    overrides.restart = &restart;
    overrides.exit = &exit;
    overrides.alerts = &alerts;
    overrides.bundlePath = dir.path();
    AppWiring wiring(overrides);
    QVPrivilegedTask::setElevator(std::make_shared<PromptingElevator>());
    QVPrivilegedTask::setLogger(std::make_shared<QuietLogger>());

    Window window;
    window.setContentViewController(
        Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName), wiring.services())->instantiateInitialController());
    auto* screen = qobject_cast<InstallHelperViewController*>(window.contentViewController());
    window.show();
    StallMeter meter;

    auto throughScreen = [&](const std::function<void()>& action) {
        return meter.measure([&](std::function<void()> finished) {
            QObject::connect(screen, &InstallHelperViewController::flowFinished, &window, finished,
                             Qt::SingleShotConnection);
            action();
        });
    };
    double reload = throughScreen([&] { screen->reloadJobAction(); });
    double install = throughScreen([&] { screen->installAction(nullptr); });
    double blocking = meter.measure([&](std::function<void()> finished) {
        auto task = QVPrivilegedTask::create();
        task->setLaunchPath(QStringLiteral("/bin/sh"));
        task->setArguments({reloadScript});
        if (task->launch() == 0)
            task->waitUntilExit();
        finished();
    });

    std::printf("longest event-loop stall, 3 s script plus a 0.5 s consent stand-in, through the elevator:\n");
    std::printf("  blocking launch + waitUntilExit (baseline): %8.1f ms\n", blocking);
    std::printf("  Reload through the screen:                  %8.1f ms  (%.4f of baseline)\n", reload, reload / blocking);
    std::printf("  Install through the screen (script step):   %8.1f ms  (%.4f of baseline)\n", install, install / blocking);
    bool met = std::max(reload, install) <= goalMs;
    std::printf("goal <= %.0f ms: %s\n", goalMs, met ? "met" : "missed");
    return met ? 0 : 1;
}
