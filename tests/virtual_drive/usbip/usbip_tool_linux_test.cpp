// The usbip tool (Debian package usbip) lists the devices the USB front door exports, as
// a Linux host sees them before attaching one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "../server_fixture.h"
#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/usbip/front_door.h"

namespace {

std::string OutputOf(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        output += buffer;
    }
    return output;
}

TEST(UsbipTool, ListsEveryVolumeAsAMassStorageDevice) {
    const std::string tool = "/usr/sbin/usbip";
    if (!std::filesystem::exists(tool)) {
        GTEST_SKIP() << "the usbip tool is not installed (Debian package usbip)";
    }
    ServerFixture fixture;
    fixture.volumes.AddDrive('E', {});
    fixture.volumes.AddStick('F', {});
    vdrive::VolumeDisks disks;
    vdrive::usbip::FrontDoor door;
    std::string error;
    ASSERT_TRUE(disks.Build(fixture.volumes, {}, error)) << error;
    vdrive::usbip::UsbipSettings settings;
    settings.port = 0;
    ASSERT_TRUE(door.Start(disks, settings, {}, error)) << error;

    const std::string listed =
        OutputOf(tool + " --tcp-port " + std::to_string(door.Port()) + " list -r 127.0.0.1 2>&1");
    EXPECT_NE(listed.find("1-1: "), std::string::npos) << listed;
    EXPECT_NE(listed.find("1-2: "), std::string::npos) << listed;
    EXPECT_NE(listed.find("(1209:0001)"), std::string::npos) << listed;
    EXPECT_NE(listed.find("Mass Storage / SCSI / Bulk-Only (08/06/50)"), std::string::npos)
        << listed;
}

} // namespace
