#include "app/small_file.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "app/utf_convert.h"
#include "device/system_error_text_win32.h"

// Names stay in their native UTF-16 and are shown through our own conversion, not the
// library's (see NativePath).
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

std::string Utf8(std::wstring_view text) {
    return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// The decimal digits of `number` (std::to_wstring would bring the wide printf engine).
std::wstring Digits(unsigned long number) {
    const std::string digits = std::to_string(number);
    return std::wstring(digits.begin(), digits.end());
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
bool MoveOver(const std::wstring& source, const std::wstring& target) {
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

NativePath NativePathFromUtf16(std::u16string_view path) {
    return NativePath(reinterpret_cast<const wchar_t*>(path.data()), path.size());
}

SmallFileResult ReadSmallFile(const NativePath& path, std::size_t maxSize, std::string& content,
                              std::string& error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        error = SystemErrorText(code);
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
        error = SystemErrorText(code);
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
            error = SystemErrorText(GetLastError());
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

bool WriteFileAtomically(const NativePath& path, std::string_view content,
                         std::string& error) {
    // A name no other writer uses: the process and a number no other call of this process
    // takes; CREATE_NEW refuses a name that exists all the same (one a crash left behind).
    static std::atomic<unsigned> calls{0};
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 16 && code == ERROR_FILE_EXISTS; ++attempt) {
        temporary = path + L".tmp-" + Digits(GetCurrentProcessId()) + L"-" +
                    Digits(calls.fetch_add(1));
        created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        code = created != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
    }
    FileHandle file(created);
    if (!file.Valid()) {
        error = "cannot create a temporary file next to " + Utf8(path) + ": " + SystemErrorText(code);
        return false;
    }
    const auto fail = [&](const std::string& what) {
        error = what + ": " + SystemErrorText(GetLastError());
        file.Close();
        DeleteFileW(temporary.c_str());
        return false;
    };
    if (!WriteAll(file.Get(), content)) {
        return fail("cannot write " + Utf8(temporary));
    }
    if (!FlushFileBuffers(file.Get())) {
        return fail("cannot flush " + Utf8(temporary) + " to the disk");
    }
    file.Close();
    if (!MoveOver(temporary, path)) {
        return fail("cannot replace " + Utf8(path));
    }
    return true;
}

