#include "HelperTool/Service/CallerGate.h"

#include "Common/LogFormat.h"

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

bool CallerGate::hasRoomFor(const std::string& busName, std::size_t bytes) const
{
    if (waitingBytes_ + bytes > limits_.waitingBytesInTotal)
        return false;
    auto waiting = waiting_.find(busName);
    if (waiting == waiting_.end())
        return bytes <= limits_.waitingBytesPerCaller;
    return waiting->second.decisions.size() < limits_.waitingPerCaller &&
           waiting->second.bytes + bytes <= limits_.waitingBytesPerCaller;
}

void CallerGate::decide(const Caller& caller, std::size_t bytes, Decision decision)
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
    entry->second.bytes += bytes;
    waitingBytes_ += bytes;
    if (isNew) {
        entry->second.allowsInteraction = caller.allowsInteraction;
        ask(caller.busName);
    }
}

// Each answer finds the caller still waiting, or finds it gone (it left, and took its requests).
void CallerGate::ask(const std::string& busName)
{
    authority_.userOf(busName, [this, busName](std::optional<uid_t> uid) {
        if (!waiting_.contains(busName))
            return;
        if (!uid)
            return settle(busName, Verdict::Gone, static_cast<uid_t>(-1));
        if (*uid == 0)
            return settle(busName, Verdict::Admitted, 0);
        if (openQuestions_[*uid] >= limits_.openQuestionsPerUser)
            return settle(busName, Verdict::Busy, *uid);
        askAuthority(busName, *uid);
    });
}

void CallerGate::askAuthority(const std::string& busName, uid_t uid)
{
    auto& waiting = waiting_.at(busName);
    ++openQuestions_[uid];
    waiting.asking = uid;
    waiting.cancellationId = "helper-question-" + std::to_string(++questionsAsked_);
    authority_.isAuthorized(busName, action_, waiting.allowsInteraction, waiting.cancellationId,
                            [this, busName, uid](bool allowed) {
                                if (waiting_.contains(busName))
                                    settle(busName, allowed ? Verdict::Admitted : Verdict::Refused, uid);
                            });
}

void CallerGate::closeQuestion(Waiting& waiting)
{
    if (!waiting.asking)
        return;
    if (auto open = openQuestions_.find(*waiting.asking); open != openQuestions_.end() && --open->second == 0)
        openQuestions_.erase(open);
    waiting.asking.reset();
}

void CallerGate::settle(const std::string& busName, Verdict verdict, uid_t uid)
{
    auto waiting = waiting_.find(busName);
    closeQuestion(waiting->second);
    auto decisions = std::move(waiting->second.decisions);
    bool interactive = waiting->second.allowsInteraction;
    waitingBytes_ -= waiting->second.bytes;
    waiting_.erase(waiting);
    if (verdict == Verdict::Admitted) {
        admitted_.emplace(busName, uid);
    } else if (verdict == Verdict::Refused) {
        log_.log(formatLog("Refused a request from %@ (uid %d): not authorized", busName, static_cast<long long>(uid)));
        rememberRefusal(busName, interactive);
    } else if (verdict == Verdict::Busy) {
        log_.log(formatLog("Turned away %@ (uid %d): too many callers of this user wait for authorization", busName,
                           static_cast<long long>(uid)));
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
    auto waiting = waiting_.find(busName);
    if (waiting == waiting_.end())
        return;
    if (waiting->second.asking)
        authority_.cancel(waiting->second.cancellationId);
    settle(busName, Verdict::Gone, static_cast<uid_t>(-1));
}

void CallerGate::dropWaiting()
{
    auto waiting = std::move(waiting_);
    waiting_.clear();
    openQuestions_.clear();
    waitingBytes_ = 0;
}

}  // namespace ntfs
