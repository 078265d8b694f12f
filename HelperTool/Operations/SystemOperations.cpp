#include "HelperTool/Operations/SystemOperations.h"

#include "Common/LogFormat.h"
#include "HelperTool/Operations/CommandText.h"

#include <array>
#include <csignal>
#include <ctime>
#include <cstring>
#include <system_error>

namespace ntfs {
namespace {

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

}  // namespace

SystemOperations::SystemOperations(KernelVariables& variables, KernelControl& control, Logger& logger, std::FILE* out)
    : variables_(variables), control_(control), logger_(logger), out_(out)
{
}

CommandResult SystemOperations::configureHibernateCheck(int value)
{
    int error = variables_.write(hibernateCheckVariable, value != 0 ? 1 : 0);
    if (error == 0)
        return {std::nullopt, 0};
    logger_.log(formatLog("sysctlConfigureKextHibernateCheckWithValue failed with error: %d", error));
    return {"sysctlConfigureKextHibernateCheckWithValue failed", error};
}

CommandResult SystemOperations::latestMountLog()
{
    std::array<char, mountLogBufferSize> buffer{};
    std::size_t received = 0;
    {
        int error = 0;
        auto socket = control_.open(error);
        if (!socket)
            return {std::nullopt, -1};
        if ((error = socket->lookUp(driverControl)) != 0) {
            print("ioctl failed and returned errno: " + errorText(error) + " \n");
            return {std::nullopt, -1};
        }
        if (socket->connect(0) != 0)
            return {std::nullopt, -1};
        auto read = socket->getOption(mountLogOption, buffer);
        if (read.error != 0)
            return {std::nullopt, -1};
        received = std::min(read.length, buffer.size());
    }  // the socket is closed here, before the text is looked at
    // The text ends at its first NUL, or with the received bytes when they hold none.
    std::string_view bytes(buffer.data(), received);
    std::string text(bytes.substr(0, bytes.find('\0')));
    print("kernel string is: " + text + "\n");
    if (!CommandText::isValidUtf8(text))
        return {std::nullopt, 0};
    return {std::move(text), 0};
}

void SystemOperations::print(const std::string& line)
{
    // Standard output may be a pipe that nobody reads any more: its SIGPIPE is held back and
    // dropped on this thread, so that the helper does not die of a print.
    sigset_t pipe, previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    // One write per line, so that lines of requests running at the same time do not mix.
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
    const timespec none{};
    while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace ntfs
