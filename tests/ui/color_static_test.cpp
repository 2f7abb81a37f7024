// The status line control on a real static window (under wine for the Windows build).
#include "ui/color_static.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "ui/font_height.h"

namespace {

LOGFONTW FontOf(HFONT font) {
    LOGFONTW logFont{};
    GetObjectW(font, sizeof(logFont), &logFont);
    return logFont;
}

class ColorStaticTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 400, 120,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        m_static = CreateWindowExW(WS_EX_CLIENTEDGE, L"STATIC", L"",
                                   WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 10, 10, 300,
                                   40, m_parent, reinterpret_cast<HMENU>(1204),
                                   GetModuleHandleW(nullptr), nullptr);
        LOGFONTW dialogFont{};
        dialogFont.lfHeight = -13;
        dialogFont.lfWeight = 300;
        std::wcscpy(dialogFont.lfFaceName, L"Tahoma");
        m_dialogFont.Reset(CreateFontIndirectW(&dialogFont));
        SendMessageW(m_static, WM_SETFONT, reinterpret_cast<WPARAM>(m_dialogFont.Get()), FALSE);
        ASSERT_TRUE(m_control.SubclassWindow(m_static));
    }
    void TearDown() override { DestroyWindow(m_parent); }

    COLORREF PixelAt(int x, int y) {
        const HDC dc = GetDC(m_static);
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(m_static, dc);
        return colour;
    }

    HWND m_parent = nullptr;
    HWND m_static = nullptr;
    CFont m_dialogFont;
    CXColorStatic m_control;
};

TEST_F(ColorStaticTest, BindingCopiesTheWindowFontWithItsOwnWeight) {
    const LOGFONTW own = FontOf(m_control.GetOwnFont());
    EXPECT_EQ(std::wstring(own.lfFaceName), L"Tahoma");
    EXPECT_EQ(own.lfWeight, 300);
    EXPECT_EQ(own.lfHeight, -13);
}

TEST_F(ColorStaticTest, SetLogFontAppliesTheBoldFlagsWeightWhateverTheGivenOne) {
    LOGFONTW font = FontOf(m_dialogFont.Get());
    for (const LONG weight : {300L, 900L}) {
        font.lfWeight = weight;
        m_control.SetLogFont(&font, false);
        EXPECT_EQ(FontOf(m_control.GetOwnFont()).lfWeight, 400);
    }
    m_control.SetBoldWeight(true, false);
    font.lfWeight = 300;
    m_control.SetLogFont(&font, false);
    EXPECT_EQ(FontOf(m_control.GetOwnFont()).lfWeight, 700);

    const HFONT before = m_control.GetOwnFont();
    m_control.SetLogFont(nullptr, true);
    EXPECT_EQ(m_control.GetOwnFont(), before);
}

TEST_F(ColorStaticTest, FaceAndSizeUseTheDisplayResolutionAndBoldRestoresTheWindowFace) {
    m_control.SetFaceAndSize(L"Estrangelo Edessa", 16, true);
    const HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    const int pixelsPerInch = GetDeviceCaps(display, LOGPIXELSY);
    DeleteDC(display);
    LOGFONTW font = FontOf(m_control.GetOwnFont());
    EXPECT_EQ(std::wstring(font.lfFaceName), L"Estrangelo Edessa");
    EXPECT_EQ(font.lfHeight, PointsToFontHeight(16, pixelsPerInch));

    m_control.SetBoldWeight(true, true);
    font = FontOf(m_control.GetOwnFont());
    EXPECT_EQ(std::wstring(font.lfFaceName), L"Tahoma");
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, 700);
}

TEST_F(ColorStaticTest, ALongFaceNameIsCutToThirtyOneCharacters) {
    const std::wstring face(40, L'F');
    m_control.SetFaceAndSize(face.c_str(), 10, false);
    EXPECT_EQ(std::wstring(FontOf(m_control.GetOwnFont()).lfFaceName), std::wstring(31, L'F'));
}

