// CXColorStatic: a static text control that paints its window text in its own text
// colour, on its own background colour, with its own font. Callers set the window text
// first, then the colours; a setter with `redraw` repaints synchronously, so the new
// text shows in the new colours when it returns.
#pragma once

#include "ui/gdi_handle.h"
#include "ui/static_control.h"

class CXColorStatic : public CStatic {
  public:
    // Makes the background brush: CreateSolidBrush, or a stand-in that fails in the tests.
    using SolidBrushMaker = HBRUSH (*)(COLORREF colour);

    // A brush that cannot be made leaves the control without one: the erase then fills
    // nothing and the text still paints, on its background colour.
    explicit CXColorStatic(SolidBrushMaker makeBrush = &CreateBrush);
    ~CXColorStatic() override;

    void SetForeColor(COLORREF colour, bool redraw);
    // Replaces the background brush by a new one of `colour` (or by none, when the
    // system cannot make it).
    void SetBackColor(COLORREF colour, bool redraw);
    // Rebuilds the font from the window's font (WM_GETFONT) at weight 700 or 400.
    void SetBoldWeight(bool bold, bool redraw);
    // Null: nothing at all. Otherwise the font from `font` at the bold flag's weight.
    void SetLogFont(const LOGFONTW* font, bool redraw);
    // Face (null: the window's font) and point size, at the display's LOGPIXELSY.
    void SetFaceAndSize(const wchar_t* face, int points, bool redraw);
    void SetTextOffset(int horizontal, int vertical);
    COLORREF GetForeColor() const { return m_foreColour; }
    COLORREF GetBackColor() const { return m_backColour; }

    // For the tests: the font and brush the control holds now.
    HFONT GetOwnFont() const { return m_font.Get(); }
    HBRUSH GetBackgroundBrush() const { return m_brush.Get(); }

  protected:
    void PreSubclassWindow() override;
    const MessageMap* GetMessageMap() const override;
    static const MessageMap& Map();

    void OnPaint();
    BOOL OnEraseBackground(HDC dc);

  private:
    static HBRUSH CreateBrush(COLORREF colour) { return ::CreateSolidBrush(colour); }
    // The window's font, else DEFAULT_GUI_FONT, else ANSI_VAR_FONT.
    HFONT WindowOrStockFont() const;
    void RedrawIf(bool redraw);

    SolidBrushMaker m_makeBrush;
    COLORREF m_foreColour;
    COLORREF m_backColour;
    CFont m_font;
    CBrush m_brush;
    bool m_bold = false;
    int m_offsetX = 0;
    int m_offsetY = 0;
};
