// The drive model on arbitrary commands: each input is a sequence of (CDB, direction,
// length, data) records. The model must never read or write outside the transfer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "virtual_drive/drive_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vdrive::DriveOptions options;
    options.fixedSeeds = {0x1234, 0x0000, 0x7FFF};
    options.autoStepPolls = 2;
    vdrive::FingerprintDriveModel drive(options);
    drive.SetSlot(0, "owner");
    drive.SetLogging(true);
    std::size_t at = 0;
    while (at + kCdbLength + 2 <= size) {
        Cdb cdb{};
        std::copy_n(data + at, kCdbLength, cdb.begin());
        at += kCdbLength;
        const ScsiDirection direction = data[at++] & 1 ? ScsiDirection::Read : ScsiDirection::Write;
        std::vector<std::uint8_t> transfer(data[at++]);
        for (std::size_t i = 0; i < transfer.size() && at < size; ++i) {
            transfer[i] = data[at++];
        }
        drive.Execute(cdb, direction, transfer);
    }
    return 0;
}
