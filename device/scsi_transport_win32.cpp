// Windows backend: the volume handle of "\\.\X:" and the SCSI pass-through control codes.
// The request block itself is built by PassThroughRequest; this file only checks its
// layout against the platform's structures and makes the calls.
#include <windows.h>

#include <ntddscsi.h>
#include <winioctl.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "device/device_letters.h"
#include "device/pass_through_block.h"
#include "device/system_error_text_win32.h"
#include "device/system_transport.h"

namespace {

constexpr const PassThroughLayout& kLayout = NativePassThroughLayout();

// A header gap between the builder and <ntddscsi.h> must fail the build, not a user's PC.
static_assert(kLayout.headerSize == sizeof(SCSI_PASS_THROUGH));
static_assert(kLayout.lengthField == offsetof(SCSI_PASS_THROUGH, Length));
static_assert(kLayout.scsiStatusField == offsetof(SCSI_PASS_THROUGH, ScsiStatus));
static_assert(kLayout.pathIdField == offsetof(SCSI_PASS_THROUGH, PathId));
static_assert(kLayout.targetIdField == offsetof(SCSI_PASS_THROUGH, TargetId));
static_assert(kLayout.lunField == offsetof(SCSI_PASS_THROUGH, Lun));
static_assert(kLayout.cdbLengthField == offsetof(SCSI_PASS_THROUGH, CdbLength));
static_assert(kLayout.senseInfoLengthField == offsetof(SCSI_PASS_THROUGH, SenseInfoLength));
static_assert(kLayout.dataInField == offsetof(SCSI_PASS_THROUGH, DataIn));
static_assert(kLayout.dataTransferLengthField == offsetof(SCSI_PASS_THROUGH, DataTransferLength));
static_assert(kLayout.timeOutValueField == offsetof(SCSI_PASS_THROUGH, TimeOutValue));
static_assert(kLayout.dataBufferField == offsetof(SCSI_PASS_THROUGH, DataBufferOffset));
static_assert(kLayout.pointerSize == sizeof(SCSI_PASS_THROUGH::DataBufferOffset));
static_assert(kLayout.senseInfoOffsetField == offsetof(SCSI_PASS_THROUGH, SenseInfoOffset));
static_assert(kLayout.cdbField == offsetof(SCSI_PASS_THROUGH, Cdb));
static_assert(sizeof(SCSI_PASS_THROUGH::Cdb) == kCdbLength);
static_assert(kLayout.dataOffset >= sizeof(SCSI_PASS_THROUGH) &&
              kLayout.dataOffset % alignof(SCSI_PASS_THROUGH) == 0);
// The direct form shares the layout, with a pointer where the offset was.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == sizeof(SCSI_PASS_THROUGH));
static_assert(kLayout.dataBufferField == offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer));
static_assert(kLayout.pointerSize == sizeof(SCSI_PASS_THROUGH_DIRECT::DataBuffer));
static_assert(kLayout.cdbField == offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb));
// The 32-bit build sends the 44-byte header with its data area at 48.
static_assert(sizeof(void*) != 4 || (sizeof(SCSI_PASS_THROUGH) == 44 && kLayout.dataOffset == 48));
static_assert(IOCTL_SCSI_PASS_THROUGH == kIoctlScsiPassThrough);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect);
static_assert(SCSI_IOCTL_DATA_IN == kScsiIoctlDataIn && SCSI_IOCTL_DATA_OUT == kScsiIoctlDataOut);
// INVALID_HANDLE_VALUE, all bits set, is kInvalidHandle (-1) as a handle number.
static_assert(sizeof(HANDLE) == sizeof(IScsiTransport::Handle));

std::wstring Widen(const std::string& utf8) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                            size);
    }
    return wide;
}

class Win32ScsiTransport final : public IScsiTransport {
  public:
    Win32ScsiTransport() = default;
    explicit Win32ScsiTransport(std::vector<std::string> devicePaths)
        : m_devicePaths(std::move(devicePaths)), m_explicit(true) {}

    Handle OpenDrive(char letter) override {
        const std::wstring path = PathForLetter(letter);
        if (path.empty()) {
            m_lastError = "no volume for drive letter " + std::to_string(static_cast<int>(letter));
            return kInvalidHandle;
        }
        const HANDLE handle =
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            m_lastError = "cannot open drive " + std::string(1, letter) + ": " +
                          SystemErrorText(error) +
                          (error == ERROR_ACCESS_DENIED ? "; run as administrator" : "");
            return kInvalidHandle;
        }
        return reinterpret_cast<Handle>(handle);
    }

    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override {
        m_request.Prepare(cdb, data, length, direction);
        DWORD returned = 0;
        const BOOL called =
            DeviceIoControl(reinterpret_cast<HANDLE>(handle), m_request.IoControlCode(),
                            m_request.Block().data(), m_request.InputSize(),
                            m_request.Block().data(), m_request.OutputSize(), &returned, nullptr);
        const DWORD error = called ? ERROR_SUCCESS : GetLastError();
        const bool succeeded = m_request.Finish(called != FALSE);
        if (!called) {
            m_lastError = "SCSI pass-through failed: " + SystemErrorText(error);
        } else if (!succeeded) {
            m_lastError = "SCSI status " + std::to_string(m_request.ScsiStatus());
        }
        return succeeded;
    }

    void CloseDrive(Handle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

    std::uint32_t PresentDriveMask() override {
        if (!m_explicit) {
            return GetLogicalDrives();
        }
        std::uint32_t mask = 0;
        for (std::size_t i = 0; i < m_devicePaths.size(); ++i) {
            if (const char letter = LetterForListIndex(i); letter != 0) {
                mask |= 1u << (letter - 'A');
            }
        }
        return mask;
    }

    std::string LastError() const override { return m_lastError; }

  private:
    std::wstring PathForLetter(char letter) const {
        if (m_explicit) {
            return Widen(ListedPathForLetter(m_devicePaths, letter));
        }
        if (letter < 'A' || letter > 'Z') {
            return {}; // letter 0 names no volume
        }
        std::wstring path = L"\\\\.\\X:";
        path[4] = static_cast<wchar_t>(letter);
        return path;
    }

    std::vector<std::string> m_devicePaths;
    bool m_explicit = false;
    PassThroughRequest m_request;
    std::string m_lastError;
};

} // namespace

std::unique_ptr<IScsiTransport> CreateSystemTransport(DiskScope /*scope: volumes, not disks*/) {
    return std::make_unique<Win32ScsiTransport>();
}

std::unique_ptr<IScsiTransport> CreateSystemTransport(std::vector<std::string> devicePaths) {
    return std::make_unique<Win32ScsiTransport>(std::move(devicePaths));
}
