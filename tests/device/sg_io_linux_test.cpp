// The SG_IO request and its judgement, and the Linux transport on nodes that are not
// SCSI devices.
#include "device/sg_io_linux.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "device/system_transport.h"

namespace {

TEST(SgIoTest, HeaderCarriesTheCdbBufferDirectionAndTimeOut) {
    Cdb cdb{0xFC, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'E', 'C', 'U'};
    std::uint8_t buffer[2] = {};
    std::uint8_t sense[kSenseLength] = {};
    const struct {
        std::uint32_t carried;
        ScsiDirection direction;
        int expected;
    } cases[] = {{2, ScsiDirection::Read, SG_DXFER_FROM_DEV},
                 {11, ScsiDirection::Write, SG_DXFER_TO_DEV},
                 {0, ScsiDirection::Read, SG_DXFER_NONE},
                 {0, ScsiDirection::Write, SG_DXFER_NONE}};
    for (const auto& c : cases) {
        const sg_io_hdr_t header =
            MakeSgIoHeader(cdb.data(), buffer, c.carried, c.direction, sense);
        EXPECT_EQ(header.interface_id, 'S');
        EXPECT_EQ(header.dxfer_direction, c.expected);
        EXPECT_EQ(header.cmdp, cdb.data());
        EXPECT_EQ(header.cmd_len, 16);
        EXPECT_EQ(header.dxfer_len, c.carried);
        EXPECT_EQ(header.dxferp, c.carried > 0 ? buffer : nullptr);
        EXPECT_EQ(header.timeout, 4000u);
        // The kernel hands the sense data back only into a buffer given with the request.
        EXPECT_EQ(header.mx_sb_len, kSenseLength);
        EXPECT_EQ(header.sbp, sense);
    }
}

TEST(SgIoTest, SuccessNeedsTheIoctlAndEveryStatusClear) {
    const struct {
        int ioctlResult;
        unsigned char status;
        unsigned short hostStatus;
        unsigned short driverStatus;
        bool succeeded;
    } cases[] = {{0, 0, 0, 0, true},     {-1, 0, 0, 0, false},   {0, 2, 0, 0, false},
                 {0, 0x18, 0, 0, false}, {0, 0, 0x03, 0, false}, {0, 0, 0, 0x08, false}};
    for (const auto& c : cases) {
        sg_io_hdr_t header{};
        header.status = c.status;
        header.host_status = c.hostStatus;
        header.driver_status = c.driverStatus;
        EXPECT_EQ(SgIoSucceeded(c.ioctlResult, header), c.succeeded)
            << c.ioctlResult << " " << int{c.status} << " " << c.hostStatus << " "
            << c.driverStatus;
    }
}

TEST(SgIoTest, RefusedAccessNamesTheRightsNeeded) {
    for (const int error : {EACCES, EPERM}) {
        EXPECT_NE(DescribeOpenFailure("/dev/sdb", error).find("needs root or CAP_SYS_RAWIO"),
                  std::string::npos);
        EXPECT_NE(DescribeSgIoFailure("/dev/sdb", -1, error, sg_io_hdr_t{}, {})
                      .find("needs root or CAP_SYS_RAWIO"),
                  std::string::npos);
    }
    EXPECT_EQ(DescribeOpenFailure("/dev/sdb", ENOENT).find("CAP_SYS_RAWIO"), std::string::npos);

    sg_io_hdr_t header{};
    header.status = 2;
    header.driver_status = 0x08;
    EXPECT_EQ(DescribeSgIoFailure("/dev/sdb", 0, 0, header, {}),
              "SG_IO on /dev/sdb: SCSI status 0x02, host status 0x00, driver status 0x08");
}

TEST(SgIoTest, ACheckConditionSaysWhatTheSenseDataSays) {
    // A pulled plug as the kernel returns it: fixed-format sense, NOT READY, 3A/00.
    std::uint8_t sense[kSenseLength] = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0};
    sg_io_hdr_t header{};
    header.status = 2;
    header.driver_status = 0x08;
    header.sb_len_wr = 18;
    EXPECT_EQ(DescribeSgIoFailure("/dev/sdc", 0, 0, header, sense),
              "SG_IO on /dev/sdc: SCSI status 0x02, host status 0x00, driver status 0x08: "
              "NOT READY, medium not present (sense 2/3A/00)");
    // The kernel's own time-out is named, not only numbered.
    header.host_status = 0x03;
    EXPECT_EQ(DescribeSgIoFailure("/dev/sdc", 0, 0, header, {}),
              "SG_IO on /dev/sdc: SCSI status 0x02, host status 0x03 (timed out), "
              "driver status 0x08");
    header.host_status = 0;
    // Only what the kernel wrote counts.
    header.sb_len_wr = 0;
    EXPECT_EQ(DescribeSgIoFailure("/dev/sdc", 0, 0, header, sense).find("sense"),
              std::string::npos);
}

std::atomic<int> g_signalsTaken{0};
extern "C" void TakeSignal(int) {
    g_signalsTaken.fetch_add(1);
}

TEST(SgIoTest, ASignalDuringACommandArrivesAfterIt) {
    struct sigaction action {};
    action.sa_handler = TakeSignal;
    action.sa_flags = SA_RESTART; // as std::signal installs the command line's Ctrl-C handler
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &usr2, nullptr), 0);

    g_signalsTaken = 0;
    {
        const SignalsDeferred deferred;
        raise(SIGUSR1);
        EXPECT_EQ(g_signalsTaken.load(), 0);
    }
    EXPECT_EQ(g_signalsTaken.load(), 1);
    // What the thread had blocked before stays blocked.
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &now), 0);
    EXPECT_EQ(sigismember(&now, SIGUSR2), 1);
    EXPECT_EQ(sigismember(&now, SIGUSR1), 0);

    pthread_sigmask(SIG_UNBLOCK, &usr2, nullptr);
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(LinuxTransportTest, ANodeThatIsNoScsiDeviceOpensButEveryCommandFails) {
    char path[] = "/tmp/tessalok-sg-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);

    const auto transport = CreateSystemTransport({path, "/no/such/node"});
    EXPECT_EQ(transport->PresentDriveMask(), 1u << ('C' - 'A'));
    const IScsiTransport::Handle handle = transport->OpenDrive('C');
    ASSERT_NE(handle, IScsiTransport::kInvalidHandle);
    Cdb cdb{0xFC};
    std::uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_FALSE(transport->SendScsiCommand(handle, cdb, data, 4, ScsiDirection::Read));
    EXPECT_EQ(data[0], 0xEE);
    EXPECT_NE(transport->LastError().find(path), std::string::npos) << transport->LastError();
    transport->CloseDrive(handle);

    EXPECT_EQ(transport->OpenDrive('D'), IScsiTransport::kInvalidHandle);
    EXPECT_NE(transport->LastError().find("/no/such/node"), std::string::npos);
    std::remove(path);
}

} // namespace
