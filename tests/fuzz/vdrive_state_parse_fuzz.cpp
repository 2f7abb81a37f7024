// The virtual drive's state file parser on arbitrary text: no crash, and whatever it
// accepts formats back to a text that parses to the same slot table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "virtual_drive/state_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<vdrive::SlotTable> slots = vdrive::ParseState(text, error);
    if (slots) {
        const std::optional<vdrive::SlotTable> again =
            vdrive::ParseState(vdrive::FormatState(*slots), error);
        if (!again || *again != *slots) {
            std::abort();
        }
    }
    return 0;
}
