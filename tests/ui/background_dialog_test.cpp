// Where the background picture comes from: the file KV_Tessalok.BMP in the current
// directory over the built-in bitmap 171, and a file that opens but does not load as a
// bitmap, which leaves the dialog without a picture. Checked on the picture held and on
// the pixels of a real modal dialog built from template 102.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/ui/bitmap_file.h"
#include "ui/background_dialog.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kBuiltInPicture = 171;
constexpr COLORREF kFileColour = 0x2080C0; // red C0, green 80, blue 20

SIZE PictureSize(HBITMAP picture) {
    BITMAP info{};
    GetObjectW(picture, sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

// Every test runs in a fresh current directory of its own.
class BackgroundPictureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = fs::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_directory =
            fs::temp_directory_path() /
            ("tessalok-background-" + std::to_string(GetCurrentProcessId()) + "-" + info->name());
        fs::remove_all(m_directory);
        fs::create_directories(m_directory);
        fs::current_path(m_directory);
    }
    void TearDown() override {
        fs::current_path(m_previous);
        std::error_code ignored;
        fs::remove_all(m_directory, ignored);
    }
    static void WritePictureFile(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    fs::path m_previous;
    fs::path m_directory;
};

TEST_F(BackgroundPictureTest, TheFileInTheCurrentDirectoryWinsAndAFileThatDoesNotLoadGivesNone) {
    enum class Entry { None, File, Folder };
    struct Case {
        const char* name;
        Entry entry;
        std::string bytes;
        LONG width; // 0: no picture held
        LONG height;
    };
    const Case cases[] = {
        {"no file: the built-in picture", Entry::None, "", 960, 600},
        {"a folder of that name cannot be opened: built-in", Entry::Folder, "", 960, 600},
        {"a bitmap file", Entry::File, BitmapFile(40, 30, kFileColour), 40, 30},
        {"an empty file", Entry::File, "", 0, 0},
        {"not a bitmap", Entry::File, std::string("GIF89a") + std::string(200, '\x7F'), 0, 0},
        {"an absurd size", Entry::File, BitmapFile(200000, 200000, kFileColour, false), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("KV_Tessalok.BMP");
        if (c.entry == Entry::File) {
            WritePictureFile("KV_Tessalok.BMP", c.bytes);
        } else if (c.entry == Entry::Folder) {
            fs::create_directory("KV_Tessalok.BMP");
        }
        CBackgroundDialog dialog(102, nullptr);
        dialog.LoadBackground(kBuiltInPicture);
        const HBITMAP picture = dialog.GetBackgroundBitmap();
        if (c.width == 0) {
            EXPECT_EQ(picture, nullptr); // and the built-in picture is not taken instead
            continue;
        }
        ASSERT_NE(picture, nullptr);
        const SIZE size = PictureSize(picture);
        EXPECT_EQ(size.cx, c.width);
        EXPECT_EQ(size.cy, c.height);
    }
}

TEST_F(BackgroundPictureTest, AFileBesideTheProgramButNotInTheCurrentDirectoryIsNotUsed) {
    wchar_t program[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    const fs::path beside = fs::path(program).parent_path() / "KV_Tessalok.BMP";
    ASSERT_NE(fs::canonical(beside.parent_path()), fs::canonical(m_directory));
    WritePictureFile(beside, BitmapFile(40, 30, kFileColour));
    CBackgroundDialog dialog(102, nullptr);
    dialog.LoadBackground(kBuiltInPicture);
    fs::remove(beside);
    ASSERT_NE(dialog.GetBackgroundBitmap(), nullptr);
    EXPECT_EQ(PictureSize(dialog.GetBackgroundBitmap()).cx, 960);
}

// The main window's use of the base class: tiled picture from LoadBackground(171); once
// shown, the dialog reads back the pixel at (1, 1) of its client area and closes.
class PictureProbeDialog : public CBackgroundDialog {
  public:
    PictureProbeDialog() : CBackgroundDialog(102, nullptr) {}
    COLORREF pixel = CLR_INVALID;

  protected:
    BOOL OnInitDialog() override {
        CBackgroundDialog::OnInitDialog();
        SetBackgroundMode(Tile);
        LoadBackground(kBuiltInPicture);
        PostMessageW(m_hwnd, kProbe, 0, 0);
        return TRUE;
    }
    const MessageMap* GetMessageMap() const override { return &Map(); }

  private:
    static constexpr UINT kProbe = WM_APP + 10;
    static const MessageMap& Map() {
        static constexpr MessageEntry entries[] = {
            OnMessage<kProbe, &PictureProbeDialog::OnProbe>(),
        };
        static const MessageMap map{&CBackgroundDialog::Map(), entries};
        return map;
    }
    void OnProbe() {
        // The modal loop shows the dialog only once its queue is empty: show it now.
        ShowWindow(SW_SHOWNORMAL);
        RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const HDC dc = GetDC(m_hwnd);
        pixel = GetPixel(dc, 1, 1);
        ReleaseDC(m_hwnd, dc);
        EndDialog(IDOK);
    }
};

COLORREF BuiltInPixel() {
    const HBITMAP picture =
        LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kBuiltInPicture));
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ previous = SelectObject(memory, picture);
    const COLORREF pixel = GetPixel(memory, 1, 1);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(picture);
    return pixel;
}

TEST_F(BackgroundPictureTest, TheShownDialogIsCoveredByTheChosenPicture) {
    struct Case {
        const char* name;
        bool file;
        std::string bytes;
        COLORREF expected;
    };
    const Case cases[] = {
        {"the built-in picture", false, "", BuiltInPixel()},
        {"the file's picture", true, BitmapFile(16, 16, kFileColour), kFileColour},
        {"a file that does not load: the plain dialog colour", true, "not a bitmap",
         GetSysColor(COLOR_BTNFACE)},
    };
    ASSERT_NE(cases[0].expected, GetSysColor(COLOR_BTNFACE)); // the cases tell apart
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("KV_Tessalok.BMP");
        if (c.file) {
            WritePictureFile("KV_Tessalok.BMP", c.bytes);
        }
        PictureProbeDialog dialog;
        ASSERT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(dialog.pixel, c.expected);
    }
}

} // namespace
