// A whole session of the shipped window program on a drive that is already attached and
// reachable at E:, driven from outside as a user works: start, Install, Erase All, Version,
// a language change, and the plug pulled while idle. The steps are tests run in their order
// on one running program. Each step leaves a screenshot and prints the commands the drive
// counted for it ("session-counts STEP: ..."); the drive is scripted through its control
// port. Set by the environment (paths in Unix form):
//   TESSALOK_SESSION_PROGRAM   KV_Tessalok.exe to run
//   TESSALOK_SESSION_CONTROL   the drive's control address, host:port
//   TESSALOK_SESSION_LABEL     the screenshots' name prefix (default "session")
//   TESSALOK_E2E_ARTIFACT_DIR  where the screenshots go
//   TESSALOK_E2E_SLOWDOWN      how much slower than usual the machine runs
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/main_dialog.h"
#include "app/vdrive_address.h"
#include "device/vdrive_transport.h"
#include "i18n/message_table.h"
#include "window_driver.h"
#include "window_texts.h"

namespace {

using namespace main_dialog_ids;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kGerman = 3;

std::string Setting(const char* name, const char* fallback = "") {
    const char* given = std::getenv(name);
    return given != nullptr && *given != '\0' ? given : fallback;
}

// The running program and the drive, shared by the steps in their order.
class WindowSession : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_label = Setting("TESSALOK_SESSION_LABEL", "session");
        s_drive = ParseVirtualDriveAddress(Setting("TESSALOK_SESSION_CONTROL"), {"127.0.0.1", 0});
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        s_directory = std::filesystem::path(temp) /
                      ("tessalok-" + s_label + "-" + std::to_string(::GetCurrentProcessId()));
        std::filesystem::remove_all(s_directory);
        std::filesystem::create_directories(s_directory);
    }

    static void TearDownTestSuite() {
        if (s_program.Id() != 0) {
            ::PostMessageW(s_window, WM_CLOSE, 0, 0);
            if (!s_program.WaitForExit(seconds(10))) {
                std::printf("session: the program did not end on WM_CLOSE within 10 s\n");
            }
        }
        s_program.Terminate();
    }

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_step = info->name();
        if (m_step != "StartsAndFindsTheDriveAtE" && s_window == nullptr) {
            GTEST_SKIP() << "no window: the start failed";
        }
        Control("counts reset");
    }

    // Every step ends with the commands the drive counted for it.
    void TearDown() override {
        std::printf("session-counts %s: %s\n", m_step.c_str(), Control("counts").c_str());
        std::fflush(stdout);
    }

    static std::string Control(const std::string& text) {
        VirtualDriveTransport client(s_drive.host, s_drive.port);
        std::string reply;
        EXPECT_TRUE(client.Control(text, reply)) << text;
        return reply;
    }

    static std::wstring Status() { return ItemText(s_window, kStatusLine); }

    // Polls the status line until `done` holds, calling `seen` with each text read.
    template <typename Seen>
    static bool WatchStatus(const std::function<bool()>& done, Seen seen,
                            milliseconds timeout = seconds(60)) {
        return WaitUntil(
            [&] {
                seen(Status());
                return done();
            },
            timeout);
    }

    // A box whose text was read. On a starved machine a box can be found while its program
    // is too busy to answer the read in time: that empty text is no verdict yet.
    static bool HasText(const MessageBoxView& box) {
        return box.window != nullptr && !box.text.empty();
    }

    static MessageBoxView WaitForMessageBox(milliseconds timeout = seconds(60)) {
        MessageBoxView box;
        WaitUntil(
            [&] {
                box = FindMessageBox(s_program.Id(), s_window);
                return HasText(box);
            },
            timeout);
        return box;
    }

    // The program's windows once painted, as NUMBER_NAME under the label. A program that
    // has painted and then sleeps (`asked` false) is not asked to paint: it could not answer.
    void Screenshot(const std::string& name, bool asked = true) {
        const RECT area = ProcessArea(s_program.Id());
        EXPECT_TRUE(asked ? PaintAndSettle(s_program.Id(), area) : Settle(area))
            << name << ": still changing";
        const std::filesystem::path directory(WindowsPath(Setting("TESSALOK_E2E_ARTIFACT_DIR")));
        EXPECT_TRUE(SaveScreenshot((directory / (s_label + "_" + name + ".bmp")).wstring(), area));
    }

    static bool ShowsNoDrive() {
        return !ItemVisible(s_window, kStatusLine) && !ItemVisible(s_window, kDriveLabel) &&
               !ItemEnabled(s_window, kViewStatus) && !ItemEnabled(s_window, kInstall) &&
               !ItemEnabled(s_window, kEraseAll);
    }

    static void ExpectConnected(bool installEnabled, bool eraseEnabled) {
        WaitUntil([&] {
            return ItemEnabled(s_window, kInstall) == installEnabled &&
                   ItemEnabled(s_window, kEraseAll) == eraseEnabled;
        });
        EXPECT_EQ(ItemText(s_window, kDriveLabel), L"E:");
        EXPECT_TRUE(ItemVisible(s_window, kDriveLabel));
        EXPECT_TRUE(ItemEnabled(s_window, kViewStatus));
        EXPECT_EQ(ItemEnabled(s_window, kInstall), installEnabled);
        EXPECT_EQ(ItemEnabled(s_window, kEraseAll), eraseEnabled);
    }

    static inline std::string s_label;
    static inline VirtualDriveAddress s_drive;
    static inline std::filesystem::path s_directory;
    static inline ChildProcess s_program;
    static inline HWND s_window = nullptr;
    std::string m_step;
};

