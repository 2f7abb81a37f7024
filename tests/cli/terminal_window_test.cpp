#include "cli/terminal_window.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/interrupt.h"
#include "fingerprint/fingerprint_operations.h"

namespace {

struct Terminal {
    explicit Terminal(bool inPlace, std::string input = {})
        : in(std::move(input)), window({out, err, in}, inPlace) {}
    // The progress loops' pattern: text, then colour and background, both with a redraw.
    void Show(std::u16string_view text) {
        window.SetStatusText(text);
        window.SetStatusForeColor(colours::kWhite, true);
        window.SetStatusBackColor(colours::kPurple, true);
    }
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    TerminalWindow window;
};

TEST(TerminalWindow, ProgressIsOneLinePerChangeOffATerminal) {
    Terminal terminal(false);
    terminal.window.SetShowProgress(true);
    terminal.Show(u"0-wait(0)");
    terminal.Show(u"0-wait(0)"); // a repaint without a change prints nothing
    terminal.Show(u"1-wait(0)");
    terminal.window.SetStatusText(u"done");
    terminal.window.SetStatusForeColor(colours::kWhite, false); // no redraw: not shown yet
    EXPECT_EQ(terminal.out.str(), "0-wait(0)\n1-wait(0)\n");
    terminal.window.SetStatusBackColor(colours::kGreen, true);
    terminal.window.ShowResultBox(u"done"); // already on screen: not repeated
    EXPECT_EQ(terminal.out.str(), "0-wait(0)\n1-wait(0)\ndone\n");
}

TEST(TerminalWindow, ProgressRewritesOneLineOnATerminal) {
    Terminal terminal(true);
    terminal.window.SetShowProgress(true);
    terminal.Show(u"0-wait(0)");
    terminal.Show(u"1-wait(0)");
    terminal.window.ShowResultBox(u"### failed ###");
    EXPECT_EQ(terminal.out.str(), "\r\x1b[K0-wait(0)\r\x1b[K1-wait(0)\n### failed ###\n");
    ASSERT_TRUE(terminal.window.ResultText());
    EXPECT_EQ(*terminal.window.ResultText(), u"### failed ###");
}

TEST(TerminalWindow, QuietUntilProgressIsAskedFor) {
    Terminal terminal(false);
    terminal.Show(u"Found [JMTMESV1] Tessalok Disk");
    terminal.window.SetStatusLineSource([] { return std::u16string(u"counts"); });
    terminal.window.RefreshTexts();
    EXPECT_EQ(terminal.out.str(), "");
    EXPECT_EQ(terminal.window.GetStatusText(200), u"counts");
    EXPECT_EQ(terminal.window.GetStatusForeColor(), colours::kBlack);
    EXPECT_EQ(terminal.window.GetStatusBackColor(), colours::kLightYellow);
}

TEST(TerminalWindow, StatusTextReadsBackThroughTheBufferLength) {
    Terminal terminal(false);
    terminal.window.SetStatusText(u"abcdef");
    EXPECT_EQ(terminal.window.GetStatusText(4), u"abc");
    EXPECT_EQ(terminal.window.GetStatusText(1), u"");
    EXPECT_EQ(terminal.window.GetStatusText(0), u"");
    EXPECT_EQ(terminal.window.GetStatusText(100), u"abcdef");
}

TEST(TerminalWindow, ModelTextIsWhatWasPaintedWhiteOnBlack) {
    Terminal terminal(false);
    terminal.window.SetStatusText(u"KV-FP2000");
    terminal.window.SetStatusForeColor(colours::kWhite, false);
    terminal.window.SetStatusBackColor(colours::kBlack, true);
    terminal.window.SetStatusText(u"restored");
    terminal.window.SetStatusForeColor(colours::kBlack, false);
    terminal.window.SetStatusBackColor(colours::kLightYellow, true);
    ASSERT_TRUE(terminal.window.ModelText());
    EXPECT_EQ(*terminal.window.ModelText(), u"KV-FP2000");
}

TEST(TerminalWindow, ConfirmationAnswers) {
    const struct {
        const char* input;
        bool yes;
    } cases[] = {{"y\n", true}, {"Y\n", true}, {"yes\n", true},  {"n\n", false},
                 {"\n", false}, {"", false},   {"yess\n", false}};
    for (const auto& entry : cases) {
        Terminal terminal(false, entry.input);
        EXPECT_EQ(terminal.window.AskYesNo(u"Delete all?", u"Delete Process"), entry.yes)
            << entry.input;
        EXPECT_EQ(terminal.err.str().rfind("Delete Process: Delete all? [y/N] ", 0), 0u);
    }
    Terminal assumed(false, "n\n");
    assumed.window.SetAssumeYes(true);
    EXPECT_TRUE(assumed.window.AskYesNo(u"Delete all?", u"Delete Process"));
    EXPECT_EQ(assumed.err.str(), ""); // nothing asked
}

TEST(TerminalWindow, CtrlCClearsTheBusyFlagAtTheNextPump) {
    Terminal terminal(false);
    SetInterruptRequested(false);
    g_busy = 1;
    terminal.window.PumpMessages();
    EXPECT_EQ(g_busy, 1);
    SetInterruptRequested(true);
    terminal.window.PumpMessages();
    EXPECT_EQ(g_busy, 0);
    SetInterruptRequested(false);
}

} // namespace
