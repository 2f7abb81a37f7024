#include "virtual_drive/vdrive_server.h"

#include <charconv>
#include <chrono>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "device/vdrive_wire.h"
#include "virtual_drive/connection_threads.h"
#include "virtual_drive/control.h"

namespace vdrive {

namespace {

constexpr const char* kDoor = "protocol v1"; // names this door in the log
constexpr int kSliceMs = 100;    // how often waiting threads look at the stop flag
constexpr int kIdleSliceMs = 20; // how soon an idle connection asked to close goes
// How long a new connection waits for the one closed to make room for it.
constexpr auto kRoomWaitLimit = std::chrono::milliseconds(10 * kIdleSliceMs);

} // namespace

bool IsLoopbackAddress(const std::string& host) {
    if (host == "localhost" || host == "::1") {
        return true;
    }
    // Four decimal parts of 0 to 255, the first of them 127.
    unsigned parts[4] = {};
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        const auto [end, code] =
            std::from_chars(host.data() + at, host.data() + host.size(), parts[part]);
        const std::size_t next = static_cast<std::size_t>(end - host.data());
        if (code != std::errc{} || next == at || parts[part] > 255) {
            return false;
        }
        at = next;
        if (part < 3) {
            if (at >= host.size() || host[at] != '.') {
                return false;
            }
            ++at;
        }
    }
    return at == host.size() && parts[0] == 127;
}

bool ServerSettings::LoopbackOnly() const {
    return IsLoopbackAddress(host);
}

VdriveServer::VdriveServer(VolumeSet& volumes, ServerSettings settings, Log log)
    : m_volumes(volumes), m_settings(std::move(settings)), m_log(std::move(log)) {}

VdriveServer::~VdriveServer() {
    Stop();
    std::unique_lock lock(m_connectionsMutex);
    m_connectionsDone.wait(lock, [this] { return m_connections.empty(); });
}

bool VdriveServer::Listen(std::string& error) {
    return m_listener.Listen(m_settings.host, m_settings.port, error);
}

void VdriveServer::Emit(const std::string& text) {
    if (m_log) {
        std::lock_guard lock(m_logMutex);
        m_log(text);
    }
}

std::string VdriveServer::Control(const std::string& text) {
    ControlResult result;
    {
        std::lock_guard lock(m_volumes.ModelMutex());
        result = RunControl(m_volumes, text);
    }
    if (result.shutdown) {
        Stop();
    }
    if (m_settings.verbose) {
        Emit("control \"" + text + "\" -> " + result.reply);
    }
    return result.reply;
}

void VdriveServer::Run() {
    AcceptPacer pacer(kDoor, [this](const std::string& line) { Emit(line); });
    while (!m_stopping) {
        std::optional<TcpSocket> socket = m_listener.Accept(kSliceMs);
        pacer.After(m_listener, socket.has_value(), m_stopping);
        if (socket) {
            Accepted(std::move(*socket));
        }
    }
    m_listener.Close();
    std::unique_lock lock(m_connectionsMutex);
    m_connectionsDone.wait(lock, [this] { return m_connections.empty(); });
}

void VdriveServer::Accepted(TcpSocket socket) {
    if (!MakeRoom()) {
        Emit(std::string(kDoor) + ": connection refused: all " +
             std::to_string(m_settings.maxConnections) +
             " connections are busy");
        return; // closed at once
    }
    std::list<Connection>::iterator connection;
    {
        std::lock_guard lock(m_connectionsMutex);
        connection = m_connections.emplace(m_connections.end());
        connection->socket = std::move(socket);
    }
    try {
        StartThread([this, connection] { ServeConnection(connection); });
    } catch (const std::exception& error) { // std::system_error: no thread to give
        {
            std::lock_guard lock(m_connectionsMutex);
            m_connections.erase(connection);
            m_connectionsDone.notify_all();
        }
        Emit(std::string(kDoor) + ": connection refused: no thread can be started for it (" +
             error.what() + ")");
    }
}

