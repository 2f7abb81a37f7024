// tessalok-vdrive as a process, against what only a POSIX shell sets up easily: a FIFO
// as its state file, and a log reader that goes away.
#include <sys/stat.h>

#include "end_to_end_fixture.h"

namespace {

TEST_F(EndToEnd, AFifoAsStateFileDoesNotStopTheServerFromListening) {
    ASSERT_EQ(::mkfifo(stateFile.c_str(), 0600), 0);
    Launch("--state-file \"" + stateFile.string() + "\"");
    const bool listening = WaitForPort();
    if (!listening) {
        std::ofstream unblock(stateFile); // a server stuck on the FIFO goes on
        WaitForPort();
    }
    ASSERT_TRUE(listening);
    std::string reply;
    ASSERT_TRUE(VirtualDriveTransport(vdrive_wire::kDefaultHost, port).Control("slots", reply));
    EXPECT_EQ(reply, "E: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9");
    EXPECT_EQ(Stop(), 0);
    EXPECT_NE(ReadFile(dir / "out.txt").find("is not a regular file"), std::string::npos);
}

// The reader of the verbose log takes one line and quits; every later log line meets a
// closed pipe, and the server must go on serving.
TEST_F(EndToEnd, ALogReaderThatGoesAwayDoesNotStopTheServer) {
    ASSERT_TRUE(Start("--verbose", "2>&1 | head -n 1 > /dev/null"));
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    DriveClient client(transport, 'E');
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(client.Identify()) << "round " << round << ": " << transport.LastError();
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // head has gone by now
    }
    std::string reply;
    EXPECT_TRUE(transport.Control("version", reply));
    EXPECT_EQ(Stop(), 0);
}

} // namespace
