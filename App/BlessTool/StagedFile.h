#pragma once

#include "Common/UniqueFd.h"

#include <filesystem>
#include <string_view>
#include <sys/types.h>

// A new version of a file, written beside it under a temporary name and put in its place in one
// rename once it is complete and on disk, so that nobody ever sees a half-written file: a reader
// (or a running program) of the old version keeps the old one. Removed again unless committed.
// Failures throw std::system_error with the errno.
class StagedFile {
public:
    // Creates missing parent folders; the file gets the mode whatever the umask.
    StagedFile(std::filesystem::path target, mode_t mode);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::filesystem::path& stagedPath() const { return staged_; }

    void write(std::string_view data);
    // Flushes the file, renames it over the target and flushes the folder.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path staged_;
    ntfs::UniqueFd fd_;
    bool committed_ = false;
};
