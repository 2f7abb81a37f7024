#include "device/vdrive_transport.h"

#include <algorithm>
#include <vector>

namespace {

std::string LetterName(char letter) {
    return std::string(1, letter) + ":";
}

} // namespace

VirtualDriveTransport::VirtualDriveTransport(std::string host, std::uint16_t port,
                                             int replyTimeoutMs)
    : m_host(std::move(host)), m_port(port), m_replyTimeoutMs(replyTimeoutMs) {}

bool VirtualDriveTransport::Fail(std::string error) {
    m_lastError = std::move(error);
    return false;
}

std::string VirtualDriveTransport::Address() const {
    const bool ipv6 = m_host.find(':') != std::string::npos;
    return (ipv6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_port);
}

bool VirtualDriveTransport::Receive(TcpSocket& socket, void* data, std::size_t length,
                                    const std::string& what) {
    switch (socket.Receive(data, length, m_replyTimeoutMs, m_stop)) {
    case TcpSocket::Received::All:
        return true;
    case TcpSocket::Received::TimedOut:
        return Fail(what + " within " + std::to_string(m_replyTimeoutMs) + " ms");
    case TcpSocket::Received::Closed:
        // The server closes a connection at once when it serves too many already.
        return Fail(what + " (the server closed the connection)");
    case TcpSocket::Received::Stopped:
        return Fail("interrupted");
    case TcpSocket::Received::Failed:
        break;
    }
    return Fail(what + " (the connection failed)");
}

TcpSocket VirtualDriveTransport::Connect() {
    std::string error;
    TcpSocket socket = TcpSocket::Connect(m_host, m_port, m_replyTimeoutMs, error, m_stop);
    if (!socket.Valid()) {
        Fail(Stopped() ? "interrupted" : "cannot connect to " + Address() + " (" + error + ")");
    }
    return socket;
}

TcpSocket VirtualDriveTransport::ConnectAndOpen(char letter) {
    TcpSocket socket = Connect();
    if (!socket.Valid()) {
        return socket;
    }
    const std::uint8_t request[2] = {vdrive_wire::kOpen, static_cast<std::uint8_t>(letter)};
    std::uint8_t answer = vdrive_wire::kNoSuchVolume;
    if (!socket.SendAll(request, sizeof request)) {
        Fail("connection lost at the open of " + LetterName(letter));
        return {};
    }
    if (!Receive(socket, &answer, 1, "no answer to the open of " + LetterName(letter))) {
        return {};
    }
    if (answer != vdrive_wire::kOpened) {
        Fail("no volume " + LetterName(letter) + " on the virtual drive server");
        return {};
    }
    return socket;
}

IScsiTransport::Handle VirtualDriveTransport::OpenDrive(char letter) {
    if (letter < 'A' || letter > 'Z') {
        Fail("no drive letter");
        return kInvalidHandle;
    }
    TcpSocket socket = ConnectAndOpen(letter);
    if (!socket.Valid()) {
        return kInvalidHandle;
    }
    const Handle handle = m_nextHandle++;
    m_volumes[handle] = Volume{letter, std::move(socket)};
    return handle;
}

bool VirtualDriveTransport::SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data,
                                            std::uint32_t length, ScsiDirection direction) {
    const auto found = m_volumes.find(handle);
    if (found == m_volumes.end()) {
        return Fail("not an open handle");
    }

    if (length > vdrive_wire::kMaxLength) {
        return Fail("transfer of " + std::to_string(length) + " bytes is too long");
    }
    Volume& volume = found->second;
    if (!volume.socket.Valid()) {
        // The last command on this handle was dropped: open the letter again first.
        volume.socket = ConnectAndOpen(volume.letter);
        if (!volume.socket.Valid()) {
            return false;
        }
    }
    if (length == 0) {
        direction = ScsiDirection::Write;
    }
    switch (Exchange(volume, cdb, data, length, direction)) {
    case Outcome::Good:
        return true;
    case Outcome::Refused:
        return false;
    case Outcome::Broken:
        volume.socket.Close();
        return false;
    }
    return false;
}

