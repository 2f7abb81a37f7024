#include "device/sense_data.h"

#include <cstdio>

namespace {

// Fixed format: key in byte 2, additional length in byte 7, ASC and ASCQ in bytes 12
// and 13. Descriptor format: key, ASC and ASCQ in bytes 1 to 3.
constexpr std::uint8_t kFixedCurrent = 0x70;
constexpr std::uint8_t kFixedDeferred = 0x71;
constexpr std::uint8_t kDescriptorCurrent = 0x72;
constexpr std::uint8_t kDescriptorDeferred = 0x73;

const char* KeyName(std::uint8_t key) {
    static const char* const kNames[16] = {
        "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
        "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
        "RESERVED",       "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED"};
    return kNames[key & 0x0F];
}

// The codes a flash drive, its controller or the kernel's path to it commonly give.
const char* CodeName(std::uint8_t asc, std::uint8_t ascq) {
    const struct {
        std::uint8_t asc, ascq;
        const char* name;
    } kCodes[] = {{0x04, 0x00, "not ready, cause not reportable"},
                  {0x04, 0x01, "becoming ready"},
                  {0x20, 0x00, "invalid command operation code"},
                  {0x21, 0x00, "logical block address out of range"},
                  {0x24, 0x00, "invalid field in CDB"},
                  {0x25, 0x00, "logical unit not supported"},
                  {0x28, 0x00, "not ready to ready change, medium may have changed"},
                  {0x29, 0x00, "power on, reset, or bus device reset occurred"},
                  {0x3A, 0x00, "medium not present"}};
    for (const auto& code : kCodes) {
        if (code.asc == asc && code.ascq == ascq) {
            return code.name;
        }
    }
    return nullptr;
}

} // namespace

std::optional<SenseSummary> ParseSense(std::span<const std::uint8_t> sense) {
    if (sense.empty()) {
        return std::nullopt;
    }
    const std::uint8_t format = sense[0] & 0x7F;
    SenseSummary summary;
    if (format == kFixedCurrent || format == kFixedDeferred) {
        if (sense.size() < 3) {
            return std::nullopt;
        }
        summary.key = sense[2] & 0x0F;
        // ASC and ASCQ count only where the device wrote them and its length covers them.
        const std::size_t end = sense.size() > 7 ? std::size_t{8} + sense[7] : 0;
        if (end >= 14 && sense.size() >= 14) {
            summary.asc = sense[12];
            summary.ascq = sense[13];
        }
        return summary;
    }
    if (format == kDescriptorCurrent || format == kDescriptorDeferred) {
        if (sense.size() < 4) {
            return std::nullopt;
        }
        summary.key = sense[1] & 0x0F;
        summary.asc = sense[2];
        summary.ascq = sense[3];
        return summary;
    }
    return std::nullopt;
}

std::string DescribeSense(const SenseSummary& sense) {
    std::string text = KeyName(sense.key);
    if (const char* name = CodeName(sense.asc, sense.ascq)) {
        text += ", ";
        text += name;
    }
    char codes[24];
    std::snprintf(codes, sizeof codes, " (sense %X/%02X/%02X)", sense.key & 0x0Fu,
                  static_cast<unsigned>(sense.asc), static_cast<unsigned>(sense.ascq));
    return text + codes;
}
