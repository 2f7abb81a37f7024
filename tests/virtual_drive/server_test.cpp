// The vendor primitives and frame steps through VirtualDriveTransport against the server,
// faults included, and the server's robustness against malformed and stalled clients.
#include <gtest/gtest.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "device/vdrive_transport.h"
#include "device/vdrive_wire.h"
#include "drive_client.h"
#include "server_fixture.h"

using vdrive::FingerprintDriveModel;
using vdrive::Report;

namespace {

constexpr int kClientTimeoutMs = 400;

class ServerTest : public ::testing::Test {
  protected:
    ServerTest() : drive(fixture.volumes.AddDrive('E', {})) {
        fixture.volumes.AddDrive('G', {});
        fixture.volumes.AddStick('D', {});
        vdrive::StickOptions refusing;
        refusing.refuseVendorCommands = true;
        fixture.volumes.AddStick('H', refusing);
        EXPECT_TRUE(fixture.listening);
    }

    TcpSocket Raw() {
        std::string error;
        return TcpSocket::Connect("127.0.0.1", fixture.Port(), 1000, error);
    }

    ServerFixture fixture;
    FingerprintDriveModel& drive;
    VirtualDriveTransport transport{"127.0.0.1", fixture.Port(), kClientTimeoutMs};
    DriveClient client{transport, 'E'};
};

TEST_F(ServerTest, MaskNamesEveryVolume) {
    EXPECT_EQ(transport.PresentDriveMask(),
              1u << ('D' - 'A') | 1u << ('E' - 'A') | 1u << ('G' - 'A') | 1u << ('H' - 'A'));
}

TEST_F(ServerTest, PrimitivesAndFramesOverTcp) {
    ReplyFrame identification;
    ASSERT_TRUE(client.disk.Identify(identification));
    EXPECT_EQ(client.disk.FindSecuTag(), 2);
    EXPECT_TRUE(identification.Matches(6 + 4 * 4, "Kestrova"));
    SecureIdentity identity{};
    ASSERT_TRUE(client.disk.ReadSecureIdentity(identity));
    EXPECT_EQ(std::string(identity.begin(), identity.end()), "JMTMESV1");

    drive.SetSlot(1, "alice");
    ReplyFrame status;
    ASSERT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, status));
    EXPECT_TRUE(status.Matches(11, "F0 S1 F2 "));
    ReplyFrame model;
    ASSERT_TRUE(client.Request(vendor::kModelRequest, vendor::kModelReplyLength, model));
    EXPECT_TRUE(model.Matches(11, drive.Options().modelText));
    EXPECT_EQ(transport.OpenConnectionCount(), 0u); // no handle outlives its command
}

TEST_F(ServerTest, EnrolAndEraseOverTcp) {
    ASSERT_TRUE(client.Identify());
    std::string reply;
    ASSERT_TRUE(transport.Control("set-slot 0 alice", reply));
    ASSERT_TRUE(transport.Control("finger alice", reply));
    ASSERT_TRUE(transport.Control("E: finger bob 3", reply));
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    std::vector<Report> reports;
    for (int i = 0; i < 4; ++i) {
        reports.push_back(client.PollProgress().report);
    }
    EXPECT_EQ(reports, (std::vector<Report>{
                           {'S', 0, 0, 0}, {'a', 0, 0, 0}, {'a', 0, 0, 0}, {'S', 0, 0, 0}}));
    ASSERT_TRUE(transport.Control("slots", reply));
    EXPECT_EQ(reply, "E: S0=alice S1=bob F2 F3 F4 F5 F6 F7 F8 F9");

    ASSERT_TRUE(transport.Control("finger bob", reply));
    ASSERT_TRUE(client.Start(vendor::kEraseStart));
    EXPECT_EQ(client.PollProgress(1).report, Report{'S'});
    EXPECT_EQ(client.PollProgress(1).report, Report{'s'});
    EXPECT_EQ(drive.InstalledCount(), 0u);
}

