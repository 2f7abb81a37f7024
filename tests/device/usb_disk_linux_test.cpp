// The Linux search's choice of disks and of the node each disk's commands go to, on a
// fixture sysfs tree: a USB stick behind an xHCI controller, an ATA disk and a virtio disk,
// as the kernel lays them out.
#include "device/usb_disk_linux.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t Bit(char letter) {
    return 1u << (letter - 'A');
}

class UsbDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/tessalok-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_root = folder;
        const fs::path pci = Sys() / "devices/pci0000:00";
        AddDisk("sda", pci / "0000:00:04.0/usb1/1-1/1-1:1.0/host2/target2:0:0/2:0:0:0");
        AddDisk("sdb", pci / "0000:00:01.1/ata1/host0/target0:0:0/0:0:0:0");
        AddDisk("vda", pci / "0000:00:05.0/virtio1");
        Subsystem(pci / "0000:00:04.0", "pci");
        Subsystem(pci / "0000:00:04.0/usb1", "usb");
        Subsystem(pci / "0000:00:04.0/usb1/1-1", "usb");
        Subsystem(pci / "0000:00:04.0/usb1/1-1/1-1:1.0", "usb");
        Subsystem(pci / "0000:00:01.1", "pci");
        Subsystem(pci / "0000:00:05.0", "pci");
        Subsystem(pci / "0000:00:05.0/virtio1", "virtio");
        fs::create_directories(Dev());
        for (const char* node : {"sda", "sdb", "vda"}) {
            std::ofstream(Dev() / node).put('\0');
        }
    }
    void TearDown() override { fs::remove_all(m_root); }

    fs::path Sys() const { return m_root / "sys"; }
    fs::path Dev() const { return m_root / "dev"; }

    // The disk's own folder with its `device` link up to the SCSI device, and its
    // /sys/block link, relative as the kernel makes them.
    void AddDisk(const std::string& name, const fs::path& parent) {
        fs::create_directories(parent / "block" / name);
        fs::create_directory_symlink("../..", parent / "block" / name / "device");
        fs::create_directories(Sys() / "block");
        fs::create_directory_symlink(fs::relative(parent / "block" / name, Sys() / "block"),
                                     Sys() / "block" / name);
    }
    // The generic node the sg driver makes for the disk's SCSI device.
    void AddGeneric(const std::string& disk, const std::string& name) {
        fs::create_directories(Sys() / "block" / disk / "device/scsi_generic" / name);
    }
    void Subsystem(const fs::path& device, const std::string& bus) {
        fs::create_directories(Sys() / "bus" / bus);
        fs::create_directory_symlink(Sys() / "bus" / bus, device / "subsystem");
    }

    fs::path m_root;
};

TEST_F(UsbDiskTest, OnlyADiskBelowAUsbDeviceCounts) {
    const struct {
        const char* name;
        bool usb;
    } cases[] = {{"sda", true}, {"sdb", false}, {"vda", false}, {"sdc", false},
                 {"", false},   {".", false},   {"..", false},  {"../block/sda", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsUsbDisk(Sys().string(), c.name), c.usb) << c.name;
    }
    EXPECT_FALSE(IsUsbDisk((m_root / "no-sysfs").string(), "sda"));
}

TEST_F(UsbDiskTest, TheSearchSeesAndOpensOnlyUsbDisksUnlessWidened) {
    const auto usbOnly = CreateDiskTransport(DiskScope::UsbOnly, Sys().string(), Dev().string());
    EXPECT_EQ(usbOnly->PresentDriveMask(), Bit('C'));
    const IScsiTransport::Handle handle = usbOnly->OpenDrive('C');
    EXPECT_NE(handle, IScsiTransport::kInvalidHandle) << usbOnly->LastError();
    usbOnly->CloseDrive(handle);
    // An internal disk is never opened, so no command can reach it, even by its letter.
    EXPECT_EQ(usbOnly->OpenDrive('D'), IScsiTransport::kInvalidHandle);
    EXPECT_NE(usbOnly->LastError().find("not attached through USB"), std::string::npos);
    EXPECT_NE(usbOnly->LastError().find("--all-disks"), std::string::npos);

    const auto every = CreateDiskTransport(DiskScope::Every, Sys().string(), Dev().string());
    EXPECT_EQ(every->PresentDriveMask(), Bit('C') | Bit('D'));
    const IScsiTransport::Handle internal = every->OpenDrive('D');
    EXPECT_NE(internal, IScsiTransport::kInvalidHandle) << every->LastError();
    every->CloseDrive(internal);
}

