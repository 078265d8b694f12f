#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ntfs {

// One conversation with a driver's control channel (the kernel control of the driver): look the
// control up by name, connect to one of its units, read options. Closed when the object goes.
// Every step answers 0 or the positive errno of its failure.
class KernelControlSocket {
public:
    virtual ~KernelControlSocket() = default;

    virtual int lookUp(std::string_view controlName) = 0;
    virtual int connect(std::uint32_t unit) = 0;

    struct OptionRead {
        int error = 0;
        std::size_t length = 0;  // bytes placed at the start of the buffer, never more than its size
    };
    virtual OptionRead getOption(std::int32_t option, std::span<char> buffer) = 0;
};

}  // namespace ntfs
