#include "fingerprint/status_display.h"

#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/text_format.h"

void ShowStatus(IFingerprintWindow& window, std::u16string_view text, Colour foreColour,
                bool foreRedraw, Colour backColour) {
    window.SetStatusText(text);
    window.SetStatusForeColor(foreColour, foreRedraw);
    window.SetStatusBackColor(backColour, true);
    window.PumpMessages();
}

void ShowOperationResult(IFingerprintWindow& window, int messageNumber, bool success) {
    const std::u16string text = MessageText(messageNumber);
    ShowStatus(window, text, colours::kWhite, false, success ? colours::kGreen : colours::kRed);
    window.ShowResultBox(text);
}
