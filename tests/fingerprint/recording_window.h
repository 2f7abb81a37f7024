// A window that keeps every call of the operations in order, as one line each, and can run
// queued callbacks inside PumpMessages (a click, a close or a device change that arrives
// while an operation waits).
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/utf_convert.h"
#include "fingerprint/fingerprint_operations.h"

inline std::string ColourName(Colour colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(colour));
    return text;
}

class RecordingWindow final : public IFingerprintWindow {
  public:
    // The operations whose state RefreshTexts shows.
    void Attach(CFingerprintOperations& operations) { m_operations = &operations; }

    // Lines: "text <t>", "fore <c>" / "fore! <c>" (! = with redraw), "back <c>" / "back! <c>",
    // "hide", "disable", "refresh <status line> V<0|1> I<0|1> E<0|1>" or "refresh no drive",
    // "pump", "box <t>", "ask <t> | <caption>".
    std::vector<std::string> log;
    bool answerYes = true;
    bool statusVisible = false;

    // Runs `callback` inside the `number`-th PumpMessages (1-based, counted from now on).
    void AtPump(int number, std::function<void()> callback) {
        m_scheduled[m_pumps + number].push_back(std::move(callback));
    }
    int Pumps() const { return m_pumps; }
    // The lines that begin with `prefix`.
    std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const std::string& line : log) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    std::u16string statusText;
    Colour foreColour = colours::kBlack;
    Colour backColour = colours::kLightYellow;

    void SetStatusText(std::u16string_view text) override {
        statusText = text;
        log.push_back("text " + ToUtf8(text));
    }
    std::u16string GetStatusText(std::size_t bufferUnits) const override {
        return bufferUnits == 0 ? std::u16string() : statusText.substr(0, bufferUnits - 1);
    }
    void SetStatusForeColor(Colour colour, bool redraw) override {
        foreColour = colour;
        log.push_back((redraw ? "fore! " : "fore ") + ColourName(colour));
    }
    void SetStatusBackColor(Colour colour, bool redraw) override {
        backColour = colour;
        log.push_back((redraw ? "back! " : "back ") + ColourName(colour));
    }
    Colour GetStatusForeColor() const override { return foreColour; }
    Colour GetStatusBackColor() const override { return backColour; }
    void HideStatusAndDriveLabel() override {
        statusVisible = false;
        log.push_back("hide");
    }
    void DisableCommands() override { log.push_back("disable"); }
    void RefreshTexts() override {
        // As the dialog does: status line and colours, a pump, then the buttons.
        statusText = m_operations->ComposeStatusLine();
        foreColour = colours::kBlack;
        backColour = colours::kLightYellow;
        const CommandStates states = m_operations->DescribeCommandStates();
        statusVisible = states.driveKnown;
        if (!states.driveKnown) {
            log.push_back("refresh no drive");
        } else {
            log.push_back("refresh " + ToUtf8(statusText) + " V" +
                          std::to_string(states.viewStatusEnabled) + " I" +
                          std::to_string(states.installEnabled) + " E" +
                          std::to_string(states.eraseEnabled));
        }
        PumpMessages();
    }
    void PumpMessages() override {
        log.push_back("pump");
        const auto due = m_scheduled.find(++m_pumps);
        if (due == m_scheduled.end()) {
            return;
        }
        const std::vector<std::function<void()>> callbacks = std::move(due->second);
        m_scheduled.erase(due);
        for (const auto& callback : callbacks) {
            callback();
        }
    }
    void ShowResultBox(std::u16string_view text) override { log.push_back("box " + ToUtf8(text)); }
    bool AskYesNo(std::u16string_view text, std::u16string_view caption) override {
        log.push_back("ask " + ToUtf8(text) + " | " + ToUtf8(caption));
        return answerYes;
    }

  private:
    CFingerprintOperations* m_operations = nullptr;
    std::map<int, std::vector<std::function<void()>>> m_scheduled;
    int m_pumps = 0;
};
