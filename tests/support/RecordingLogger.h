#pragma once

#include "Common/Logger.h"

#include <mutex>
#include <string>
#include <vector>

namespace ntfs::test {

// Keeps every logged line, safe to use from several threads.
class RecordingLogger final : public Logger {
public:
    void log(std::string_view line) override { std::lock_guard lock(mutex_); lines_.emplace_back(line); }
    std::vector<std::string> lines() const { std::lock_guard lock(mutex_); return lines_; }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace ntfs::test
