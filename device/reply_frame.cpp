#include "device/reply_frame.h"

bool ReplyFrame::Matches(std::size_t offset, std::string_view text) const {
    if (offset > m_length || text.size() > m_length - offset) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (m_bytes[offset + i] != static_cast<std::uint8_t>(text[i])) {
            return false;
        }
    }
    return true;
}
