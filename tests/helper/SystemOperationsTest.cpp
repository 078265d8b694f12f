#include "SystemOperations.h"

#include "FakeDriver.h"
#include "ProcKernelVariables.h"
#include "RecordingLogger.h"
#include "TempDir.h"
#include "UnixKernelControl.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ntfs {
namespace {

std::string contentOf(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Collects what the operations print to their standard output.
class Printed {
public:
    Printed() : file_(open_memstream(&data_, &size_)) {}
    ~Printed()
    {
        std::fclose(file_);
        std::free(data_);
    }
    std::FILE* file() { return file_; }
    std::string text()
    {
        std::fflush(file_);
        return {data_, size_};
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

class HibernateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(root / "proc/sys/vfs/tarnntfs/config");
        std::ofstream(variable) << "0";
    }

    test::TempDir root;
    std::filesystem::path variable = root / "proc/sys/vfs/tarnntfs/config/hibernate_check";
    ProcKernelVariables variables{root.path()};
    UnixKernelControl control{root.path()};
    test::RecordingLogger log;
    Printed printed;
    SystemOperations operations{variables, control, log, printed.file()};
};

TEST_F(HibernateCheck, AnyNonZeroValueWritesOneAndZeroWritesZero)
{
    for (auto [value, written] : {std::pair{1, "1"}, {0, "0"}, {7, "1"}, {-1, "1"}}) {
        EXPECT_EQ(operations.configureHibernateCheck(value), (CommandResult{std::nullopt, 0}));
        EXPECT_EQ(contentOf(variable), written) << value;
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(HibernateCheck, MissingVariableRepliesTheFailureAndLogsItsLine)
{
    std::filesystem::remove(variable);
    EXPECT_EQ(operations.configureHibernateCheck(1),
              (CommandResult{"sysctlConfigureKextHibernateCheckWithValue failed", ENOENT}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"sysctlConfigureKextHibernateCheckWithValue failed with error: 2"});
    EXPECT_FALSE(std::filesystem::exists(variable));  // never created
}

TEST(KernelVariablesName, DottedNameIsAFileUnderProcSys)
{
    ProcKernelVariables variables{"/r"};
    EXPECT_EQ(variables.fileOf("vfs.tarnntfs.config.hibernate_check"), "/r/proc/sys/vfs/tarnntfs/config/hibernate_check");
    for (const char* bad : {"", "a..b", ".a", "a.", "a/b.c"})
        EXPECT_TRUE(variables.fileOf(bad).empty()) << bad;
}

class MountLog : public HibernateCheck {
protected:
    // The driver's end of a connection may still be open when the reply is in; it is waited for,
    // so that only our own descriptors are counted.
    CommandResult fetchCountingDescriptors(test::FakeDriver* driver = nullptr)
    {
        std::size_t before = test::openDescriptorCount();
        auto result = operations.latestMountLog();
        if (driver)
            driver->waitUntilServed(1);
        EXPECT_EQ(test::openDescriptorCount(), before);
        return result;
    }
};

TEST_F(MountLog, DriverTextIsRepliedAndPrinted)
{
    test::FakeDriver driver(root.path(), {0, std::string("mounted /dev/sdb1 at /media/x\0trailing", 38)});
    EXPECT_EQ(fetchCountingDescriptors(&driver), (CommandResult{"mounted /dev/sdb1 at /media/x", 0}));
    EXPECT_EQ(printed.text(), "kernel string is: mounted /dev/sdb1 at /media/x\n");
    ASSERT_EQ(driver.requests().size(), 1u);
    EXPECT_EQ(driver.requests()[0].option, 2);
    EXPECT_EQ(driver.requests()[0].size, 1024u);
}

TEST_F(MountLog, NoDriverPrintsTheLookupLineOnceAndFails)
{
    EXPECT_EQ(fetchCountingDescriptors(), (CommandResult{std::nullopt, -1}));
    EXPECT_EQ(printed.text(), "ioctl failed and returned errno: No such file or directory \n");
}

TEST_F(MountLog, EachLaterStepFailingRepliesMinusOneSilently)
{
    struct Case {
        const char* what;
        std::optional<test::FakeDriver::Answer> answer;
        std::uint32_t unit;
    };
    const Case cases[] = {
        {"no unit 0", test::FakeDriver::Answer{0, "text"}, 1},
        {"option refused", test::FakeDriver::Answer{ENOPROTOOPT, ""}, 0},
        {"driver hangs up", test::FakeDriver::Answer{0, "", true}, 0},
    };
    for (const auto& c : cases) {
        test::TempDir otherRoot;
        UnixKernelControl otherControl{otherRoot.path()};
        Printed out;
        SystemOperations ops{variables, otherControl, log, out.file()};
        test::FakeDriver driver(otherRoot.path(), *c.answer, c.unit);
        std::size_t before = test::openDescriptorCount();
        EXPECT_EQ(ops.latestMountLog(), (CommandResult{std::nullopt, -1})) << c.what;
        driver.waitUntilServed(c.unit == 0 ? 1 : 0);
        EXPECT_EQ(test::openDescriptorCount(), before) << c.what;
        EXPECT_EQ(out.text(), "") << c.what;
    }
}

TEST_F(MountLog, FullBufferWithoutNulIsCutAtTheReceivedBytes)
{
    std::string full(1024, 'x');
    test::FakeDriver driver(root.path(), {0, full + "beyond the buffer"});
    EXPECT_EQ(fetchCountingDescriptors(&driver), (CommandResult{full, 0}));
    EXPECT_EQ(printed.text(), "kernel string is: " + full + "\n");
}

TEST_F(MountLog, TextThatIsNotUtf8RepliesNothingWithZero)
{
    for (const char* bytes : {"caf\xe9", "\xc0\xaf", "\xed\xa0\x80", "ab\xe2\x82"}) {
        test::TempDir otherRoot;
        UnixKernelControl otherControl{otherRoot.path()};
        Printed out;
        SystemOperations ops{variables, otherControl, log, out.file()};
        test::FakeDriver driver(otherRoot.path(), {0, bytes});
        EXPECT_EQ(ops.latestMountLog(), (CommandResult{std::nullopt, 0})) << bytes;
    }
    test::FakeDriver driver(root.path(), {0, "gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80"});
    EXPECT_EQ(operations.latestMountLog(), (CommandResult{"gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80", 0}));
}

// A socket that cannot be had, and the closing of the socket after every step, through a double.
class ScriptedControl final : public KernelControl, public KernelControlSocket {
public:
    int failOpen = 0, failLookUp = 0, failConnect = 0, failOption = 0;
    int opened = 0, closed = 0;
    std::vector<std::string> steps;

    std::unique_ptr<KernelControlSocket> open(int& error) override
    {
        error = failOpen;
        if (error)
            return nullptr;
        ++opened;
        return std::make_unique<Handle>(*this);
    }
    int lookUp(std::string_view name) override { steps.push_back("lookUp " + std::string(name)); return failLookUp; }
    int connect(std::uint32_t unit) override { steps.push_back("connect " + std::to_string(unit)); return failConnect; }
    OptionRead getOption(std::int32_t option, std::span<char> buffer) override
    {
        steps.push_back("getOption " + std::to_string(option) + " " + std::to_string(buffer.size()));
        if (failOption)
            return {failOption, 0};
        std::memcpy(buffer.data(), "ok", 3);
        return {0, 3};
    }

private:
    struct Handle final : KernelControlSocket {
        explicit Handle(ScriptedControl& c) : control(c) {}
        ~Handle() override { ++control.closed; }
        int lookUp(std::string_view name) override { return control.lookUp(name); }
        int connect(std::uint32_t unit) override { return control.connect(unit); }
        OptionRead getOption(std::int32_t option, std::span<char> buffer) override { return control.getOption(option, buffer); }
        ScriptedControl& control;
    };
};

TEST(MountLogConversation, StepsInOrderAndSocketClosedAfterEachFailure)
{
    ProcKernelVariables variables{"/nonexistent"};
    test::RecordingLogger log;
    for (int failing = 0; failing <= 4; ++failing) {
        ScriptedControl control;
        control.failOpen = failing == 1 ? EMFILE : 0;
        control.failLookUp = failing == 2 ? ENOENT : 0;
        control.failConnect = failing == 3 ? ECONNREFUSED : 0;
        control.failOption = failing == 4 ? EIO : 0;
        Printed out;
        SystemOperations operations{variables, control, log, out.file()};
        auto result = operations.latestMountLog();
        CommandResult expectedResult = failing ? CommandResult{std::nullopt, -1} : CommandResult{"ok", 0};
        EXPECT_EQ(result, expectedResult) << failing;
        EXPECT_EQ(control.closed, control.opened) << failing;
        std::vector<std::string> all{"lookUp com.tarn.ntfs-support.kext", "connect 0", "getOption 2 1024"};
        std::size_t reached = failing == 0 ? 3 : failing == 1 ? 0 : static_cast<std::size_t>(failing - 1);
        std::vector<std::string> expected(all.begin(), all.begin() + static_cast<long>(reached));
        EXPECT_EQ(control.steps, expected) << failing;
    }
}

}  // namespace
}  // namespace ntfs
