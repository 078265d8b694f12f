#include "Driver/NtfsVolumeState.h"

#include <blkid/blkid.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#define HAVE_STDINT_H 1
#define HAVE_STDDEF_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_STDARG_H 1
extern "C" {
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/volume.h>
}

namespace ntfs {
namespace {

bool isNtfs(const std::string& device)
{
    std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(
        blkid_new_probe_from_filename(device.c_str()), &blkid_free_probe);
    // Only NTFS is of interest: asking for it alone spares reading every other kind's signature.
    const char* only[] = {"ntfs", nullptr};
    if (!probe || blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, const_cast<char**>(only)) != 0
        || blkid_do_safeprobe(probe.get()) != 0)
        return false;
    const char* type = nullptr;
    return blkid_probe_lookup_value(probe.get(), "TYPE", &type, nullptr) == 0 && std::string(type) == "ntfs";
}

// libntfs-3g's complaints, kept for the detail instead of going to the terminal.
std::string firstComplaint;

int keepComplaint(const char*, const char*, int, u32 level, void*, const char* format, va_list args)
{
    if (!firstComplaint.empty() || !(level & (NTFS_LOG_LEVEL_ERROR | NTFS_LOG_LEVEL_PERROR | NTFS_LOG_LEVEL_CRITICAL)))
        return 0;
    std::array<char, 512> text;
    int n = std::vsnprintf(text.data(), text.size(), format, args);
    firstComplaint.assign(text.data(), n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), text.size() - 1) : 0);
    while (!firstComplaint.empty() && firstComplaint.back() == '\n')
        firstComplaint.pop_back();
    return n;
}

// A damaged volume can send the library into a loop: past the deadline the process ends,
// saying so, rather than hang its caller.
volatile std::sig_atomic_t tooSlowStatus = 65;

void endTooSlow(int)
{
    static const char text[] = "the volume's state could not be read in time: it is damaged or the device hangs\n";
    (void)!write(STDOUT_FILENO, text, sizeof text - 1);
    _exit(tooSlowStatus);
}

class ReadDeadline {
public:
    ReadDeadline(int seconds, int status)
    {
        tooSlowStatus = status;
        struct sigaction end {};
        end.sa_handler = endTooSlow;
        sigemptyset(&end.sa_mask);
        sigaction(SIGALRM, &end, &previous_);
        alarm(static_cast<unsigned>(seconds));
    }
    ~ReadDeadline()
    {
        alarm(0);
        sigaction(SIGALRM, &previous_, nullptr);
    }
    ReadDeadline(const ReadDeadline&) = delete;
    ReadDeadline& operator=(const ReadDeadline&) = delete;

private:
    struct sigaction previous_ {};
};

struct VolumeCloser {
    void operator()(ntfs_volume* volume) const { ntfs_umount(volume, FALSE); }
};
struct InodeCloser {
    void operator()(ntfs_inode* inode) const { ntfs_inode_close(inode); }
};
struct AttributeCloser {
    void operator()(ntfs_attr* attribute) const { ntfs_attr_close(attribute); }
};

enum class Hibernation { No, Yes, Unknown };

// Reads only the first four bytes of hiberfil.sys; the file itself may be many gigabytes.
Hibernation hibernationOf(ntfs_volume* volume, std::string& why)
{
    std::unique_ptr<ntfs_inode, InodeCloser> file(ntfs_pathname_to_inode(volume, nullptr, "hiberfil.sys"));
    if (!file) {
        if (errno == ENOENT)
            return Hibernation::No;
        why = "hiberfil.sys cannot be read: " + (firstComplaint.empty() ? std::strerror(errno) : firstComplaint);
        return Hibernation::Unknown;
    }
    std::unique_ptr<ntfs_attr, AttributeCloser> data(ntfs_attr_open(file.get(), AT_DATA, AT_UNNAMED, 0));
    if (!data) {
        why = "hiberfil.sys has no readable data: " + (firstComplaint.empty() ? std::strerror(errno) : firstComplaint);
        return Hibernation::Unknown;
    }
    if (data->data_size == 0)
        return Hibernation::No;
    std::array<char, 4> head{};
    if (ntfs_attr_pread(data.get(), 0, static_cast<s64>(head.size()), head.data()) != static_cast<s64>(head.size())) {
        why = "the start of hiberfil.sys cannot be read";
        return Hibernation::Unknown;
    }
    std::string magic(head.data(), head.size());
    return magic == "hibr" || magic == "HIBR" || magic == "wake" || magic == "WAKE" ? Hibernation::Yes : Hibernation::No;
}

}  // namespace

const char* NtfsVolumeState::nameOf(State state)
{
    static constexpr std::array<const char*, 5> names{"clean", "dirty", "hibernated", "not-ntfs", "unreadable"};
    return names[static_cast<std::size_t>(state)];
}

NtfsVolumeState::State NtfsVolumeState::of(const std::string& device, const Reading& reading, std::string& detail)
{
    ReadDeadline deadline(reading.seconds, reading.statusWhenTooSlow);
    firstComplaint.clear();
    ntfs_log_set_handler(keepComplaint);
    std::unique_ptr<ntfs_volume, VolumeCloser> volume(
        ntfs_mount(device.c_str(), NTFS_MNT_RDONLY | NTFS_MNT_FORENSIC | NTFS_MNT_IGNORE_HIBERFILE));
    const int mountError = errno;
    // Only a volume that does not open is worth asking libblkid about: damaged, or no NTFS at all.
    if (!volume && !isNtfs(device)) {
        detail = device + " holds no NTFS file system";
        return State::NotNtfs;
    }
    if (!volume) {
        detail = "the volume cannot be read: " + (firstComplaint.empty() ? std::strerror(mountError) : firstComplaint);
        return State::Unreadable;
    }
    if (reading.hibernation) {
        std::string why;
        switch (hibernationOf(volume.get(), why)) {
        case Hibernation::Yes:
            detail = "Windows saved a session in hiberfil.sys (hibernation or Fast Startup)";
            return State::Hibernated;
        case Hibernation::Unknown: detail = "whether Windows is hibernated on it is unknown: " + why; return State::Unreadable;
        case Hibernation::No: break;
        }
    }
    if (le16_to_cpu(volume->flags) & VOLUME_IS_DIRTY) {
        detail = "the volume's dirty flag is set (it was not unmounted cleanly)";
        return State::Dirty;
    }
    detail = "clean";
    return State::Clean;
}

}  // namespace ntfs
