// The initial control data of a dialog template (resource type 240): for each item the
// control id, a 16-bit message code, a 32-bit byte count and that many bytes (a
// zero-terminated narrow text), ended by a control id of 0. Only the list-filling codes
// are understood; other items are skipped. Portable: the parser sees only bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint16_t kDialogInitResourceType = 240;

// The codes written into the data, and the window messages they stand for.
inline constexpr std::uint16_t kInitComboAddString = 0x0403;
inline constexpr std::uint16_t kInitListAddString = 0x0401;
inline constexpr std::uint32_t kComboAddStringMessage = 0x0143; // CB_ADDSTRING
inline constexpr std::uint32_t kListAddStringMessage = 0x0180;  // LB_ADDSTRING

struct DialogInitItem {
    int controlId = 0;
    std::uint32_t message = 0; // the window message to send with the text
    std::string text;
};

// Parses `size` bytes; an item that runs past the end stops the parse (items before it
// are kept).
std::vector<DialogInitItem> ParseDialogInitData(const std::uint8_t* data, std::size_t size);
