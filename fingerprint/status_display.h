// How the operations put a message in the status line: the text first, then the text
// colour, then the background colour with a repaint, then the queue is drained so the
// message is painted at once.
#pragma once

#include <string_view>

#include "fingerprint/fingerprint_window.h"

void ShowStatus(IFingerprintWindow& window, std::u16string_view text, Colour foreColour,
                bool foreRedraw, Colour backColour);

// The end of an install or erase: the result in white on green (success) or red, then
// the same text in the result box.
void ShowOperationResult(IFingerprintWindow& window, int messageNumber, bool success);
