// Drives the demo program and the virtual drive from outside, as a user would: starts
// both processes, finds the window, reads controls by id, clicks by posting, reads and
// answers message boxes, takes screenshots. Clicks are posted, never sent: a sent click
// that opens a message box would block the driver until the box is answered.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// A child process, ended (if still running) when the object goes.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Starts `commandLine` in `directory` (ending a process started before); false when it
    // could not be started.
    bool Start(const std::wstring& commandLine, const std::wstring& directory);
    // True when the process ended within `timeout`.
    bool WaitForExit(std::chrono::milliseconds timeout) const;
    void Terminate();
    DWORD Id() const { return m_info.dwProcessId; }

  private:
    void Release();

    PROCESS_INFORMATION m_info{};
};

// `usual` stretched by TESSALOK_E2E_SLOWDOWN (a whole factor, 1 when unset), for a machine
// that runs the programs that much slower (software emulation). Every wait below uses it.
std::chrono::milliseconds Patience(std::chrono::milliseconds usual);

// Polls `condition` every 20 ms until it holds or `timeout` (stretched) passes.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));

// A Windows path for a path the build gives in Unix form ("/work/x" -> "Z:\work\x").
std::wstring WindowsPath(const std::string& unixPath);

// Visible top-level windows of process `processId` whose class is `className` (any when null).
std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className);

// The text of `window` (WM_GETTEXT through the other process), or of its child `id`.
std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int id);
bool ItemVisible(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
std::vector<std::wstring> ComboItems(HWND dialog, int id);
int ComboSelection(HWND dialog, int id);

// Posts a button click from control `id`.
void PostClick(HWND dialog, int id);
// Selects item `index` of combo box `id` and posts its selection-change notification.
void SelectComboItem(HWND dialog, int id, int index);

// A message box of the program: its caption, text, and the button to press.
struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};
// The first message box of `processId` other than `mainWindow`, or an empty view.
MessageBoxView FindMessageBox(DWORD processId, HWND mainWindow);
void AnswerMessageBox(const MessageBoxView& box, int buttonId);

// The screen rectangle that covers every visible window of `processId` (its main window
// and any message box); empty when it has none.
RECT ProcessArea(DWORD processId);

// Makes every visible window of `processId` paint now, its controls included, then waits
// until the screen shows the same pixels of `area` in two captures 100 ms apart. A window
// that has just become visible has not painted yet, and the program hands what it drew to
// the display only when it next waits for messages. False when `timeout` passed first.
bool PaintAndSettle(DWORD processId, const RECT& area,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Only the wait of PaintAndSettle, for a program that paints by itself but does not answer
// messages for a while (it sleeps in its window's thread): asking it to paint would wait
// until it answers again.
bool Settle(const RECT& area, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Writes `area` of the screen (the whole screen when `area` is empty) as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path, const RECT& area = {});
