#include "CallerGate.h"

#include "LogFormat.h"

namespace ntfs {
namespace {

// Past this many remembered refusals, the expired ones are swept out before another is added.
constexpr std::size_t refusalSweepSize = 256;

}  // namespace

CallerGate::CallerGate(CallerAuthority& authority, std::string action, Logger& log, Limits limits)
    : authority_(authority), action_(std::move(action)), log_(log), limits_(limits)
{
}

CallerGate::Standing CallerGate::standing(const std::string& busName, bool allowsInteraction)
{
    if (admitted_.contains(busName))
        return Standing::Admitted;
    auto refused = refused_.find(busName);
    if (refused == refused_.end())
        return Standing::Undecided;
    if (refused->second.until <= std::chrono::steady_clock::now()) {
        refused_.erase(refused);
        return Standing::Undecided;
    }
    return allowsInteraction && !refused->second.interactive ? Standing::Undecided : Standing::Refused;
}

bool CallerGate::isAdmitted(Caller& caller) const
{
    auto known = admitted_.find(caller.busName);
    if (known == admitted_.end())
        return false;
    caller.uid = known->second;
    return true;
}

bool CallerGate::hasRoomFor(const std::string& busName) const
{
    if (waitingTotal_ >= limits_.waitingInTotal)
        return false;
    auto waiting = waiting_.find(busName);
    return waiting == waiting_.end() || waiting->second.decisions.size() < limits_.waitingPerCaller;
}

void CallerGate::decide(const Caller& caller, Decision decision)
{
    switch (standing(caller.busName, caller.allowsInteraction)) {
    case Standing::Admitted:
        return decision(Verdict::Admitted, admitted_.at(caller.busName));
    case Standing::Refused:
        return decision(Verdict::Refused, caller.uid);
    case Standing::Undecided:
        break;
    }
    auto [entry, isNew] = waiting_.try_emplace(caller.busName);
    entry->second.decisions.push_back(std::move(decision));
    ++waitingTotal_;
    if (isNew) {
        entry->second.allowsInteraction = caller.allowsInteraction;
        ask(caller.busName, caller.allowsInteraction);
    }
}

void CallerGate::ask(const std::string& busName, bool allowsInteraction)
{
    authority_.userOf(busName, [this, busName, allowsInteraction](std::optional<uid_t> uid) {
        if (!uid)
            return settle(busName, Verdict::Gone, static_cast<uid_t>(-1));
        if (*uid == 0)
            return settle(busName, Verdict::Admitted, 0);
        authority_.isAuthorized(busName, action_, allowsInteraction, [this, busName, uid = *uid](bool allowed) {
            settle(busName, allowed ? Verdict::Admitted : Verdict::Refused, uid);
        });
    });
}

void CallerGate::settle(const std::string& busName, Verdict verdict, uid_t uid)
{
    std::vector<Decision> decisions;
    bool left = false;
    bool interactive = false;
    if (auto waiting = waiting_.find(busName); waiting != waiting_.end()) {
        decisions = std::move(waiting->second.decisions);
        left = waiting->second.left;
        interactive = waiting->second.allowsInteraction;
        waitingTotal_ -= decisions.size();
        waiting_.erase(waiting);
    }
    if (verdict == Verdict::Admitted) {
        if (!left)
            admitted_.emplace(busName, uid);
    } else if (verdict == Verdict::Refused) {
        log_.log(formatLog("Refused a request from %@ (uid %d): not authorized", busName, static_cast<long long>(uid)));
        if (!left)
            rememberRefusal(busName, interactive);
    } else {
        log_.log(formatLog("%@ left the bus before it could be checked; %d of its requests were not served", busName,
                           static_cast<long long>(decisions.size())));
    }
    for (auto& decision : decisions) {
        try {
            decision(verdict, uid);
        } catch (...) {
            // A decision replies on its own; nothing may escape into the bus library.
        }
    }
}

void CallerGate::rememberRefusal(const std::string& busName, bool interactive)
{
    auto now = std::chrono::steady_clock::now();
    if (refused_.size() >= refusalSweepSize)
        std::erase_if(refused_, [now](const auto& entry) { return entry.second.until <= now; });
    refused_[busName] = {now + limits_.refusalMemory, interactive};
}

void CallerGate::forget(const std::string& busName)
{
    admitted_.erase(busName);
    refused_.erase(busName);
    if (auto waiting = waiting_.find(busName); waiting != waiting_.end())
        waiting->second.left = true;
}

void CallerGate::dropWaiting()
{
    auto waiting = std::move(waiting_);
    waiting_.clear();
    waitingTotal_ = 0;
}

}  // namespace ntfs
