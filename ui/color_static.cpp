#include "ui/color_static.h"

#include <cwchar>

#include "ui/font_height.h"

namespace {

constexpr LONG kBoldWeight = FW_BOLD;     // 700
constexpr LONG kNormalWeight = FW_NORMAL; // 400
constexpr std::size_t kFaceUnits = LF_FACESIZE - 1;

} // namespace

CXColorStatic::CXColorStatic(SolidBrushMaker makeBrush)
    : m_makeBrush(makeBrush), m_foreColour(::GetSysColor(COLOR_BTNTEXT)),
      m_backColour(::GetSysColor(COLOR_BTNFACE)), m_brush(m_makeBrush(m_backColour)) {}

CXColorStatic::~CXColorStatic() = default;

void CXColorStatic::SetForeColor(COLORREF colour, bool redraw) {
    m_foreColour = colour;
    RedrawIf(redraw);
}

void CXColorStatic::SetBackColor(COLORREF colour, bool redraw) {
    m_backColour = colour;
    // Release first: after a failed creation the control holds no brush, never a stale one.
    m_brush.Reset();
    m_brush.Reset(m_makeBrush(colour));
    RedrawIf(redraw);
}

void CXColorStatic::SetBoldWeight(bool bold, bool redraw) {
    m_bold = bold;
    LOGFONTW font{};
    ::GetObjectW(WindowOrStockFont(), sizeof(font), &font);
    font.lfWeight = bold ? kBoldWeight : kNormalWeight;
    SetLogFont(&font, redraw);
}

void CXColorStatic::SetLogFont(const LOGFONTW* font, bool redraw) {
    if (font == nullptr) {
        return;
    }
    LOGFONTW copy = *font;
    copy.lfWeight = m_bold ? kBoldWeight : kNormalWeight;
    m_font.Reset(::CreateFontIndirectW(&copy));
    RedrawIf(redraw);
}

void CXColorStatic::SetFaceAndSize(const wchar_t* face, int points, bool redraw) {
    LOGFONTW font{};
    if (face != nullptr) {
        std::wcsncpy(font.lfFaceName, face, kFaceUnits);
    } else {
        ::GetObjectW(WindowOrStockFont(), sizeof(font), &font);
    }
    int pixelsPerInch = 96;
    if (const OwnedDc display(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr)); display) {
        pixelsPerInch = ::GetDeviceCaps(display.Get(), LOGPIXELSY);
    }
    font.lfHeight = PointsToFontHeight(points, pixelsPerInch);
    SetLogFont(&font, redraw);
}

void CXColorStatic::SetTextOffset(int horizontal, int vertical) {
    m_offsetX = horizontal;
    m_offsetY = vertical;
}

void CXColorStatic::PreSubclassWindow() {
    LOGFONTW font{};
    if (::GetObjectW(WindowOrStockFont(), sizeof(font), &font) == sizeof(font)) {
        m_font.Reset(::CreateFontIndirectW(&font));
    }
}

const MessageMap& CXColorStatic::Map() {
    static constexpr MessageEntry entries[] = {
        ::OnPaint<&CXColorStatic::OnPaint>(),
        ::OnEraseBackground<&CXColorStatic::OnEraseBackground>(),
    };
    static const MessageMap map{&CWnd::Map(), entries};
    return map;
}

const MessageMap* CXColorStatic::GetMessageMap() const {
    return &Map();
}

BOOL CXColorStatic::OnEraseBackground(HDC dc) {
    const RECT client = GetClientRect();
    if (m_brush) {
        ::FillRect(dc, &client, m_brush.Get());
    }
    return TRUE;
}

void CXColorStatic::OnPaint() {
    const PaintContext paint(m_hwnd);
    const HDC dc = paint.Get();
    const SavedDcState saved(dc);
    ::SetTextColor(dc, m_foreColour);
    ::SetBkColor(dc, m_backColour);
    ::SetBkMode(dc, OPAQUE);
    if (m_brush) {
        ::SelectObject(dc, m_brush.Get());
    }
    RECT rect = GetClientRect();
    if (m_font) {
        ::SelectObject(dc, m_font.Get());
    }
    const std::wstring text = GetWindowText();

    const auto style = static_cast<DWORD>(::GetWindowLongW(m_hwnd, GWL_STYLE));
    UINT format = DT_LEFT;
    if ((style & SS_CENTER) != 0) {
        format = DT_CENTER;
    } else if ((style & SS_RIGHT) != 0) {
        format = DT_RIGHT;
    }
    format |= (style & SS_CENTERIMAGE) != 0 ? DT_VCENTER | DT_SINGLELINE : DT_WORDBREAK;

    rect.left += m_offsetX;
    rect.top += m_offsetY;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
}

HFONT CXColorStatic::WindowOrStockFont() const {
    if (const auto font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); font != nullptr) {
        return font;
    }
    if (const auto font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)); font != nullptr) {
        return font;
    }
    return static_cast<HFONT>(::GetStockObject(ANSI_VAR_FONT));
}

void CXColorStatic::RedrawIf(bool redraw) {
    if (redraw) {
        RepaintNow();
    }
}
