#include "Driver/KernelMount.h"

#include <array>
#include <libmount/libmount.h>
#include <memory>

namespace ntfs {

bool KernelMount::mount(const std::string& device, const std::string& target, const std::string& type,
                        const std::string& options, std::string& why)
{
    std::unique_ptr<libmnt_context, decltype(&mnt_free_context)> context(mnt_new_context(), &mnt_free_context);
    if (!context) {
        why = "libmount cannot make a context";
        return false;
    }
    libmnt_context* c = context.get();
    mnt_context_disable_helpers(c, 1);
    mnt_context_disable_swapmatch(c, 1);
    mnt_context_set_source(c, device.c_str());
    mnt_context_set_target(c, target.c_str());
    mnt_context_set_options(c, options.c_str());
    if (!type.empty())
        mnt_context_set_fstype(c, type.c_str());
    int result = mnt_context_mount(c);
    if (result == 0 && mnt_context_get_status(c) == 1)
        return true;
    std::array<char, 1024> message{};
    mnt_context_get_excode(c, result, message.data(), message.size());
    why = message[0] ? message.data() : "mount failed";
    return false;
}

}  // namespace ntfs
