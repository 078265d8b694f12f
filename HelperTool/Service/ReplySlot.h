#pragma once

#include "HelperTool/Service/ReplyQueue.h"

#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>

namespace ntfs {

// The one reply a request owes its caller. Filled on a worker, sent on the bus thread. If the
// slot goes without a reply (a handler that threw past us or forgot), it sends an error reply.
template <typename... Values>
class ReplySlot {
public:
    ReplySlot(sdbus::Result<Values...>&& result, ReplyQueue& queue)
        : result_(std::make_shared<sdbus::Result<Values...>>(std::move(result))), queue_(queue) {}
    ~ReplySlot()
    {
        if (result_)
            fail("org.freedesktop.DBus.Error.Failed", "The helper ended the request without a reply");
    }
    ReplySlot(const ReplySlot&) = delete;
    ReplySlot& operator=(const ReplySlot&) = delete;

    bool replied() const { return !result_; }

    void reply(Values... values)
    {
        if (!result_)
            return;
        queue_.post([result = std::move(result_), values = std::make_tuple(std::move(values)...)] {
            try {
                std::apply([&](const auto&... v) { result->returnResults(v...); }, values);
            } catch (const std::exception& e) {
                result->returnError(sdbus::Error("org.freedesktop.DBus.Error.LimitsExceeded",
                                                 std::string("The reply could not be sent: ") + e.what()));
            }
        });
    }

    void fail(std::string name, std::string message)
    {
        if (!result_)
            return;
        queue_.post([result = std::move(result_), name = std::move(name), message = std::move(message)] {
            result->returnError(sdbus::Error(name, message));
        });
    }

private:
    std::shared_ptr<sdbus::Result<Values...>> result_;
    ReplyQueue& queue_;
};

}  // namespace ntfs
