#include "cli/terminal_window.h"

#include <istream>
#include <ostream>

#include "cli/drive_text.h"
#include "cli/interrupt.h"
#include "fingerprint/fingerprint_operations.h"

TerminalWindow::TerminalWindow(Streams streams, bool inPlace)
    : m_streams(streams), m_inPlace(inPlace) {}

void TerminalWindow::SetStatusText(std::u16string_view text) {
    m_statusText = text;
}

std::u16string TerminalWindow::GetStatusText(std::size_t bufferUnits) const {
    if (bufferUnits == 0)
        return {};
    return m_statusText.substr(0, bufferUnits - 1);
}

void TerminalWindow::SetStatusForeColor(Colour colour, bool redraw) {
    m_foreColour = colour;
    if (redraw)
        Paint();
}

void TerminalWindow::SetStatusBackColor(Colour colour, bool redraw) {
    m_backColour = colour;
    if (redraw)
        Paint();
}

void TerminalWindow::RefreshTexts() {
    if (m_statusLineSource)
        m_statusText = m_statusLineSource();
    m_foreColour = colours::kBlack;
    m_backColour = colours::kLightYellow;
    m_statusVisible = true;
    m_refreshedAfterResult = m_resultText.has_value();
    Paint();
}

void TerminalWindow::Paint() {
    if (m_foreColour == colours::kWhite && m_backColour == colours::kBlack) {
        m_modelText = m_statusText;
    }
    // The progress loops repaint twice per cycle (text colour, then background); the
    // terminal shows only what changed.
    if (!m_showProgress || m_statusText == m_lastPainted)
        return;
    m_lastPainted = m_statusText;
    if (m_inPlace) {
        m_streams.out << "\r\x1b[K" << TerminalText(m_statusText) << std::flush;
        m_lineOpen = true;
    } else {
        m_streams.out << TerminalText(m_statusText) << '\n' << std::flush;
    }
}

void TerminalWindow::FinishLine() {
    if (m_lineOpen) {
        m_streams.out << '\n' << std::flush;
        m_lineOpen = false;
    }
}

void TerminalWindow::PumpMessages() {
    // Ctrl-C is the terminal's way of closing the window.
    if (InterruptRequested())
        g_busy = 0;
}

void TerminalWindow::ShowResultBox(std::u16string_view text) {
    m_resultText = std::u16string(text);
    m_resultFollowedInterrupt = InterruptRequested();
    m_refreshedAfterResult = false;
    if (m_showProgress && m_lastPainted == text) {
        // The status line already shows the result; on a terminal it ends here.
        FinishLine();
        return;
    }
    FinishLine();
    m_streams.out << TerminalText(text) << '\n' << std::flush;
}

bool TerminalWindow::AskYesNo(std::u16string_view text, std::u16string_view caption) {
    if (m_assumeYes)
        return true;
    FinishLine();
    m_streams.err << TerminalText(caption) << ": " << TerminalText(text) << " [y/N] " << std::flush;
    std::string answer;
    const InterruptEndsProgram atPrompt;
    if (!std::getline(m_streams.in, answer)) {
        m_streams.err << '\n';
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}
