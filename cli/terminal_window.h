// The window seam on a terminal. The status line is printed whenever the operations
// repaint it: on a terminal as one line that is rewritten in place, otherwise as one line
// per change. Message boxes become printed lines and a y/N question on stdin. Closing
// the window becomes Ctrl-C: the next PumpMessages clears g_busy, as the window's close
// handler does.
#pragma once

#include <cstdio>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "fingerprint/fingerprint_window.h"

class TerminalWindow final : public IFingerprintWindow {
  public:
    struct Streams {
        std::ostream& out;
        std::ostream& err;
        std::istream& in;
    };
    // `inPlace`: `out` is a terminal, so progress rewrites one line.
    TerminalWindow(Streams streams, bool inPlace);

    // What RefreshTexts shows: the status line for the window's current state (usually
    // CFingerprintOperations::ComposeStatusLine).
    void SetStatusLineSource(std::function<std::u16string()> source) {
        m_statusLineSource = std::move(source);
    }
    // Print each repaint of the status line (install and erase); off, nothing is printed
    // until the command reports.
    void SetShowProgress(bool show) { m_showProgress = show; }
    // Answer the confirmation with Yes without asking (erase --yes).
    void SetAssumeYes(bool yes) { m_assumeYes = yes; }
    // The last text shown in a result box, if any.
    const std::optional<std::u16string>& ResultText() const { return m_resultText; }
    // Ctrl-C had been pressed when that result box came.
    bool ResultFollowedInterrupt() const { return m_resultFollowedInterrupt; }
    // The texts were refreshed (by a status read) after that result box.
    bool RefreshedAfterResult() const { return m_refreshedAfterResult; }
    // The text last painted white on black (the model text of ShowModel).
    const std::optional<std::u16string>& ModelText() const { return m_modelText; }
    // Ends a line left open by in-place progress.
    void FinishLine();

    void SetStatusText(std::u16string_view text) override;
    std::u16string GetStatusText(std::size_t bufferUnits) const override;
    void SetStatusForeColor(Colour colour, bool redraw) override;
    void SetStatusBackColor(Colour colour, bool redraw) override;
    Colour GetStatusForeColor() const override { return m_foreColour; }
    Colour GetStatusBackColor() const override { return m_backColour; }
    void HideStatusAndDriveLabel() override { m_statusVisible = false; }
    void DisableCommands() override {}
    void RefreshTexts() override;
    void PumpMessages() override;
    void ShowResultBox(std::u16string_view text) override;
    bool AskYesNo(std::u16string_view text, std::u16string_view caption) override;

  private:
    void Paint();

    Streams m_streams;
    bool m_inPlace;
    bool m_showProgress = false;
    bool m_assumeYes = false;
    bool m_lineOpen = false;
    bool m_statusVisible = false;
    bool m_resultFollowedInterrupt = false;
    bool m_refreshedAfterResult = false;
    std::u16string m_statusText;
    std::u16string m_lastPainted;
    Colour m_foreColour = 0;
    Colour m_backColour = 0;
    std::function<std::u16string()> m_statusLineSource;
    std::optional<std::u16string> m_resultText;
    std::optional<std::u16string> m_modelText;
};
