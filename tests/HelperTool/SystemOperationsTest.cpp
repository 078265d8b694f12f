#include "HelperTool/Operations/SystemOperations.h"

#include "Driver/DriverVariableStore.h"
#include "HelperTool/Operations/FileOperations.h"
#include "HelperTool/Operations/KernelExtensionOperations.h"
#include "HelperTool/Platform/Linux/ProcKernelVariables.h"
#include "HelperTool/Platform/Linux/ProcLoadedModules.h"
#include "HelperTool/Platform/Linux/UnixKernelControl.h"
#include "tests/HelperTool/FakeDriver.h"
#include "tests/support/RecordingLogger.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

namespace ntfs {
namespace {

using namespace std::chrono_literals;

// The operations with a folder of their own standing in for "/", printing into memory.
struct Operations {
    explicit Operations(std::chrono::milliseconds timeout) : control{root.path(), timeout} {}
    ~Operations() { std::fclose(out); }
    std::string printed()
    {
        std::string text(4096, '\0');
        std::rewind(out);
        text.resize(std::fread(text.data(), 1, text.size(), out));
        return text;
    }

    test::TempDir root;
    ProcKernelVariables variables{root.path()};
    UnixKernelControl control;
    test::RecordingLogger log;
    std::FILE* out = std::tmpfile();
    SystemOperations operations{variables, control, log, out};
};

TEST(MountLog, DriverAnswersAreRepliedAndPrintedAndNothingLeaks)
{
    const std::string full(1024, 'x');
    // unit: where the driver listens (-1: no driver); text: of the reply (empty: none)
    struct Case { int unit; test::FakeDriver::Answer answer; std::string text; std::int32_t status; std::string printed; };
    const std::vector<Case> cases{
        {0, {0, std::string("mounted /dev/sdb1\0trailing", 26)}, "mounted /dev/sdb1", 0, "kernel string is: mounted /dev/sdb1\n"},
        {0, {0, full + "beyond the buffer"}, full, 0, "kernel string is: " + full + "\n"},
        {0, {0, "caf\xe9"}, "", 0, "kernel string is: caf\xe9\n"},
        {-1, {}, "", -1, "ioctl failed and returned errno: No such file or directory \n"},
        {1, {0, "text"}, "", -1, ""},
        {0, {ENOPROTOOPT, ""}, "", -1, ""},
        {0, {0, "", true}, "", -1, ""},
        {0, {0, "late", false, true}, "", -1, ""},
    };
    for (const auto& c : cases) {
        Operations o(c.answer.silent ? 50ms : UnixKernelControl::defaultTimeout);
        std::optional<test::FakeDriver> driver;
        if (c.unit >= 0)
            driver.emplace(o.root.path(), c.answer, static_cast<std::uint32_t>(c.unit));
        std::size_t before = test::openDescriptorCount();
        EXPECT_EQ(o.operations.latestMountLog(), (CommandResult{c.text.empty() ? std::nullopt : std::optional(c.text), c.status})) << c.printed;
        if (c.unit == 0 && !c.answer.silent)
            driver->waitUntilServed();  // so that only our own descriptors are counted
        if (!c.answer.silent) {
            EXPECT_EQ(test::openDescriptorCount(), before) << c.printed;
        }
        EXPECT_EQ(o.printed(), c.printed);
    }
}

struct FakeKernelModules final : KernelModules {
    int answer = 0;
    std::vector<std::string> names;
    int loadAtPath(const std::string&) override { return answer; }
    int loadByName(const std::string& name) override { names.push_back(name); return answer; }
};

// Every Linux failure lands on one kext manager code, and that code on its KextLoadResult.
TEST(KextLoad, BothLoadOperationsReplyTheMappedPair)
{
    const std::vector<std::tuple<int, std::uint64_t, std::int32_t>> table{
        {0, 2, 0}, {EEXIST, 2, 0}, {EPERM, 1, -603946981}, {EKEYREJECTED, 1, -603946981}, {ENOEXEC, 3, -603946989},
        {ENOENT, 4, static_cast<std::int32_t>(0xdc008006u)}, {EBUSY, 4, static_cast<std::int32_t>(0xdc008018u)}, {EIO, 0, -603947007}};
    ProcLoadedModules loaded{"/nonexistent"};
    for (const auto& [linuxError, result, code] : table) {
        FakeKernelModules modules;
        KernelExtensionOperations operations(modules, loaded);
        modules.answer = linuxError;
        std::pair<std::uint64_t, std::int32_t> expected{result, code};
        EXPECT_EQ(operations.loadAtPath("/lib/modules/x/tarn_ntfs.ko"), expected) << linuxError;
        EXPECT_EQ(operations.loadWithBundleIdentifier("com.tarn.filesystems.tarn_ntfs"), expected) << linuxError;
        EXPECT_EQ(modules.names, std::vector<std::string>{"tarn_ntfs"});
    }
}

// The switch is the driver's variable in its store: any non-zero value is on, and the driver reads
// back what was written. Without the store (no driver) nothing is created; the kernel's own
// variables stay under /proc/sys, never created either; a name that would leave it has no file.
TEST(HibernateCheck, WritesTheDriversStoreAndKernelVariablesStayInProc)
{
    Operations o(UnixKernelControl::defaultTimeout);
    const DriverVariableStore store{o.root.path()};
    EXPECT_EQ(o.operations.configureHibernateCheck(1).status, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(o.root / "run/tarn_ntfs"));
    EXPECT_TRUE(store.hibernateCheckOn()) << "absent is on";

    std::filesystem::create_directories(o.root / "run/tarn_ntfs/config");
    std::filesystem::permissions(o.root / "run/tarn_ntfs", std::filesystem::perms::owner_all);
    std::filesystem::permissions(o.root / "run/tarn_ntfs/config", std::filesystem::perms::owner_all);
    for (auto [value, written] : {std::pair{0, "0"}, {1, "1"}, {0, "0"}, {7, "1"}, {-1, "1"}}) {
        EXPECT_EQ(o.operations.configureHibernateCheck(value), (CommandResult{std::nullopt, 0}));
        std::ifstream file(o.root / "run/tarn_ntfs/config/hibernate_check");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), written) << value;
        EXPECT_EQ(store.hibernateCheckOn(), value != 0) << value;
    }
    std::ofstream(o.root / "run/tarn_ntfs/config/hibernate_check") << "0ff";
    EXPECT_TRUE(store.hibernateCheckOn()) << "unreadable is on";
    EXPECT_EQ(o.variables.write("vfs.tarnntfs.config.other", 1), ENOENT);

