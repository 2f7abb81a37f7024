// Everything that reads drive replies, fed arbitrary bytes: the identification reply and
// its tag list, the secure identity, reply frames and their accessors. The drive answers
// each command from the input: one status byte, then the bytes of a read.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/finger_disk.h"
#include "device/memory_transport.h"

namespace {

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_position >= m_size; }
    std::uint8_t Byte() { return Empty() ? 0 : m_data[m_position++]; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

class FuzzedDrive final : public IScsiTarget {
  public:
    explicit FuzzedDrive(Input& input) : m_input(input) {}

    std::uint8_t ExecuteCommand(const Cdb&, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        // Mostly GOOD, so that the reads get through; the low bits give failures.
        const std::uint8_t status =
            (m_input.Byte() & 0x07) == 0x07 ? kScsiStatusCheckCondition : kScsiStatusGood;
        if (status == kScsiStatusGood && direction == ScsiDirection::Read) {
            for (std::uint8_t& byte : data) {
                byte = m_input.Byte();
            }
        }
        return status;
    }

  private:
    Input& m_input;
};

class NoWait final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Reads the frame the way the operations do, at offsets anywhere in and past it.
void ReadFrame(const ReplyFrame& frame, Input& input) {
    Check(frame.Length() <= kFrameBlockSize);
    for (int i = 0; i < 4; ++i) {
        const std::size_t offset = input.Word();
        const std::uint8_t byte = frame.At(offset);
        Check(offset < frame.Length() || byte == 0);
        frame.BigEndian16(offset);
        frame.Matches(offset, "JMTMES C");
    }
    frame.BigEndian16(8);
    frame.Matches(11, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    FuzzedDrive drive(input);
    MemoryTransport transport;
    transport.Attach('E', drive);
    NoWait clock;
    CFingerDisk disk(transport, clock);
    disk.m_driveLetter = 'E';

    for (int round = 0; round < 3 && !input.Empty(); ++round) {
        ReplyFrame reply;
        if (disk.Identify(reply)) {
            const std::uint32_t count = disk.m_tagCount;
            Check(count <= vendor::kMaxIdentifyTags);
            for (std::size_t i = 4 * count; i < disk.m_tagList.size(); ++i) {
                Check(disk.m_tagList[i] == 0);
            }
            reply.Matches(vendor::kTagsOffset + 4 * count, vendor::kVendorName);
            ReadFrame(reply, input);
        }
        if (const auto position = disk.FindSecuTag()) {
            Check(*position < disk.m_tagCount);
        }

        SecureIdentity identity{};
        identity.fill(0xAA);
        if (!disk.ReadSecureIdentity(identity)) {
            Check(identity[0] == 0 && identity[1] == 0);
        }
        disk.SendRequestFrame({input.Byte(), input.Byte(), input.Byte()}, input.Byte());

        const std::uint32_t length = input.Word() % 600u;
        ReplyFrame frame;
        if (disk.ReceiveReplyFrame(length, frame)) {
            Check(frame.Length() == length);
        } else {
            Check(frame.Length() == 0);
        }
        ReadFrame(frame, input);
    }
    Check(transport.OpenHandleCount() == 0);
    return 0;
}
