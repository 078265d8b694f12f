#include "HelperTool/Client/PolkitTextAgent.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace ntfs {
namespace {

constexpr const char* textAgent = "/usr/bin/pkttyagent";

bool haveTerminal()
{
    UniqueFd terminal(open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    return static_cast<bool>(terminal);
}

}  // namespace

PolkitTextAgent::PolkitTextAgent()
{
    if (!haveTerminal() || access(textAgent, X_OK) != 0)
        return;
    // It closes its standard output once registered; its messages go to our standard error.
    SpawnRequest request{textAgent, {"--process", std::to_string(getpid()), "--fallback", "--notify-fd", "1"}};
    request.errorsToOutput = false;
    try {
        agent_.emplace(Subprocess::spawn(request));
    } catch (const std::exception&) {
        return;
    }
    UniqueFd registered = agent_->takeOutput();
    // Readable means closed (registered), unless it ended first (it could not register).
    if (!agent_->awaitReadableBeforeExit(registered.get()))
        agent_.reset();
}

}  // namespace ntfs
