// The iSCSI front door over loopback with the real SCSI disk behind each volume: several
// sessions at once, bounded connections, and the same drive model as protocol v1.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "../server_fixture.h"
#include "iscsi_pdus.h"
#include "virtual_drive/iscsi/front_door.h"
#include "virtual_drive/iscsi/login.h"
#include "virtual_drive/iscsi/text_keys.h"

using namespace vdrive::iscsi;

namespace {

const std::vector<std::uint8_t> kTestUnitReady = {0x00, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kReadCapacity10 = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A minimal initiator on one connection.
class Initiator {
  public:
    explicit Initiator(std::uint16_t port, const std::string& host = "127.0.0.1") {
        std::string error;
        socket = TcpSocket::Connect(host, port, 1000, error);
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

    // Logs in to drive `letter` in one step; gives the login response's status. Each
    // initiator has a session id of its own unless told one.
    std::optional<std::uint16_t> Login(char letter) {
        Pdu request = iscsi_test::LoginRequest(
            0, 3, {{"InitiatorName", "iqn.2026-12.test:i"}, {"TargetName", TargetNameFor(letter)}},
            cmdSn);
        request.header[13] = isid;
        if (!Send(request)) {
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
    std::uint8_t isid = NextIsid();

  private:
    static std::uint8_t NextIsid() {
        static std::atomic<std::uint8_t> last{0};
        return ++last;
    }
};

class IscsiServerTest : public ::testing::Test {
  protected:
    static TargetSettings Quick(unsigned maxSessions = 16) {
        TargetSettings settings;
        settings.port = 0;
        settings.greetingLimitMs = 300;
        settings.loginLimitMs = 300;
        settings.messageLimitMs = 300;
        settings.evictIdleMs = 200;
        settings.maxSessions = maxSessions;
        settings.verbose = true;
        return settings;
    }

    void Start(unsigned maxSessions = 16) { Start(Quick(maxSessions)); }
    void Start(TargetSettings settings) {
        fixture.volumes.AddDrive('E', {});
        fixture.volumes.AddStick('D', {});
        FrontDoorOptions options;
        options.settings = std::move(settings);
        std::string error;
        ASSERT_TRUE(disks.Build(fixture.volumes, {}, error)) << error;
        ASSERT_TRUE(door.Start(
            disks, options,
            [this](const std::string& line) {
                std::lock_guard lock(logMutex);
                log.push_back(line);
            },
            error))
            << error;
    }

    // How many log lines so far contain `text`.
    std::size_t LogLines(const std::string& text) {
        std::lock_guard lock(logMutex);
        return static_cast<std::size_t>(std::count_if(
            log.begin(), log.end(),
            [&](const std::string& line) { return line.find(text) != std::string::npos; }));
    }

    ServerFixture fixture;
    vdrive::VolumeDisks disks;
    std::mutex logMutex;
    std::vector<std::string> log;
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
    TargetSettings settings = Quick(1);
    settings.evictIdleMs = 60000; // the first is never idle long enough to go
    Start(settings);
    Initiator first(door.Port());
    ASSERT_EQ(first.Login('E'), 0);
    Initiator second(door.Port());
    EXPECT_EQ(second.Login('E'), static_cast<std::uint16_t>(LoginStatus::OutOfResources));
    EXPECT_EQ(LogLines("iSCSI: login of iqn.2026-12.test:i to "
                       "iqn.2026-12.org.tessalok:vdrive-e refused: out of resources"),
              1u);
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

const std::vector<std::uint8_t> kPreventRemoval = {0x1E, 0, 0, 0, 0x01, 0};
const std::vector<std::uint8_t> kEject = {0x1B, 0, 0, 0, 0x02, 0};

// Idle sessions and silent connections cannot keep others out: the one idle longest is
// closed to make room, and the log says so.
TEST_F(IscsiServerTest, IdleSessionsMakeRoomForANewLogin) {
    Start(2);
    Initiator first(door.Port());
    Initiator second(door.Port());
    ASSERT_EQ(first.Login('E'), 0);
    ASSERT_EQ(second.Login('D'), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // both idle past 200 ms
    EXPECT_EQ(second.Run(kTestUnitReady, 0), 0);                  // second is busy again
    Initiator third(door.Port());
    EXPECT_EQ(third.Login('E'), 0);
    EXPECT_FALSE(first.Receive(1000)); // the one idle longest was closed
    EXPECT_EQ(second.Run(kTestUnitReady, 0), 0);
    EXPECT_EQ(third.Run(kTestUnitReady, 0), 0);
    EXPECT_EQ(LogLines("iSCSI: all 2 sessions taken: closing the session of iqn.2026-12.test:i"),
              1u);
}

TEST_F(IscsiServerTest, SilentConnectionsMakeRoomForANewOne) {
    TargetSettings settings = Quick(1); // two connections at once
    settings.greetingLimitMs = 10000;    // silent ones would stay long
    Start(settings);
    Initiator silent1(door.Port());
    Initiator silent2(door.Port());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Initiator newcomer(door.Port());
    EXPECT_EQ(newcomer.Login('E'), 0);
    EXPECT_EQ(LogLines("iSCSI: all connections taken: closing one not logged in"), 1u);
}

// RFC 7143 6.3.5: a login with the initiator name and session id of a live session ends
// that session first, and with it what the session held (a prevented medium removal).
TEST_F(IscsiServerTest, ALoginWithALiveSessionsIdReinstatesIt) {
    Start();
    Initiator before(door.Port());
    ASSERT_EQ(before.Login('E'), 0);
    ASSERT_EQ(before.Run(kPreventRemoval, 0), 0);
    Initiator after(door.Port());
    after.isid = before.isid;
    ASSERT_EQ(after.Login('E'), 0);
    EXPECT_FALSE(before.Receive(1000)); // the old connection is gone
    EXPECT_EQ(after.Run(kEject, 0), 0); // nothing prevents removal any more
    EXPECT_EQ(LogLines("iSCSI: reinstating the session of iqn.2026-12.test:i"), 1u);
}

// With --verbose the door logs who logs in and out, and why a login or a connection went.
TEST_F(IscsiServerTest, TheVerboseLogNamesLoginsRefusalsAndDrops) {
    Start();
    Initiator good(door.Port());
    ASSERT_EQ(good.Login('E'), 0);
    Initiator lost(door.Port());
    EXPECT_EQ(lost.Login('Q'), static_cast<std::uint16_t>(LoginStatus::TargetNotFound));
    Initiator hostile(door.Port());
    ASSERT_EQ(hostile.Login('D'), 0);
    ASSERT_TRUE(hostile.Send(iscsi_test::LoginRequest(0, 1, {}))); // a second login
    EXPECT_FALSE(hostile.Receive(1000) && hostile.Receive(1000));
    for (const char* line :
         {"iSCSI: iqn.2026-12.test:i to iqn.2026-12.org.tessalok:vdrive-e logged in",
          "iSCSI: login of iqn.2026-12.test:i to iqn.2026-12.org.tessalok:vdrive-q refused: "
          "target not found",
          "iSCSI: connection of iqn.2026-12.test:i to iqn.2026-12.org.tessalok:vdrive-d dropped: "
          "protocol error"}) {
        EXPECT_EQ(LogLines(line), 1u) << line;
    }
}

// Over IPv6 the door listens on [::1] and SendTargets writes the address in brackets.
TEST_F(IscsiServerTest, AnIpv6PortalIsWrittenInBrackets) {
    TargetSettings settings = Quick();
    settings.host = "::1";
    Start(settings);
    Initiator initiator(door.Port(), "::1");
    ASSERT_TRUE(initiator.Send(iscsi_test::LoginRequest(
        0, 3, {{"InitiatorName", "iqn.2026-12.test:i"}, {"SessionType", "Discovery"}}, 1)));
    ASSERT_TRUE(initiator.Receive());
    Pdu text = iscsi_test::Make(Opcode::TextRequest, 0x80, 1);
    text.SetWord(iscsi_test::kWord20, kReservedTag);
    text.SetWord(iscsi_test::kWord24, 1);
    text.data = iscsi_test::Keys({{"SendTargets", "All"}});
    ASSERT_TRUE(initiator.Send(text));
    const std::optional<Pdu> answer = initiator.Receive();
    ASSERT_TRUE(answer);
    const TextKeys keys = *ParseTextKeys(answer->data);
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[1], (std::pair<std::string, std::string>{
                           "TargetAddress", "[::1]:" + std::to_string(door.Port()) + ",1"}));
}

} // namespace
