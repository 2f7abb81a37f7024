// The demo program on the virtual drive, driven from outside: start-up states, the four
// commands with their message boxes, the language box and its settings file, a drive
// pulled during an erase and the window closed during an install.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/main_dialog.h"
#include "app/start_settings.h"
#include "device/vdrive_transport.h"
#include "i18n/message_table.h"
#include "tests/ui/bitmap_file.h"
#include "ui/font_height.h"
#include "window_driver.h"
#include "window_texts.h"

namespace {

using namespace main_dialog_ids;

std::wstring English(int number) {
    return Text(number, 0);
}

// The programs under test: the build's own, or the ones that TESSALOK_E2E_DEMO_EXE and
// TESSALOK_E2E_VDRIVE_EXE name (Unix paths), such as those unpacked from a release zip.
std::wstring ProgramPath(const char* variable, const char* built) {
    const char* given = std::getenv(variable);
    return WindowsPath(given != nullptr && *given != '\0' ? given : built);
}

std::filesystem::path ArtifactDirectory() {
    const char* given = std::getenv("TESSALOK_E2E_ARTIFACT_DIR");
    return WindowsPath(given != nullptr && *given != '\0' ? given : TESSALOK_E2E_ARTIFACT_DIR);
}

class WindowEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : m_name) {
            c = (c == '/' || c == '.') ? '_' : c;
        }
        m_directory = std::filesystem::path(WindowsPath(TESSALOK_E2E_WORK_DIR)) / m_name;
        std::filesystem::remove_all(m_directory);
        std::filesystem::create_directories(m_directory);
    }

    void TearDown() override {
        m_program.Terminate();
        if (m_serverPort != 0) {
            Control("shutdown");
        }
        m_server.Terminate();
    }

    // Starts the virtual drive with `options` (E: is the fingerprint drive).
    void StartDrive(const std::wstring& options) {
        const std::filesystem::path portFile = m_directory / "port";
        const std::wstring line =
            L"\"" + ProgramPath("TESSALOK_E2E_VDRIVE_EXE", TESSALOK_VDRIVE_EXE) +
            L"\" --port 0 --latency 20 --port-file \"" + portFile.wstring() + L"\" " + options;
        ASSERT_TRUE(m_server.Start(line, m_directory.wstring()));
        ASSERT_TRUE(WaitUntil([&] {
            std::ifstream in(portFile);
            return static_cast<bool>(in >> m_serverPort) && m_serverPort != 0;
        }));
    }

    std::string Control(const std::string& text) {
        VirtualDriveTransport client("127.0.0.1", static_cast<std::uint16_t>(m_serverPort));
        std::string reply;
        EXPECT_TRUE(client.Control(text, reply)) << text;
        return reply;
    }

    // Starts the demo program in the test's own directory and waits for its window.
    void StartProgram() {
        const std::wstring address = L"127.0.0.1:" + std::to_wstring(m_serverPort);
        ::SetEnvironmentVariableW(L"TESSALOK_VDRIVE", address.c_str());
        ASSERT_TRUE(
            m_program.Start(L"\"" + ProgramPath("TESSALOK_E2E_DEMO_EXE", TESSALOK_DEMO_EXE) + L"\"",
                            m_directory.wstring()));
        ASSERT_TRUE(WaitUntil([&] {
            for (const HWND window : ProcessWindows(m_program.Id(), L"#32770")) {
                if (WindowText(window).starts_with(L"KV_Tessalok Ver")) {
                    m_window = window;
                    return true;
                }
            }
            return false;
        }));
        // The start-up search has finished once the language box holds the names.
        ASSERT_TRUE(WaitUntil([&] { return ComboItems(m_window, kLanguageBox).size() == 13; }));
    }

    void RestartProgram() {
        ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(m_program.WaitForExit(std::chrono::seconds(10)));
        StartProgram();
    }

    std::wstring Status() const { return ItemText(m_window, kStatusLine); }

    bool StatusBecomes(const std::wstring& text) {
        return WaitUntil([&] { return Status() == text; });
    }

    MessageBoxView WaitForMessageBox() {
        MessageBoxView box;
        WaitUntil([&] {
            box = FindMessageBox(m_program.Id(), m_window);
            return box.window != nullptr;
        });
        return box;
    }

    // The program's windows (the main window and any message box), once painted.
    void Screenshot(const std::string& label) {
        const RECT area = ProcessArea(m_program.Id());
        EXPECT_TRUE(PaintAndSettle(m_program.Id(), area)) << label << ": still changing";
        EXPECT_TRUE(SaveScreenshot((ArtifactDirectory() / (label + ".bmp")).wstring(), area));
    }

    void SendVolumeRemoval(char letter) {
        DEV_BROADCAST_VOLUME volume{};
        volume.dbcv_size = sizeof(volume);
        volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume.dbcv_unitmask = 1u << (letter - 'A');
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(m_window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                              reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 10000, &result);
    }

    // The buttons follow the status line later in the same text refresh: wait for them.
    void ExpectConnected(bool installEnabled, bool eraseEnabled) {
        WaitUntil(
            [&] {
                return ItemVisible(m_window, kStatusLine) &&
                       ItemEnabled(m_window, kInstall) == installEnabled &&
                       ItemEnabled(m_window, kEraseAll) == eraseEnabled;
            },
            std::chrono::seconds(5));
        EXPECT_TRUE(ItemVisible(m_window, kDriveLabel));
        EXPECT_EQ(ItemText(m_window, kDriveLabel), L"E:");
        EXPECT_TRUE(ItemVisible(m_window, kStatusLine));
        EXPECT_TRUE(ItemEnabled(m_window, kViewStatus));
        EXPECT_EQ(ItemEnabled(m_window, kInstall), installEnabled);
        EXPECT_EQ(ItemEnabled(m_window, kEraseAll), eraseEnabled);
        EXPECT_TRUE(ItemVisible(m_window, kVersion));
    }

    std::string m_name;
    std::filesystem::path m_directory;
    ChildProcess m_server;
    ChildProcess m_program;
    int m_serverPort = 0;
    HWND m_window = nullptr;
};

