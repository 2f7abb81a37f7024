// tessalok-vdrive as a process: started with a state file and an ephemeral port, driven
// through the client transport (enrol, then erase), stopped, and its state file read.
#include "end_to_end_fixture.h"

namespace {

TEST_F(EndToEnd, EnrolThenEraseAndTheStateFileFollows) {
    std::ofstream(stateFile) << "tessalok-vdrive state 1\nslot 0 owner\n";
    ASSERT_TRUE(Start("--stick D --state-file \"" + stateFile.string() +
                      "\" --touches 2 --run \"finger owner\" --run \"finger guest 2\""));
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    EXPECT_EQ(transport.PresentDriveMask(), 1u << ('D' - 'A') | 1u << ('E' - 'A'));
    DriveClient client(transport, 'E');
    ASSERT_TRUE(client.Identify()) << transport.LastError();

    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    EXPECT_EQ(NextReport(client, 4), (std::vector<std::uint8_t>{'S', 0, 0, 0})); // authorized
    EXPECT_EQ(NextReport(client, 4), (std::vector<std::uint8_t>{'a', 0, 0, 0}));
    EXPECT_EQ(NextReport(client, 4), (std::vector<std::uint8_t>{'S', 0, 0, 0})); // enrolled
    EXPECT_EQ(ReadFile(stateFile), "tessalok-vdrive state 1\nslot 0 owner\nslot 1 guest\n");

    std::string reply;
    ASSERT_TRUE(transport.Control("finger guest", reply));
    ASSERT_TRUE(client.Start(vendor::kEraseStart));
    EXPECT_EQ(NextReport(client, 1), std::vector<std::uint8_t>{'S'});
    EXPECT_EQ(NextReport(client, 1), std::vector<std::uint8_t>{'s'});
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(ReadFile(stateFile), "tessalok-vdrive state 1\n");
}

TEST_F(EndToEnd, AutomaticUserEnrolsByItself) {
    ASSERT_TRUE(Start("--auto-user --latency 0 --run \"set-slot 0 owner\""));
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    DriveClient client(transport, 'E');
    ASSERT_TRUE(client.Identify()) << transport.LastError();
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    EXPECT_EQ(NextReport(client, 4, 14), (std::vector<std::uint8_t>{'S', 0, 0, 0}));
    for (int touch = 0; touch < 2; ++touch) {
        EXPECT_EQ(NextReport(client, 4, 14), (std::vector<std::uint8_t>{'a', 0, 0, 0}));
    }
    EXPECT_EQ(NextReport(client, 4, 14), (std::vector<std::uint8_t>{'S', 0, 0, 0}));
    std::string reply;
    ASSERT_TRUE(transport.Control("slots", reply));
    EXPECT_EQ(reply.rfind("E: S0=owner S1=auto-finger-1 F2", 0), 0u) << reply;
}

TEST_F(EndToEnd, CorruptStateFileStartsEmptyAndSaysSo) {
    std::ofstream(stateFile) << "garbage\n";
    ASSERT_TRUE(Start("--state-file \"" + stateFile.string() + "\""));
    std::string reply;
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    ASSERT_TRUE(transport.Control("slots", reply));
    EXPECT_EQ(reply, "E: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9");
    EXPECT_EQ(Stop(), 0);
    EXPECT_NE(ReadFile(dir / "out.txt").find("is corrupt"), std::string::npos);
}

} // namespace
