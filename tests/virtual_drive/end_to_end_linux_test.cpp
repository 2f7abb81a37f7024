// tessalok-vdrive as a process, against what only a POSIX system sets up easily: a FIFO
// as its state file, a log reader that goes away, a low limit of file descriptors.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "device/tcp_socket.h"
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

// The process whose command line names `portFile` (the server the fixture started).
pid_t ServerWithPortFile(const fs::path& portFile) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string commandLine = ReadFile(entry.path() / "cmdline");
        if (commandLine.find("tessalok-vdrive") != std::string::npos &&
            commandLine.find(portFile.string()) != std::string::npos &&
            commandLine.find("sh") != 0) {
            return static_cast<pid_t>(std::stol(name));
        }
    }
    return 0;
}

// A one-step login to drive E with session id `isid`, as raw bytes.
std::vector<std::uint8_t> LoginBytes(std::uint8_t isid) {
    std::vector<std::uint8_t> keys;
    for (const std::string key :
         {"InitiatorName=iqn.2026-12.test:fd", "TargetName=iqn.2026-12.org.tessalok:vdrive-e"}) {
        keys.insert(keys.end(), key.begin(), key.end());
        keys.push_back(0);
    }
    keys.resize((keys.size() + 3) / 4 * 4, 0);
    std::vector<std::uint8_t> pdu(48, 0);
    pdu[0] = 0x43;     // immediate login request
    pdu[1] = 0x83;     // transit from the security stage to full feature
    pdu[7] = static_cast<std::uint8_t>(keys.size() - 2); // two bytes of padding at most
    pdu[8] = 0x80;
    pdu[13] = isid;
    pdu.insert(pdu.end(), keys.begin(), keys.end());
    return pdu;
}

// With the descriptors used up by iSCSI sessions (ulimit -n 20, 45 initiators), the
// accept loops wait rather than spin and say so once; a control text still gets its answer.
TEST_F(EndToEnd, UnderALowDescriptorLimitControlTextsAreStillAnswered) {
    const fs::path iscsiPortFile = dir / "iscsi-port";
    ASSERT_TRUE(Start("--iscsi 0 --iscsi-port-file \"" + iscsiPortFile.string() + "\""));
    const pid_t pid = ServerWithPortFile(portFile);
    ASSERT_GT(pid, 0);
    const rlimit limit{20, 20};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &limit, nullptr), 0);
    const auto iscsiPort = static_cast<std::uint16_t>(std::stoi(ReadFile(iscsiPortFile)));
    std::vector<TcpSocket> held;
    for (int i = 0; i < 45; ++i) {
        std::string error;
        held.push_back(TcpSocket::Connect("127.0.0.1", iscsiPort, 1000, error));
        const std::vector<std::uint8_t> login = LoginBytes(static_cast<std::uint8_t>(i));
        ASSERT_TRUE(held.back().SendAll(login.data(), login.size())) << error;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    std::string reply;
    EXPECT_TRUE(VirtualDriveTransport(vdrive_wire::kDefaultHost, port).Control("version", reply));
    held.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Stop(), 0);
    const std::string out = ReadFile(dir / "out.txt");
    std::size_t said = 0;
    for (std::size_t at = out.find("iSCSI: cannot accept a connection"); at != std::string::npos;
         at = out.find("iSCSI: cannot accept a connection", at + 1)) {
        ++said;
    }
    EXPECT_EQ(said, 1u) << out;
}

// An image that cannot be served ends the start before a port file says the server is up.
TEST_F(EndToEnd, AnImageThatCannotBeServedStopsTheStartBeforeThePortFile) {
    Launch("--iscsi 0 --disk-image E=\"" + (dir / "missing.img").string() + "\"");
    const int status = server.get();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(fs::exists(portFile));
    EXPECT_NE(ReadFile(dir / "out.txt").find("missing.img"), std::string::npos);
}

} // namespace