    const auto kernelVariable = o.root / "proc/sys/vfs/cache_pressure";
    std::filesystem::create_directories(kernelVariable.parent_path());
    std::ofstream(kernelVariable) << "100";
    EXPECT_EQ(o.variables.write("vfs.cache_pressure", 200), 0);
    std::ifstream file(kernelVariable);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "200");
    EXPECT_EQ(o.variables.write("vfs.absent", 1), ENOENT);
    EXPECT_FALSE(std::filesystem::exists(o.root / "proc/sys/vfs/absent"));
    for (const char* bad : {"", "a..b", ".a", "a.", "a/b.c"})
        EXPECT_TRUE(o.variables.fileOf(bad).empty()) << bad;
}

// A link is made only to a disk path that exists, and never over whatever is at the link path.
TEST(AddLink, OnlyToAnExistingDiskPathAndNeverOverAnExistingPath)
{
    struct NoViewer final : FileViewer {
        Outcome showItems(uid_t, const std::vector<std::string>&) override { return {false, {}}; }
    } viewer;
    test::TempDir dir;
    test::RecordingLogger log;
    FileOperations files{viewer, log};
    std::ofstream(dir / "disk") << "";
    std::ofstream(dir / "taken") << "kept";
    files.addLink(dir / "link", dir / "disk");
    files.addLink(dir / "other", dir / "absent");
    files.addLink(dir / "taken", dir / "disk");
    EXPECT_EQ(std::filesystem::read_symlink(dir / "link"), dir / "disk");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "other")));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / "taken")));
}

}  // namespace
}  // namespace ntfs
