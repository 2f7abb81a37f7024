#include "virtual_drive/usbip/server.h"

#include <array>
#include <exception>

#include "virtual_drive/usbip/storage_device.h"

namespace vdrive::usbip {
namespace {

constexpr int kSliceMs = 100; // how often an idle connection looks at the plug and stop flag
// Nexus numbers of USB hosts on a disk every door shares: apart from the other doors'.
constexpr std::uint64_t kUsbNexus = std::uint64_t{1} << 62;

} // namespace

ExportedDevice ExportVolume(std::size_t index, char letter, bool fingerprintDrive) {
    ExportedDevice device;
    device.identity = UsbIdentityFor(letter, fingerprintDrive);
    DeviceSummary& summary = device.summary;
    summary.busId = "1-" + std::to_string(index + 1);
    summary.path = "/sys/devices/platform/tessalok-vdrive/usb1/" + summary.busId;
    summary.busNumber = 1;
    summary.deviceNumber = static_cast<std::uint32_t>(index + 1);
    summary.vendorId = device.identity.vendorId;
    summary.productId = device.identity.productId;
    summary.release = device.identity.release;
    summary.configurationValue = kConfigurationValue;
    summary.interfaces = {{kMassStorageClass, kScsiTransparentSubClass, kBulkOnlyProtocol}};
    return device;
}

UsbipServer::UsbipServer(std::vector<ExportedDevice> devices, UsbipSettings settings, Log log)
    : m_devices(std::move(devices)), m_settings(std::move(settings)), m_log(std::move(log)),
      m_imported(m_devices.size(), false) {}

UsbipServer::~UsbipServer() {
    Stop();
    m_threads.WaitAll();
}

bool UsbipServer::Listen(std::string& error) {
    return m_listener.Listen(m_settings.host, m_settings.port, error);
}

void UsbipServer::Emit(const std::string& text) {
    if (m_log) {
        std::lock_guard lock(m_mutex);
        m_log(text);
    }
}

void UsbipServer::Run() {
    m_threads.AcceptUntil(m_listener, m_stopping, m_settings.maxConnections,
                          [this](TcpSocket socket, unsigned) {
                              try {
                                  Serve(socket);
                              } catch (const std::exception& error) {
                                  Emit(std::string("USB/IP connection ended: ") + error.what());
                              }
                          });
}

std::vector<DeviceSummary> UsbipServer::Listed() const {
    std::vector<DeviceSummary> listed;
    for (const ExportedDevice& device : m_devices) {
        if (!device.present || device.present()) {
            listed.push_back(device.summary);
        }
    }
    return listed;
}

std::optional<std::size_t> UsbipServer::Claim(const std::string& busId) {
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].summary.busId != busId) {
            continue;
        }
        if (m_devices[i].present && !m_devices[i].present()) {
            return std::nullopt;
        }
        std::lock_guard lock(m_mutex);
        if (m_imported[i]) {
            return std::nullopt;
        }
        m_imported[i] = true;
        return i;
    }
    return std::nullopt;
}

void UsbipServer::Release(std::size_t index) {
    std::lock_guard lock(m_mutex);
    m_imported[index] = false;
}

void UsbipServer::Serve(TcpSocket& socket) {
    if (!WaitReadable(socket, m_settings.requestLimitMs, m_stopping)) {
        return;
    }
    std::array<std::uint8_t, kOpHeaderSize> head{};
    if (!socket.ReceiveAll(head.data(), head.size(), m_settings.messageLimitMs)) {
        return;
    }
    const OpHeader request = DecodeOpHeader(head);
    std::vector<std::uint8_t> out;
    if (request.code == kOpReqDevlist) {
        EncodeDevlistReply(Listed(), out);
        socket.SendAll(out.data(), out.size());
        return;
    }
    if (request.code != kOpReqImport) {
        return;
    }
    std::array<std::uint8_t, kBusIdSize> busIdBytes{};
    if (!socket.ReceiveAll(busIdBytes.data(), busIdBytes.size(), m_settings.messageLimitMs)) {
        return;
    }
    const std::string busId = DecodeBusId(busIdBytes);
    const std::optional<std::size_t> index =
        request.version == kVersion ? Claim(busId) : std::nullopt;
    EncodeImportReply(index ? &m_devices[*index].summary : nullptr, out);
    if (!index) {
        Emit("USB/IP: import of " + busId + " refused (no such device, unplugged or in use)");
        socket.SendAll(out.data(), out.size());
        return;
    }
    if (socket.SendAll(out.data(), out.size())) {
        Emit("USB/IP: " + busId + " imported");
        ServeDevice(socket, *index);
        Emit("USB/IP: " + busId + " released");
    }
    Release(*index);
}

void UsbipServer::ServeDevice(TcpSocket& socket, std::size_t index) {
    const ExportedDevice& exported = m_devices[index];
    StorageDevice device(*exported.disk, kUsbNexus | ++m_imports, exported.identity);
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, kUrbHeaderSize> head{};
    while (!m_stopping) {
        if (exported.present && !exported.present()) {
            return; // the plug is pulled: the device leaves the host's bus
        }
        if (!socket.WaitReadable(kSliceMs)) {
            continue;
        }
        if (!socket.ReceiveAll(head.data(), head.size(), m_settings.messageLimitMs)) {
            return;
        }
        const UrbHeader header = DecodeUrbHeader(head);
        const std::optional<std::uint32_t> following =
            DataFollowing(header, device.Waiting(), m_settings.maxWaiting);
        if (!following) {
            return;
        }
        std::vector<std::uint8_t> data(*following);
        if (!data.empty() &&
            !socket.ReceiveAll(data.data(), data.size(), m_settings.messageLimitMs)) {
            return;
        }
        device.Handle(header, std::move(data), out);
        if (!out.empty() && !socket.SendAll(out.data(), out.size())) {
            return;
        }
        out.clear();
    }
}

} // namespace vdrive::usbip
