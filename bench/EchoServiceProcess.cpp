#include "bench/EchoServiceProcess.h"

#include <stdexcept>

namespace ntfs::bench {

EchoServiceProcess::EchoServiceProcess(const test::HelperDaemon& daemon)
    : process_({NTFS_ECHO_SERVICE}, {{daemon.bus().environmentEntry()}, std::nullopt, true}), connection_(daemon.connect())
{
    if (process_.readLine() != "ready")
        throw std::runtime_error("the echo service did not start");
    proxy_ = sdbus::createProxy(*connection_, "org.bench.Echo", "/echo");
}

std::string EchoServiceProcess::version()
{
    std::string reply;
    proxy_->callMethod("Version").onInterface("org.bench.Echo").storeResultsTo(reply);
    return reply;
}

std::string EchoServiceProcess::echo(const std::string& text)
{
    std::string reply;
    proxy_->callMethod("Echo").onInterface("org.bench.Echo").withArguments(text).storeResultsTo(reply);
    return reply;
}

}  // namespace ntfs::bench
