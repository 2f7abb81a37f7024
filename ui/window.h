// CWnd: a C++ object bound to one window handle. One static procedure serves every bound
// window: it finds the object from the handle (a window property set when binding) and
// hands the message to the object's handler tables; what no table handles goes to the
// procedure the window had before it was bound.
#pragma once

#include <windows.h>

#include <string>

#include "ui/message_map.h"

class CWnd {
  public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys the window if it still exists.
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hwnd; }
    bool IsBound() const { return m_hwnd != nullptr; }

    // The object bound to `window`, or null.
    static CWnd* FromHandle(HWND window);

    // Binds this object to an existing window and routes its messages through the tables.
    bool SubclassWindow(HWND window);
    // Binds this object to child control `id` of `parent`.
    bool SubclassDlgItem(int id, const CWnd& parent);

    // Thin wrappers over the window calls the program uses.
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hwnd, id); }
    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hwnd, text); }
    std::wstring GetWindowText() const;
    void ShowWindow(int command) { ::ShowWindow(m_hwnd, command); }
    void EnableWindow(bool enable) { ::EnableWindow(m_hwnd, enable ? TRUE : FALSE); }
    RECT GetClientRect() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hwnd, message, wParam, lParam);
    }
    // Invalidate with erasing and update at once (RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW).
    void RepaintNow() {
        ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }

  protected:
    // Called once while binding, before the first message reaches the tables.
    virtual void PreSubclassWindow() {}
    // The most derived class's handler table; each table links to its base's.
    virtual const MessageMap* GetMessageMap() const;
    static const MessageMap& Map();

    // Runs the procedure the window had before binding for the message being handled.
    LRESULT Default();

    // Unbinds after WM_NCDESTROY; a derived class may clean up (it is still bound then).
    virtual void PostNcDestroy() {}

    HWND m_hwnd = nullptr;

  private:
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);
    void Unbind();

    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };

    WNDPROC m_previousProc = nullptr;
    CurrentMessage m_current;
};
