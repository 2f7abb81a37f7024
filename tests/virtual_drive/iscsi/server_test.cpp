// The iSCSI front door over loopback with the real SCSI disk behind each volume: several
// sessions at once, bounded connections, and the same drive model as protocol v1.
#include <gtest/gtest.h>

#include "../server_fixture.h"
#include "iscsi_pdus.h"
#include "virtual_drive/iscsi/front_door.h"
#include "virtual_drive/iscsi/login.h"

using namespace vdrive::iscsi;

namespace {

const std::vector<std::uint8_t> kTestUnitReady = {0x00, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kReadCapacity10 = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A minimal initiator on one connection.
class Initiator {
  public:
    explicit Initiator(std::uint16_t port) {
        std::string error;
        socket = TcpSocket::Connect("127.0.0.1", port, 1000, error);
        EXPECT_TRUE(socket.Valid()) << error;
    }

    bool Send(const Pdu& pdu) {
        std::vector<std::uint8_t> wire;
        AppendPdu(pdu, wire);
        return socket.SendAll(wire.data(), wire.size());
    }

    // The next PDU, or none when the target closed the connection or said nothing.
    std::optional<Pdu> Receive(int timeoutMs = 3000) {
        const ByteSource source = [&](std::uint8_t* data, std::size_t length) {
            return socket.ReceiveAll(data, length, timeoutMs);
        };
        Pdu pdu;
        if (ReadPdu(source, 1u << 24, pdu) != ReadResult::Ok) {
            return std::nullopt;
        }
        return pdu;
    }

    // Logs in to drive `letter` in one step; gives the login response's status.
    std::optional<std::uint16_t> Login(char letter) {
        if (!Send(iscsi_test::LoginRequest(
                0, 3,
                {{"InitiatorName", "iqn.2026-12.test:i"}, {"TargetName", TargetNameFor(letter)}},
                cmdSn))) {
            return std::nullopt;
        }
        const std::optional<Pdu> response = Receive();
        if (!response) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(response->header[36] << 8 | response->header[37]);
    }

    // Runs `cdb` reading up to `length` bytes; gives the SCSI status.
    std::optional<std::uint8_t> Run(const std::vector<std::uint8_t>& cdb, std::uint32_t length) {
        if (!Send(iscsi_test::Command(++tag, cmdSn++, cdb, length > 0 ? 0x40 : 0, length))) {
            return std::nullopt;
        }
        for (;;) {
            const std::optional<Pdu> pdu = Receive();
            if (!pdu) {
                return std::nullopt;
            }
            if (pdu->Op() == Opcode::ScsiResponse || (pdu->Flags() & 0x01) != 0) {
                return pdu->header[3];
            }
        }
    }

    TcpSocket socket;
    std::uint32_t cmdSn = 1;
    std::uint32_t tag = 0;
};

class IscsiServerTest : public ::testing::Test {
  protected:
    void Start(unsigned maxSessions = 16) {
        fixture.volumes.AddDrive('E', {});
        fixture.volumes.AddStick('D', {});
        FrontDoorOptions options;
        options.settings.port = 0;
        options.settings.loginLimitMs = 300;
        options.settings.messageLimitMs = 300;
        options.settings.maxSessions = maxSessions;
        std::string error;
        ASSERT_TRUE(disks.Build(fixture.volumes, {}, error)) << error;
        ASSERT_TRUE(door.Start(disks, options, {}, error)) << error;
    }

    ServerFixture fixture;
    vdrive::VolumeDisks disks;
    FrontDoor door;
};

TEST_F(IscsiServerTest, SessionsRunSideBySideAndAMalformedPduEndsOnlyItsOwn) {
    Start();
    Initiator first(door.Port());
    Initiator second(door.Port());
    ASSERT_EQ(first.Login('E'), 0);
    ASSERT_EQ(second.Login('D'), 0);
    EXPECT_EQ(first.Run(kReadCapacity10, 8), 0);

    Initiator hostile(door.Port());
    ASSERT_EQ(hostile.Login('E'), 0);
    Pdu huge = iscsi_test::Make(Opcode::NopOut, 0x80, 1);
    huge.data.assign(8192 + 4, 0); // past the 8192 bytes it may send without our declaration
    hostile.Send(huge);
    EXPECT_FALSE(hostile.Receive()); // closed

    EXPECT_EQ(first.Run(kReadCapacity10, 8), 0);
    EXPECT_EQ(second.Run(kTestUnitReady, 0), 0);
}

TEST_F(IscsiServerTest, ASilentNewConnectionIsClosedDuringLogin) {
    Start();
    Initiator idle(door.Port());
    EXPECT_FALSE(idle.Receive(5000)); // closed after the login limit, not after our wait
    Initiator stalled(door.Port());
    const std::vector<std::uint8_t> half(20, 0x43);
    stalled.socket.SendAll(half.data(), half.size()); // a header that never completes
    EXPECT_FALSE(stalled.Receive(5000));
}

TEST_F(IscsiServerTest, SessionsPastTheLimitAreRefusedAtLogin) {
    Start(1);
    Initiator first(door.Port());
    ASSERT_EQ(first.Login('E'), 0);
    Initiator second(door.Port());
    EXPECT_EQ(second.Login('E'), static_cast<std::uint16_t>(LoginStatus::OutOfResources));
    first.socket.Close();
    // Once the first is gone a new one gets in (the server needs a moment to notice).
    std::optional<std::uint16_t> status;
    for (int attempt = 0; attempt < 50 && status != 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Initiator third(door.Port());
        status = third.Login('E');
    }
    EXPECT_EQ(status, 0);
}

TEST_F(IscsiServerTest, BothFrontDoorsServeTheSameDrive) {
    Start();
    Initiator initiator(door.Port());
    ASSERT_EQ(initiator.Login('E'), 0);
    EXPECT_EQ(initiator.Run(kTestUnitReady, 0), 0);
    EXPECT_EQ(fixture.server.Control("E: unplug").rfind("error", 0), std::string::npos);
    EXPECT_EQ(initiator.Run(kTestUnitReady, 0), 0x02); // NOT READY: the plug was pulled
}

TEST_F(IscsiServerTest, ASilentDrivesCommandStaysOpenUntilAborted) {
    Start();
    Initiator initiator(door.Port());
    ASSERT_EQ(initiator.Login('E'), 0);
    EXPECT_EQ(fixture.server.Control("E: silence-next 1").rfind("error", 0), std::string::npos);
    std::vector<std::uint8_t> vendor(16, 0);
    vendor[0] = 0xFC;
    const std::uint32_t silentTag = ++initiator.tag;
    ASSERT_TRUE(
        initiator.Send(iscsi_test::Command(silentTag, initiator.cmdSn++, vendor, 0x40, 512)));
    EXPECT_FALSE(initiator.Receive(300)); // no answer, and the connection stays

    Pdu abort = iscsi_test::Make(Opcode::TaskManagement, 0x80 | 1, 0x99);
    abort.header[0] |= 0x40;
    abort.SetWord(iscsi_test::kWord20, silentTag);
    abort.SetWord(iscsi_test::kWord24, initiator.cmdSn);
    ASSERT_TRUE(initiator.Send(abort));
    const std::optional<Pdu> response = initiator.Receive();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->Op(), Opcode::TaskManagementResponse);
    EXPECT_EQ(response->header[2], 0); // function complete
    EXPECT_EQ(initiator.Run(kTestUnitReady, 0), 0);
}

TEST(VolumeDisks, ImagesForNoVolumeOrUnreadableOnesAreRefused) {
    ServerFixture fixture;
    fixture.volumes.AddDrive('E', {});
    for (const auto& [letter, path] :
         std::vector<std::pair<char, std::string>>{{'G', "g.img"}, {'E', "/nonexistent/e.img"}}) {
        vdrive::VolumeDisks disks;
        std::string error;
        EXPECT_FALSE(disks.Build(fixture.volumes, {{letter, path}}, error)) << letter;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
