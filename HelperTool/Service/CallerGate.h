#pragma once

#include "CallerAuthority.h"
#include "Caller.h"
#include "Logger.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ntfs {

struct CallerGateLimits {
    std::size_t waitingPerCaller = 4;
    std::size_t waitingInTotal = 32;
    std::chrono::steady_clock::duration refusalMemory = std::chrono::seconds(30);
};

// Decides whether a caller may use the helper: root may; anyone else only with the
// authorization service's yes for the helper's action. A yes is kept for the caller's unique bus
// name until that name leaves the bus; a no is kept for a short while, so that a caller who keeps
// sending costs one question, not one per request (a no given without interaction does not stand
// against a later message that allows it).
//
// A caller not yet decided costs a small, fixed amount: its first few requests wait for the one
// question asked about it, the rest are refused before they are even read (hasRoomFor). Used on
// the bus thread only, where the authority's answers arrive too.
class CallerGate {
public:
    using Limits = CallerGateLimits;
    enum class Standing { Admitted, Refused, Undecided };
    enum class Verdict { Admitted, Refused, Gone };
    // Runs once for each request: with the caller's user when admitted.
    using Decision = std::function<void(Verdict, uid_t)>;

    CallerGate(CallerAuthority& authority, std::string action, Logger& log, Limits limits = {});

    // A caller refused without interaction counts as undecided when it now allows interaction.
    Standing standing(const std::string& busName, bool allowsInteraction);
    // Whether the caller was admitted before; asks no one. Fills in the caller's user when so.
    bool isAdmitted(Caller& caller) const;
    // Whether one more request of an undecided caller may wait for its decision.
    bool hasRoomFor(const std::string& busName) const;
    // Runs the decision at once for a decided caller; otherwise keeps it until the authority
    // has answered the one question about this caller (asked now if none is open).
    void decide(const Caller& caller, Decision decision);
    // The name has left the bus.
    void forget(const std::string& busName);
    // Drops every request still waiting for a decision (the helper is stopping).
    void dropWaiting();
    std::size_t waitingCount() const { return waitingTotal_; }

private:
    struct Refusal {
        std::chrono::steady_clock::time_point until;
        bool interactive = false;
    };
    struct Waiting {
        std::vector<Decision> decisions;
        bool allowsInteraction = false;
        bool left = false;  // the name left the bus meanwhile: its answer is not kept
    };
    void ask(const std::string& busName, bool allowsInteraction);
    void settle(const std::string& busName, Verdict verdict, uid_t uid);
    void rememberRefusal(const std::string& busName, bool interactive);

    CallerAuthority& authority_;
    const std::string action_;
    Logger& log_;
    const Limits limits_;
    std::unordered_map<std::string, uid_t> admitted_;
    std::unordered_map<std::string, Refusal> refused_;
    std::unordered_map<std::string, Waiting> waiting_;
    std::size_t waitingTotal_ = 0;
};

}  // namespace ntfs
