// The USB front door over loopback, spoken to as vhci-hcd speaks to it, with the real disk
// and drive model behind each volume: the device list, imports (one host per device),
// SCSI commands over the Bulk-Only Transport, faults as a USB host meets them, and the
// command counts every door shares.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../server_fixture.h"
#include "device/vdrive_transport.h"
#include "usbip_client.h"
#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/usbip/front_door.h"

using namespace usbip_test;

namespace {

const std::vector<std::uint8_t> kTestUnitReady = {0x00, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kInquiry = {0x12, 0, 0, 0, 36, 0};
const std::vector<std::uint8_t> kRequestSense = {0x03, 0, 0, 0, 18, 0};

class UsbipServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fixture.volumes.AddStick('D', {});
        fixture.volumes.AddDrive('E', {});
        std::string error;
        ASSERT_TRUE(disks.Build(fixture.volumes, {}, error)) << error;
        UsbipSettings settings;
        settings.port = 0;
        settings.requestLimitMs = 300;
        settings.messageLimitMs = 300;
        ASSERT_TRUE(door.Start(disks, settings, {}, error)) << error;
    }

    std::string Control(const std::string& text) { return fixture.server.Control(text); }

    // A client that has imported `busId` and configured it as a host does.
    std::unique_ptr<Client> Imported(const std::string& busId) {
        auto client = std::make_unique<Client>(door.Port());
        EXPECT_EQ(client->Import(busId), kOpStatusOk);
        const std::optional<Ret> configured = client->Control(SetupBytes(0x00, 0x09, 1, 0, 0));
        EXPECT_TRUE(configured && configured->status == kStatusOk);
        return client;
    }

    ServerFixture fixture;
    vdrive::VolumeDisks disks;
    vdrive::usbip::FrontDoor door;
};

TEST_F(UsbipServerTest, ListsEveryVolumeByLetterAndImportsEachOnce) {
    Client lister(door.Port());
    EXPECT_EQ(lister.List(), (std::vector<std::string>{"1-1", "1-2"}));

    auto drive = Imported("1-2"); // E, the second letter
    ASSERT_EQ(drive->importReply.size(), 312u);
    EXPECT_EQ(vdrive::scsi::GetBe(drive->importReply, 288, 4), 1u); // bus 1
    EXPECT_EQ(vdrive::scsi::GetBe(drive->importReply, 292, 4), 2u); // device 2
    EXPECT_EQ(vdrive::scsi::GetBe(drive->importReply, 296, 4), 3u); // high speed

    Client other(door.Port());
    EXPECT_EQ(other.Import("1-2"), kOpStatusError); // in use
    Client nowhere(door.Port());
    EXPECT_EQ(nowhere.Import("9-9"), kOpStatusError);

    drive.reset(); // released when its connection closes
    std::optional<std::uint32_t> status;
    for (int attempt = 0; attempt < 50 && status != kOpStatusOk; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Client again(door.Port());
        status = again.Import("1-2");
    }
    EXPECT_EQ(status, kOpStatusOk);
}

TEST_F(UsbipServerTest, CarriesScsiAndVendorCommandsOverBulkOnly) {
    auto drive = Imported("1-2");
    const auto device = drive->Control(SetupBytes(0x80, 0x06, 0x0100, 0, 18));
    ASSERT_TRUE(device);
    ASSERT_EQ(device->data.size(), 18u);
    EXPECT_EQ(device->data[1], 1); // device descriptor
    const auto maxLun = drive->Control(SetupBytes(0xA1, 0xFE, 0, 0, 1));
    ASSERT_TRUE(maxLun);
    EXPECT_EQ(maxLun->data, std::vector<std::uint8_t>{0});

    const auto inquiry = drive->Scsi(kInquiry, 36, true);
    ASSERT_TRUE(inquiry);
    EXPECT_EQ(inquiry->cswStatus, 0);
    EXPECT_EQ(inquiry->data.size(), 36u);
    const auto identify = drive->Scsi(IdentifyCdb(), 512, true);
    ASSERT_TRUE(identify);
    EXPECT_EQ(identify->cswStatus, 0);
    ASSERT_EQ(identify->data.size(), 512u);

    // Several drives at once, each over its own connection.
    auto stick = Imported("1-1");
    const auto stickInquiry = stick->Scsi(kInquiry, 36, true);
    ASSERT_TRUE(stickInquiry);
    EXPECT_EQ(stickInquiry->cswStatus, 0);
    EXPECT_EQ(drive->Scsi(kTestUnitReady, 0, false)->cswStatus, 0);
}

