#include "device/memory_transport.h"

#include <vector>

int MemoryTransport::Index(char letter) {
    return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
}

void MemoryTransport::Attach(char letter, IScsiTarget& target) {
    if (const int i = Index(letter); i >= 0) {
        m_targets[static_cast<std::size_t>(i)] = &target;
    }
}

void MemoryTransport::Detach(char letter) {
    if (const int i = Index(letter); i >= 0) {
        m_targets[static_cast<std::size_t>(i)] = nullptr;
    }
}

void MemoryTransport::RefuseOpen(char letter, bool refuse) {
    if (const int i = Index(letter); i >= 0) {
        m_openRefused[static_cast<std::size_t>(i)] = refuse;
    }
}

IScsiTransport::Handle MemoryTransport::OpenDrive(char letter) {
    const int i = Index(letter);
    if (i < 0 || m_targets[static_cast<std::size_t>(i)] == nullptr ||
        m_openRefused[static_cast<std::size_t>(i)]) {
        return kInvalidHandle;
    }
    ++m_openHandles;
    return i;
}

bool MemoryTransport::SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data,
                                      std::uint32_t length, ScsiDirection direction) {
    const std::size_t number = m_commandCount++;
    if (m_failNext > 0) {
        --m_failNext;
        return false;
    }
    if (m_failNumbers.erase(number) > 0) {
        return false;
    }
    if (handle < 0 || handle >= 26) {
        return false;
    }
    IScsiTarget* target = m_targets[static_cast<std::size_t>(handle)];
    if (target == nullptr) {
        return false;  // the volume went away while the handle was open
    }
    if (length == 0) {
        direction = ScsiDirection::Write;
    }
    // The target works on a copy, so a failed read leaves the caller's buffer untouched.
    std::vector<std::uint8_t> transfer(data, data + length);
    if (target->ExecuteCommand(cdb, direction, transfer) != kScsiStatusGood) {
        return false;
    }
    if (direction == ScsiDirection::Read) {
        std::copy(transfer.begin(), transfer.end(), data);
    }
    return true;
}

void MemoryTransport::CloseDrive(Handle handle) {
    if (handle != kInvalidHandle && m_openHandles > 0) {
        --m_openHandles;
    }
}

std::uint32_t MemoryTransport::PresentDriveMask() {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        if (m_targets[i] != nullptr) {
            mask |= 1u << i;
        }
    }
    return mask;
}
