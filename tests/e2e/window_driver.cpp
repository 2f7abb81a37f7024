#include "window_driver.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMessageBoxTextId = 0xFFFF;

UINT SendTimeoutMs() {
    return static_cast<UINT>(Patience(std::chrono::milliseconds(kSendTimeoutMs)).count());
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SendTimeoutMs(),
                          &result);
    return static_cast<LRESULT>(result);
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    if (owner == search.processId && ::IsWindowVisible(window) &&
        (search.className == nullptr || std::wstring(name) == search.className)) {
        search.found.push_back(window);
    }
    return TRUE;
}

// A part of the screen: bottom-up rows of 24-bit pixels, each row padded to 4 bytes.
struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<char> bits;
};

ScreenImage CaptureScreen(const RECT& area) {
    const RECT screenRect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT part = screenRect;
    if (!::IsRectEmpty(&area) && !::IntersectRect(&part, &area, &screenRect)) {
        return {};
    }
    ScreenImage image{part.right - part.left, part.bottom - part.top, {}};
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof(BITMAPINFOHEADER), image.width, image.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        const HGDIOBJ previous = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, image.width, image.height, screen, part.left, part.top, SRCCOPY);
        ::GdiFlush();
        const auto rowBytes = static_cast<std::size_t>((image.width * 3 + 3) & ~3);
        const auto* first = static_cast<const char*>(bits);
        image.bits.assign(first, first + rowBytes * static_cast<std::size_t>(image.height));
        ::SelectObject(memory, previous);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return image;
}

} // namespace

ChildProcess::~ChildProcess() {
    Release();
}

void ChildProcess::Release() {
    if (m_info.hProcess != nullptr) {
        Terminate();
        ::CloseHandle(m_info.hThread);
        ::CloseHandle(m_info.hProcess);
        m_info = {};
    }
}

bool ChildProcess::Start(const std::wstring& commandLine, const std::wstring& directory) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    Release();
    std::wstring mutableLine = commandLine;
    return ::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            directory.c_str(), &startup, &m_info) != 0;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    return ::WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(Patience(timeout).count())) ==
           WAIT_OBJECT_0;
}

void ChildProcess::Terminate() {
    if (m_info.hProcess != nullptr && !WaitForExit(std::chrono::milliseconds(0))) {
        ::TerminateProcess(m_info.hProcess, 1);
        WaitForExit(std::chrono::seconds(5));
    }
}

std::chrono::milliseconds Patience(std::chrono::milliseconds usual) {
    static const int factor = [] {
        const char* given = std::getenv("TESSALOK_E2E_SLOWDOWN");
        const int value = given != nullptr ? std::atoi(given) : 1;
        return value > 0 ? value : 1;
    }();
    return usual * factor;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + Patience(timeout);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (const char c : unixPath) {
        path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    }
    return path;
}

std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[512] = {};
    SendWithTimeout(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::wstring ItemText(HWND dialog, int id) {
    return WindowText(::GetDlgItem(dialog, id));
}

bool ItemVisible(HWND dialog, int id) {
    return ::IsWindowVisible(::GetDlgItem(dialog, id)) != 0;
}

bool ItemEnabled(HWND dialog, int id) {
    return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != 0;
}

std::vector<std::wstring> ComboItems(HWND dialog, int id) {
    const HWND combo = ::GetDlgItem(dialog, id);
    std::vector<std::wstring> items;
    const auto count = static_cast<int>(SendWithTimeout(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t buffer[256] = {};
        SendWithTimeout(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(buffer));
        items.emplace_back(buffer);
    }
    return items;
}

int ComboSelection(HWND dialog, int id) {
    return static_cast<int>(SendWithTimeout(::GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0));
}

void PostClick(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void SelectComboItem(HWND dialog, int id, int index) {
    const HWND combo = ::GetDlgItem(dialog, id);
    SendWithTimeout(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
}

MessageBoxView FindMessageBox(DWORD processId, HWND mainWindow) {
    for (const HWND window : ProcessWindows(processId, L"#32770")) {
        if (window != mainWindow) {
            return {window, WindowText(window), ItemText(window, kMessageBoxTextId)};
        }
    }
    return {};
}

void AnswerMessageBox(const MessageBoxView& box, int buttonId) {
    ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box.window, buttonId)));
}

RECT ProcessArea(DWORD processId) {
    RECT area{};
    for (const HWND window : ProcessWindows(processId, nullptr)) {
        RECT rect{};
        ::GetWindowRect(window, &rect);
        ::UnionRect(&area, &area, &rect);
    }
    return area;
}

bool PaintAndSettle(DWORD processId, const RECT& area, std::chrono::milliseconds timeout) {
    for (const HWND window : ProcessWindows(processId, nullptr)) {
        // The paint messages are sent: skip a window whose program no longer answers.
        DWORD_PTR ignored = 0;
        if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs(),
                                  &ignored) != 0) {
            ::RedrawWindow(window, nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW |
                               RDW_ALLCHILDREN);
        }
    }
    return Settle(area, timeout);
}

bool Settle(const RECT& area, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + Patience(timeout);
    ScreenImage last = CaptureScreen(area);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ScreenImage now = CaptureScreen(area);
        if (now.bits == last.bits) {
            return true;
        }
        last = std::move(now);
    }
    return false;
}

bool SaveScreenshot(const std::wstring& path, const RECT& area) {
    const ScreenImage image = CaptureScreen(area);
    if (image.bits.empty()) {
        return false;
    }
    BITMAPINFOHEADER header{
        sizeof(BITMAPINFOHEADER), image.width, image.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const auto pixelBytes = static_cast<DWORD>(image.bits.size());
    BITMAPFILEHEADER file{
        0x4D42,
        static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + pixelBytes), 0, 0,
        sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(image.bits.data(), static_cast<std::streamsize>(pixelBytes));
    return static_cast<bool>(out);
}