TEST_F(UsbipServerTest, AFailedCommandLeavesItsSenseForRequestSense) {
    auto drive = Imported("1-2");
    ASSERT_EQ(Control("E: fail-next 1"), "ok");
    const auto failed = drive->Scsi(IdentifyCdb(), 512, true);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->cswStatus, 1);
    EXPECT_EQ(failed->residue, 512u);
    const auto sense = drive->Scsi(kRequestSense, 18, true);
    ASSERT_TRUE(sense);
    ASSERT_EQ(sense->data.size(), 18u);
    EXPECT_EQ(sense->data[2] & 0x0F, 0x09); // the vendor-specific refusal
    EXPECT_EQ(drive->Scsi(kRequestSense, 18, true)->data[2] & 0x0F, 0); // given once
}

TEST_F(UsbipServerTest, ASilentCommandWaitsUntilUnlinkedAndTheDeviceWorksAfterAReset) {
    auto drive = Imported("1-2");
    ASSERT_EQ(Control("E: silence-next 1"), "ok");
    ASSERT_TRUE(drive->Submit(100, 2, false, 0, Cbw(7, 512, true, IdentifyCdb())));
    ASSERT_TRUE(drive->Receive(false)); // the CBW is taken
    ASSERT_TRUE(drive->Submit(101, 1, true, 512));
    EXPECT_FALSE(drive->Receive(true, 300)); // no data, no CSW

    ASSERT_TRUE(drive->Unlink(102, 101));
    const auto unlinked = drive->Receive(false);
    ASSERT_TRUE(unlinked);
    EXPECT_EQ(unlinked->command, kRetUnlink);
    EXPECT_EQ(unlinked->seqnum, 102u);
    EXPECT_EQ(unlinked->status, kStatusUnlinked);
    ASSERT_TRUE(drive->Unlink(103, 101)); // gone: nothing left to unlink
    EXPECT_EQ(drive->Receive(false)->status, kStatusOk);

    EXPECT_EQ(drive->Control(SetupBytes(0x21, 0xFF, 0, 0, 0))->status, kStatusOk); // reset
    const auto again = drive->Scsi(IdentifyCdb(), 512, true);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->cswStatus, 0);
}

TEST_F(UsbipServerTest, UnplugTakesTheDeviceOffTheBusAndPlugBringsItBack) {
    auto drive = Imported("1-2");
    ASSERT_EQ(Control("E: unplug"), "ok");
    EXPECT_FALSE(drive->Receive(false, 2000)); // closed by the server
    Client lister(door.Port());
    EXPECT_EQ(lister.List(), (std::vector<std::string>{"1-1"}));
    Client refused(door.Port());
    EXPECT_EQ(refused.Import("1-2"), kOpStatusError);

    ASSERT_EQ(Control("E: plug"), "ok");
    auto back = Imported("1-2");
    const auto identify = back->Scsi(IdentifyCdb(), 512, true);
    ASSERT_TRUE(identify);
    EXPECT_EQ(identify->cswStatus, 0);
}

TEST_F(UsbipServerTest, CountsEveryCommandOfEveryDoorPerOperationCode) {
    ASSERT_EQ(Control("counts"), "none");
    auto drive = Imported("1-2");
    drive->Scsi(kTestUnitReady, 0, false);
    drive->Scsi(IdentifyCdb(), 512, true);
    VirtualDriveTransport v1("127.0.0.1", fixture.server.Port()); // the same drive, door v1
    const auto handle = v1.OpenDrive('E');
    Cdb identify{};
    std::copy_n(IdentifyCdb().begin(), 16, identify.begin());
    std::vector<std::uint8_t> data(512);
    ASSERT_TRUE(v1.SendScsiCommand(handle, identify, data.data(), 512, ScsiDirection::Read));
    auto stick = Imported("1-1");
    stick->Scsi(kInquiry, 36, true);
    EXPECT_EQ(Control("counts"), "0x00=1 0x12=1 0xFC=2");
    EXPECT_EQ(Control("E: counts"), "0x00=1 0xFC=2");
    EXPECT_EQ(Control("D: counts reset"), "ok");
    EXPECT_EQ(Control("counts"), "0x00=1 0xFC=2");
    EXPECT_EQ(Control("counts reset"), "ok");
    EXPECT_EQ(Control("counts"), "none");
    EXPECT_EQ(Control("counts now").rfind("error", 0), 0u);
}

TEST_F(UsbipServerTest, MalformedTrafficEndsOnlyItsOwnConnection) {
    auto drive = Imported("1-2");
    Client hostile(door.Port());
    ASSERT_EQ(hostile.Import("1-1"), kOpStatusOk);
    UrbHeader iso;
    iso.command = kCmdSubmit;
    iso.direction = kDirIn;
    iso.endpoint = 1;
    iso.packets = 4; // isochronous: no such endpoint
    std::vector<std::uint8_t> out;
    EncodeUrbHeader(iso, out);
    hostile.socket.SendAll(out.data(), out.size());
    EXPECT_FALSE(hostile.Receive(true, 2000));

    Client silent(door.Port()); // never says what it wants
    EXPECT_FALSE(silent.Receive(false, 2000));
    EXPECT_EQ(drive->Scsi(kTestUnitReady, 0, false)->cswStatus, 0);
}

} // namespace