TEST_F(WindowEndToEnd, StartsWithoutADriveInTheNoDriveState) {
    StartDrive(L"--stick F");
    Control("E: unplug");
    StartProgram();

    RECT client{};
    ::GetClientRect(m_window, &client);
    EXPECT_EQ(WindowText(m_window), L"KV_Tessalok Ver 1.006  ( " + std::to_wstring(client.right) +
                                        L" x " + std::to_wstring(client.bottom) + L" )");
    EXPECT_FALSE(ItemVisible(m_window, kDriveLabel));
    EXPECT_FALSE(ItemVisible(m_window, kStatusLine));
    EXPECT_FALSE(ItemEnabled(m_window, kViewStatus));
    EXPECT_FALSE(ItemEnabled(m_window, kInstall));
    EXPECT_FALSE(ItemEnabled(m_window, kEraseAll));
    EXPECT_FALSE(ItemVisible(m_window, kVersion));
    EXPECT_EQ(ItemText(m_window, kViewStatus), English(0));
    EXPECT_EQ(ItemText(m_window, kInstall), English(1));
    EXPECT_EQ(ItemText(m_window, kEraseAll), English(2));
    EXPECT_EQ(ItemText(m_window, kVersion), English(3));
    const std::vector<std::wstring> names = ComboItems(m_window, kLanguageBox);
    ASSERT_EQ(names.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(names[static_cast<std::size_t>(i)], English(kLanguageNameBase + i));
    }
    EXPECT_EQ(ComboSelection(m_window, kLanguageBox), 0);
}

// KV_Tessalok.BMP in the directory the program starts from covers the window instead of
// the built-in picture; one that does not load leaves the plain dialog colour.
TEST_F(WindowEndToEnd, BackgroundPictureComesFromTheStartDirectory) {
    constexpr COLORREF kFileColour = 0x2080C0;
    struct Case {
        const char* name;
        std::string bytes;
        COLORREF expected;
    };
    const Case cases[] = {
        {"a bitmap file", BitmapFile(16, 16, kFileColour), kFileColour},
        {"a file that does not load", "not a bitmap", ::GetSysColor(COLOR_BTNFACE)},
    };
    StartDrive(L"");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(m_directory / "KV_Tessalok.BMP", std::ios::binary) << c.bytes;
        StartProgram();
        ASSERT_TRUE(StatusBecomes(English(10)));
        POINT corner{2, 2};
        ::ClientToScreen(m_window, &corner);
        COLORREF seen = CLR_INVALID;
        const bool matched = WaitUntil(
            [&] {
                const HDC screen = ::GetDC(nullptr);
                seen = ::GetPixel(screen, corner.x, corner.y);
                ::ReleaseDC(nullptr, screen);
                return seen == c.expected;
            },
            std::chrono::seconds(5));
        EXPECT_TRUE(matched) << std::hex << seen;
        ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(m_program.WaitForExit(std::chrono::seconds(10)));
    }
}

