// The accepted end of a connection, as every door of the virtual drive takes it: read back
// from the system, not from our own code.
#include "device/tcp_socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace {

// This process holds the listener and both ends of one connection: the accepted end is
// the connected socket whose own port is the listener's.
int AcceptedDescriptor(std::uint16_t listenerPort) {
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
            local.ss_family != AF_INET) {
            continue;
        }
        sockaddr_in address{};
        std::memcpy(&address, &local, sizeof address);
        if (ntohs(address.sin_port) == listenerPort) {
            return fd;
        }
    }
    return -1;
}

int IntOption(int fd, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    EXPECT_EQ(::getsockopt(fd, level, name, &value, &size), 0) << std::strerror(errno);
    return value;
}

TEST(TcpListener, AcceptedConnectionNoticesAVanishedPeerWithinTwoMinutes) {
    TcpListener listener;
    std::string error;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0, error)) << error;
    const TcpSocket client = TcpSocket::Connect("127.0.0.1", listener.Port(), 5000, error);
    ASSERT_TRUE(client.Valid()) << error;
    const std::optional<TcpSocket> accepted = listener.Accept(5000);
    ASSERT_TRUE(accepted.has_value()) << listener.AcceptError();

    const int fd = AcceptedDescriptor(listener.Port());
    ASSERT_GE(fd, 0) << "no accepted socket among this process's descriptors";
    EXPECT_EQ(IntOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    // The system's own defaults wait two hours before the first probe.
    const int idle = IntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE);
    const int interval = IntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL);
    const int probes = IntOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
    EXPECT_LE(idle + interval * probes, 120)
        << "idle " << idle << " s, then " << probes << " probes " << interval << " s apart";
}

} // namespace
