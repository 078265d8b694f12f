#include "FileOperations.h"

#include "FakeFileManager.h"
#include "PrivateBus.h"
#include "RecordingLogger.h"
#include "RequestError.h"
#include "SessionBusFileViewer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace ntfs {
namespace {

constexpr uid_t nobody = 65534;

class RecordingViewer final : public FileViewer {
public:
    Outcome answer{true, {}};
    std::vector<std::pair<uid_t, std::vector<std::string>>> calls;
    Outcome showItems(uid_t user, const std::vector<std::string>& uris) override
    {
        calls.emplace_back(user, uris);
        return answer;
    }
};

class FileJobs : public ::testing::Test {
protected:
    std::string path(const char* name) const { return (dir / name).string(); }

    test::TempDir dir;
    RecordingViewer viewer;
    test::RecordingLogger log;
    FileOperations operations{viewer, log};
    Caller caller{":1.7", nobody, false};
};

TEST_F(FileJobs, FilterKeepsExistingPathsInOrderWithRepeats)
{
    std::ofstream(path("a")) << "";
    std::filesystem::create_symlink(path("gone"), path("dangling"));
    EXPECT_EQ(operations.existingPaths({path("a"), path("b"), path("a")}), (std::vector<std::string>{path("a"), path("a")}));
    EXPECT_EQ(operations.existingPaths({path("dangling"), dir.path().string()}), std::vector<std::string>{dir.path().string()});
    EXPECT_TRUE(operations.existingPaths({}).empty());
}

TEST_F(FileJobs, AddLinkOnlyForAnExistingDiskPathAndNeverOverAnExistingLinkPath)
{
    std::ofstream(path("disk")) << "";
    operations.addLink(path("link"), path("disk"));
    EXPECT_EQ(std::filesystem::read_symlink(path("link")), path("disk"));

    operations.addLink(path("other"), path("absent"));
    EXPECT_FALSE(std::filesystem::symlink_status(path("other")).type() != std::filesystem::file_type::not_found);

    std::ofstream(path("taken")) << "kept";
    operations.addLink(path("taken"), path("disk"));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path("taken"))));
}

TEST_F(FileJobs, EmptyPathsAreLeftOutOfListsAndRefusedForLinks)
{
    std::ofstream(path("a")) << "";
    EXPECT_EQ(operations.existingPaths({"", path("a"), std::string(5000, 'x')}), std::vector<std::string>{path("a")});
    operations.reveal({"", "/media/disk"}, caller);
    ASSERT_EQ(viewer.calls.size(), 1u);
    EXPECT_EQ(viewer.calls[0].second, std::vector<std::string>{"file:///media/disk"});
    EXPECT_THROW(operations.addLink("", path("a")), RequestError);
    EXPECT_THROW(operations.addLink(path("a"), ""), RequestError);
}

TEST_F(FileJobs, RevealLogsEachPathAndShowsTheirUrlsForTheCaller)
{
    operations.reveal({"/media/my disk", "/tmp/a%b"}, caller);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"revealFSDir Start", "Path: /media/my disk", "Path: /tmp/a%b", "revealFSDir End"}));
    ASSERT_EQ(viewer.calls.size(), 1u);
    EXPECT_EQ(viewer.calls[0].first, nobody);
    EXPECT_EQ(viewer.calls[0].second, (std::vector<std::string>{"file:///media/my%20disk", "file:///tmp/a%25b"}));
}

TEST_F(FileJobs, RevealWithAnEmptyListStillCallsTheViewerAndSaysWhenNoneIsReached)
{
    viewer.answer = {false, "no bus"};
    operations.reveal({}, caller);
    ASSERT_EQ(viewer.calls.size(), 1u);
    EXPECT_TRUE(viewer.calls[0].second.empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"revealFSDir Start", "revealFSDir: no file manager could be reached: no bus", "revealFSDir End"}));
}

// The real viewer against a fake file manager on a session bus of the test's own.
class SessionBusViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The user the call drops to must reach the bus's socket.
        ::chmod(bus.directory().c_str(), 0755);
    }

    test::PrivateBus bus{{test::PrivateBusOptions::Kind::Session, {},
                          "  <policy context=\"default\"><allow user=\"*\"/></policy>\n"}};
    test::FakeFileManager fileManager{bus.address()};
    SessionBusFileViewer viewer{bus.address()};
    test::RecordingLogger log;
    FileOperations operations{viewer, log};
};

TEST_F(SessionBusViewer, RevealReachesTheFileManagerAsTheCaller)
{
    operations.reveal({"/media/NTFS Disk", "/srv/b#1"}, Caller{":1.9", nobody, false});
    auto calls = fileManager.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].uris, (std::vector<std::string>{"file:///media/NTFS%20Disk", "file:///srv/b%231"}));
    EXPECT_EQ(calls[0].startupId, "");
    EXPECT_EQ(calls[0].callerUid, nobody);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"revealFSDir Start", "Path: /media/NTFS Disk", "Path: /srv/b#1", "revealFSDir End"}));
}

TEST_F(SessionBusViewer, RootIsNeverTheOneThatCalls)
{
    auto outcome = viewer.showItems(0, {"file:///"});
    EXPECT_FALSE(outcome.reached);
    EXPECT_TRUE(fileManager.calls().empty());
}

TEST(SessionBusFileViewer, NoFileManagerIsReportedPlainly)
{
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    SessionBusFileViewer viewer{"unix:path=" + (dir / "no_bus").string()};
    auto outcome = viewer.showItems(nobody, {"file:///"});
    EXPECT_FALSE(outcome.reached);
    EXPECT_NE(outcome.problem.find("busctl exited with"), std::string::npos) << outcome.problem;

    SessionBusFileViewer usersOwn;
    EXPECT_EQ(usersOwn.commandFor(1000, {})[1], "--address=unix:path=/run/user/1000/bus");
}

}  // namespace
}  // namespace ntfs
