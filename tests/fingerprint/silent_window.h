// A window that draws nothing and answers Yes: for benchmarks and fuzz targets, where only
// the operations' own work should count. It keeps the status text for the model check.
#pragma once

#include <string>

#include "fingerprint/fingerprint_window.h"

class SilentWindow final : public IFingerprintWindow {
  public:
    void SetStatusText(std::u16string_view text) override { m_text = text; }
    std::u16string GetStatusText(std::size_t bufferUnits) const override {
        return bufferUnits == 0 ? std::u16string() : m_text.substr(0, bufferUnits - 1);
    }
    void SetStatusForeColor(Colour colour, bool) override { m_fore = colour; }
    void SetStatusBackColor(Colour colour, bool) override { m_back = colour; }
    Colour GetStatusForeColor() const override { return m_fore; }
    Colour GetStatusBackColor() const override { return m_back; }
    void HideStatusAndDriveLabel() override {}
    void DisableCommands() override {}
    void RefreshTexts() override {}
    void PumpMessages() override {}
    void ShowResultBox(std::u16string_view) override {}
    bool AskYesNo(std::u16string_view, std::u16string_view) override { return true; }

  private:
    std::u16string m_text;
    Colour m_fore = 0;
    Colour m_back = 0;
};
