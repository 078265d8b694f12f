#include "PrivilegedTask/NotificationCenter.h"

#include <algorithm>

namespace ntfs {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, Observer observer)
{
    std::lock_guard lock(mutex_);
    auto token = nextToken_++;
    entries_.push_back(std::make_shared<Entry>(Entry{token, name, std::move(observer)}));
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const auto& entry) { return entry->token == token && (entry->removed = true); });
}

void NotificationCenter::removeObservers(const QString& name)
{
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const auto& entry) { return entry->name == name && (entry->removed = true); });
}

void NotificationCenter::post(const QString& name, std::any object) const
{
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(mutex_);
        std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(matching),
                     [&](const auto& entry) { return entry->name == name; });
    }
    Notification notification{name, std::move(object)};
    for (const auto& entry : matching) {
        bool removed;
        {
            std::lock_guard lock(mutex_);
            removed = entry->removed;
        }
        if (!removed)
            entry->observer(notification);
    }
}

}  // namespace ntfs
