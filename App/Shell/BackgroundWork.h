#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QThread;

// Runs blocking work (a consent prompt, a script) on a thread of its own, one piece at a time,
// so that the window's thread keeps serving events, and reports the end on the owner's thread.
// Destruction waits for work under way: a tool running as root is never abandoned mid-way.
class BackgroundWork final : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWork(QObject* parent = nullptr);
    ~BackgroundWork() override;

    bool isBusy() const { return thread_ != nullptr; }

    // Runs work on the thread; then, on this object's thread, done with its result.
    template <class Result>
    void run(std::function<Result()> work, std::function<void(Result)> done)
    {
        auto result = std::make_shared<Result>();
        start([result, work = std::move(work)] { *result = work(); },
              [result, done = std::move(done)] { done(std::move(*result)); });
    }

    // Calls action on this object's thread once control is back in its event loop; for the work
    // to tell how it gets on. Posts keep their order and all arrive before the end is reported.
    void post(std::function<void()> action);

private:
    void start(std::function<void()> work, std::function<void()> done);

    std::unique_ptr<QThread> thread_;
};
