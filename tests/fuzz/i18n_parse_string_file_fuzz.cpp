// ParseStringFile on arbitrary bytes: the first four bytes pick the entry number (any int,
// negative and huge ones included), the rest is the file, of any length, odd or even.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "i18n/message_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(std::int32_t)) {
        return 0;
    }
    std::int32_t entry = 0;
    std::memcpy(&entry, data, sizeof entry);

    // A heap copy of exactly the file's length, so any read past its end is caught.
    const std::size_t length = size - sizeof entry;
    auto file = std::make_unique<std::uint8_t[]>(length);
    std::memcpy(file.get(), data + sizeof entry, length);

    const char16_t* text = ParseStringFile(file.get(), length, entry);
    if (text != nullptr) {
        // At most 255 units; the rest of the 512-unit buffer stays zero.
        for (std::size_t unit = 255; unit < 512; ++unit) {
            if (text[unit] != u'\0') {
                __builtin_trap();
            }
        }
    }
    return 0;
}
