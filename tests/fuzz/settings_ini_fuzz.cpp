// The settings file's INI reader and writer on arbitrary text: no crash, the value read
// parses as the profile calls parse it, and a value written is the value read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ini_settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string value;
    if (FindIniValue(text, "Advance", "Language", value)) {
        ParseProfileInt(value, 0);
    }
    const std::string written = SetIniValue(text, "Advance", "Language", "7");
    std::string again;
    if (!FindIniValue(written, "Advance", "Language", again) || again != "7") {
        std::abort();
    }
    return 0;
}