TEST_F(ColorStaticTest, SetBackColorReplacesTheBrushAndRepaintsAtOnce) {
    const HBRUSH first = m_control.GetBackgroundBrush();
    ASSERT_NE(first, nullptr);
    m_control.SetForeColor(0x000000, false);
    m_control.SetBackColor(0x3232C8, true);
    EXPECT_NE(m_control.GetBackgroundBrush(), first);
    EXPECT_EQ(GetObjectType(first), 0u); // the old brush is gone
    EXPECT_EQ(m_control.GetBackColor(), 0x3232C8u);
    EXPECT_EQ(PixelAt(2, 2), 0x3232C8u);

    // Without redraw the screen keeps the old colour until the next repaint.
    m_control.SetBackColor(0xA0FFFF, false);
    EXPECT_EQ(PixelAt(2, 2), 0x3232C8u);
    m_control.SetForeColor(0xFFFFFF, true);
    EXPECT_EQ(PixelAt(2, 2), 0xA0FFFFu);
    EXPECT_EQ(m_control.GetForeColor(), 0xFFFFFFu);
}

// Brushes the system may still make; past that every creation fails, as it does when
// the GDI objects of the process are exhausted.
int g_brushesLeft = 0;

HBRUSH LimitedBrush(COLORREF colour) {
    if (g_brushesLeft <= 0) {
        return nullptr;
    }
    --g_brushesLeft;
    return CreateSolidBrush(colour);
}

class ColorStaticWithoutBrushesTest : public ColorStaticTest {
  protected:
    // A second status line on the same host, whose brushes come from LimitedBrush.
    void Bind(CXColorStatic& control) {
        m_fragileWindow = CreateWindowExW(
            0, L"STATIC", L"Ready", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 10, 60, 300,
            40, m_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(control.SubclassWindow(m_fragileWindow));
    }
    bool PaintPending() const { return GetUpdateRect(m_fragileWindow, nullptr, FALSE) != FALSE; }

    HWND m_fragileWindow = nullptr;
};

TEST_F(ColorStaticWithoutBrushesTest, NoBrushAtConstructionStillPaints) {
    g_brushesLeft = 0;
    CXColorStatic control(&LimitedBrush);
    EXPECT_EQ(control.GetBackgroundBrush(), nullptr);
    Bind(control);
    control.SetForeColor(0x000000, false);
    control.SetBackColor(0x3232C8, true); // fails again: no brush, the repaint still runs
    EXPECT_EQ(control.GetBackgroundBrush(), nullptr);
    EXPECT_EQ(control.GetBackColor(), 0x3232C8u);
    EXPECT_FALSE(PaintPending());

    g_brushesLeft = 1; // the system recovers: the next colour paints as usual
    control.SetBackColor(0x329632, true);
    ASSERT_NE(control.GetBackgroundBrush(), nullptr);
    const HDC dc = GetDC(m_fragileWindow);
    EXPECT_EQ(GetPixel(dc, 2, 2), 0x329632u);
    ReleaseDC(m_fragileWindow, dc);
}

TEST_F(ColorStaticWithoutBrushesTest, FailedReplacementReleasesTheOldBrushAndKeepsNoStaleOne) {
    g_brushesLeft = 1;
    CXColorStatic control(&LimitedBrush);
    const HBRUSH first = control.GetBackgroundBrush();
    ASSERT_NE(first, nullptr);
    Bind(control);
    control.SetBackColor(0xC83232, true);
    EXPECT_EQ(control.GetBackgroundBrush(), nullptr);
    EXPECT_EQ(GetObjectType(first), 0u); // released, not leaked and not kept
    EXPECT_FALSE(PaintPending());
    // Erase and paint go on without a brush, through the system's own calls as well.
    EXPECT_TRUE(RedrawWindow(m_fragileWindow, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW));
    EXPECT_FALSE(PaintPending());
}

} // namespace
