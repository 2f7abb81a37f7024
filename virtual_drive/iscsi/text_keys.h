// The key=value texts of login and text PDUs: each pair ends with a NUL byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vdrive::iscsi {

using TextKeys = std::vector<std::pair<std::string, std::string>>;

inline constexpr std::size_t kMaxKeyNameLength = 63;

// The pairs of a data segment in order. None for a pair without '=', an empty or
// overlong name; a last pair without its NUL is accepted, as are empty values.
std::optional<TextKeys> ParseTextKeys(std::span<const std::uint8_t> data);

void AppendTextKey(std::vector<std::uint8_t>& out, const std::string& key,
                   const std::string& value);

} // namespace vdrive::iscsi
