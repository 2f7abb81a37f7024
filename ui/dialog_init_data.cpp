#include "ui/dialog_init_data.h"

namespace {

std::uint32_t ReadLittle(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

} // namespace

std::vector<DialogInitItem> ParseDialogInitData(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeaderBytes = 8;
    std::vector<DialogInitItem> items;
    std::size_t offset = 0;
    while (data != nullptr && size - offset >= 2) {
        const auto controlId = static_cast<int>(ReadLittle(data + offset, 2));
        if (controlId == 0 || size - offset < kHeaderBytes) {
            break;
        }
        const std::uint32_t code = ReadLittle(data + offset + 2, 2);
        const std::uint32_t length = ReadLittle(data + offset + 4, 4);
        offset += kHeaderBytes;
        if (length > size - offset) {
            break;
        }
        std::string text(reinterpret_cast<const char*>(data + offset), length);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        offset += length;
        if (code == kInitComboAddString) {
            items.push_back({controlId, kComboAddStringMessage, std::move(text)});
        } else if (code == kInitListAddString) {
            items.push_back({controlId, kListAddStringMessage, std::move(text)});
        }
    }
    return items;
}