bool VdriveServer::MakeRoom() {
    std::unique_lock lock(m_connectionsMutex);
    const auto full = [this] { return m_connections.size() >= m_settings.maxConnections; };
    if (!full()) {
        return true;
    }
    // The one to close: idle, without an open volume before one with, then idle longest.
    Connection* chosen = nullptr;
    bool alreadyClosing = false;
    for (Connection& connection : m_connections) {
        alreadyClosing = alreadyClosing || connection.closeRequested;
        if (connection.idle &&
            (chosen == nullptr || std::tie(connection.volumeOpen, connection.idleSince) <
                                      std::tie(chosen->volumeOpen, chosen->idleSince))) {
            chosen = &connection;
        }
    }
    if (!alreadyClosing && chosen != nullptr) {
        chosen->closeRequested = true;
        const auto idleMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - chosen->idleSince)
                                .count();
        const std::string line = std::string(kDoor) + ": all " +
                                 std::to_string(m_settings.maxConnections) +
                                 " connections taken: closing one idle for " +
                                 std::to_string(idleMs) + " ms" +
                                 (chosen->volumeOpen ? " (a volume open)" : "") + " to make room";
        lock.unlock();
        Emit(line);
        lock.lock();
    }
    return m_connectionsDone.wait_for(lock, kRoomWaitLimit, [&] { return !full(); });
}

void VdriveServer::StartThread(std::function<void()> work) {
    if (m_settings.startThread) {
        m_settings.startThread(std::move(work));
    } else {
        std::thread(std::move(work)).detach();
    }
}

void VdriveServer::ServeConnection(std::list<Connection>::iterator connection) {
    try {
        Serve(*connection);
    } catch (const std::exception& error) {
        // Out of memory, say: this connection ends, the server goes on.
        Emit(std::string(kDoor) + ": connection ended: " + error.what());
    }
    // Notified under the lock: once the list is empty the server may be gone.
    std::lock_guard lock(m_connectionsMutex);
    m_connections.erase(connection);
    m_connectionsDone.notify_all();
}

void VdriveServer::MarkIdle(Connection& connection, bool idle) {
    std::lock_guard lock(m_connectionsMutex);
    connection.idle = idle;
    if (idle) {
        connection.idleSince = std::chrono::steady_clock::now();
    }
}

void VdriveServer::Pause(int milliseconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSliceMs, milliseconds)));
    }
}

bool VdriveServer::WaitForMessage(Connection& connection, int limitMs, std::uint8_t& type) {
    for (int waited = 0; waited < limitMs && !m_stopping && !connection.closeRequested;
         waited += kIdleSliceMs) {
        if (connection.socket.WaitReadable(kIdleSliceMs)) {
            return connection.socket.ReceiveAll(&type, 1, 0); // false: the client closed
        }
    }
    return false;
}

void VdriveServer::Serve(Connection& connection) {
    char openLetter = 0;
    std::uint8_t type = 0;
    // Only an open volume may sit idle for long; a new connection must speak up at once.
    while (true) {
        MarkIdle(connection, true);
        const int limitMs = openLetter ? m_settings.idleLimitMs : m_settings.greetingLimitMs;
        if (!WaitForMessage(connection, limitMs, type)) {
            return;
        }
        MarkIdle(connection, false);
        if (!ServeMessage(connection.socket, type, openLetter)) {
            return;
        }
        if (openLetter != 0) {
            std::lock_guard lock(m_connectionsMutex);
            connection.volumeOpen = true;
        }
    }
}

bool VdriveServer::ServeMessage(TcpSocket& socket, std::uint8_t type, char& openLetter) {
    switch (type) {
    case vdrive_wire::kMask: {
        std::uint8_t mask[4];
        {
            std::lock_guard lock(m_volumes.ModelMutex());
            vdrive_wire::PutBig32(mask, m_volumes.PresentMask());
        }
        socket.SendAll(mask, sizeof mask);
        return false; // one message per mask connection
    }
    case vdrive_wire::kOpen: {
        std::uint8_t letter = 0;
        if (openLetter != 0 || !socket.ReceiveAll(&letter, 1, m_settings.messageLimitMs)) {
            return false;
        }
        bool present = false;
        {
            std::lock_guard lock(m_volumes.ModelMutex());
            const Volume* volume = m_volumes.Find(static_cast<char>(letter));
            present = volume != nullptr && volume->Present();
        }
        const std::uint8_t answer = present ? vdrive_wire::kOpened : vdrive_wire::kNoSuchVolume;
        if (!socket.SendAll(&answer, 1) || !present) {
            return false;
        }
        openLetter = static_cast<char>(letter);
        return true;
    }
    case vdrive_wire::kCommand:
        return openLetter != 0 && ServeCommand(socket, openLetter);
    case vdrive_wire::kControl:
        ServeControl(socket);
        return false;
    default:
        return false; // malformed: only this connection ends
    }
}

