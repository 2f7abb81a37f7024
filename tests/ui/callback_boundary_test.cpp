// Handlers that throw, on real windows and in a real modal dialog loop: the exception
// stops at the window or dialog procedure, the message gets the default processing, and
// the program goes on.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "ui/dialog.h"

namespace {

constexpr UINT kThrowBadAlloc = WM_APP + 1;
constexpr UINT kThrowRuntimeError = WM_APP + 2;
constexpr UINT kThrowInt = WM_APP + 3;

// A static text window whose handlers throw; WM_GETTEXT first sends itself a message
// whose handler throws, then leaves its own message to the default.
class ThrowingWindow : public CWnd {
  public:
    int thrown = 0;

  protected:
    const MessageMap* GetMessageMap() const override { return &Map(); }

  private:
    static const MessageMap& Map() {
        static constexpr MessageEntry entries[] = {
            {WM_GETTEXTLENGTH, 0, 0, &Throw<std::bad_alloc>},
            {kThrowBadAlloc, 0, 0, &Throw<std::bad_alloc>},
            {kThrowRuntimeError, 0, 0, &Throw<std::runtime_error>},
            {kThrowInt, 0, 0, &Throw<int>},
            {WM_GETTEXT, 0, 0, &GetTextAfterANestedThrow},
        };
        static const MessageMap map{&CWnd::Map(), entries};
        return map;
    }

    template <class Exception> static LRESULT Throw(CWnd& window, WPARAM, LPARAM) {
        ++static_cast<ThrowingWindow&>(window).thrown;
        if constexpr (std::is_same_v<Exception, int>) {
            throw 7;
        } else if constexpr (std::is_same_v<Exception, std::bad_alloc>) {
            throw std::bad_alloc();
        } else {
            throw Exception("handler failed");
        }
    }

    static LRESULT GetTextAfterANestedThrow(CWnd& window, WPARAM, LPARAM) {
        auto& self = static_cast<ThrowingWindow&>(window);
        self.SendMessage(kThrowBadAlloc);
        return self.Default(); // the default of WM_GETTEXT, not of the inner message
    }
};

class CallbackBoundaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_window = CreateWindowExW(0, L"STATIC", L"hello", WS_POPUP, 0, 0, 100, 40, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(m_object.SubclassWindow(m_window));
    }
    void TearDown() override { DestroyWindow(m_window); }

    HWND m_window = nullptr;
    ThrowingWindow m_object;
};

TEST_F(CallbackBoundaryTest, AThrowingHandlerLeavesItsMessageToTheDefault) {
    // The static control's own answer: the length of its text.
    EXPECT_EQ(SendMessageW(m_window, WM_GETTEXTLENGTH, 0, 0), 5);
    for (const UINT message : {kThrowBadAlloc, kThrowRuntimeError, kThrowInt}) {
        EXPECT_EQ(SendMessageW(m_window, message, 0, 0), 0); // the default of an unknown one
    }
    EXPECT_EQ(m_object.thrown, 4);
    EXPECT_EQ(CWnd::FromHandle(m_window), &m_object); // still bound, still served
}

TEST_F(CallbackBoundaryTest, TheOuterMessageIsKeptAcrossANestedThrow) {
    wchar_t text[16] = {};
    EXPECT_EQ(SendMessageW(m_window, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_EQ(std::wstring(text), L"hello");
    EXPECT_EQ(m_object.thrown, 1);
}

// Dialog template 102 of the program's resources, with an initialisation and a button
// handler that throw.
class ThrowingDialog : public CDialog {
  public:
    ThrowingDialog() : CDialog(102, nullptr) {}
    int clicks = 0;
    bool initialised = false;

  protected:
    BOOL OnInitDialog() override {
        // Queue a click on 1202 and a close, then fail half-way through.
        PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(1202, BN_CLICKED), 0);
        PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        throw std::bad_alloc();
    }
    void OnCancel() override {
        initialised = IsBound();
        CDialog::OnCancel();
    }
    const MessageMap* GetMessageMap() const override { return &Map(); }

  private:
    static const MessageMap& Map() {
        static constexpr MessageEntry entries[] = {
            OnCommand<1202, BN_CLICKED, &ThrowingDialog::OnClick>(),
        };
        static const MessageMap map{&CDialog::Map(), entries};
        return map;
    }
    void OnClick() {
        ++clicks;
        throw std::runtime_error("click failed");
    }
};

TEST(DialogCallbackBoundaryTest, AThrowingInitialisationAndClickLeaveTheModalLoopRunning) {
    ThrowingDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.clicks, 1);
    EXPECT_TRUE(dialog.initialised); // the close went through the handler tables
}

} // namespace
