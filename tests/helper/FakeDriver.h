#pragma once

#include "UniqueFd.h"

#include <cstdint>
#include <filesystem>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ntfs::test {

// The driver's control channel, played by the test: listens on the unit socket of a control under
// <root>/run/kernel-control and answers every option request with the configured answer.
class FakeDriver {
public:
    struct Answer {
        std::int32_t status = 0;   // the errno field of the answer
        std::string value;         // bytes of the option's value
        bool hangUp = false;       // close the connection instead of answering
    };
    struct Request {
        std::int32_t option = 0;
        std::uint32_t size = 0;
    };

    FakeDriver(const std::filesystem::path& root, Answer answer, std::uint32_t unit = 0,
               const std::string& control = "com.tarn.ntfs-support.kext");
    ~FakeDriver();
    FakeDriver(const FakeDriver&) = delete;
    FakeDriver& operator=(const FakeDriver&) = delete;

    std::vector<Request> requests() const;
    // Waits until `count` connections have been answered and closed on the driver's side.
    void waitUntilServed(std::size_t count);

private:
    void serve(std::stop_token stop);
    void answer(int connection);

    Answer answer_;
    UniqueFd listener_;
    UniqueFd wake_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::condition_variable servedChanged_;
    std::size_t served_ = 0;
    std::jthread thread_;
};

// How many descriptors this process has open now.
std::size_t openDescriptorCount();

}  // namespace ntfs::test
