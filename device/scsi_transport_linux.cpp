// Linux backend: SG_IO on the disks /dev/sdX (attached through USB unless every disk was
// asked for), each reached through its SCSI generic node /dev/sgN where it has one, or on
// the nodes of an explicit list. Vendor commands need root or CAP_SYS_RAWIO on a disk node,
// and read and write access on a generic node; the kernel refuses them otherwise.
//
// The generic node is what keeps the wire clean: every vendor command opens and closes its
// node, and on a removable disk the sd driver sends TEST UNIT READY and PREVENT/ALLOW
// MEDIUM REMOVAL for every open and close of /dev/sdX. Opening /dev/sgN sends nothing.
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "device/device_letters.h"
#include "device/scsi_transfer.h"
#include "device/sense_data.h"
#include "device/sg_io_linux.h"
#include "device/system_transport.h"
#include "device/usb_disk_linux.h"

sg_io_hdr_t MakeSgIoHeader(std::uint8_t* cdb, std::uint8_t* buffer, std::uint32_t carried,
                           ScsiDirection direction, std::span<std::uint8_t> sense) {
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmdp = cdb;
    header.cmd_len = static_cast<unsigned char>(kCdbLength);
    // Without a sense buffer the kernel drops the sense data, and a pulled plug, a refused
    // command and a reset all read as the same "SCSI status 0x02".
    header.mx_sb_len = static_cast<unsigned char>(std::min<std::size_t>(sense.size(), 255));
    header.sbp = sense.empty() ? nullptr : sense.data();
    header.timeout = kScsiTimeoutSeconds * 1000; // milliseconds
    header.dxfer_len = carried;
    header.dxferp = carried > 0 ? buffer : nullptr;
    if (carried == 0) {
        header.dxfer_direction = SG_DXFER_NONE;
    } else if (direction == ScsiDirection::Read) {
        header.dxfer_direction = SG_DXFER_FROM_DEV;
    } else {
        header.dxfer_direction = SG_DXFER_TO_DEV;
    }
    return header;
}

bool SgIoSucceeded(int ioctlResult, const sg_io_hdr_t& header) {
    return ioctlResult == 0 && header.status == 0 && header.host_status == 0 &&
           header.driver_status == 0;
}

SignalsDeferred::SignalsDeferred() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &m_previous);
}

