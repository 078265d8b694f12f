#pragma once

#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/ChildProcess.h"

#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <string>

namespace ntfs::bench {

// The benchmarks' baseline: the minimal echo service running on the helper's private bus.
class EchoServiceProcess {
public:
    explicit EchoServiceProcess(const test::HelperDaemon& daemon);
    std::string version();
    std::string echo(const std::string& text);

    static std::string policy() { return test::HelperDaemon::allowingOwnerPolicy("org.bench.Echo"); }

private:
    test::ChildProcess process_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace ntfs::bench
