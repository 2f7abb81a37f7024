#include "device/recording_transport.h"

#include <algorithm>

IScsiTransport::Handle RecordingTransport::OpenDrive(char letter) {
    const Handle handle = m_inner.OpenDrive(letter);
    if (handle != kInvalidHandle) {
        m_openLetters.emplace_back(handle, letter);
    }
    return handle;
}

bool RecordingTransport::SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data,
                                         std::uint32_t length, ScsiDirection direction) {
    CommandRecord record;
    const auto open = std::find_if(m_openLetters.begin(), m_openLetters.end(),
                                   [handle](const auto& entry) { return entry.first == handle; });
    record.letter = open != m_openLetters.end() ? open->second : 0;
    record.cdb = cdb;
    record.direction = length == 0 ? ScsiDirection::Write : direction;
    record.length = length;
    if (record.direction == ScsiDirection::Write) {
        record.data.assign(data, data + length);
    }
    record.succeeded = m_inner.SendScsiCommand(handle, cdb, data, length, direction);
    if (record.succeeded && record.direction == ScsiDirection::Read) {
        record.data.assign(data, data + length);
    }
    const bool succeeded = record.succeeded;
    if (m_observer) {
        m_observer(record);
    }
    if (m_keep) {
        m_records.push_back(std::move(record));
    }
    return succeeded;
}

void RecordingTransport::CloseDrive(Handle handle) {
    const auto open = std::find_if(m_openLetters.begin(), m_openLetters.end(),
                                   [handle](const auto& entry) { return entry.first == handle; });
    if (open != m_openLetters.end()) {
        m_openLetters.erase(open);
    }
    m_inner.CloseDrive(handle);
}
