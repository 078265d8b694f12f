#include "InstallFixture.h"

#include "ChildProcess.h"
#include "Localization.h"
#include "QVPrivilegedTask.h"
#include "ScreenFixture.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <cstdlib>
#include <fstream>

namespace ntfs::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* rootVariable = "NTFS_INSTALL_ROOT";

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

}  // namespace

void InstallFixture::SetUp()
{
    for (const char* file : {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter"})
        writeFile(app_ / "Resources" / file, "stand-in\n");
    for (const char* folder : {"tarn_ntfs.kext", "tarn_ntfs.fs"})
        writeFile(app_ / "Resources" / folder / "Contents/Info.plist", "stand-in\n");
    fs::copy_file(NTFS_BLESS_TOOL, app_ / "ntfs-bless-helper");
    fs::create_directories(app_ / "Library/LaunchServices");
    fs::copy_file(NTFS_HELPER, app_ / "Library/LaunchServices" / label);

    if (const char* previous = std::getenv(rootVariable))
        previousRoot_ = previous;
    setenv(rootVariable, root_.path().c_str(), 1);
    QVPrivilegedTask::setElevator(elevator);
    QVPrivilegedTask::setLogger(std::make_shared<RecordingLogger>());
    translator_ = Localization::translatorForLocale(QLocale(QLocale::English));
    ASSERT_TRUE(translator_);
    QCoreApplication::installTranslator(translator_.get());

    wiring_.emplace(AppServiceOverrides{&logger, &colors, &restart, &exit, &alerts, &osVersion, nullptr,
                                        QString::fromStdString(app_.path().string())});
    window = std::make_unique<Window>();
    window->setContentViewController(makeScreen(QStringLiteral("install")));
    log.events.clear();  // the screen's styling
}

void InstallFixture::TearDown()
{
    window.reset();
    settle();
    wiring_.reset();
    QCoreApplication::removeTranslator(translator_.get());
    QVPrivilegedTask::setElevator(nullptr);
    QVPrivilegedTask::setLogger(nullptr);
    if (previousRoot_)
        setenv(rootVariable, previousRoot_->c_str(), 1);
    else
        unsetenv(rootVariable);
}

fs::path InstallFixture::writeScript(const std::string& name, const std::string& body) const
{
    auto path = app_ / "Resources" / name;
    writeFile(path, body);
    return path;
}

void InstallFixture::carryHelperWithSection(const std::string& section, const std::string& content) const
{
    auto replacement = work_ / "section.plist";
    writeFile(replacement, content);
    auto carried = app_ / "Library/LaunchServices" / label;
    fs::remove(carried);
    auto [status, output] = ChildProcess::run(
        {"/usr/bin/objcopy", "--update-section", section + "=" + replacement.string(), NTFS_HELPER, carried.string()});
    ASSERT_EQ(status, 0) << output;
}

InstallHelperViewController& InstallFixture::screen() const
{
    auto* controller = dynamic_cast<InstallHelperViewController*>(window->contentViewController());
    if (!controller)
        throw std::logic_error("the window does not show the installation screen");
    return *controller;
}

void InstallFixture::runFlow(const std::function<void()>& start) const
{
    QSignalSpy finished(&screen(), &InstallHelperViewController::flowFinished);
    start();
    // Only a guard against a flow that never ends; the flows themselves take well under a second.
    ASSERT_TRUE(finished.wait(120000)) << "the flow did not finish";
    settle();
}

void InstallFixture::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::string InstallFixture::contentClass() const
{
    auto* content = window->contentViewController();
    return content ? content->metaObject()->className() : "none";
}

std::vector<std::string> InstallFixture::rootFiles() const
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root_.path())) {
        if (!entry.is_directory())
            files.push_back(fs::relative(entry.path(), root_.path()).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

QString InstallFixture::text(const char* key)
{
    return Localization::localizedString(key);
}

}  // namespace ntfs::test