TEST_F(ServerTest, OtherVolumesAnswerAsTheyShould) {
    DriveClient stick(transport, 'D');
    ReplyFrame reply;
    ASSERT_TRUE(stick.disk.Identify(reply));
    EXPECT_FALSE(reply.Matches(6 + 4 * reply.At(5), "Kestrova"));
    DriveClient refusing(transport, 'H');
    EXPECT_FALSE(refusing.disk.Identify(reply));
    EXPECT_NE(transport.LastError().find("SCSI status 2"), std::string::npos);
    DriveClient second(transport, 'G');
    ASSERT_TRUE(second.disk.Identify(reply));
    EXPECT_TRUE(reply.Matches(6 + 4 * 4, "Kestrova"));
    DriveClient none(transport, 'K');
    EXPECT_FALSE(none.disk.Identify(reply));
    EXPECT_EQ(transport.LastError(), "no volume K: on the virtual drive server");
}

TEST_F(ServerTest, CheckConditionIsRetriedOnTheSameConnection) {
    ASSERT_TRUE(client.Identify());
    drive.FailNextCommands(2);
    EXPECT_NE(client.disk.ReadSeed(), 0);
    EXPECT_EQ(client.clock.waits, (std::vector<std::uint32_t>{200, 500}));
}

TEST_F(ServerTest, SilenceTimesOutThenTheHandleReconnects) {
    ASSERT_TRUE(client.Identify());
    drive.SilenceNextCommands(1);
    // The first attempt goes unanswered; the retry opens E: again and gets its seed.
    EXPECT_NE(client.disk.ReadSeed(), 0);
    EXPECT_EQ(client.clock.waits, std::vector<std::uint32_t>{200});
    EXPECT_EQ(drive.SeedsGiven().Total(), 1u);

    // While a silenced command keeps its connection waiting, others are served.
    drive.SilenceNextCommands(1);
    std::thread silenced([this] {
        VirtualDriveTransport other("127.0.0.1", fixture.Port(), kClientTimeoutMs);
        DriveClient waiting(other, 'E');
        waiting.disk.m_tagCount = client.disk.m_tagCount;
        waiting.disk.m_tagList = client.disk.m_tagList;
        SecureIdentity identity{};
        waiting.disk.ReadSecureIdentity(identity);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ReplyFrame status;
    EXPECT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, status));
    silenced.join();
}

TEST_F(ServerTest, SilenceOnEveryAttemptFailsWithATimeOut) {
    ASSERT_TRUE(client.Identify());
    drive.SilenceNextCommands(3);
    EXPECT_EQ(client.disk.ReadSeed(), 0);
    EXPECT_NE(transport.LastError().find("no reply from E: within 400 ms"), std::string::npos);
}

TEST_F(ServerTest, BrokenRepliesReachTheClient) {
    ASSERT_TRUE(client.Identify());
    drive.BreakSlotEntry(0, {'S', '5', ' '});
    drive.TruncateNextReplies(1, 11);
    ReplyFrame status;
    ASSERT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, status));
    EXPECT_FALSE(status.Matches(11, "S5 F1 ")); // truncated: key stream only
    ASSERT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, status));
    EXPECT_TRUE(status.Matches(11, "S5 F1 "));
}

TEST_F(ServerTest, UnplugRemovesTheVolumeAndPlugBringsItBack) {
    ASSERT_TRUE(client.Identify());
    std::string reply;
    ASSERT_TRUE(transport.Control("unplug", reply));
    EXPECT_EQ(transport.PresentDriveMask() & 1u << ('E' - 'A'), 0u);
    EXPECT_FALSE(client.Identify());
    EXPECT_EQ(transport.LastError(), "no volume E: on the virtual drive server");
    ASSERT_TRUE(transport.Control("plug", reply));
    EXPECT_TRUE(client.Identify());
}

TEST_F(ServerTest, UnplugWhileAHandleIsOpenFailsItsCommands) {
    ASSERT_TRUE(client.Identify());
    const IScsiTransport::Handle handle = transport.OpenDrive('E');
    ASSERT_NE(handle, IScsiTransport::kInvalidHandle);
    drive.Unplug();
    Cdb cdb{0xFC, 2, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'E', 'C', 'U'};
    std::uint8_t seed[2] = {0xAA, 0xBB};
    EXPECT_FALSE(transport.SendScsiCommand(handle, cdb, seed, 2, ScsiDirection::Read));
    EXPECT_EQ(seed[0], 0xAA); // a failed read leaves the buffer alone
    transport.CloseDrive(handle);
}

