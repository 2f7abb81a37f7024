#include "virtual_drive/command_log.h"

#include <cstdio>

#include "device/scsi_types.h"

namespace vdrive {

const char* ScsiOperationName(std::uint8_t operation) {
    switch (operation) {
    case 0x00:
        return "TEST UNIT READY";
    case 0x03:
        return "REQUEST SENSE";
    case 0x08:
        return "READ(6)";
    case 0x0A:
        return "WRITE(6)";
    case 0x12:
        return "INQUIRY";
    case 0x15:
        return "MODE SELECT(6)";
    case 0x1A:
        return "MODE SENSE(6)";
    case 0x1B:
        return "START STOP UNIT";
    case 0x1D:
        return "SEND DIAGNOSTIC";
    case 0x1E:
        return "PREVENT ALLOW MEDIUM REMOVAL";
    case 0x23:
        return "READ FORMAT CAPACITIES";
    case 0x25:
        return "READ CAPACITY(10)";
    case 0x28:
        return "READ(10)";
    case 0x2A:
        return "WRITE(10)";
    case 0x2E:
        return "WRITE AND VERIFY(10)";
    case 0x2F:
        return "VERIFY(10)";
    case 0x35:
        return "SYNCHRONIZE CACHE(10)";
    case 0x4A:
        return "GET EVENT STATUS NOTIFICATION";
    case 0x55:
        return "MODE SELECT(10)";
    case 0x5A:
        return "MODE SENSE(10)";
    case 0x88:
        return "READ(16)";
    case 0x8A:
        return "WRITE(16)";
    case 0x8E:
        return "WRITE AND VERIFY(16)";
    case 0x91:
        return "SYNCHRONIZE CACHE(16)";
    case 0x9E:
        return "SERVICE ACTION IN(16)";
    case 0xA0:
        return "REPORT LUNS";
    case 0xA8:
        return "READ(12)";
    case 0xAA:
        return "WRITE(12)";
    case 0xAE:
        return "WRITE AND VERIFY(12)";
    case 0xFC:
        return "VENDOR";
    default:
        return "";
    }
}

namespace {

std::string Hex(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string StatusText(std::optional<std::uint8_t> status) {
    if (!status) {
        return "no answer";
    }
    switch (*status) {
    case kScsiStatusGood:
        return "GOOD";
    case kScsiStatusCheckCondition:
        return "CHECK CONDITION";
    default:
        return "status " + Hex(*status);
    }
}

} // namespace

void CommandLog::SetLog(Log log) {
    std::lock_guard lock(m_mutex);
    m_log = std::move(log);
}

void CommandLog::Record(const char* door, char letter, std::uint8_t operation, std::uint32_t length,
                        std::optional<std::uint8_t> status) {
    Log log;
    {
        std::lock_guard lock(m_mutex);
        auto [counts, added] = m_counts.try_emplace(letter);
        if (added) {
            counts->second.fill(0);
        }
        ++counts->second[operation];
        log = m_log;
    }
    if (!log) {
        return;
    }
    std::string line = std::string(door) + " " + letter + ": " + Hex(operation);
    if (const std::string name = ScsiOperationName(operation); !name.empty()) {
        line += " " + name;
    }
    log(line + ", " + std::to_string(length) + " bytes, " + StatusText(status));
}

std::string CommandLog::Counts(char letter) const {
    PerOperation total{};
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [volume, counts] : m_counts) {
            if (letter == 0 || volume == letter) {
                for (std::size_t code = 0; code < total.size(); ++code) {
                    total[code] += counts[code];
                }
            }
        }
    }
    std::string line;
    for (std::size_t code = 0; code < total.size(); ++code) {
        if (total[code] != 0) {
            line += (line.empty() ? "" : " ") + Hex(static_cast<std::uint8_t>(code)) + "=" +
                    std::to_string(total[code]);
        }
    }
    return line.empty() ? "none" : line;
}

void CommandLog::ResetCounts(char letter) {
    std::lock_guard lock(m_mutex);
    if (letter == 0) {
        m_counts.clear();
    } else {
        m_counts.erase(letter);
    }
}

} // namespace vdrive
