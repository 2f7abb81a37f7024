#include "virtual_drive/iscsi/text_exchange.h"

#include <algorithm>
#include <utility>

#include "virtual_drive/iscsi/login.h"
#include "virtual_drive/iscsi/text_keys.h"

namespace vdrive::iscsi {

namespace {

constexpr std::uint8_t kContinueFlag = 0x40;

} // namespace

void TextExchange::AppendTarget(const std::string& name, std::vector<std::uint8_t>& text) const {
    AppendTextKey(text, "TargetName", name);
    AppendTextKey(text, "TargetAddress", m_portal + "," + std::to_string(kPortalGroupTag));
}

bool TextExchange::Handle(const Pdu& request, std::uint32_t segmentLimit, Sequence& sequence,
                          std::vector<std::uint8_t>& out) {
    if ((request.Flags() & kContinueFlag) != 0) {
        return false; // requests this target answers always fit in one PDU
    }
    const std::uint32_t tag = request.Word(field::kWord20);
    if (tag == kReservedTag) {
        const std::optional<TextKeys> keys = ParseTextKeys(request.data);
        if (!keys) {
            return false;
        }
        m_rest.clear();
        bool listed = false;
        for (const auto& [key, value] : *keys) {
            if (key != "SendTargets") {
                AppendTextKey(m_rest, key, "NotUnderstood");
            } else if (std::exchange(listed, true)) {
                continue; // one list per request
            } else if (value == "All" && m_sessionTarget.empty()) {
                for (const Target& target : m_targets) {
                    AppendTarget(target.name, m_rest);
                }
            } else if (value.empty() || value == "All") {
                if (!m_sessionTarget.empty()) {
                    AppendTarget(m_sessionTarget, m_rest);
                }
            } else if (const Target* target = FindTarget(m_targets, value)) {
                AppendTarget(target->name, m_rest);
            }
            if (m_rest.size() > kMaxTextAnswer) {
                m_rest = {};
                return false; // a request built to make a huge answer
            }
        }
    } else if (tag != m_restTag) {
        return false; // not a continuation we offered
    }
    const std::size_t length = std::min<std::size_t>(m_rest.size(), segmentLimit);
    Pdu response(Opcode::TextResponse);
    response.SetWord(field::kTaskTag, request.TaskTag());
    response.data.assign(m_rest.begin(), m_rest.begin() + static_cast<std::ptrdiff_t>(length));
    m_rest.erase(m_rest.begin(), m_rest.begin() + static_cast<std::ptrdiff_t>(length));
    if (m_rest.empty()) {
        m_restTag = kReservedTag;
    } else {
        response.header[field::kFlags] = kContinueFlag;
        m_restTag = m_nextTag++;
        if (m_nextTag == kReservedTag) {
            m_nextTag = 1;
        }
    }
    response.SetWord(field::kWord20, m_restTag);
    sequence.Stamp(response, true);
    AppendPdu(response, out);
    return true;
}

} // namespace vdrive::iscsi
