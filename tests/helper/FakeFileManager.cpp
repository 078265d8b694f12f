#include "FakeFileManager.h"

namespace ntfs::test {

FakeFileManager::FakeFileManager(const std::string& busAddress)
{
    connection_ = sdbus::createSessionBusConnectionWithAddress(busAddress);
    object_ = sdbus::createObject(*connection_, "/org/freedesktop/FileManager1");
    object_->registerMethod("org.freedesktop.FileManager1", "ShowItems", "ass", "",
                            [this](sdbus::MethodCall call) { showItems(std::move(call)); });
    object_->finishRegistration();
    connection_->requestName("org.freedesktop.FileManager1");
    connection_->enterEventLoopAsync();
}

FakeFileManager::~FakeFileManager()
{
    connection_->leaveEventLoop();
    object_.reset();
}

std::vector<FakeFileManager::ShowItemsCall> FakeFileManager::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeFileManager::showItems(sdbus::MethodCall call)
{
    ShowItemsCall recorded;
    call >> recorded.uris >> recorded.startupId;
    recorded.callerUid = call.getCredsUid();
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(recorded));
    }
    call.createReply().send();
}

}  // namespace ntfs::test
