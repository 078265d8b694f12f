#include "App/Shell/BackgroundWork.h"

#include <QThread>

#include <stdexcept>

BackgroundWork::BackgroundWork(QObject* parent) : QObject(parent) {}

BackgroundWork::~BackgroundWork()
{
    if (thread_)
        thread_->wait();
}

void BackgroundWork::start(std::function<void()> work, std::function<void()> done)
{
    if (thread_)
        throw std::logic_error("BackgroundWork: work is already under way");
    thread_.reset(QThread::create(std::move(work)));
    // Queued: the thread emits finished as its last act, so every post of the work precedes it.
    connect(thread_.get(), &QThread::finished, this, [this, done = std::move(done)] {
        std::unique_ptr<QThread> ended = std::move(thread_);
        ended->wait();
        done();
    }, Qt::QueuedConnection);
    thread_->start();
}

void BackgroundWork::post(std::function<void()> action)
{
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}
