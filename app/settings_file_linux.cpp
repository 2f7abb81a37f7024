#include "app/settings_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/utf_convert.h"

SettingsFile ReadSettingsFile(const std::u16string& path, std::string* text) {
    // Non-blocking, so a FIFO opens at once; its type is then checked on the open file,
    // so nothing can be put in its place between the check and the read.
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? SettingsFile::Missing : SettingsFile::Refused;
    }
    struct stat info {};
    SettingsFile state = SettingsFile::Refused;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        static_cast<std::uintmax_t>(info.st_size) <= kMaxSettingsFileBytes) {
        state = SettingsFile::Readable;
        std::string content;
        char buffer[4096];
        while (text != nullptr) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0 || content.size() + static_cast<std::size_t>(got) > kMaxSettingsFileBytes) {
                state = SettingsFile::Refused; // failed, or grew while read
                break;
            }
            if (got == 0) {
                *text = std::move(content);
                break;
            }
            content.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return state;
}
