#include "Common/UniqueFd.h"
#include "Driver/KernelControlResponder.h"
#include "Driver/MountLogStore.h"
#include "HelperTool/Operations/SystemOperations.h"
#include "HelperTool/Platform/Linux/ProcKernelVariables.h"
#include "HelperTool/Platform/Linux/UnixKernelControl.h"
#include "tests/support/RecordingLogger.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

namespace ntfs {
namespace {

namespace fs = std::filesystem;

// The helper's mount-log operation against the driver's responder on the channel's socket.
struct ControlChannel {
    ControlChannel()
    {
        auto folder = UnixKernelControl::controlFolder(root.path()) / "com.tarn.ntfs-support.kext";
        fs::create_directories(folder);
        std::string path = (folder / "0").string();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener.get(), 1) != 0)
            throw std::runtime_error("cannot listen on " + path);
    }
    ~ControlChannel() { std::fclose(out); }

    CommandResult ask()
    {
        std::jthread driver([this] {
            UniqueFd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            KernelControlResponder(logs).serve(connection.get());
        });
        return operations.latestMountLog();
    }

    test::TempDir root;
    MountLogStore logs{root.path()};
    UniqueFd listener{::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)};
    ProcKernelVariables variables{root.path()};
    UnixKernelControl control{root.path()};
    test::RecordingLogger log;
    std::FILE* out = std::fopen("/dev/null", "w");
    SystemOperations operations{variables, control, log, out};
};

MountLog mountLog(std::vector<std::string> printed)
{
    return {0, "/dev/loop7", "/media/loop7", 0, std::move(printed), "ntfs-3g said this\n"};
}

TEST(MountLogChannel, AnswersTheLatestLogCutBeforeACharacterAndFailsOnABadStore)
{
    ControlChannel channel;
    EXPECT_EQ(channel.ask(), (CommandResult{"", 0})) << "before any mount";

    ASSERT_EQ(channel.logs.record(mountLog({"first"})), 0);
    MountLog latest = mountLog({"Mounted /dev/loop7 at /media/loop7 read-only.", "tarn_ntfs-mount: access=ro state=unchecked"});
    ASSERT_EQ(channel.logs.record(latest), 0);
    EXPECT_EQ(channel.ask(), (CommandResult{latest.text(), 0}));

    // A two-byte character on the last two bytes that leave room for the NUL.
    std::size_t header = mountLog({}).text().find('\n') + 1;
    MountLog longer = mountLog({std::string(1022 - header, 'a') + "\xC3\xA9" + std::string(100, 'b')});
    ASSERT_EQ(channel.logs.record(longer), 0);
    EXPECT_EQ(channel.ask(), (CommandResult{longer.text().substr(0, 1022), 0}));

    fs::permissions(channel.root / "run/tarn_ntfs", fs::perms::all);
    EXPECT_EQ(channel.ask(), (CommandResult{std::nullopt, -1})) << "a store others may write is not believed";
    EXPECT_EQ(channel.logs.record(latest), EPERM);

    const KernelControlResponder responder(channel.logs);
    EXPECT_EQ(responder.answer(3, 1024), std::string("\x5c\0\0\0", 4)) << "ENOPROTOOPT for another option";
}

// Lines in order, device and folder names shown as valid UTF-8 whatever their bytes, no NUL.
TEST(MountLogText, HoldsWhenWhereHowAndWhatWasSaidAsUtf8)
{
    MountLog log{86400 + 3661, "/dev/sdb1", "/media/Caf\xE9", 32, {"not mounted", "tarn_ntfs-mount: x"},
                 std::string("fuse: \xF0\x9F\x92\xBE a\0b\n\n", 16)};
    EXPECT_EQ(log.text(), "1970-01-02T01:01:01Z mount /dev/sdb1 at /media/Caf\xEF\xBF\xBD: status 32\n"
                          "not mounted\ntarn_ntfs-mount: x\ndriver: fuse: \xF0\x9F\x92\xBE ab\n");
}

// Root only whatever the umask, replaced in one step without leftovers.
TEST(MountLogStoreFiles, AreRootOnlyAndLeaveNothingElse)
{
    test::TempDir root;
    MountLogStore logs(root.path());
    fs::create_directories(root / "run");
    mode_t umask = ::umask(0);
    int recorded = logs.record(mountLog({"one"})) + logs.record(mountLog({"two"}));
    ::umask(umask);
    ASSERT_EQ(recorded, 0);
    EXPECT_EQ(fs::status(root / "run/tarn_ntfs").permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(root / "run/tarn_ntfs/mount-log").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "run/tarn_ntfs"), {}), 1);
    int error = 0;
    EXPECT_EQ(logs.latest(error), mountLog({"two"}).text());
}

}  // namespace
}  // namespace ntfs
