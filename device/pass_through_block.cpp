#include "device/pass_through_block.h"

#include <algorithm>

#include "device/scsi_transfer.h"

PassThroughRequest::PassThroughRequest(const PassThroughLayout& layout)
    : m_layout(layout), m_block(layout.dataOffset + kBufferedDataCapacity) {}

void PassThroughRequest::PutField(std::size_t offset, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        m_block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PassThroughRequest::Prepare(const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                                 ScsiDirection direction) {
    m_data = data;
    m_length = length;
    m_direction = EffectiveDirection(length, direction);
    m_form = length < kBufferedDataCapacity ? PassThroughForm::Buffered : PassThroughForm::Direct;
    const std::uint32_t carried = CarriedLength(length);
    const auto header = static_cast<std::uint32_t>(m_layout.headerSize);
    const auto dataOffset = static_cast<std::uint32_t>(m_layout.dataOffset);

    if (m_form == PassThroughForm::Buffered) {
        m_blockSize = m_block.size();
        std::fill(m_block.begin(), m_block.begin() + static_cast<std::ptrdiff_t>(dataOffset),
                  std::uint8_t{0});
        StageTransfer(std::span(m_block).subspan(dataOffset), data, length, m_direction);
        PutField(m_layout.dataBufferField, dataOffset, m_layout.pointerSize);
        if (length == 0) {
            m_inputSize = header;
            m_outputSize = header;
        } else if (m_direction == ScsiDirection::Read) {
            m_inputSize = header;
            m_outputSize = dataOffset + carried;
        } else {
            m_inputSize = dataOffset + carried;
            m_outputSize = header;
        }
    } else {
        m_blockSize = dataOffset;
        std::fill_n(m_block.begin(), dataOffset, std::uint8_t{0});
        PutField(m_layout.dataBufferField, reinterpret_cast<std::uintptr_t>(data),
                 m_layout.pointerSize);
        m_inputSize = dataOffset;
        m_outputSize = dataOffset;
    }

    PutField(m_layout.lengthField, m_layout.headerSize, 2);
    m_block[m_layout.cdbLengthField] = static_cast<std::uint8_t>(kCdbLength);
    m_block[m_layout.dataInField] =
        m_direction == ScsiDirection::Read ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    PutField(m_layout.dataTransferLengthField, carried, 4);
    PutField(m_layout.timeOutValueField, kScsiTimeoutSeconds, 4);
    std::copy(cdb.begin(), cdb.end(),
              m_block.begin() + static_cast<std::ptrdiff_t>(m_layout.cdbField));
}

std::uint32_t PassThroughRequest::IoControlCode() const {
    return m_form == PassThroughForm::Buffered ? kIoctlScsiPassThrough
                                               : kIoctlScsiPassThroughDirect;
}

bool PassThroughRequest::Finish(bool callSucceeded) {
    const bool succeeded = callSucceeded && ScsiStatus() == kScsiStatusGood;
    if (succeeded && m_form == PassThroughForm::Buffered) {
        CopyBackTransfer(std::span(m_block).subspan(m_layout.dataOffset), m_data, m_length,
                         m_direction);
    }
    return succeeded;
}
