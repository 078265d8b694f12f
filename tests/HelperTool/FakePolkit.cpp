#include "FakePolkit.h"

#include "HelperDaemon.h"

#include <map>

namespace ntfs::test {

using Subject = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;
using Result = sdbus::Struct<bool, bool, std::map<std::string, std::string>>;

FakePolkit::FakePolkit(const std::string& busAddress, bool answer)
    : connection_(sdbus::createSessionBusConnectionWithAddress(busAddress)), answer_(answer)
{
    object_ = sdbus::createObject(*connection_, "/org/freedesktop/PolicyKit1/Authority");
    object_->registerMethod("CheckAuthorization")
        .onInterface("org.freedesktop.PolicyKit1.Authority")
        .implementedAs([this](const Subject& subject, const std::string& action, const std::map<std::string, std::string>&,
                              std::uint32_t flags, const std::string&) {
            std::string name;
            if (auto entry = std::get<1>(subject).find("name"); entry != std::get<1>(subject).end())
                name = entry->second.get<std::string>();
            std::lock_guard lock(mutex_);
            questions_.push_back({std::get<0>(subject), name, action, flags});
            return Result{answer_, false, {}};
        });
    object_->finishRegistration();
    connection_->requestName("org.freedesktop.PolicyKit1");
    connection_->enterEventLoopAsync();
}

FakePolkit::~FakePolkit() { connection_->leaveEventLoop(); }

std::vector<FakePolkit::Question> FakePolkit::questions() const { std::lock_guard lock(mutex_); return questions_; }

std::string FakePolkit::policy() { return HelperDaemon::allowingOwnerPolicy("org.freedesktop.PolicyKit1"); }

}  // namespace ntfs::test
