#include "virtual_drive/iscsi/text_keys.h"

#include <algorithm>

namespace vdrive::iscsi {

std::optional<TextKeys> ParseTextKeys(std::span<const std::uint8_t> data) {
    TextKeys keys;
    auto cursor = data.begin();
    while (cursor != data.end()) {
        const auto end = std::find(cursor, data.end(), std::uint8_t{0});
        if (end != cursor) {
            const auto equals = std::find(cursor, end, std::uint8_t{'='});
            const auto nameLength = static_cast<std::size_t>(equals - cursor);
            if (equals == end || nameLength == 0 || nameLength > kMaxKeyNameLength) {
                return std::nullopt;
            }
            keys.emplace_back(std::string(cursor, equals), std::string(equals + 1, end));
        }
        cursor = end == data.end() ? end : end + 1;
    }
    return keys;
}

void AppendTextKey(std::vector<std::uint8_t>& out, const std::string& key,
                   const std::string& value) {
    out.insert(out.end(), key.begin(), key.end());
    out.push_back('=');
    out.insert(out.end(), value.begin(), value.end());
    out.push_back(0);
}

} // namespace vdrive::iscsi
