#include "tests/HelperTool/FakePolkit.h"

#include "tests/HelperTool/HelperDaemon.h"

#include <map>

namespace ntfs::test {

using Subject = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;

FakePolkit::FakePolkit(const std::string& busAddress, bool answer, bool holdsPrompts)
    : connection_(sdbus::createSessionBusConnectionWithAddress(busAddress)), answer_(answer), holdsPrompts_(holdsPrompts)
{
    constexpr const char* interface = "org.freedesktop.PolicyKit1.Authority";
    object_ = sdbus::createObject(*connection_, "/org/freedesktop/PolicyKit1/Authority");
    object_->registerMethod("CheckAuthorization")
        .onInterface(interface)
        .implementedAs([this](sdbus::Result<Verdict>&& result, const Subject& subject, const std::string& action,
                              const std::map<std::string, std::string>&, std::uint32_t flags, const std::string& cancellationId) {
            std::string name;
            if (auto entry = std::get<1>(subject).find("name"); entry != std::get<1>(subject).end())
                name = entry->second.get<std::string>();
            std::lock_guard lock(mutex_);
            questions_.push_back({std::get<0>(subject), name, action, flags});
            if (holdsPrompts_ && (flags & 1))
                held_.insert_or_assign(cancellationId.empty() ? "#" + std::to_string(questions_.size()) : cancellationId, std::move(result));
            else
                result.returnResults(Verdict{answer_, false, {}});
            changed_.notify_all();
        });
    object_->registerMethod("CancelCheckAuthorization").onInterface(interface).implementedAs([this](const std::string& cancellationId) {
        std::lock_guard lock(mutex_);
        if (auto held = held_.find(cancellationId); held != held_.end()) {
            held->second.returnError(sdbus::Error("org.freedesktop.PolicyKit1.Error.Cancelled", "cancelled"));
            held_.erase(held);
            ++cancelled_;
        }
        changed_.notify_all();
    });
    object_->finishRegistration();
    connection_->requestName("org.freedesktop.PolicyKit1");
    connection_->enterEventLoopAsync();
}

FakePolkit::~FakePolkit() { connection_->leaveEventLoop(); }

std::vector<FakePolkit::Question> FakePolkit::questions() const { std::lock_guard lock(mutex_); return questions_; }

std::size_t FakePolkit::cancelled() const { std::lock_guard lock(mutex_); return cancelled_; }

bool FakePolkit::waitUntilHolding(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_.size() == count; });
}

std::string FakePolkit::policy() { return HelperDaemon::allowingOwnerPolicy("org.freedesktop.PolicyKit1"); }

}  // namespace ntfs::test