bool VdriveServer::ServeCommand(TcpSocket& socket, char letter) {
    std::uint8_t head[vdrive_wire::kCommandHeaderLength - 1];
    if (!socket.ReceiveAll(head, sizeof head, m_settings.messageLimitMs)) {
        return false;
    }
    Cdb cdb{};
    std::copy(head, head + kCdbLength, cdb.begin());
    const std::uint8_t directionByte = head[16];
    const std::uint32_t length = vdrive_wire::GetBig32(head + 17);
    if (length > vdrive_wire::kMaxLength || directionByte > vdrive_wire::kDirectionRead) {
        return false;
    }
    // A transfer of 0 bytes has no data phase and counts as a write.
    const ScsiDirection direction = directionByte == vdrive_wire::kDirectionRead && length > 0
                                        ? ScsiDirection::Read
                                        : ScsiDirection::Write;
    std::vector<std::uint8_t> data(length, 0);
    if (directionByte == vdrive_wire::kDirectionWrite && length > 0 &&
        !socket.ReceiveAll(data.data(), length, m_settings.messageLimitMs)) {
        return false;
    }
    CommandOutcome outcome;
    {
        std::lock_guard lock(m_volumes.ModelMutex());
        Volume* volume = m_volumes.Find(letter);
        if (volume == nullptr) {
            outcome.status = kScsiStatusCheckCondition;
        } else if (volume->drive) {
            volume->drive->SetLogging(m_settings.verbose);
            volume->drive->SetDoor(kDoor);
            outcome = volume->drive->Execute(cdb, direction, data);
            volume->drive->SetDoor(FingerprintDriveModel::kDiskDoor);
        } else {
            outcome.status = volume->stick->ExecuteCommand(cdb, direction, data);
        }
    }
    if (m_settings.verbose) {
        Emit(std::string(1, letter) + ": " +
             (outcome.decoded.empty() ? "command" : outcome.decoded) + " status " +
             std::to_string(outcome.status));
    }
    m_volumes.Commands().Record("v1", letter, cdb[0], length,
                                outcome.silent ? std::nullopt
                                               : std::optional<std::uint8_t>(outcome.status));
    if (outcome.silent) {
        Pause(m_settings.silenceMs);
        return false; // the client has given up on this connection by now
    }
    if (m_settings.latencyMs > 0) {
        Pause(m_settings.latencyMs);
    }
    const bool good = outcome.status == kScsiStatusGood;
    const std::uint32_t count = good && direction == ScsiDirection::Read ? length : 0;
    std::vector<std::uint8_t> reply(5 + count);
    reply[0] = outcome.status;
    vdrive_wire::PutBig32(&reply[1], count);
    std::copy_n(data.begin(), count, reply.begin() + 5);
    return socket.SendAll(reply.data(), reply.size());
}

bool VdriveServer::ServeControl(TcpSocket& socket) {
    std::uint8_t size[2];
    if (!socket.ReceiveAll(size, sizeof size, m_settings.messageLimitMs)) {
        return false;
    }
    std::string text(vdrive_wire::GetBig16(size), '\0');
    if (!text.empty() && !socket.ReceiveAll(text.data(), text.size(), m_settings.messageLimitMs)) {
        return false;
    }
    std::string reply = Control(text);
    if (reply.size() > vdrive_wire::kMaxLength) {
        reply.resize(vdrive_wire::kMaxLength);
    }
    std::uint8_t replySize[2];
    vdrive_wire::PutBig16(replySize, static_cast<std::uint16_t>(reply.size()));
    return socket.SendAll(replySize, 2) && socket.SendAll(reply.data(), reply.size());
}

} // namespace vdrive
