// The virtual-drive client against small peers of its own kind of socket: a server that
// closes at once, one that never answers a command, one on IPv6.
#include "device/vdrive_transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "device/tcp_socket.h"
#include "device/vdrive_wire.h"

namespace {

constexpr int kLongWaitMs = 600000; // a wait that only the stop flag can cut short

// Listens on `host` and serves one connection with `serve` on its own thread.
class Peer {
  public:
    Peer(const std::string& host, std::function<void(TcpSocket&)> serve) {
        std::string error;
        m_listening = m_listener.Listen(host, 0, error);
        if (m_listening) {
            m_thread = std::thread([this, serve = std::move(serve)] {
                std::optional<TcpSocket> connection = m_listener.Accept(10000);
                if (connection)
                    serve(*connection);
            });
        }
    }
    ~Peer() {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool Listening() const { return m_listening; }
    std::uint16_t Port() const { return m_listener.Port(); }

  private:
    TcpListener m_listener;
    bool m_listening = false;
    std::thread m_thread;
};

void AnswerMask(TcpSocket& connection, std::uint32_t mask) {
    std::uint8_t query = 0;
    ASSERT_TRUE(connection.ReceiveAll(&query, 1, 5000));
    std::uint8_t answer[4];
    vdrive_wire::PutBig32(answer, mask);
    connection.SendAll(answer, sizeof answer);
}

TEST(VirtualDriveTransport, SaysThatTheServerClosedTheConnection) {
    Peer peer("127.0.0.1", [](TcpSocket& connection) { connection.Close(); });
    ASSERT_TRUE(peer.Listening());
    VirtualDriveTransport transport("127.0.0.1", peer.Port(), kLongWaitMs);
    EXPECT_EQ(transport.PresentDriveMask(), 0u);
    EXPECT_EQ(transport.LastError(),
              "no answer to the mask query (the server closed the connection)");
}

TEST(VirtualDriveTransport, TheStopFlagEndsTheReplyWait) {
    std::atomic<bool> released{false};
    Peer peer("127.0.0.1", [&released](TcpSocket& connection) {
        std::uint8_t open[2];
        ASSERT_TRUE(connection.ReceiveAll(open, sizeof open, 5000));
        connection.SendAll(&vdrive_wire::kOpened, 1);
        // The command arrives and is never answered.
        while (!released.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    ASSERT_TRUE(peer.Listening());
    std::atomic<bool> stop{false};
    VirtualDriveTransport transport("127.0.0.1", peer.Port(), kLongWaitMs);
    transport.SetStopFlag(&stop);
    const IScsiTransport::Handle handle = transport.OpenDrive('E');
    ASSERT_NE(handle, IScsiTransport::kInvalidHandle) << transport.LastError();

    std::thread ctrlC([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.store(true);
    });
    std::uint8_t seed[2] = {};
    EXPECT_FALSE(transport.SendScsiCommand(handle, Cdb{}, seed, sizeof seed, ScsiDirection::Read));
    EXPECT_EQ(transport.LastError(), "interrupted");
    ctrlC.join();
    released.store(true);
    transport.CloseDrive(handle);
}

TEST(VirtualDriveTransport, ReachesAServerOnIpv6) {
    Peer peer("::1", [](TcpSocket& connection) { AnswerMask(connection, 0x10u); });
    if (!peer.Listening())
        GTEST_SKIP() << "no IPv6 loopback here";
    VirtualDriveTransport transport("::1", peer.Port());
    EXPECT_EQ(transport.PresentDriveMask(), 0x10u) << transport.LastError();
}

TEST(VirtualDriveTransport, NamesAnIpv6ServerItCannotReachInBrackets) {
    VirtualDriveTransport transport("::1", 1);
    EXPECT_EQ(transport.PresentDriveMask(), 0u);
    EXPECT_EQ(transport.LastError().rfind("cannot connect to [::1]:1 (", 0), 0u)
        << transport.LastError();
}

} // namespace