struct CountCase {
    int installed;
    bool installEnabled;
    bool eraseEnabled;
};

class WindowCounts : public WindowEndToEnd, public ::testing::WithParamInterface<CountCase> {};

TEST_P(WindowCounts, StartsWithADriveAndShowsItsCounts) {
    const CountCase& c = GetParam();
    std::wstring slots;
    for (int slot = 0; slot < c.installed; ++slot) {
        slots +=
            L" --run \"set-slot " + std::to_wstring(slot) + L" f" + std::to_wstring(slot) + L"\"";
    }
    StartDrive(slots);
    StartProgram();
    EXPECT_TRUE(
        StatusBecomes(c.installed == 0 ? English(10) : Counts(c.installed, 10 - c.installed)));
    ExpectConnected(c.installEnabled, c.eraseEnabled);
    if (c.installed == 0) {
        Screenshot("english_start");
    }
}

INSTANTIATE_TEST_SUITE_P(CountCases, WindowCounts,
                         ::testing::Values(CountCase{0, true, false}, CountCase{3, true, true},
                                           CountCase{10, false, true}));

TEST_F(WindowEndToEnd, ViewStatusReadsTheSlotsAgain) {
    StartDrive(L"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(English(10)));
    Control("set-slot 4 alice");
    PostClick(m_window, kViewStatus);
    EXPECT_TRUE(StatusBecomes(Counts(1, 9)));
    ExpectConnected(true, true);
}

TEST_F(WindowEndToEnd, InstallWithoutAuthorizationEnrolsAndReportsSuccess) {
    StartDrive(L"");
    StartProgram();
    Control("finger bob 3");
    PostClick(m_window, kInstall);
    const MessageBoxView box = WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text, English(35));
    EXPECT_EQ(box.caption, L"KV_Tessalok_Demo");
    EXPECT_EQ(Status(), English(35));
    Screenshot("install_success");
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(StatusBecomes(Counts(1, 9)));
    ExpectConnected(true, true);
}

struct InstallCase {
    const char* name;
    const char* script; // control texts given before the click, ';' between them
    int resultMessage;
    int installedAfter;
};

class WindowInstall : public WindowEndToEnd, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(WindowInstall, InstallWithAnInstalledFingerShowsItsResult) {
    const InstallCase& c = GetParam();
    StartDrive(L"--run \"set-slot 0 alice\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(Counts(1, 9)));
    std::string script = c.script;
    for (std::size_t start = 0; start < script.size();) {
        const std::size_t end = std::min(script.find(';', start), script.size());
        if (end > start) {
            Control(script.substr(start, end - start));
        }
        start = end + 1;
    }
    PostClick(m_window, kInstall);
    const MessageBoxView box = WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text, English(c.resultMessage));
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(StatusBecomes(Counts(c.installedAfter, 10 - c.installedAfter)));
}

INSTANTIATE_TEST_SUITE_P(
    InstallCases, WindowInstall,
    ::testing::Values(InstallCase{"Authorized", "finger alice;finger bob 3", 35, 2},
                      InstallCase{"Refused", "refuse", 33, 1}, InstallCase{"TimedOut", "", 32, 1}),
    [](const ::testing::TestParamInfo<InstallCase>& param) { return param.param.name; });

TEST_F(WindowEndToEnd, EraseAllAnsweredNoChangesNothing) {
    StartDrive(L"--run \"set-slot 0 alice\" --run \"set-slot 1 carol\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(Counts(2, 8)));
    PostClick(m_window, kEraseAll);
    const MessageBoxView box = WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.caption, English(20));
    EXPECT_EQ(box.text, English(21));
    AnswerMessageBox(box, IDNO);
    EXPECT_TRUE(
        WaitUntil([&] { return FindMessageBox(m_program.Id(), m_window).window == nullptr; }));
    EXPECT_EQ(Status(), Counts(2, 8));
    EXPECT_NE(Control("slots").find("alice"), std::string::npos);
}

