#include "App/BlessTool/StagedFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const std::filesystem::path& path)
{
    throw std::system_error(errno, std::generic_category(), path.string());
}

}  // namespace

StagedFile::StagedFile(std::filesystem::path target, mode_t mode) : target_(std::move(target))
{
    std::filesystem::create_directories(target_.parent_path());
    std::string pattern = (target_.parent_path() / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd_.reset(mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd_)
        fail(target_.parent_path());
    staged_ = pattern;
    if (fchmod(fd_.get(), mode) != 0)
        fail(staged_);
}

StagedFile::~StagedFile()
{
    if (!committed_ && !staged_.empty())
        unlink(staged_.c_str());
}

void StagedFile::write(std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd_.get(), data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(staged_);
        data.remove_prefix(static_cast<size_t>(n));
    }
}

void StagedFile::commit()
{
    if (fsync(fd_.get()) != 0)
        fail(staged_);
    fd_.reset();
    if (std::rename(staged_.c_str(), target_.c_str()) != 0)
        fail(target_);
    committed_ = true;
    ntfs::UniqueFd folder(open(target_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || fsync(folder.get()) != 0)
        fail(target_.parent_path());
}
