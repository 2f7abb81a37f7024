#include "app/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/utf_convert.h"

namespace {

std::string Reason(int code) {
    return std::strerror(code);
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // False with errno set when the close reports a failed write.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself durable; a folder that cannot be synced is no reason to fail.
void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
}

SmallFileResult Failure(int code, std::string& error) {
    error = Reason(code);
    return code == ENOENT ? SmallFileResult::Missing : SmallFileResult::Failed;
}

} // namespace

NativePath NativePathFromUtf16(std::u16string_view path) {
    return ToUtf8(path);
}

SmallFileResult ReadSmallFile(const NativePath& path, std::size_t maxSize, std::string& content,
                              std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return Failure(errno, error);
    }
    if (!S_ISREG(info.st_mode)) {
        return SmallFileResult::NotRegular;
    }
    // Without blocking, in case the file was swapped for a FIFO since the look above.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.Valid()) {
        return Failure(errno, error);
    }
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return SmallFileResult::NotRegular;
    }
    std::vector<char> buffer(maxSize + 1);
    std::size_t total = 0;
    while (total < buffer.size()) {
        const ssize_t got = ::read(file.Get(), buffer.data() + total, buffer.size() - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = Reason(errno);
            return SmallFileResult::Failed;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    if (total > maxSize) {
        return SmallFileResult::TooLarge;
    }
    content.assign(buffer.data(), total);
    return SmallFileResult::Read;
}

bool WriteFileAtomically(const NativePath& path, std::string_view content,
                         std::string& error) {
    std::string temporary = path + ".tmp-XXXXXX";
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.Valid()) {
        error = "cannot create a temporary file next to " + path + ": " + Reason(errno);
        return false;
    }
    const auto fail = [&](const std::string& what) {
        error = what + ": " + Reason(errno);
        file.Close();
        ::unlink(temporary.c_str());
        return false;
    };
    if (::fchmod(file.Get(), 0644) != 0 || !WriteAll(file.Get(), content)) {
        return fail("cannot write " + temporary);
    }
    if (::fsync(file.Get()) != 0 || !file.Close()) {
        return fail("cannot flush " + temporary + " to the disk");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail("cannot replace " + path);
    }
    SyncFolder(std::filesystem::path(path).parent_path());
    return true;
}

