#pragma once

#include "PrivilegedTask/Linux/PkexecElevator.h"
#include "PrivilegedTask/NotificationCenter.h"
#include "PrivilegedTask/QVPrivilegedTask.h"
#include "tests/support/TempDir.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace ntfs::test {

// Runs tasks directly as root unless a test picks another elevator; counts the termination
// notifications and puts the defaults back afterwards.
class TaskFixture : public testing::Test {
protected:
    void SetUp() override
    {
        useElevator(true, dir_ / "no-pkexec");
        observer_ = NotificationCenter::defaultCenter().addObserver(QVPrivilegedTask::didTerminateNotification, [this](const Notification& n) {
            ++notifications_;
            notified_ = std::any_cast<QVPrivilegedTask::Pointer>(n.object).get();
        });
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(observer_);
        QVPrivilegedTask::setElevator(nullptr);
    }
    void useElevator(bool root, const std::filesystem::path& pkexec)
    {
        QVPrivilegedTask::setElevator(std::make_shared<PkexecElevator>(PkexecElevatorOptions{pkexec, NTFS_TRAMPOLINE_PATH, [root] { return root; }}));
    }
    // Runs the event loop until the predicate holds, giving up after a generous limit.
    static bool runLoopUntil(const std::function<bool()>& done)
    {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] { done() ? loop.quit() : void(); });
        check.start(5);
        QTimer::singleShot(std::chrono::seconds(20), &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
        return done();
    }
    static QByteArray outputOf(const QVPrivilegedTask::Pointer& task) { return task->outputFileHandle()->readDataToEndOfFile(); }

    TempDir dir_;
    int notifications_ = 0;
    const QVPrivilegedTask* notified_ = nullptr;
    NotificationCenter::Token observer_ = 0;
};

}  // namespace ntfs::test
