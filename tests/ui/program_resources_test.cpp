// The program's resources as the system sees them: the dialog template's controls, the
// pictures, the icon, the initial control data and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/dialog_init_data.h"

namespace {

HMODULE Module() {
    return GetModuleHandleW(nullptr);
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

std::string ResourceBytes(int id, int type) {
    const HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (found == nullptr) {
        return {};
    }
    const auto* data = static_cast<const char*>(LockResource(LoadResource(Module(), found)));
    return std::string(data, SizeofResource(Module(), found));
}

struct ControlCase {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    RECT units; // x, y, width, height in dialog units
    DWORD styleBits;
    bool visible;
    bool enabled;
};

TEST(ProgramResources, DialogTemplateHoldsEveryControlWhereTheLayoutPutsIt) {
    const HWND dialog =
        CreateDialogParamW(Module(), MAKEINTRESOURCEW(102), nullptr, &IgnoreMessages, 0);
    ASSERT_NE(dialog, nullptr);
    const auto style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_NE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    wchar_t caption[16] = {};
    EXPECT_EQ(GetWindowTextW(dialog, caption, 16), 0);

    const ControlCase cases[] = {
        {1202, L"Button", L"&Scan", {353, 185, 60, 15}, WS_TABSTOP, true, true},
        {1203, L"Button", L"&Install New", {353, 205, 60, 15}, WS_TABSTOP, true, true},
        {1201, L"Button", L"&Delete", {353, 225, 60, 15}, WS_TABSTOP, true, true},
        {1192, L"Static", L"", {13, 192, 105, 16}, SS_BITMAP, false, false},
        {1204, L"Static", L"Message", {32, 214, 314, 26}, SS_CENTER | SS_CENTERIMAGE, true, true},
        {1205, L"Static", L"E:", {13, 214, 19, 26}, SS_CENTER | SS_CENTERIMAGE, true, true},
        {1706,
         L"ComboBox",
         nullptr,
         {353, 15, 60, 176},
         CBS_DROPDOWN | CBS_NOINTEGRALHEIGHT | WS_TABSTOP,
         true,
         true},
        {1206, L"Button", L"Check Model", {353, 165, 60, 15}, WS_TABSTOP, true, true},
        {1707, L"Button", L"Button3", {5, 6, 9, 10}, BS_DEFPUSHBUTTON, false, false},
    };
    HWND previous = nullptr;
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.id);
        const HWND control = GetDlgItem(dialog, c.id);
        ASSERT_NE(control, nullptr);
        // Template order is the window order.
        EXPECT_EQ(GetWindow(control, GW_HWNDPREV), previous);
        previous = control;
        wchar_t name[32] = {};
        GetClassNameW(control, name, 32);
        EXPECT_EQ(_wcsicmp(name, c.className), 0) << name;
        if (c.text != nullptr && c.id != 1192) {
            wchar_t text[64] = {};
            GetWindowTextW(control, text, 64);
            EXPECT_STREQ(text, c.text);
        }
        const auto controlStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        EXPECT_EQ(controlStyle & c.styleBits, c.styleBits);
        EXPECT_EQ((controlStyle & WS_VISIBLE) != 0, c.visible);
        EXPECT_EQ((controlStyle & WS_DISABLED) == 0, c.enabled);
        if (c.id == 1204 || c.id == 1205) {
            EXPECT_NE(GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
        }
        // Position and size map separately, as the system maps a template's items.
        RECT expected = c.units;
        MapDialogRect(dialog, &expected);
        RECT actual{};
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        // A bitmap picture takes its bitmap's size; a drop-down box reports its closed height.
        if (c.id != 1192 && c.id != 1706) {
            EXPECT_EQ(actual.right - actual.left, expected.right);
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
    }
    DestroyWindow(dialog);
}

TEST(ProgramResources, InitialDataFillsTheLanguageBoxWithZeroToTwelve) {
    const std::string bytes = ResourceBytes(102, kDialogInitResourceType);
    const auto items =
        ParseDialogInitData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(items.size(), 13u);
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].controlId, 1706);
        EXPECT_EQ(items[i].message, static_cast<std::uint32_t>(CB_ADDSTRING));
        EXPECT_EQ(items[i].text, std::to_string(i));
    }
}

TEST(ProgramResources, PicturesAndIconLoad) {
    const HBITMAP background = LoadBitmapW(Module(), MAKEINTRESOURCEW(171));
    ASSERT_NE(background, nullptr);
    const std::string raw = ResourceBytes(171, 2); // RT_BITMAP: the header and pixels
    ASSERT_GE(raw.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header{};
    std::memcpy(&header, raw.data(), sizeof(header));
    EXPECT_EQ(header.biWidth, 960);
    EXPECT_EQ(header.biHeight, 600);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    DeleteObject(background);

    const HBITMAP small = LoadBitmapW(Module(), MAKEINTRESOURCEW(152));
    EXPECT_NE(small, nullptr);
    DeleteObject(small);
    EXPECT_NE(LoadIconW(Module(), MAKEINTRESOURCEW(128)), nullptr);
}

TEST(ProgramResources, ManifestNamesTheAssemblyLevelAndCommonControls) {
    const std::string manifest = ResourceBytes(1, 24);
    EXPECT_NE(manifest.find("name=\"KV_Tessalok.exe\" version=\"2.0.0.7\""), std::string::npos);
    EXPECT_NE(manifest.find(TESSALOK_EXPECTED_LEVEL), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find(sizeof(void*) == 4 ? "processorArchitecture=\"X86\""
                                               : "processorArchitecture=\"amd64\""),
              std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

} // namespace
