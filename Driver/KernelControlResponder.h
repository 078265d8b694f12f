#pragma once

#include "Driver/MountLogStore.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace ntfs {

// The driver's side of its control channel "com.tarn.ntfs-support.kext" on one connection, in the
// transport that UnixKernelControl describes: one request (int32 option, uint32 buffer size),
// one answer (int32 errno, then at most that many bytes). Option 2 is the latest mount log as a
// NUL-terminated UTF-8 text; before any mount since boot it is the empty text.
class KernelControlResponder {
public:
    static constexpr std::int32_t mountLogOption = 2;
    static constexpr std::chrono::milliseconds requestTimeout{5000};

    explicit KernelControlResponder(const MountLogStore& logs);

    // The answer to one request.
    std::string answer(std::int32_t option, std::uint32_t size) const;
    // Waits (at most requestTimeout) for one request on the connection and sends its answer:
    // 0, or the errno of why no answer went out.
    int serve(int connection) const;

    // The longest start of `text` that leaves room for a NUL in `size` bytes and does not end
    // inside a UTF-8 character.
    static std::string_view fitted(std::string_view text, std::size_t size);

private:
    const MountLogStore& logs_;
};

}  // namespace ntfs