TEST_F(ServerTest, MalformedClientsOnlyLoseTheirOwnConnection) {
    const std::vector<std::vector<std::uint8_t>> messages = {
        {'Z'},                                     // unknown type
        {'C', 0xFC},                               // command before open
        {'O', 'E', 'C', 0xFC, 2, 1, 0, 0, 0, 0, 0, // length above 65535
         0,   0,   0,   0,    0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x00},
    };
    for (const auto& message : messages) {
        TcpSocket socket = Raw();
        ASSERT_TRUE(socket.SendAll(message.data(), message.size()));
        std::uint8_t byte = 0;
        // The open (if any) is answered; after that the server closes.
        if (message[0] == 'O') {
            ASSERT_TRUE(socket.ReceiveAll(&byte, 1, 1000));
        }
        EXPECT_FALSE(socket.ReceiveAll(&byte, 1, 1000));
    }
    // A stalled client holding half a message does not block anyone.
    TcpSocket stalled = Raw();
    const std::uint8_t half[] = {'O', 'E', 'C', 0xFC};
    ASSERT_TRUE(stalled.SendAll(half, sizeof half));
    EXPECT_TRUE(client.Identify());
}

// --- Limits: connections, threads, addresses ----------------------------------------------

TcpSocket Connect(std::uint16_t port) {
    std::string error;
    return TcpSocket::Connect("127.0.0.1", port, 1000, error);
}

// True when the server closed `socket` within `ms`.
bool ClosedWithin(TcpSocket& socket, int ms) {
    std::uint8_t byte = 0;
    return socket.WaitReadable(ms) && !socket.ReceiveAll(&byte, 1, 0);
}

TEST(ServerLimits, AThreadThatCannotStartRefusesOnlyItsConnection) {
    std::atomic<int> starts{0};
    vdrive::ServerSettings settings = ServerFixture::QuickSettings();
    settings.startThread = [&starts](std::function<void()> work) {
        if (starts++ == 0) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "thread limit");
        }
        std::thread(std::move(work)).detach();
    };
    ServerFixture fixture(settings);
    fixture.volumes.AddDrive('E', {});
    VirtualDriveTransport transport("127.0.0.1", fixture.Port(), kClientTimeoutMs);
    EXPECT_EQ(transport.PresentDriveMask(), 0u); // refused: closed at once
    EXPECT_EQ(transport.PresentDriveMask(), 1u << ('E' - 'A'));
    EXPECT_EQ(fixture.LogLines("connection refused: no thread can be started"), 1u);
}

class ConnectionLimit : public ::testing::Test {
  protected:
    static vdrive::ServerSettings TwoConnections() {
        vdrive::ServerSettings settings = ServerFixture::QuickSettings();
        settings.maxConnections = 2;
        settings.greetingLimitMs = 30000; // idle sockets stay until room is made
        return settings;
    }
    ConnectionLimit() { fixture.volumes.AddDrive('E', {}); }

    TcpSocket OpenVolume() {
        TcpSocket socket = Connect(fixture.Port());
        const std::uint8_t open[] = {'O', 'E'};
        std::uint8_t answer = 0xFF;
        EXPECT_TRUE(socket.SendAll(open, sizeof open) && socket.ReceiveAll(&answer, 1, 1000));
        EXPECT_EQ(answer, 0);
        return socket;
    }

    ServerFixture fixture{TwoConnections()};
    VirtualDriveTransport transport{"127.0.0.1", fixture.Port(), kClientTimeoutMs};
    DriveClient client{transport, 'E'};
};

TEST_F(ConnectionLimit, ASilentConnectionMakesRoomBeforeAnOpenVolume) {
    TcpSocket opened = OpenVolume();
    TcpSocket silent = Connect(fixture.Port());
    EXPECT_TRUE(client.Identify()) << transport.LastError();
    EXPECT_TRUE(ClosedWithin(silent, 1000));
    EXPECT_FALSE(ClosedWithin(opened, 0));
    EXPECT_EQ(fixture.LogLines("all 2 connections taken: closing one idle for"), 1u);
}

TEST_F(ConnectionLimit, TheOpenVolumeIdleLongestMakesRoom) {
    TcpSocket older = OpenVolume();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    TcpSocket newer = OpenVolume();
    EXPECT_TRUE(client.Identify()) << transport.LastError();
    EXPECT_TRUE(ClosedWithin(older, 1000));
    EXPECT_FALSE(ClosedWithin(newer, 0));
}

