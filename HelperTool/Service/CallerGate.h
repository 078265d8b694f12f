#pragma once

#include "Common/Logger.h"
#include "HelperTool/Operations/Caller.h"
#include "HelperTool/Platform/CallerAuthority.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ntfs {

struct CallerGateLimits {
    // What may wait for a decision: enough for the burst a client sends as it starts, bounded in
    // bytes so that no one can park the helper's memory in front of its door.
    std::size_t waitingPerCaller = 64;
    std::size_t waitingBytesPerCaller = std::size_t{1} << 20;
    std::size_t waitingBytesInTotal = std::size_t{8} << 20;
    // Callers of one user whose question to the authority is open: a prompt nobody answers holds
    // one for minutes, and one user's prompts must not fill the door for everyone else.
    std::size_t openQuestionsPerUser = 4;
    std::chrono::steady_clock::duration refusalMemory = std::chrono::seconds(30);
};

// Decides whether a caller may use the helper: root may; anyone else only with the
// authorization service's yes for the helper's action. A yes is kept for the caller's unique bus
// name until that name leaves the bus; a no is kept for a short while, so that a caller who keeps
// sending costs one question, not one per request (a no given without interaction does not stand
// against a later message that allows it).
//
// A caller not yet decided costs a small, bounded amount: its first requests wait for the one
// question asked about it, the rest are refused before they are even read (hasRoomFor). A caller
// that leaves takes its waiting requests and its open question with it at once. Used on the bus
// thread only, where the authority's answers arrive too.
class CallerGate {
public:
    using Limits = CallerGateLimits;
    enum class Standing { Admitted, Refused, Undecided };
    // Busy: too many callers of the same user wait for their questions.
    enum class Verdict { Admitted, Refused, Busy, Gone };
    // Runs once for each request: with the caller's user when admitted.
    using Decision = std::function<void(Verdict, uid_t)>;

    CallerGate(CallerAuthority& authority, std::string action, Logger& log, Limits limits = {});

    // A caller refused without interaction counts as undecided when it now allows interaction.
    Standing standing(const std::string& busName, bool allowsInteraction);
    // Whether the caller was admitted before; asks no one. Fills in the caller's user when so.
    bool isAdmitted(Caller& caller) const;
    // Whether one more request of an undecided caller, of this many bytes, may wait for its decision.
    bool hasRoomFor(const std::string& busName, std::size_t bytes) const;
    // Runs the decision at once for a decided caller; otherwise keeps it until the authority
    // has answered the one question about this caller (asked now if none is open).
    void decide(const Caller& caller, std::size_t bytes, Decision decision);
    // The name has left the bus: its waiting requests are dropped (each answers as it goes).
    void forget(const std::string& busName);
    // Drops every request still waiting for a decision (the helper is stopping).
    void dropWaiting();
    std::size_t waitingCount() const { return waiting_.size(); }

private:
    struct Refusal {
        std::chrono::steady_clock::time_point until;
        bool interactive = false;
    };
    struct Waiting {
        std::vector<Decision> decisions;
        std::size_t bytes = 0;
        bool allowsInteraction = false;
        std::optional<uid_t> asking;  // the user whose open question this caller holds
        std::string cancellationId;
    };
    void ask(const std::string& busName);
    void askAuthority(const std::string& busName, uid_t uid);
    void settle(const std::string& busName, Verdict verdict, uid_t uid);
    void closeQuestion(Waiting& waiting);
    void rememberRefusal(const std::string& busName, bool interactive);

    CallerAuthority& authority_;
    const std::string action_;
    Logger& log_;
    const Limits limits_;
    std::unordered_map<std::string, uid_t> admitted_;
    std::unordered_map<std::string, Refusal> refused_;
    std::unordered_map<std::string, Waiting> waiting_;
    std::unordered_map<uid_t, std::size_t> openQuestions_;
    std::size_t waitingBytes_ = 0;
    std::uint64_t questionsAsked_ = 0;
};

}  // namespace ntfs
