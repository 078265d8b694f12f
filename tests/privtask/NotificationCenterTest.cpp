#include "NotificationCenter.h"

#include <gtest/gtest.h>

using ntfs::Notification;
using ntfs::NotificationCenter;

TEST(NotificationCenter, DeliversByNameUntilRemoved)
{
    NotificationCenter center;
    std::vector<std::string> seen;
    auto record = [&](const char* who) {
        return [&seen, who](const Notification& n) { seen.push_back(who + (":" + n.name.toStdString()) + ":" + std::to_string(std::any_cast<int>(n.object))); };
    };
    auto a = center.addObserver("A", record("first"));
    center.addObserver("A", record("second"));
    center.addObserver("B", record("third"));

    center.post("A", 1);
    center.removeObserver(a);
    center.post("A", 2);
    center.removeObservers("A");
    center.post("A", 3);
    center.post("B", 4);
    EXPECT_EQ(seen, (std::vector<std::string>{"first:A:1", "second:A:1", "second:A:2", "third:B:4"}));
}

TEST(NotificationCenter, AnObserverRemovedDuringAPostIsNotCalled)
{
    NotificationCenter center;
    int later = 0;
    NotificationCenter::Token second = 0;
    center.addObserver("N", [&](const Notification&) { center.removeObserver(second); });
    second = center.addObserver("N", [&](const Notification&) { ++later; });
    center.post("N");
    EXPECT_EQ(later, 0);
}
