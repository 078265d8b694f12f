#pragma once

#include "HelperTool/Platform/KernelControlSocket.h"

#include <memory>

namespace ntfs {

// Opens conversations with drivers' control channels.
class KernelControl {
public:
    virtual ~KernelControl() = default;
    // A new, unconnected socket, or null with `error` set.
    virtual std::unique_ptr<KernelControlSocket> open(int& error) = 0;
};

}  // namespace ntfs