TEST_F(WindowEndToEnd, EraseAllAnsweredYesErasesAfterTheAuthorizedFinger) {
    StartDrive(L"--run \"set-slot 0 alice\" --run \"set-slot 1 carol\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(Counts(2, 8)));
    Control("finger alice");
    PostClick(m_window, kEraseAll);
    MessageBoxView box = WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] {
        box = FindMessageBox(m_program.Id(), m_window);
        return box.window != nullptr && box.text == English(24);
    }));
    Screenshot("erase_success");
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(StatusBecomes(English(10)));
    ExpectConnected(true, false);
}

TEST_F(WindowEndToEnd, VersionShowsTheModelAndThenRestoresTheStatusLine) {
    StartDrive(L"--model \"TESSALOK-MODEL-00020\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(English(10)));
    PostClick(m_window, kVersion);
    EXPECT_TRUE(
        WaitUntil([&] { return Status().find(L"TESSALOK-MODEL-00020") != std::wstring::npos; },
                  std::chrono::seconds(5)));
    EXPECT_TRUE(StatusBecomes(English(10)));
}

TEST_F(WindowEndToEnd, LanguageChangeAppliesAtOnceAndSurvivesARestart) {
    StartDrive(L"--run \"set-slot 0 alice\" --run \"set-slot 1 carol\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(Counts(2, 8)));
    SelectComboItem(m_window, kLanguageBox, 3);
    // The box selects the language again only at the end of the text refresh.
    ASSERT_TRUE(WaitUntil([&] {
        return ItemText(m_window, kViewStatus) == L"Ansicht" &&
               ComboSelection(m_window, kLanguageBox) == 3;
    }));
    EXPECT_EQ(ItemText(m_window, kInstall), L"Installieren");
    EXPECT_EQ(ItemText(m_window, kEraseAll), L"Alle l\u00f6schen");
    EXPECT_EQ(ItemText(m_window, kVersion), L"Version");
    EXPECT_EQ(Status(), L"Installierten Fingerabdruck:2, Fair-Installationen:8");
    EXPECT_EQ(ComboSelection(m_window, kLanguageBox), 3);
    const std::wstring settings = (m_directory / "KV_Tessalok.ini").wstring();
    EXPECT_EQ(::GetPrivateProfileIntW(L"Advance", L"Language", -7, settings.c_str()), 3);

    RestartProgram();
    EXPECT_EQ(ComboSelection(m_window, kLanguageBox), 3);
    EXPECT_EQ(ItemText(m_window, kViewStatus), L"Ansicht");
}

// The screenshots' names, in the language box's order.
constexpr const char* kLanguageLabels[kLanguageCount] = {"00_english",
                                                         "01_simplified_chinese",
                                                         "02_traditional_chinese",
                                                         "03_german",
                                                         "04_french",
                                                         "05_japanese",
                                                         "06_korean",
                                                         "07_russian",
                                                         "08_portuguese",
                                                         "09_indonesian",
                                                         "10_arabic",
                                                         "11_vietnamese",
                                                         "12_thai"};

// The pixels `text` needs in the dialog's font ("Microsoft Sans Serif", 12 points), bold
// or not: the buttons draw in it, and the status line in its bold form (the status line's
// bold setting starts from the control's font, the dialog's).
int TextWidth(const std::wstring& text, bool bold) {
    const HDC screen = ::GetDC(nullptr);
    LOGFONTW description{};
    description.lfHeight = PointsToFontHeight(12, ::GetDeviceCaps(screen, LOGPIXELSY));
    description.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    description.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(description.lfFaceName, L"Microsoft Sans Serif", LF_FACESIZE - 1);
    const HFONT font = ::CreateFontIndirectW(&description);
    const HGDIOBJ previous = ::SelectObject(screen, font);
    SIZE size{};
    ::GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(screen, previous);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
    return size.cx;
}

// Picks every language in the language box, as a user does, on a drive with three
// fingerprints: captions, status line and settings file follow, and each language leaves a
// screenshot and a line of language_fit.txt (how wide each text is against its control).
TEST_F(WindowEndToEnd, EveryLanguageShowsItsTextsOnAConnectedDrive) {
    StartDrive(L"--run \"set-slot 0 alice\" --run \"set-slot 1 carol\" --run \"set-slot 2 dave\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(Counts(3, 7)));
    const std::wstring settings = (m_directory / "KV_Tessalok.ini").wstring();
    std::ofstream fit(ArtifactDirectory() / "language_fit.txt");
    fit << "# language: control \"text\" width/room in pixels; OVER where the text is wider\n";
    for (int language = 0; language < kLanguageCount; ++language) {
        SCOPED_TRACE(kLanguageLabels[language]);
        SelectComboItem(m_window, kLanguageBox, language);
        // The box selects the language again only at the end of the text refresh.
        ASSERT_TRUE(WaitUntil([&] {
            return Status() == Counts(3, 7, language) &&
                   ComboSelection(m_window, kLanguageBox) == language;
        }));
        const int captionIds[] = {kViewStatus, kInstall, kEraseAll, kVersion};
        for (int message = 0; message < 4; ++message) {
            EXPECT_EQ(ItemText(m_window, captionIds[message]), Text(message, language));
        }
        EXPECT_EQ(ComboItems(m_window, kLanguageBox).size(), 13u);
        EXPECT_EQ(::GetPrivateProfileIntW(L"Advance", L"Language", -7, settings.c_str()), language);
        ExpectConnected(true, true);
        Screenshot(std::string("language_") + kLanguageLabels[language]);

        struct Shown {
            const char* control;
            int id;
            std::wstring text;
            bool bold;
            int edges; // pixels of the control's inside that text cannot use
        };
        const Shown shown[] = {
            {"View Status", kViewStatus, Text(0, language), false, 4},
            {"Install", kInstall, Text(1, language), false, 4},
            {"Erase All", kEraseAll, Text(2, language), false, 4},
            {"Version", kVersion, Text(3, language), false, 4},
            {"status, nothing installed", kStatusLine, Text(10, language), true, 0},
            {"status, counts", kStatusLine, Counts(3, 7, language), true, 0},
        };
        fit << kLanguageLabels[language] << ":\n";
        for (const Shown& item : shown) {
            RECT inside{};
            ::GetClientRect(::GetDlgItem(m_window, item.id), &inside);
            const int room = inside.right - inside.left - item.edges;
            const int width = TextWidth(item.text, item.bold);
            fit << "  " << item.control << " \"" << Utf8(item.text) << "\" " << width << "/" << room
                << (width > room ? " OVER" : "") << "\n";
        }
    }
}

TEST_F(WindowEndToEnd, AStoredLanguageOutOfRangeShowsEnglish) {
    const std::wstring settings = (m_directory / "KV_Tessalok.ini").wstring();
    ::WritePrivateProfileStringW(L"Advance", L"Language", L"99", settings.c_str());
    StartDrive(L"");
    StartProgram();
    EXPECT_TRUE(StatusBecomes(English(10)));
    EXPECT_EQ(ItemText(m_window, kViewStatus), English(0));
    EXPECT_EQ(ComboSelection(m_window, kLanguageBox), CB_ERR);
}

TEST_F(WindowEndToEnd, PullingTheDriveDuringAnEraseStopsItInTheNoDriveState) {
    StartDrive(L"--run \"set-slot 0 alice\"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(Counts(1, 9)));
    Control("touch 1000");
    PostClick(m_window, kEraseAll);
    const MessageBoxView box = WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return Status().find(English(22)) != std::wstring::npos; }));
    Control("unplug");
    SendVolumeRemoval('E');
    EXPECT_TRUE(WaitUntil([&] { return !ItemVisible(m_window, kStatusLine); }));
    EXPECT_FALSE(ItemVisible(m_window, kDriveLabel));
    EXPECT_FALSE(ItemEnabled(m_window, kViewStatus));
    EXPECT_FALSE(ItemVisible(m_window, kVersion));
    // The erase ends at its next poll without a result box.
    ::Sleep(1500);
    const MessageBoxView result = FindMessageBox(m_program.Id(), m_window);
    EXPECT_EQ(result.window, nullptr) << "a box says: " << Utf8(result.text);
}

TEST_F(WindowEndToEnd, ClosingTheWindowDuringAnInstallEndsTheProgram) {
    StartDrive(L"");
    StartProgram();
    ASSERT_TRUE(StatusBecomes(English(10)));
    Control("touch 1000");
    PostClick(m_window, kInstall);
    ASSERT_TRUE(WaitUntil([&] { return Status().find(English(34)) != std::wstring::npos; }));
    ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_program.WaitForExit(std::chrono::seconds(10)));
}

} // namespace
