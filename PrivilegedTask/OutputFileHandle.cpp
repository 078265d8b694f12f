#include "PrivilegedTask/OutputFileHandle.h"

#include "Common/Subprocess.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace ntfs {

OutputFileHandle::OutputFileHandle(UniqueFd fd, QByteArray alreadyRead) : fd_(std::move(fd)), pending_(std::move(alreadyRead))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

OutputFileHandle::~OutputFileHandle() = default;

void OutputFileHandle::compact()
{
    if (consumed_ == pending_.size()) {
        pending_.clear();
        consumed_ = 0;
    } else if (consumed_ > pending_.size() / 2) {
        pending_.remove(0, consumed_);
        consumed_ = 0;
    }
}

void OutputFileHandle::absorbReady(std::size_t limit)
{
    Subprocess::readReady(fd_, limit, [this](std::string_view chunk) {
        compact();
        pending_.append(chunk.data(), static_cast<qsizetype>(chunk.size()));
        return true;
    });
}

qint64 OutputFileHandle::bytesAvailable() const { return buffered() + QIODevice::bytesAvailable(); }

bool OutputFileHandle::atEnd() const { return !fd_ && buffered() == 0 && QIODevice::atEnd(); }

qint64 OutputFileHandle::readData(char* data, qint64 maxSize)
{
    if (buffered() > 0) {
        auto n = std::min<qint64>(maxSize, buffered());
        std::memcpy(data, pending_.constData() + consumed_, static_cast<std::size_t>(n));
        consumed_ += n;
        compact();
        return n;
    }
    while (fd_) {
        ssize_t n = ::read(fd_.get(), data, static_cast<std::size_t>(maxSize));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fd_.reset();
        return n < 0 ? -1 : n;
    }
    return 0;
}

qint64 OutputFileHandle::writeData(const char*, qint64) { return -1; }

}  // namespace ntfs
