#include "ui/window.h"

#include <vector>

#include "ui/callback_guard.h"

namespace {

// The window property that holds the bound object.
constexpr wchar_t kObjectProperty[] = L"TessalokWindowObject";

} // namespace

CWnd::~CWnd() {
    if (m_hwnd != nullptr) {
        const HWND window = m_hwnd;
        Unbind();
        ::DestroyWindow(window);
    }
}

CWnd* CWnd::FromHandle(HWND window) {
    return static_cast<CWnd*>(::GetPropW(window, kObjectProperty));
}

bool CWnd::SubclassWindow(HWND window) {
    if (window == nullptr || m_hwnd != nullptr || FromHandle(window) != nullptr) {
        return false;
    }
    m_hwnd = window;
    ::SetPropW(window, kObjectProperty, this);
    PreSubclassWindow();
    m_previousProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
    return true;
}

bool CWnd::SubclassDlgItem(int id, const CWnd& parent) {
    return SubclassWindow(parent.GetDlgItem(id));
}

std::wstring CWnd::GetWindowText() const {
    const int length = ::GetWindowTextLengthW(m_hwnd);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hwnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

RECT CWnd::GetClientRect() const {
    RECT rect{};
    ::GetClientRect(m_hwnd, &rect);
    return rect;
}

const MessageMap& CWnd::Map() {
    static const MessageMap map{nullptr, {}};
    return map;
}

const MessageMap* CWnd::GetMessageMap() const {
    return &Map();
}

LRESULT CWnd::Default() {
    return CallPrevious(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* self = FromHandle(window);
    if (self == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->CallPrevious(message, wParam, lParam);
        self->Unbind();
        CallOrFallBack(
            [self] {
                self->PostNcDestroy();
                return 0;
            },
            [] { return 0; });
        return result;
    }
    return self->WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Handlers may pump messages, so this runs nested: the outer message comes back on
    // every way out, a throwing handler's included.
    class CurrentMessageScope {
      public:
        CurrentMessageScope(CurrentMessage& current, CurrentMessage message)
            : m_current(current), m_outer(current) {
            m_current = message;
        }
        CurrentMessageScope(const CurrentMessageScope&) = delete;
        CurrentMessageScope& operator=(const CurrentMessageScope&) = delete;
        ~CurrentMessageScope() { m_current = m_outer; }

      private:
        CurrentMessage& m_current;
        CurrentMessage m_outer;
    };
    const CurrentMessageScope scope(m_current, {message, wParam, lParam});
    const MessageEntry* entry = FindMessageEntry(GetMessageMap(), message, wParam);
    if (entry == nullptr) {
        return Default();
    }
    // A handler that throws has not handled the message: the default processing takes it.
    return CallOrFallBack([&] { return entry->thunk(*this, wParam, lParam); },
                          [this] { return Default(); });
}

LRESULT CWnd::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_previousProc == nullptr) {
        return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
    }
    return ::CallWindowProcW(m_previousProc, m_hwnd, message, wParam, lParam);
}

void CWnd::Unbind() {
    if (m_hwnd == nullptr) {
        return;
    }
    if (m_previousProc != nullptr) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
    }
    ::RemovePropW(m_hwnd, kObjectProperty);
    m_hwnd = nullptr;
    m_previousProc = nullptr;
}
