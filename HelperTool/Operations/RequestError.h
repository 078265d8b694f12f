#pragma once

#include <stdexcept>
#include <string>

namespace ntfs {

// Thrown by an operation that refuses its request; the service turns it into a D-Bus error reply
// with this name and message, and goes on serving.
class RequestError : public std::runtime_error {
public:
    RequestError(std::string name, const std::string& message) : std::runtime_error(message), name_(std::move(name)) {}

    static RequestError invalidArgs(const std::string& message)
    {
        return {"org.freedesktop.DBus.Error.InvalidArgs", message};
    }

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

}  // namespace ntfs
