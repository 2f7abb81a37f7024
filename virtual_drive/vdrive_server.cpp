#include "virtual_drive/vdrive_server.h"

#include <chrono>
#include <thread>
#include <vector>

#include "device/vdrive_wire.h"
#include "virtual_drive/control.h"

namespace vdrive {

namespace {

constexpr int kSliceMs = 100; // how often a pause looks at the stop flag

} // namespace

VdriveServer::VdriveServer(VolumeSet& volumes, ServerSettings settings, Log log)
    : m_volumes(volumes), m_settings(std::move(settings)), m_log(std::move(log)) {}

VdriveServer::~VdriveServer() {
    Stop();
    m_threads.WaitAll();
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
    m_threads.AcceptUntil(m_listener, m_stopping, m_settings.maxConnections,
                          [this](TcpSocket socket, unsigned) { Serve(std::move(socket)); });
}

void VdriveServer::Pause(int milliseconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSliceMs, milliseconds)));
    }
}

bool VdriveServer::WaitForMessage(TcpSocket& socket, int limitMs, std::uint8_t& type) {
    // ReceiveAll fails when what was waiting is the client's close.
    return WaitReadable(socket, limitMs, m_stopping) && socket.ReceiveAll(&type, 1, 0);
}

void VdriveServer::Serve(TcpSocket socket) {
    char openLetter = 0;
    std::uint8_t type = 0;
    // Only an open volume may sit idle for long; a new connection must speak up at once.
    while (WaitForMessage(socket, openLetter ? m_settings.idleLimitMs : m_settings.messageLimitMs,
                          type) &&
           ServeMessage(socket, type, openLetter)) {
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
            outcome = volume->drive->Execute(cdb, direction, data);
        } else {
            outcome.status = volume->stick->ExecuteCommand(cdb, direction, data);
        }
    }
    if (m_settings.verbose) {
        Emit(std::string(1, letter) + ": " +
             (outcome.decoded.empty() ? "command" : outcome.decoded) + " status " +
             std::to_string(outcome.status));
    }
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