TEST_F(UsbDiskTest, ASearchWithoutAUsbDiskSaysWhichDisksItSkipped) {
    fs::remove(Dev() / "sda"); // the stick is pulled; the ATA disk stays
    const auto transport = CreateDiskTransport(DiskScope::UsbOnly, Sys().string(), Dev().string());
    EXPECT_EQ(transport->PresentDriveMask(), 0u);
    EXPECT_NE(transport->LastError().find((Dev() / "sdb").string() + " skipped"), std::string::npos)
        << transport->LastError();
    EXPECT_NE(transport->LastError().find("--all-disks"), std::string::npos);
}

TEST_F(UsbDiskTest, EachDiskNamesItsGenericNodeWhenTheKernelMadeOne) {
    AddGeneric("sda", "sg2");
    fs::create_directories(Sys() / "block/sdb/device/scsi_generic/sgx"); // not an sg name
    const std::map<std::string, std::string> cases = {
        {"sda", "sg2"}, {"sdb", ""}, {"vda", ""}, {"sdc", ""}, {"", ""}, {"../block/sda", ""}};
    for (const auto& [disk, generic] : cases) {
        EXPECT_EQ(ScsiGenericNameOf(Sys().string(), disk), generic) << disk;
    }
}

// Opening /dev/sdX of a removable disk makes the sd driver send TEST UNIT READY and
// PREVENT/ALLOW MEDIUM REMOVAL; the disk node must stay shut while a generic node exists.
TEST_F(UsbDiskTest, CommandsGoThroughTheGenericNodeAndNeverOpenTheDiskNode) {
    AddGeneric("sda", "sg1");
    std::ofstream(Dev() / "sg1").put('\0');
    AddGeneric("sdb", "sg0"); // the kernel has a generic node, /dev has none: use sdb
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, (Dev() / "sda").c_str(), IN_OPEN), 0);

    const auto transport = CreateDiskTransport(DiskScope::Every, Sys().string(), Dev().string());
    const struct {
        char letter;
        std::string node;
    } cases[] = {{'C', (Dev() / "sg1").string() + " (" + (Dev() / "sda").string() + ")"},
                 {'D', (Dev() / "sdb").string()}};
    for (const auto& c : cases) {
        for (int command = 0; command < 3; ++command) {
            const IScsiTransport::Handle handle = transport->OpenDrive(c.letter);
            ASSERT_NE(handle, IScsiTransport::kInvalidHandle) << transport->LastError();
            Cdb cdb{0xFC};
            std::uint8_t data[2] = {};
            // The fixture's nodes are plain files, so SG_IO fails and names the node used.
            EXPECT_FALSE(transport->SendScsiCommand(handle, cdb, data, 2, ScsiDirection::Read));
            EXPECT_EQ(transport->LastError().rfind("SG_IO on " + c.node + " failed", 0), 0u)
                << transport->LastError();
            transport->CloseDrive(handle);
        }
    }
    alignas(inotify_event) char events[4096];
    EXPECT_EQ(read(watch, events, sizeof events), -1) << "the disk node was opened";
    close(watch);
}

TEST_F(UsbDiskTest, WithoutSysfsNoDiskIsSearched) {
    const auto transport =
        CreateDiskTransport(DiskScope::UsbOnly, (m_root / "absent").string(), Dev().string());
    EXPECT_EQ(transport->PresentDriveMask(), 0u);
    EXPECT_EQ(transport->OpenDrive('C'), IScsiTransport::kInvalidHandle);
}

} // namespace
