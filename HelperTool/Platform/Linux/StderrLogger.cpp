#include "HelperTool/Platform/Linux/StderrLogger.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs {
namespace {

// systemd names the stream it connected as "device:inode" in JOURNAL_STREAM.
bool stderrIsTheJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat info {};
    if (!stream || fstat(STDERR_FILENO, &info) != 0)
        return false;
    return std::string_view(stream) == std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

// Control characters are shown, never passed on: a newline in a caller's text would start a log
// line of the caller's own, with a priority of its choosing.
void appendShown(std::string& text, std::string_view line)
{
    constexpr char hex[] = "0123456789abcdef";
    for (unsigned char c : line) {
        if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (c < 0x20 || c == 0x7f)
            text.append({'\\', 'x', hex[c >> 4], hex[c & 0xf]});
        else
            text.push_back(static_cast<char>(c));
    }
}

}  // namespace

StderrLogger::StderrLogger(std::string identity)
    // "<5>": notice, read by the journal; elsewhere the line is marked like a syslog line.
    : prefix_(stderrIsTheJournal() ? "<5>" : identity + "[" + std::to_string(getpid()) + "]: ")
{
}

void StderrLogger::log(std::string_view line)
{
    std::string text = prefix_;
    appendShown(text, line);
    text.push_back('\n');
    std::lock_guard lock(mutex_);
    std::string_view rest = text;
    while (!rest.empty()) {
        ssize_t written = write(STDERR_FILENO, rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;  // nowhere to write; a lost log line must not stop the helper
        rest.remove_prefix(static_cast<size_t>(written));
    }
}

}  // namespace ntfs