// One command message and its reply.
VirtualDriveTransport::Outcome VirtualDriveTransport::Exchange(Volume& volume, const Cdb& cdb,
                                                               std::uint8_t* data,
                                                               std::uint32_t length,
                                                               ScsiDirection direction) {
    const bool read = direction == ScsiDirection::Read;
    const std::size_t written = read ? 0 : length;
    std::vector<std::uint8_t> message(vdrive_wire::kCommandHeaderLength + written);
    message[0] = vdrive_wire::kCommand;
    std::copy(cdb.begin(), cdb.end(), message.begin() + 1);
    message[17] = read ? vdrive_wire::kDirectionRead : vdrive_wire::kDirectionWrite;
    vdrive_wire::PutBig32(&message[18], length);
    std::copy_n(data, written, message.begin() + vdrive_wire::kCommandHeaderLength);
    if (!volume.socket.SendAll(message.data(), message.size())) {
        Fail("connection to " + LetterName(volume.letter) + " lost");
        return Outcome::Broken;
    }
    std::uint8_t head[5];
    if (!Receive(volume.socket, head, sizeof head, "no reply from " + LetterName(volume.letter))) {
        return Outcome::Broken;
    }
    const std::uint8_t status = head[0];
    const std::uint32_t count = vdrive_wire::GetBig32(head + 1);
    const bool good = status == kScsiStatusGood;
    const std::uint32_t expected = good && read ? length : 0;
    if (count != expected) {
        Fail("reply with " + std::to_string(count) + " data bytes, expected " +
             std::to_string(expected));
        return Outcome::Broken;
    }
    // Received apart, so a failed read leaves the caller's buffer as it was.
    std::vector<std::uint8_t> reply(count);
    if (count > 0 && !Receive(volume.socket, reply.data(), count,
                              "no reply data from " + LetterName(volume.letter))) {
        return Outcome::Broken;
    }
    if (!good) {
        Fail("SCSI status " + std::to_string(status) + " from " + LetterName(volume.letter));
        return Outcome::Refused;
    }
    std::copy(reply.begin(), reply.end(), data);
    return Outcome::Good;
}

void VirtualDriveTransport::CloseDrive(Handle handle) {
    m_volumes.erase(handle);
}

std::size_t VirtualDriveTransport::OpenConnectionCount() const {
    return static_cast<std::size_t>(std::count_if(
        m_volumes.begin(), m_volumes.end(), [](const auto& v) { return v.second.socket.Valid(); }));
}

std::uint32_t VirtualDriveTransport::PresentDriveMask() {
    TcpSocket socket = Connect();
    if (!socket.Valid()) {
        return 0;
    }
    std::uint8_t mask[4];
    if (!socket.SendAll(&vdrive_wire::kMask, 1)) {
        Fail("connection lost at the mask query");
        return 0;
    }
    if (!Receive(socket, mask, sizeof mask, "no answer to the mask query")) {
        return 0;
    }
    return vdrive_wire::GetBig32(mask);
}

bool VirtualDriveTransport::Control(const std::string& text, std::string& reply) {
    if (text.size() > vdrive_wire::kMaxLength) {
        return Fail("control text too long");
    }
    TcpSocket socket = Connect();
    if (!socket.Valid()) {
        return false;
    }
    std::vector<std::uint8_t> message(3);
    message[0] = vdrive_wire::kControl;
    vdrive_wire::PutBig16(&message[1], static_cast<std::uint16_t>(text.size()));
    message.insert(message.end(), text.begin(), text.end());
    std::uint8_t size[2];
    if (!socket.SendAll(message.data(), message.size())) {
        return Fail("connection lost at the control text");
    }
    if (!Receive(socket, size, sizeof size, "no answer to the control text")) {
        return false;
    }
    reply.assign(vdrive_wire::GetBig16(size), '\0');
    if (!reply.empty() &&
        !Receive(socket, reply.data(), reply.size(), "no complete control answer")) {
        return false;
    }
    return true;
}