SignalsDeferred::~SignalsDeferred() {
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

namespace {

bool IsPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

// What the kernel's host status (the SCSI midlayer's DID_* codes) means, for the few a
// drive on USB meets; empty for the others.
const char* HostStatusMeaning(unsigned status) {
    switch (status) {
    case 0x01:
        return "no connection to the device";
    case 0x02:
        return "bus busy";
    case 0x03:
        return "timed out";
    case 0x04:
        return "bad target";
    case 0x05:
        return "aborted";
    case 0x07:
        return "host adapter error";
    case 0x08:
        return "bus reset";
    case 0x0E:
        return "transport disrupted";
    case 0x0F:
        return "transport failed";
    default:
        return "";
    }
}

} // namespace

std::string DescribeOpenFailure(const std::string& path, int error) {
    std::string text = "cannot open " + path + ": " + std::strerror(error);
    if (IsPermissionError(error)) {
        text += "; the drive needs root or CAP_SYS_RAWIO, and access to the node";
    }
    return text;
}

std::string DescribeSgIoFailure(const std::string& path, int ioctlResult, int error,
                                const sg_io_hdr_t& header, std::span<const std::uint8_t> sense) {
    if (ioctlResult != 0) {
        std::string text = "SG_IO on " + path + " failed: " + std::strerror(error);
        if (IsPermissionError(error)) {
            text += "; sending vendor commands needs root or CAP_SYS_RAWIO";
        }
        return text;
    }
    std::string text = "SG_IO on " + path + ": SCSI status " + Hex(header.status) +
                       ", host status " + Hex(header.host_status);
    if (const std::string meaning = HostStatusMeaning(header.host_status); !meaning.empty()) {
        text += " (" + meaning + ")";
    }
    text += ", driver status " + Hex(header.driver_status);
    const std::size_t written = std::min<std::size_t>(header.sb_len_wr, sense.size());
    if (const auto summary = ParseSense(sense.first(written))) {
        text += ": " + DescribeSense(*summary);
    }
    return text;
}

namespace {

class LinuxScsiTransport final : public IScsiTransport {
  public:
    LinuxScsiTransport(DiskScope scope, std::string sysfsRoot, std::string devRoot)
        : m_scope(scope), m_sysfsRoot(std::move(sysfsRoot)), m_devRoot(std::move(devRoot)) {}
    explicit LinuxScsiTransport(std::vector<std::string> devicePaths)
        : m_devicePaths(std::move(devicePaths)), m_explicit(true) {}

    Handle OpenDrive(char letter) override {
        const std::string path = PathForLetter(letter);
        if (path.empty()) {
            m_lastError = std::string("no disk for drive letter ") + letter + ":";
            return kInvalidHandle;
        }
        if (!InScope(letter)) {
            m_lastError = std::string("drive ") + letter + ": " + path +
                          " is not attached through USB; --all-disks tries every disk";
            return kInvalidHandle;
        }
        // O_NONBLOCK: the open neither waits for the sd driver's medium check nor for the sg
        // driver's error recovery or an exclusive holder; SG_IO itself still waits.
        const std::string node = NodeForLetter(letter);
        const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            m_lastError = std::string("drive ") + letter + ": " +
                          DescribeOpenFailure(NodeLabel(node, path), errno);
            return kInvalidHandle;
        }
        m_openPaths.emplace_back(fd, NodeLabel(node, path));
        return fd;
    }

    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override {
        // The data crosses in a staged copy: a failed read must leave `data` untouched and
        // a 1-byte transfer travels as 2 bytes.
        direction = EffectiveDirection(length, direction);
        std::vector<std::uint8_t> staged(CarriedLength(length));
        StageTransfer(staged, data, length, direction);
        Cdb command = cdb;
        std::array<std::uint8_t, kSenseLength> sense{};
        sg_io_hdr_t header =
            MakeSgIoHeader(command.data(), staged.data(), static_cast<std::uint32_t>(staged.size()),
                           direction, sense);
        int result = 0;
        int error = 0;
        {
            const SignalsDeferred deferred;
            result = ::ioctl(static_cast<int>(handle), SG_IO, &header);
            error = errno;
        }
        if (!SgIoSucceeded(result, header)) {
            m_lastError = DescribeSgIoFailure(PathForHandle(handle), result, error, header, sense);
            return false;
        }
        CopyBackTransfer(staged, data, length, direction);
        return true;
    }

    void CloseDrive(Handle handle) override {
        for (auto it = m_openPaths.begin(); it != m_openPaths.end(); ++it) {
            if (it->first == handle) {
                m_openPaths.erase(it);
                break;
            }
        }
        ::close(static_cast<int>(handle));
    }

    std::uint32_t PresentDriveMask() override {
        std::uint32_t mask = 0;
        std::string skipped;
        for (char letter = kFirstDeviceLetter; letter <= 'Z'; ++letter) {
            const std::string path = PathForLetter(letter);
            struct stat status {};
            if (path.empty() || ::stat(path.c_str(), &status) != 0) {
                continue;
            }
            if (InScope(letter)) {
                mask |= 1u << (letter - 'A');
            } else {
                skipped += (skipped.empty() ? "" : ", ") + path;
            }
        }
        // A search that finds nothing says why, when disks were there but none on USB.
        if (mask == 0 && !skipped.empty()) {
            m_lastError = "no disk attached through USB (" + skipped +
                          " skipped; --all-disks tries every disk)";
        }
        return mask;
    }

    std::string LastError() const override { return m_lastError; }

  private:
    std::string PathForLetter(char letter) const {
        if (m_explicit) {
            return ListedPathForLetter(m_devicePaths, letter);
        }
        const std::string name = DiskNameForLetter(letter);
        return name.empty() ? std::string() : m_devRoot + "/" + name;
    }

    // The node that carries the letter's commands: the disk's generic node when the kernel
    // made one (the sg module may be absent), else the disk node itself.
    std::string NodeForLetter(char letter) const {
        if (!m_explicit) {
            const std::string generic = ScsiGenericNameOf(m_sysfsRoot, DiskNameForLetter(letter));
            struct stat status {};
            if (!generic.empty() && ::stat((m_devRoot + "/" + generic).c_str(), &status) == 0) {
                return m_devRoot + "/" + generic;
            }
        }
        return PathForLetter(letter);
    }

    // "/dev/sg2 (/dev/sdc)", so that a diagnostic names the disk the user knows as well.
    static std::string NodeLabel(const std::string& node, const std::string& disk) {
        return node == disk ? node : node + " (" + disk + ")";
    }

    bool InScope(char letter) const {
        return m_explicit || m_scope == DiskScope::Every ||
               IsUsbDisk(m_sysfsRoot, DiskNameForLetter(letter));
    }

    std::string PathForHandle(Handle handle) const {
        for (const auto& [fd, path] : m_openPaths) {
            if (fd == handle) {
                return path;
            }
        }
        return "handle " + std::to_string(handle);
    }

    DiskScope m_scope = DiskScope::UsbOnly;
    std::string m_sysfsRoot;
    std::string m_devRoot;
    std::vector<std::string> m_devicePaths;
    bool m_explicit = false;
    std::vector<std::pair<Handle, std::string>> m_openPaths;
    std::string m_lastError;
};

} // namespace

std::unique_ptr<IScsiTransport> CreateDiskTransport(DiskScope scope, std::string sysfsRoot,
                                                    std::string devRoot) {
    return std::make_unique<LinuxScsiTransport>(scope, std::move(sysfsRoot), std::move(devRoot));
}

std::unique_ptr<IScsiTransport> CreateSystemTransport(DiskScope scope) {
    return CreateDiskTransport(scope, kSysfsRoot, kDevRoot);
}

std::unique_ptr<IScsiTransport> CreateSystemTransport(std::vector<std::string> devicePaths) {
    return std::make_unique<LinuxScsiTransport>(std::move(devicePaths));
}
