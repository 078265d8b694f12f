// The whole install flow under Xvfb, as root, into a temporary root: a real click on Install, the
// install script run through /bin/sh, the bless tool, the guidance screen for the given version,
// and the registered helper started on a private bus, answering its version.
// Screenshots go to NTFS_E2E_SCREENSHOTS when it is set (docs/screenshots holds the committed
// ones), else into the test's build folder.
#include "ChildProcess.h"
#include "PrivateBus.h"
#include "TempDir.h"
#include "TreeSnapshot.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ntfs::test::ChildOptions;
using ntfs::test::ChildProcess;
using ntfs::test::PrivateBus;
using ntfs::test::PrivateBusOptions;
using ntfs::test::readFile;
using ntfs::test::TempDir;
using ntfs::test::writeFile;

constexpr const char* helperLabel = "com.zel.ntfs.HelperTool";
constexpr const char* busPolicy = "usr/share/dbus-1/system.d/com.tarn.mac.utility.store.ntfs.HelperTool.conf";
const fs::path appDir = NTFS_APP_DIR;

std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> result;
    for (std::string word; in >> word;)
        result.push_back(word);
    return result;
}

std::vector<std::string> lines(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// An X server of our own; the display number is the one it reports once it accepts clients.
class XvfbDisplay {
public:
    XvfbDisplay()
    {
        server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        while (auto line = server_->readLine()) {
            if (!line->empty() && line->find_first_not_of("0123456789") == std::string::npos) {
                display_ = ":" + *line;
                break;
            }
        }
    }
    const std::string& display() const { return display_; }

private:
    std::unique_ptr<ChildProcess> server_;
    std::string display_;
};

// The helper says READY=1 here once its bus name is taken.
class ReadinessSocket {
public:
    ReadinessSocket() : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        if (!fd_ || bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot make the readiness socket");
    }
    std::string environmentEntry() const { return "NOTIFY_SOCKET=" + path_; }
    bool waitForReady()
    {
        pollfd ready{fd_.get(), POLLIN, 0};
        char buffer[256] = {};
        return poll(&ready, 1, 20000) == 1 && recv(fd_.get(), buffer, sizeof buffer - 1, 0) > 0 &&
               std::string(buffer).find("READY=1") != std::string::npos;
    }

private:
    TempDir dir_;
    std::string path_ = (dir_ / "notify").string();
    ntfs::UniqueFd fd_;
};

struct FlowCase {
    const char* version;
    const char* script;
    std::size_t argumentCount;
    const char* screenClass;
    const char* screenshot;
};

void PrintTo(const FlowCase& flow, std::ostream* out)
{
    *out << flow.version;
}

class EndToEndInstall : public ::testing::TestWithParam<FlowCase> {
protected:
    static void SetUpTestSuite()
    {
        for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/xdotool", "/usr/bin/import"}) {
            if (access(tool, X_OK) != 0)
                skipReason_ = std::string(tool) + " is not installed";
        }
        if (geteuid() != 0)
            skipReason_ = "the flow runs its scripts and the bless tool directly only as root (else pkexec asks)";
        if (skipReason_.empty()) {
            display_ = std::make_unique<XvfbDisplay>();
            if (display_->display().empty())
                skipReason_ = "Xvfb did not start";
        }
    }
    static void TearDownTestSuite() { display_.reset(); }

    void SetUp() override
    {
        if (!skipReason_.empty())
            GTEST_SKIP() << skipReason_;
    }

    // The app folder as built, with the chosen install script replaced by one that records how it
    // was started and then runs the real one. The recorder is not executable: only a shell runs it.
    void makeBundle(const std::string& script)
    {
        for (const char* part : {"ntfs-bless-helper", "ntfs-privileged-trampoline", "Library", "Resources"})
            fs::copy(appDir / part, bundle_ / part, fs::copy_options::recursive);
        fs::rename(bundle_ / "Resources" / script, bundle_ / "Resources" / (script + ".real"));
        writeFile(bundle_ / "Resources" / script,
                  "printf '%s\\n' \"$#\" \"$(pwd)\" \"$@\" >'" + record().string() + "'\n"
                  "exec /bin/sh \"$0.real\" \"$@\"\n",
                  0644);
    }

    fs::path record() const { return work_ / "script-start"; }

    std::vector<std::string> environment() const
    {
        return {"DISPLAY=" + display_->display(), "QT_QPA_PLATFORM=xcb", "NTFS_INSTALL_ROOT=" + root_.path().string(),
                "LANG=en_US.UTF-8", "LC_ALL=en_US.UTF-8", "LANGUAGE="};
    }

    // Reads the app's lines up to the first that starts with `word`; the others are kept.
    std::vector<std::string> waitFor(ChildProcess& app, const std::string& word)
    {
        while (auto line = app.readLine()) {
            if (line->rfind(word + " ", 0) == 0)
                return words(*line);
            transcript_ += *line + "\n";
        }
        return {};
    }

    fs::path screenshotPath(const char* name) const
    {
        const char* folder = std::getenv("NTFS_E2E_SCREENSHOTS");
        fs::path dir = folder && *folder ? fs::path(folder) : fs::path(NTFS_E2E_DEFAULT_SCREENSHOTS);
        fs::create_directories(dir);
        return dir / name;
    }

    std::pair<int, std::string> runTool(std::vector<std::string> argv, std::vector<std::string> environment = {})
    {
        ChildOptions options;
        options.environment = std::move(environment);
        options.environment.push_back("DISPLAY=" + display_->display());
        return ChildProcess::run(std::move(argv), options);
    }

    std::string helperVersionFromRegisteredUnit();

    static inline std::unique_ptr<XvfbDisplay> display_;
    static inline std::string skipReason_;
    TempDir root_;
    TempDir bundle_;
    TempDir work_;
    std::string transcript_;
};