// Started as a user starts it, in a fresh folder, with one finger enrolled: it searches
// the present drives by itself, names the drive it found, then shows E: and the counts.
TEST_F(WindowSession, StartsAndFindsTheDriveAtE) {
    Control("set-slot 0 alice");
    const std::string program = Setting("TESSALOK_SESSION_PROGRAM");
    ASSERT_FALSE(program.empty()) << "TESSALOK_SESSION_PROGRAM is not set";
    ASSERT_TRUE(s_program.Start(L"\"" + WindowsPath(program) + L"\"", s_directory.wstring()));
    std::wstring found;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const HWND window : ProcessWindows(s_program.Id(), L"#32770")) {
                if (WindowText(window).starts_with(L"KV_Tessalok Ver")) {
                    s_window = window;
                }
            }
            return s_window != nullptr;
        },
        seconds(60)))
        << "no main window";
    const bool counted = WatchStatus([] { return Status() == Counts(1, 9); },
                                     [&](const std::wstring& text) {
                                         if (text.starts_with(L"Found [")) {
                                             found = text;
                                         }
                                     });
    EXPECT_TRUE(counted) << "the status line shows: " << Utf8(Status());
    // The name shows only between the probe and the status read: a quick drive hides it.
    std::printf("session-found: %s\n", found.empty() ? "(not seen)" : Utf8(found).c_str());
    if (!found.empty()) {
        EXPECT_TRUE(found.ends_with(L"] Tessalok Disk")) << Utf8(found);
    }
    ExpectConnected(true, true);
    Screenshot("1_start");
}

// The authorizing finger first, then the new one (the drive's automatic user presents
// both): each prompt shows in the status line, then the result box, then the new counts.
TEST_F(WindowSession, InstallsANewFingerprint) {
    bool askedForAuthorized = false;
    bool askedForNew = false;
    PostClick(s_window, kInstall);
    MessageBoxView box;
    WatchStatus(
        [&] {
            box = FindMessageBox(s_program.Id(), s_window);
            return HasText(box);
        },
        [&](const std::wstring& text) {
            askedForAuthorized |= text.find(Text(22)) != std::wstring::npos;
            askedForNew |= text.find(Text(34)) != std::wstring::npos;
        },
        seconds(120));
    ASSERT_NE(box.window, nullptr) << "no result box; the status line shows: " << Utf8(Status());
    EXPECT_TRUE(askedForAuthorized);
    EXPECT_TRUE(askedForNew);
    EXPECT_EQ(box.caption, L"KV_Tessalok");
    EXPECT_EQ(box.text, Text(35));
    EXPECT_EQ(Status(), Text(35));
    Screenshot("2_install_result");
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(WaitUntil([] { return Status() == Counts(2, 8); }, seconds(30))) << Utf8(Status());
    ExpectConnected(true, true);
}