TEST_F(ConnectionLimit, ANewConnectionFindingEveryOneBusyIsRefusedAndLogged) {
    ASSERT_TRUE(client.Identify());
    fixture.volumes.Find('E')->drive->SilenceNextCommands(2);
    // Two commands the drive does not answer keep both connections busy.
    std::vector<std::thread> silenced;
    for (int i = 0; i < 2; ++i) {
        silenced.emplace_back([this] {
            VirtualDriveTransport other("127.0.0.1", fixture.Port(), kClientTimeoutMs);
            const IScsiTransport::Handle handle = other.OpenDrive('E');
            Cdb cdb{0xFC, 2, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'E', 'C', 'U'};
            std::uint8_t seed[2] = {};
            other.SendScsiCommand(handle, cdb, seed, 2, ScsiDirection::Read);
            other.CloseDrive(handle);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(transport.PresentDriveMask(), 0u);
    for (std::thread& thread : silenced) {
        thread.join();
    }
    EXPECT_EQ(fixture.LogLines("connection refused: all 2 connections are busy"), 1u);
}

TEST(ServerSettings, OnlyLoopbackAddressesCountAsLoopback) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},    {"127.1.2.3", true},   {"localhost", true}, {"0.0.0.0", false},
        {"192.168.1.5", false}, {"10.0.0.127", false}, {"127.0.0", false},  {"127.0.0.1.", false},
        {"127.0.0.256", false}, {"1270.0.0.1", false}, {"", false},         {"127.0.0.1 ", false},
        {"::1", true},          {"::", false},
    };
    for (const auto& [host, loopback] : cases) {
        vdrive::ServerSettings settings;
        settings.host = host;
        EXPECT_EQ(settings.LoopbackOnly(), loopback) << host;
    }
}

TEST(VirtualDriveTransport, ReportsWhatFailed) {
    TcpListener unused;
    std::string error;
    ASSERT_TRUE(unused.Listen("127.0.0.1", 0, error));
    const std::uint16_t port = unused.Port();
    unused.Close();
    VirtualDriveTransport transport("127.0.0.1", port, kClientTimeoutMs);
    EXPECT_EQ(transport.OpenDrive('E'), IScsiTransport::kInvalidHandle);
    EXPECT_EQ(transport.LastError().rfind("cannot connect to 127.0.0.1:" + std::to_string(port), 0),
              0u);
    EXPECT_EQ(transport.PresentDriveMask(), 0u);
}

// A peer that answers a command with a data count other than the transfer length.
TEST(VirtualDriveTransport, ReplyOfWrongLengthFails) {
    TcpListener listener;
    std::string error;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0, error));
    std::thread peer([&listener] {
        std::optional<TcpSocket> socket = listener.Accept(2000);
        if (!socket) {
            return;
        }
        std::uint8_t open[2];
        std::uint8_t command[vdrive_wire::kCommandHeaderLength];
        const std::uint8_t opened = 0;
        const std::uint8_t reply[] = {0, 0, 0, 0, 1, 0x42}; // GOOD, 1 byte, for a 2-byte read
        if (socket->ReceiveAll(open, 2, 2000) && socket->SendAll(&opened, 1) &&
            socket->ReceiveAll(command, sizeof command, 2000)) {
            socket->SendAll(reply, sizeof reply);
        }
        std::uint8_t rest = 0;
        socket->ReceiveAll(&rest, 1, 1000); // until the client closes
    });
    VirtualDriveTransport transport("127.0.0.1", listener.Port(), kClientTimeoutMs);
    const IScsiTransport::Handle handle = transport.OpenDrive('E');
    ASSERT_NE(handle, IScsiTransport::kInvalidHandle);
    std::uint8_t data[2] = {7, 7};
    EXPECT_FALSE(transport.SendScsiCommand(handle, Cdb{}, data, 2, ScsiDirection::Read));
    EXPECT_EQ(transport.LastError(), "reply with 1 data bytes, expected 2");
    EXPECT_EQ(data[0], 7);
    transport.CloseDrive(handle);
    peer.join();
}

} // namespace
