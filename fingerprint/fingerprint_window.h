// The window seam: what the fingerprint operations need of the main window. The Windows
// dialog implements it with its controls, the command line with the terminal, the tests
// with a recorder that keeps every call in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Colour values are 0x00BBGGRR (low byte red).
using Colour = std::uint32_t;

class IFingerprintWindow {
public:
    virtual ~IFingerprintWindow() = default;

    // The status line (control 1204). Callers set the text first, then the text colour,
    // then the background colour; a colour set with `redraw` repaints synchronously.
    virtual void SetStatusText(std::u16string_view text) = 0;
    // The status line's text as read into a buffer of `bufferUnits` units (so at most
    // bufferUnits - 1 units come back).
    virtual std::u16string GetStatusText(std::size_t bufferUnits) const = 0;
    virtual void SetStatusForeColor(Colour colour, bool redraw) = 0;
    virtual void SetStatusBackColor(Colour colour, bool redraw) = 0;
    virtual Colour GetStatusForeColor() const = 0;
    virtual Colour GetStatusBackColor() const = 0;

    // Hides the status line and the drive label (the search's no-drive path).
    virtual void HideStatusAndDriveLabel() = 0;
    // View Status, Install and Erase All disabled, Version hidden.
    virtual void DisableCommands() = 0;
    // Re-applies every text, the counts and the button states from the window's state.
    virtual void RefreshTexts() = 0;
    // Dispatches every waiting message and returns when the queue is empty; other
    // handlers, operations included, may run inside it.
    virtual void PumpMessages() = 0;

    // Message box with OK and the exclamation icon; caption: the program's name.
    virtual void ShowResultBox(std::u16string_view text) = 0;
    // Message box with Yes (default) and No and the exclamation icon; true for Yes.
    virtual bool AskYesNo(std::u16string_view text, std::u16string_view caption) = 0;
};
