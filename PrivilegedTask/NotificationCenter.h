#pragma once

#include <QString>

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ntfs {

struct Notification {
    QString name;
    std::any object;  // the poster, e.g. a std::shared_ptr<QVPrivilegedTask>
};

// Delivers named notifications to whoever observes the name, synchronously on the posting thread,
// so that code can learn of an event without knowing who raises it.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    static NotificationCenter& defaultCenter();

    Token addObserver(const QString& name, Observer observer);
    void removeObserver(Token token);
    void removeObservers(const QString& name);
    // An observer removed while a post is under way is not called by it any more.
    void post(const QString& name, std::any object = {}) const;

private:
    struct Entry {
        Token token;
        QString name;
        Observer observer;
        bool removed = false;
    };

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;
    Token nextToken_ = 1;
};

}  // namespace ntfs