// Starts the program that the registered unit names (under the root) on a private system bus that
// includes the registered bus policy, and asks it for its version.
std::string EndToEndInstall::helperVersionFromRegisteredUnit()
{
    std::string unit = readFile(root_ / "etc/systemd/system" / (std::string(helperLabel) + ".service"));
    auto start = unit.find("\nExecStart=");
    if (start == std::string::npos)
        return "no ExecStart in the unit";
    start += std::string("\nExecStart=").size();
    fs::path program = root_.path() / fs::path(unit.substr(start, unit.find('\n', start) - start)).relative_path();

    PrivateBusOptions busOptions;
    busOptions.includes = {root_ / busPolicy};
    PrivateBus bus(busOptions);
    ReadinessSocket readiness;
    ChildOptions daemonOptions;
    daemonOptions.environment = {bus.environmentEntry(), readiness.environmentEntry()};
    daemonOptions.captureOutput = false;
    ChildProcess helper({program.string()}, daemonOptions);
    if (!readiness.waitForReady())
        return "the registered helper did not take its name";
    auto [status, output] = runTool({NTFS_HELPERCTL, "version"}, {bus.environmentEntry()});
    return status == 0 ? output : "ntfs-helperctl failed: " + output;
}

TEST_P(EndToEndInstall, ClickOnInstallInstallsTheDriverAndRegistersTheHelper)
{
    const FlowCase& flow = GetParam();
    makeBundle(flow.script);
    ChildOptions options;
    options.environment = environment();
    ChildProcess app({NTFS_INSTALL_FLOW_APP, bundle_.path().string(), flow.version}, options);

    auto ready = waitFor(app, "ready");
    ASSERT_EQ(ready.size(), 7u) << transcript_;
    auto [clicked, clickOutput] = runTool({"/usr/bin/xdotool", "mousemove", "--sync", ready[5], ready[6], "click", "1"});
    ASSERT_EQ(clicked, 0) << clickOutput;

    auto shown = waitFor(app, "shown");
    ASSERT_EQ(shown.size(), 6u) << "no new screen; the app said:\n" << transcript_;
    EXPECT_EQ(shown[1], flow.screenClass);
    auto shot = screenshotPath(flow.screenshot);
    auto [captured, captureOutput] =
        runTool({"/usr/bin/import", "-window", "root", "-crop", shown[4] + "x" + shown[5] + "+" + shown[2] + "+" + shown[3],
                 "+repage", "-strip", "-define", "png:exclude-chunks=date,time", shot.string()});
    EXPECT_EQ(captured, 0) << captureOutput;

    // The script: through a shell (it is not executable), from its folder, with the install list.
    const fs::path resources = bundle_ / "Resources";
    std::vector<std::string> expected{std::to_string(flow.argumentCount), resources.string()};
    for (const char* name : {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter", "tarn_ntfs.kext", "tarn_ntfs.fs"})
        expected.push_back((resources / name).string());
    expected.resize(2 + flow.argumentCount);
    EXPECT_EQ(lines(readFile(record())), expected);
    EXPECT_NE(transcript_.find("log Script Execution Result:Script ret code: 0, OSStatus code: 0"), std::string::npos)
        << transcript_;
    EXPECT_NE(transcript_.find("log Job is available!"), std::string::npos) << transcript_;

    // The driver files, the helper at its program path, its registration as generated from it.
    for (const char* file : {"usr/local/lib/tarn_ntfs/libintl.so.8", "usr/local/sbin/tarn_ntfs_fix",
                             "usr/local/sbin/tarn_ntfs-formatter"})
        EXPECT_TRUE(fs::is_regular_file(root_ / file)) << file;
    bool kernelExtension = flow.argumentCount == 5;
    EXPECT_EQ(fs::exists(root_ / "usr/local/lib/tarn_ntfs/tarn_ntfs.kext"), kernelExtension);
    EXPECT_EQ(fs::is_symlink(root_ / "sbin/mount.tarn_ntfs"), kernelExtension);
    EXPECT_EQ(readFile(root_ / "Library/PrivilegedHelperTools" / helperLabel),
              readFile(bundle_ / "Library/LaunchServices" / helperLabel));
    for (const auto& item : fs::recursive_directory_iterator(NTFS_REGISTRATION_ROOT)) {
        if (item.is_regular_file()) {
            auto relative = fs::relative(item.path(), NTFS_REGISTRATION_ROOT);
            EXPECT_EQ(readFile(root_ / relative), readFile(item.path())) << relative;
        }
    }

    EXPECT_EQ(helperVersionFromRegisteredUnit(), "1.0.5\n");
}

INSTANTIATE_TEST_SUITE_P(Versions, EndToEndInstall,
                         ::testing::Values(FlowCase{"13.0.0", "Install-Kext.sh", 5, "VenturaQRCodeViewController",
                                                    "install-flow-13.0.0-scanQRCode.png"},
                                           FlowCase{"12.6.0", "Install-Executables.sh", 3,
                                                    "GrantPermissionViewController", "install-flow-12.6.0-grantFDA.png"},
                                           FlowCase{"10.13.6", "Install-Executables.sh", 3, "NoFDARebootViewController",
                                                    "install-flow-10.13.6-justReboot.png"}),
                         [](const auto& test) {
                             std::string name = test.param.version;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return "macOS_" + name;
                         });

}  // namespace
