// Owners for the GDI objects and device contexts the controls create: every handle is
// released by its owner, on every path.
#pragma once

#include <windows.h>

#include <utility>

// Owns one font, brush or bitmap handle and deletes it with DeleteObject.
template <class Handle> class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : m_handle(handle) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        Reset(std::exchange(other.m_handle, nullptr));
        return *this;
    }
    ~GdiObject() { Reset(); }

    // Deletes the held handle (if any) and takes `handle`.
    void Reset(Handle handle = nullptr) {
        if (m_handle != nullptr) {
            DeleteObject(m_handle);
        }
        m_handle = handle;
    }
    Handle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

  private:
    Handle m_handle = nullptr;
};

using CFont = GdiObject<HFONT>;
using CBrush = GdiObject<HBRUSH>;
using CBitmap = GdiObject<HBITMAP>;

// A device context made with CreateCompatibleDC or CreateDCW, deleted with DeleteDC.
class OwnedDc {
  public:
    explicit OwnedDc(HDC dc) : m_dc(dc) {}
    OwnedDc(const OwnedDc&) = delete;
    OwnedDc& operator=(const OwnedDc&) = delete;
    ~OwnedDc() {
        if (m_dc != nullptr) {
            DeleteDC(m_dc);
        }
    }
    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

  private:
    HDC m_dc;
};

// Selects an object into a device context and puts the previous one back at scope end.
class ScopedSelection {
  public:
    ScopedSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;
    ~ScopedSelection() {
        if (m_previous != nullptr && m_previous != HGDI_ERROR) {
            SelectObject(m_dc, m_previous);
        }
    }

  private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// BeginPaint / EndPaint for one WM_PAINT.
class PaintContext {
  public:
    explicit PaintContext(HWND window) : m_window(window) { m_dc = BeginPaint(window, &m_paint); }
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;
    ~PaintContext() { EndPaint(m_window, &m_paint); }
    HDC Get() const { return m_dc; }

  private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc = nullptr;
};

// SaveDC on construction, RestoreDC(-1) at scope end.
class SavedDcState {
  public:
    explicit SavedDcState(HDC dc) : m_dc(dc) { SaveDC(dc); }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;
    ~SavedDcState() { RestoreDC(m_dc, -1); }

  private:
    HDC m_dc;
};
