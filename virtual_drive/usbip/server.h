// tessalok-vdrive's USB/IP server: a listener and a thread per connection. A connection
// asks for the device list (answered, then closed) or imports one device by its bus id and
// then carries that device's transfers until either side closes it. A device is imported
// by one connection at a time (another is refused until it is released); a device whose
// plug is pulled is listed no more, and the connection that imported it is closed, as a
// pulled plug takes a device off its bus.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/tcp_socket.h"
#include "virtual_drive/connection_threads.h"
#include "virtual_drive/disk/logical_unit.h"
#include "virtual_drive/usbip/descriptors.h"
#include "virtual_drive/usbip/pdu.h"

namespace vdrive::usbip {

struct UsbipSettings {
    std::string host = "127.0.0.1";
    std::uint16_t port = 3240;
    int requestLimitMs = 10000; // the first request must start within this
    int messageLimitMs = 5000;  // a started message must be complete within this
    unsigned maxConnections = 16;
    std::size_t maxWaiting = 64; // transfers of one device waiting at once
};

struct ExportedDevice {
    DeviceSummary summary;
    UsbIdentity identity;
    IScsiLogicalUnit* disk = nullptr;
    std::function<bool()> present;
};

// The device list entry and identity of the volume served as the `index`-th device (from
// 0): bus id "1-<index+1>", bus 1, device number index+1.
ExportedDevice ExportVolume(std::size_t index, char letter, bool fingerprintDrive);

class UsbipServer {
  public:
    using Log = std::function<void(const std::string&)>;
    UsbipServer(std::vector<ExportedDevice> devices, UsbipSettings settings, Log log = {});
    ~UsbipServer();
    UsbipServer(const UsbipServer&) = delete;
    UsbipServer& operator=(const UsbipServer&) = delete;

    bool Listen(std::string& error);
    std::uint16_t Port() const { return m_listener.Port(); }
    // Serves until Stop(); waits for its connections.
    void Run();
    void Stop() { m_stopping = true; }

  private:
    void Serve(TcpSocket& socket);
    void ServeDevice(TcpSocket& socket, std::size_t index);
    // The device with `busId` for this connection alone, if it is there and free.
    std::optional<std::size_t> Claim(const std::string& busId);
    void Release(std::size_t index);
    std::vector<DeviceSummary> Listed() const;
    void Emit(const std::string& text);

    std::vector<ExportedDevice> m_devices;
    UsbipSettings m_settings;
    Log m_log;
    TcpListener m_listener;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex; // guards m_imported and the log
    std::vector<bool> m_imported;
    std::atomic<std::uint64_t> m_imports{0};
    ConnectionThreads m_threads;
};

} // namespace vdrive::usbip