TEST_F(WindowSession, ErasesAllAfterTheConfirmationAndTheAuthorizedFinger) {
    PostClick(s_window, kEraseAll);
    MessageBoxView box = WaitForMessageBox(seconds(30));
    ASSERT_NE(box.window, nullptr) << "no confirmation box";
    EXPECT_EQ(box.caption, Text(20));
    EXPECT_EQ(box.text, Text(21));
    Screenshot("3_erase_confirm");
    AnswerMessageBox(box, IDYES);
    bool askedForAuthorized = false;
    WatchStatus(
        [&] {
            box = FindMessageBox(s_program.Id(), s_window);
            return HasText(box) && box.text != Text(21);
        },
        [&](const std::wstring& text) {
            askedForAuthorized |= text.find(Text(22)) != std::wstring::npos;
        },
        seconds(120));
    ASSERT_NE(box.window, nullptr) << "no result box; the status line shows: " << Utf8(Status());
    EXPECT_TRUE(askedForAuthorized);
    EXPECT_EQ(box.text, Text(24));
    Screenshot("3_erase_result");
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(WaitUntil([] { return Status() == Text(10); }, seconds(30))) << Utf8(Status());
    ExpectConnected(true, false);
}

// The model stands in the status line for two seconds, then the line is back.
TEST_F(WindowSession, ShowsTheModelForTwoSeconds) {
    PostClick(s_window, kVersion);
    std::wstring model;
    ASSERT_TRUE(WaitUntil(
        [&] {
            model = Status();
            return !model.empty() && model != Text(10);
        },
        seconds(30)))
        << "the status line kept: " << Utf8(Status());
    const auto shown = std::chrono::steady_clock::now();
    // It painted the model before its two seconds' sleep, in which it answers nothing.
    Screenshot("4_model", false);
    EXPECT_TRUE(WaitUntil([] { return Status() == Text(10); }, seconds(30))) << Utf8(Status());
    const auto lasted =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - shown);
    std::printf("session-model: \"%s\" for at most %lld ms\n", Utf8(model).c_str(),
                static_cast<long long>(lasted.count()));
    ExpectConnected(true, false);
}

// The language box: the texts change at once and the setting lands in KV_Tessalok.ini in
// the folder the program started from.
TEST_F(WindowSession, ChangesTheLanguageAndKeepsItInTheSettingsFile) {
    SelectComboItem(s_window, kLanguageBox, kGerman);
    ASSERT_TRUE(WaitUntil([] {
        return ItemText(s_window, kViewStatus) == Text(0, kGerman) &&
               ComboSelection(s_window, kLanguageBox) == kGerman;
    }));
    EXPECT_EQ(ItemText(s_window, kInstall), Text(1, kGerman));
    EXPECT_EQ(Status(), Text(10, kGerman));
    std::ifstream file(s_directory / "KV_Tessalok.ini", std::ios::binary);
    const std::string settings{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(settings.find("[Advance]"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Language=3"), std::string::npos) << settings;
    Screenshot("5_language");
}

// The plug pulled while the window waits: it drops to the no-drive state through the
// system's removal broadcast, or else at the rescan that View Status offers; where
// neither happens, the test sends the broadcast the system would send and says so.
TEST_F(WindowSession, DropsToTheNoDriveStateWhenThePlugIsPulled) {
    Control("unplug");
    const char* how = "the system's removal broadcast";
    if (!WaitUntil(ShowsNoDrive, seconds(10))) {
        how = "the rescan of View Status";
        PostClick(s_window, kViewStatus);
        if (!WaitUntil(ShowsNoDrive, seconds(15))) {
            how = "neither (View Status kept the drive): the test's own removal broadcast";
            DEV_BROADCAST_VOLUME volume{};
            volume.dbcv_size = sizeof(volume);
            volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
            volume.dbcv_unitmask = 1u << ('E' - 'A');
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(s_window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG,
                                  static_cast<UINT>(Patience(seconds(10)).count()), &result);
        }
    }
    std::printf("session-removal: %s\n", how);
    EXPECT_TRUE(WaitUntil(ShowsNoDrive, seconds(15)));
    EXPECT_FALSE(ItemVisible(s_window, kVersion));
    Screenshot("6_no_drive");
}

} // namespace
