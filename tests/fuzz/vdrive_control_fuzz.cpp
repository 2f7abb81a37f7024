// The control texts of the virtual drive server on arbitrary input, one text a line, as
// any client that reaches the server may send them: no crash, every answer one line
// within the wire's limit, and the user script never past its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "virtual_drive/control.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vdrive::VolumeSet volumes;
    volumes.AddDrive('E', {});
    volumes.AddDrive('F', {});
    volumes.AddStick('D', {});
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        const std::string_view text = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        const vdrive::ControlResult result = vdrive::RunControl(volumes, text);
        if (result.reply.empty() || result.reply.size() > 65535) {
            std::abort();
        }
        for (const vdrive::Volume& volume : volumes.Volumes()) {
            if (volume.drive &&
                volume.drive->User().Pending() > vdrive::ScriptedUser::kMaxEvents) {
                std::abort();
            }
        }
    }
    return 0;
}
