// Handler tables (message maps). Each window class keeps one table of entries and a link
// to its base class's table; the window's procedure walks the chain from the most
// derived table and runs the first entry that matches, else the default procedure.
//
// Entries are made from member functions with typed signatures, e.g.
//     OnPaint<&CXColorStatic::OnPaint>()                     void OnPaint()
//     OnCommand<1202, BN_CLICKED, &CMainDialog::OnViewStatus>()   void OnViewStatus()
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>

class CWnd;

// Turns the message parameters into the handler's arguments and its result back.
using MessageThunk = LRESULT (*)(CWnd& window, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;
    // WM_COMMAND entries also match the control id and notification code.
    UINT controlId;
    UINT notifyCode;
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* base; // the base class's table, null for CWnd
    std::span<const MessageEntry> entries;
};

// The entry of `map` or its bases that handles this message, or null.
const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam);

namespace message_map_detail {

template <class> struct MemberOf;
template <class R, class T, class... Args> struct MemberOf<R (T::*)(Args...)> { using Class = T; };

template <auto Handler> using ClassOf = typename MemberOf<decltype(Handler)>::Class;

template <auto Handler> ClassOf<Handler>& Self(CWnd& window) {
    return static_cast<ClassOf<Handler>&>(window);
}

} // namespace message_map_detail

// void Handler()
template <UINT Message, auto Handler> constexpr MessageEntry OnMessage() {
    return {Message, 0, 0, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {
                (message_map_detail::Self<Handler>(window).*Handler)();
                return 0;
            }};
}

// void OnPaint()
template <auto Handler> constexpr MessageEntry OnPaint() {
    return OnMessage<WM_PAINT, Handler>();
}

// void OnDestroy()
template <auto Handler> constexpr MessageEntry OnDestroy() {
    return OnMessage<WM_DESTROY, Handler>();
}

// BOOL OnEraseBackground(HDC dc)
template <auto Handler> constexpr MessageEntry OnEraseBackground() {
    return {WM_ERASEBKGND, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM) -> LRESULT {
                return (message_map_detail::Self<Handler>(window).*
                        Handler)(reinterpret_cast<HDC>(wParam));
            }};
}

// BOOL OnDeviceChange(UINT event, DWORD_PTR data)
template <auto Handler> constexpr MessageEntry OnDeviceChange() {
    return {WM_DEVICECHANGE, 0, 0, [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {
                return (message_map_detail::Self<Handler>(window).*
                        Handler)(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));
            }};
}

// void Handler() for WM_COMMAND from control `Id` with notification `Code`.
template <UINT Id, UINT Code, auto Handler> constexpr MessageEntry OnCommand() {
    return {WM_COMMAND, Id, Code, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {
                (message_map_detail::Self<Handler>(window).*Handler)();
                return 0;
            }};
}
