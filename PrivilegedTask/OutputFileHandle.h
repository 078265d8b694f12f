#pragma once

#include "Common/UniqueFd.h"

#include <QByteArray>
#include <QIODevice>

#include <cstddef>

namespace ntfs {

// The read end of a privileged tool's output stream: serves what was already taken off the
// stream (by the launch or by the task's waits) and then reads the descriptor itself, blocking,
// until the tool's side is closed. Owns the descriptor and closes it when destroyed. Use it on the
// thread that launched the task.
class OutputFileHandle final : public QIODevice {
public:
    OutputFileHandle(UniqueFd fd, QByteArray alreadyRead);
    ~OutputFileHandle() override;

    // Everything up to the end of the stream; blocks until the writer closes its side.
    QByteArray readDataToEndOfFile() { return readAll(); }
    // The descriptor, or -1 once its end has been read.
    int fileDescriptor() const { return fd_.get(); }

    // Takes what the stream holds right now, up to limit bytes, into the buffer; never blocks.
    void absorbReady(std::size_t limit);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool atEnd() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    qsizetype buffered() const { return pending_.size() - consumed_; }
    void compact();

    UniqueFd fd_;
    QByteArray pending_;
    qsizetype consumed_ = 0;
};

}  // namespace ntfs
