#include "app/small_file.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <system_error>
#include <vector>

namespace {

std::string Reason(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Close() {
        if (Valid()) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
    }

  private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        content.remove_prefix(written);
    }
    return true;
}

// Replaces `target` by `source`. While someone has `target` open (a reader, another
// writer's replace), Windows refuses with "access denied" for a moment: wait and retry.
bool MoveOver(const std::filesystem::path& source, const std::filesystem::path& target) {
    constexpr int kAttempts = 100;
    constexpr DWORD kPauseMs = 10;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD code = GetLastError();
        const bool busy = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
                          code == ERROR_LOCK_VIOLATION;
        if (!busy || attempt == kAttempts) {
            SetLastError(code);
            return false;
        }
        Sleep(kPauseMs);
    }
}

} // namespace

SmallFileResult ReadSmallFile(const std::filesystem::path& path, std::size_t maxSize,
                         std::string& content, std::string& error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        error = Reason(code);
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? SmallFileResult::Missing
                                                                            : SmallFileResult::Failed;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
        return SmallFileResult::NotRegular;
    }
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD code = GetLastError();
        error = Reason(code);
        return code == ERROR_FILE_NOT_FOUND ? SmallFileResult::Missing : SmallFileResult::Failed;
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return SmallFileResult::NotRegular; // a pipe or a console
    }
    std::vector<char> buffer(maxSize + 1);
    std::size_t total = 0;
    while (total < buffer.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(buffer.size() - total, 1u << 20));
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.data() + total, chunk, &got, nullptr)) {
            error = Reason(GetLastError());
            return SmallFileResult::Failed;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    if (total > maxSize) {
        return SmallFileResult::TooLarge;
    }
    content.assign(buffer.data(), total);
    return SmallFileResult::Read;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error) {
    // A name no other writer uses: the process and a random number; CREATE_NEW refuses a
    // name that exists all the same.
    thread_local std::mt19937 random(std::random_device{}() ^ GetCurrentProcessId());
    std::filesystem::path temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 16 && code == ERROR_FILE_EXISTS; ++attempt) {
        temporary = path;
        temporary +=
            ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(random());
        created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        code = created != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
    }
    FileHandle file(created);
    if (!file.Valid()) {
        error = "cannot create a temporary file next to " + path.string() + ": " + Reason(code);
        return false;
    }
    const auto fail = [&](const std::string& what) {
        error = what + ": " + Reason(GetLastError());
        file.Close();
        DeleteFileW(temporary.c_str());
        return false;
    };
    if (!WriteAll(file.Get(), content)) {
        return fail("cannot write " + temporary.string());
    }
    if (!FlushFileBuffers(file.Get())) {
        return fail("cannot flush " + temporary.string() + " to the disk");
    }
    file.Close();
    if (!MoveOver(temporary, path)) {
        return fail("cannot replace " + path.string());
    }
    return true;
}

